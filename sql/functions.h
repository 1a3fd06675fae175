#pragma once
// The VBA functions, operators and text collation of Access SQL, registered into a
// SQLite connection under the names the translator emits (jet_cstr, jet_like, JET...).

#include <sqlite3.h>

#include "jet/base/field_value.h"
#include "sql/kind.h"

namespace halvaro::sql {

void register_jet_functions(sqlite3* db);

// A SQLite value held in the representation of `kind` (see translator.h), as a FieldValue.
FieldValue from_sqlite(sqlite3_value* value, Kind kind, uint8_t scale = 0);
FieldValue from_sqlite(sqlite3_stmt* statement, int column, Kind kind, uint8_t scale = 0);

// Whether text matches a Like pattern (* ? # [a-z] [!x]), letter case ignored.
bool like_match(std::string_view text, std::string_view pattern);

}  // namespace halvaro::sql
