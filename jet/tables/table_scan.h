#pragma once
// Walks a table's rows in storage order: the pages its usage map marks, and on
// each data page of the table the live rows, overflow pointers followed.
//
// The walk verifies what it reads, so that damage is an error and never a shorter
// table: every page the map marks must be one of the table's own pages, rows must lie
// within their page, overflow pointers must stay within the table, and a walk that
// reaches the end must have found as many rows as the definition counts (for user
// tables: Access leaves the counts of its system tables stale).

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "jet/base/format.h"
#include "jet/pages/page_source.h"
#include "jet/tables/table_definition.h"

namespace halvaro::jet {

// The table's data pages, ascending. Throws CorruptData when its usage map marks a
// page that is not the table's.
std::vector<uint32_t> table_data_pages(const PageSource& pages, const TableDef& table);

// The row count as the definition page holds it now (a writer keeps it current; the
// TableDef holds the count of when it was read).
uint32_t stored_row_count(const PageSource& pages, const TableDef& table);

// Calls visit with each live row's bytes and slot; visit returns false to stop.
// Throws CorruptData for damage found on the way, including a row count that
// disagrees with the definition once every row has been visited.
void for_each_row(const PageSource& pages, const TableDef& table,
                  const std::function<bool(std::span<const uint8_t> row, RowLocation at)>& visit);

}  // namespace halvaro::jet
