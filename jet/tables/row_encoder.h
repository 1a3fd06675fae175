#pragma once
// Turns FieldValues into the bytes of a Jet 4 row: each value checked against its
// column (ValueError when it cannot be stored there), then the row assembled as
//   column count | fixed part | variable data | end offset | variable offsets
//   (last first) | variable count | null mask
// with Boolean values living in the null mask alone.

#include <cstdint>
#include <string>
#include <vector>

#include "jet/base/field_value.h"
#include "jet/tables/table_definition.h"

namespace halvaro::jet {

struct StoredValue {
  bool present = false;        // the null-mask bit: not null (or true, for Boolean)
  std::vector<uint8_t> bytes;  // fixed bytes, variable bytes or a long value's data
};

// Sets `out` to a value's stored form (reusing its buffer). `where` names the table
// for messages. Throws ValueError.
void encode_value(StoredValue& out, const Column& column, const FieldValue& value, const std::string& where);

// Jet 4 text: UTF-16LE, or its compressed form (0xFF 0xFE, then one byte per
// character) when the column allows it and that is shorter.
std::vector<uint8_t> encode_text(const std::u16string& text, bool compressible);

constexpr size_t kMaxRowSize = 4060;
constexpr size_t kLongValueHeader = 12;
constexpr size_t kMaxInlineLongValue = 64;
constexpr size_t kMaxLongValueRow = 4076;  // one long-value row on its own page

// Row bytes for values given in the order of table.columns (long values already
// replaced by their 12-byte reference, with inline data appended when inline).
std::vector<uint8_t> assemble_row(const TableDef& table, const std::vector<StoredValue>& values);
size_t assembled_size(const TableDef& table, const std::vector<StoredValue>& values);

bool is_long_value(ColumnType type);

}  // namespace halvaro::jet
