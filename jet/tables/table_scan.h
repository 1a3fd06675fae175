#pragma once
// Walks a table's rows in storage order: the pages its usage map marks, and on
// each data page of the table the live rows, overflow pointers followed.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "jet/base/format.h"
#include "jet/pages/page_source.h"
#include "jet/tables/table_definition.h"

namespace halvaro::jet {

// The table's data pages, ascending.
std::vector<uint32_t> table_data_pages(const PageSource& pages, const TableDef& table);

// Calls visit with each live row's bytes and slot; visit returns false to stop.
void for_each_row(const PageSource& pages, const TableDef& table,
                  const std::function<bool(std::span<const uint8_t> row, RowLocation at)>& visit);

}  // namespace halvaro::jet
