#pragma once
// Reads back rows the way the writer stored them, for the writer's own needs: the
// catalog lookup, and the checker's comparison of rows with index entries. Long
// values are followed through their pages.

#include <cstdint>
#include <span>
#include <vector>

#include "jet/field_value.h"
#include "jet/table_layout.h"

namespace halvaro::jet {

class PageStore;

// Values in layout.columns order. Throws JetError when the row does not decode.
std::vector<FieldValue> decode_stored_row(const PageStore& pages, const TableLayout& layout,
                                          std::span<const uint8_t> row);

// The row at an address, following an overflow pointer; empty when deleted.
std::span<const uint8_t> stored_row_at(const PageStore& pages, uint32_t row_pointer, bool& deleted);

}  // namespace halvaro::jet
