#pragma once
// Runs a script of INSERT INTO t [(columns)] VALUES (...) statements through the
// writer's append path, one row each, converting Access literals ('text', "text",
// numbers, #dates#, True/False, Null) to each column's kind. Stops at the first
// refused row.

#include <filesystem>
#include <string>
#include <string_view>

#include "jet/writer/database_writer.h"

namespace halvaro::sql::script {

struct InsertSummary {
  int rows = 0;              // appended
  std::string refusal;       // description of the refused row, empty when all went in
  int refused_line = 0;
};

// Throws JetError for a script that does not parse or names unknown tables or
// columns; a refused row ends the run and is described in the summary.
InsertSummary run_insert_script(jet::DatabaseWriter& writer, std::string_view script);

}  // namespace halvaro::sql::script
