#include "jet/query_definition_writer.h"

namespace halvaro::jet {

std::vector<QueryRow> query_rows_for_select(std::string_view) {
  throw JetError("CREATE VIEW is not supported yet");
}

}  // namespace halvaro::jet
