#pragma once
// Row images and index keys for the rows a new database starts with (its catalog).
// Appending rows to an existing file is the writer's job; this covers what a fresh
// file needs: the catalog's column types, long values inline.

#include <span>

#include "jet/builder/build_bytes.h"
#include "jet/base/field_value.h"
#include "jet/builder/table_definition_writer.h"

namespace halvaro::jet::build {

// The bytes of one row of `table`; values[i] belongs to table.columns[i]. Memo and
// OLE values are stored inline, so the row must fit a page.
Bytes encode_row(const TableSpec& table, const RowLayout& layout, std::span<const FieldValue> values);

// The sort key of one index entry (without the row pointer) in Jet 4's index
// order, as the writer's index code makes it.
Bytes encode_index_key(const TableSpec& table, const IndexSpec& index,
                       std::span<const FieldValue> values);

}  // namespace halvaro::jet::build
