#pragma once
// The scripts `halvaro create` runs: CREATE TABLE, CREATE [UNIQUE] INDEX, CREATE VIEW
// and INSERT INTO ... VALUES statements in Access SQL, separated by semicolons.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "jet/builder/database_builder.h"

namespace halvaro::sql::script {

// A row to insert once the tables exist.
struct InsertStatement {
  std::string table;
  std::vector<std::string> columns;  // empty: every column in order
  std::vector<FieldValue> values;  // literals as written (text, number, date, null, boolean)
  int line = 0;
};

struct CreateScript {
  jet::DatabaseBuilder builder{DateTime{}};
  std::vector<InsertStatement> inserts;
};

// Parses a script into the database's definition and its rows. Errors (JetError)
// give the line and what was expected.
void parse_create_script(std::string_view text, CreateScript& into);

struct CreateSummary {
  int tables = 0;
  int views = 0;
  int rows = 0;
};

// Creates `out` (which must not exist) from the script file.
CreateSummary create_database(const std::filesystem::path& out, const std::filesystem::path& script);

}  // namespace halvaro::sql::script
