#include "jet/catalog/verify.h"

namespace halvaro::jet {

void verify_tables(const Database& database) {
  for (const std::string& name : database.table_names())
    database.scan(database.table(name), [](std::span<const FieldValue>) { return true; });
}

}  // namespace halvaro::jet
