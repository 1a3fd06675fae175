#pragma once
// Index keys as Jet 4 stores them: for each index column a flag byte (0x7F value,
// 0x00 null; 0x80 and 0xFF when descending) and the value in an order-preserving
// form: big-endian numbers with the sign bit turned, floating point turned so that
// bytes compare like numbers, GUIDs in 9-byte segments, and text in Access's
// "General" sort order (letters weighed without case or accents first, then accents,
// case and unprintable characters as tie-breakers). Descending columns invert it all.

#include <cstdint>
#include <string_view>
#include <vector>

#include "jet/field_value.h"
#include "jet/table_definition.h"

namespace halvaro::jet {

using KeyBytes = std::vector<uint8_t>;

// Appends one column's part of a key. `value` must already be valid for the column.
void append_key_part(KeyBytes& key, ColumnType type, const FieldValue& value, bool ascending);

// The General sort order's bytes for a text (without the column's flag byte).
void append_general_text(KeyBytes& key, std::u16string_view text, bool ascending);

// The whole key of `values` (one per table column) for a real index.
KeyBytes make_key(const TableDef& table, const RealIndex& index, const std::vector<FieldValue>& values);

}  // namespace halvaro::jet
