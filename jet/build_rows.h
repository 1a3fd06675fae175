#pragma once
// Row images and index keys for the rows a new database starts with (its catalog).
// Appending rows to an existing file is the writer's job; this covers what a fresh
// file needs: fixed and variable columns, inline long values, and index keys of the
// types the catalog indexes use.

#include <span>

#include "jet/build_bytes.h"
#include "jet/field_value.h"
#include "jet/table_definition_writer.h"

namespace halvaro::jet::build {

// The bytes of one row of `table`; values[i] belongs to table.columns[i]. Memo and
// OLE values are stored inline, so the row must fit a page.
Bytes encode_row(const TableSpec& table, const RowLayout& layout, std::span<const FieldValue> values);

// The sort key of one index entry (without the row pointer) in Jet 4's index
// order: a flag byte per column, then the value's sortable form. Supports Long,
// Integer, Byte and Text in the General sort order for letters, digits, blanks and
// the underscore; anything else throws JetError.
Bytes encode_index_key(const TableSpec& table, const IndexSpec& index,
                       std::span<const FieldValue> values);

}  // namespace halvaro::jet::build
