#pragma once
// Encodes the table definition (TDEF) of a Jet 4 table: the header, the column and
// index descriptors and their names, and the references to the table's usage maps.

#include <cstdint>
#include <vector>

#include "jet/builder/table_spec.h"

namespace halvaro::jet {

// Where each column lives in a row, as the definition records it.
struct ColumnPlacement {
  bool fixed = false;        // stored in the fixed part (Boolean: in the null mask)
  bool long_value = false;   // Memo / OLE: a 12-byte reference or inline value
  uint16_t fixed_offset = 0; // from the first byte after the column count
  uint16_t var_index = 0;    // position in the variable-length offset table
  uint16_t stored_length = 0;  // bytes recorded in the definition
};

// The row layout every writer of this table's rows must follow.
struct RowLayout {
  std::vector<ColumnPlacement> columns;  // in column-number order
  uint16_t fixed_size = 0;
  uint16_t var_count = 0;
};

RowLayout layout_of(const TableSpec& table);

// A usage-map reference: the row on a usage-map page that holds the map.
struct MapRef {
  uint32_t page = 0;
  uint8_t row = 0;
};

// Pages and counters the definition points at. Usage maps of a table live on one
// page: row 0 the owned pages, row 1 the pages with free space, then one row per
// index, then two rows (owned, free) per long-value column.
struct TableDefinitionPlacement {
  uint32_t map_page = 0;
  std::vector<uint32_t> index_roots;  // one per index, in TableSpec::indexes order
  uint32_t row_count = 0;
  uint32_t next_autonumber = 0;
};

// Number of usage-map rows a table needs (see TableDefinitionPlacement).
int usage_map_count(const TableSpec& table);

// The definition as one byte stream, starting with the 8-byte page header of its
// first page. Streams longer than a page are split by the caller.
std::vector<uint8_t> encode_table_definition(const TableSpec& table,
                                             const TableDefinitionPlacement& placement);

}  // namespace halvaro::jet
