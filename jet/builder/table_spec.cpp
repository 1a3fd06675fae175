#include "jet/builder/table_spec.h"

#include <algorithm>
#include <cctype>

namespace halvaro::jet {

bool same_name(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

namespace {

[[noreturn]] void refuse(const TableSpec& table, const std::string& problem) {
  throw JetError("table " + table.name + ": " + problem);
}

void check_name(const TableSpec& table, const std::string& name, const char* what) {
  if (name.empty() || name.size() > 64) refuse(table, std::string(what) + " names must have 1 to 64 characters");
  if (name.front() == ' ') refuse(table, std::string(what) + " name '" + name + "' starts with a blank");
  for (char c : name)
    if (c == '.' || c == '!' || c == '`' || c == '[' || c == ']' || static_cast<unsigned char>(c) < 0x20)
      refuse(table, std::string(what) + " name '" + name + "' contains a character Access does not allow");
}

}  // namespace

void validate(const TableSpec& table) {
  check_name(table, table.name, "table");
  if (table.columns.empty()) refuse(table, "a table needs at least one column");
  if (table.columns.size() > 255) refuse(table, "a table has at most 255 columns");
  int autonumbers = 0;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnSpec& c = table.columns[i];
    check_name(table, c.name, "column");
    for (size_t k = 0; k < i; ++k)
      if (same_name(table.columns[k].name, c.name)) refuse(table, "column " + c.name + " is defined twice");
    if (c.type == ColumnType::Text && (c.length < 1 || c.length > 255))
      refuse(table, "column " + c.name + ": TEXT length must be 1 to 255");
    if (c.type == ColumnType::Binary && (c.length < 1 || c.length > 255))
      refuse(table, "column " + c.name + ": BINARY length must be 1 to 255");
    if (c.type == ColumnType::Numeric && (c.precision < 1 || c.precision > 28 || c.scale > c.precision))
      refuse(table, "column " + c.name + ": DECIMAL precision must be 1 to 28 and scale at most the precision");
    if (c.autonumber) {
      if (c.type != ColumnType::Long) refuse(table, "column " + c.name + ": only a Long column can be COUNTER");
      if (++autonumbers > 1) refuse(table, "a table has at most one COUNTER column");
    }
  }
  int primaries = 0;
  for (size_t i = 0; i < table.indexes.size(); ++i) {
    const IndexSpec& index = table.indexes[i];
    check_name(table, index.name, "index");
    for (size_t k = 0; k < i; ++k)
      if (same_name(table.indexes[k].name, index.name)) refuse(table, "index " + index.name + " is defined twice");
    if (index.columns.empty() || index.columns.size() > 10)
      refuse(table, "index " + index.name + " must have 1 to 10 columns");
    for (const IndexColumnSpec& ic : index.columns) {
      auto it = std::find_if(table.columns.begin(), table.columns.end(),
                             [&](const ColumnSpec& c) { return same_name(c.name, ic.column); });
      if (it == table.columns.end()) refuse(table, "index " + index.name + " names unknown column " + ic.column);
      if (it->type == ColumnType::Memo || it->type == ColumnType::Ole)
        refuse(table, "index " + index.name + ": column " + ic.column + " is MEMO or OLE and cannot be indexed");
    }
    if (index.primary && ++primaries > 1) refuse(table, "a table has at most one primary key");
  }
  if (table.indexes.size() > 32) refuse(table, "a table has at most 32 indexes");
}

}  // namespace halvaro::jet
