#pragma once
// What the writer needs from a Jet 4 table definition, with the byte positions it
// changes: the row count, the autonumber counter, the usage-map pointers, each
// column's place in a row, and each real index's columns, flags and root page.

#include <cstdint>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/page_bytes.h"

namespace halvaro::jet {

class PageStore;

struct ColumnLayout {
  std::string name;
  ColumnType type = ColumnType::Text;
  uint16_t number = 0;          // column number in rows and in the null mask
  uint16_t variable_index = 0;  // slot in the variable-offset table
  uint16_t fixed_offset = 0;    // from the start of the fixed part
  uint16_t size = 0;            // bytes (Text: two per character)
  uint8_t precision = 0, scale = 0;
  bool fixed = false;
  bool autonumber = false;       // COUNTER (Long)
  bool guid_autonumber = false;  // ReplicationID
  bool compressed_unicode = false;
  uint16_t sort_order = 0;       // text collation id (1033: General)
};

struct RealIndexColumn {
  uint16_t column_number = 0;
  bool ascending = true;
};

struct RealIndexLayout {
  int number = 0;
  std::vector<RealIndexColumn> columns;
  uint32_t usage_map = 0;  // row pointer of the index's page-usage map
  uint32_t root_page = 0;
  uint8_t flags = 0;
  bool unique() const { return flags & 0x01; }
  bool ignore_nulls() const { return flags & 0x02; }
  uint32_t entry_count_offset = 0;  // in the definition's first page
};

struct LogicalIndexLayout {
  std::string name;
  int real_index = 0;
  bool primary = false;
  bool foreign = false;
};

struct TableLayout {
  uint32_t definition_page = 0;
  uint32_t row_count = 0;
  uint32_t last_autonumber = 0;
  uint16_t max_columns = 0;  // stored in every row; sizes the null mask
  uint16_t variable_columns = 0;
  uint32_t owned_pages_map = 0;  // row pointers of the usage maps
  uint32_t free_space_map = 0;
  std::vector<ColumnLayout> columns;  // in definition order
  std::vector<RealIndexLayout> real_indexes;
  std::vector<LogicalIndexLayout> logical_indexes;

  const ColumnLayout* column_by_number(uint16_t number) const;

  static TableLayout read(const PageStore& pages, uint32_t definition_page);
};

// Offsets in a Jet 4 table definition's first page.
namespace tdef {
constexpr size_t kRowCount = 16;
constexpr size_t kAutonumber = 20;
}  // namespace tdef

}  // namespace halvaro::jet
