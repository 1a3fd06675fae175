#pragma once
// What a new table looks like before it is written: the description that
// `halvaro create` builds from CREATE TABLE and CREATE INDEX statements and that the
// system catalog uses for its own tables.

#include <cstdint>
#include <string>
#include <vector>

#include "jet/catalog/database.h"

namespace halvaro::jet {

struct ColumnSpec {
  std::string name;
  ColumnType type = ColumnType::Text;
  uint16_t length = 0;      // Text: characters (1-255); Binary: bytes; 0 for other types
  uint8_t precision = 18;   // Numeric
  uint8_t scale = 0;        // Numeric
  bool required = false;    // NOT NULL
  bool autonumber = false;  // COUNTER
};

struct IndexColumnSpec {
  std::string column;
  bool ascending = true;
};

struct IndexSpec {
  std::string name;
  std::vector<IndexColumnSpec> columns;  // at most 10
  bool primary = false;
  bool unique = false;
  bool ignore_nulls = false;
  bool required = false;  // no null key values (set for primary keys)
};

struct TableSpec {
  std::string name;
  std::vector<ColumnSpec> columns;
  std::vector<IndexSpec> indexes;
  bool system = false;  // an MSys table of the catalog
};

// Case-blind name comparison as Jet uses it for object and column names.
bool same_name(const std::string& a, const std::string& b);

// Checks a table description for what Jet would refuse (empty or duplicate names,
// lengths out of range, index columns that do not exist, more than one primary key)
// and throws JetError naming the table and the problem.
void validate(const TableSpec& table);

}  // namespace halvaro::jet
