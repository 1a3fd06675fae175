#include "jet/tables/table_scan.h"

#include <algorithm>
#include <string>

#include "jet/base/bytes.h"
#include "jet/pages/data_page.h"
#include "jet/pages/usage_map.h"

namespace halvaro::jet {
namespace {

// System tables (MSysObjects, MSysQueries, ...): Access leaves their row counts stale.
constexpr uint8_t kSystemTableType = 0x53;

// Long-value pages carry this mark where data pages name their table.
constexpr uint32_t kLongValueMark = 0x4C41564C;  // "LVAL"

std::string hex_byte(uint8_t value) {
  constexpr char digits[] = "0123456789ABCDEF";
  return std::string("0x") + digits[value >> 4] + digits[value & 0xF];
}

// Whether a page the owned-pages map marks may belong there. Besides its data pages,
// a table's map may mark its own definition, index and long-value pages; anything
// else (a zeroed page, another table's page) means the map or the page is damaged.
enum class Marked { DataPage, OtherOwnPage };

Marked classify_marked_page(ByteView page, uint32_t number, const TableDef& table) {
  const uint8_t type = page.u8(0);
  const uint32_t owner = page.u32(4);
  if (type == static_cast<uint8_t>(PageType::Data)) {
    if (owner == table.definition_page) return Marked::DataPage;
    if (owner == kLongValueMark) return Marked::OtherOwnPage;
    throw CorruptData("its usage map lists page " + std::to_string(number) +
                      ", a data page of the table defined on page " + std::to_string(owner));
  }
  const bool own_definition = type == static_cast<uint8_t>(PageType::TableDefinition) &&
                              std::ranges::find(table.definition_pages, number) != table.definition_pages.end();
  const bool own_index = (type == static_cast<uint8_t>(PageType::IndexNode) ||
                          type == static_cast<uint8_t>(PageType::IndexLeaf)) &&
                         owner == table.definition_page;
  if (own_definition || own_index) return Marked::OtherOwnPage;
  throw CorruptData("its usage map lists page " + std::to_string(number) +
                    ", which is not one of its pages (page type " + hex_byte(type) + ")");
}

}  // namespace

std::vector<uint32_t> table_data_pages(const PageSource& pages, const TableDef& table) {
  const FormatLayout& layout = layout_of(table.format);
  const auto map =
      raw_row(pages, RowLocation::unpack(table.owned_pages), layout, "usage map of the table");
  std::vector<uint32_t> owned = usage_map_pages(map, pages);
  std::erase_if(owned, [&](uint32_t page) {
    return classify_marked_page(ByteView(pages.page(page), "data page"), page, table) != Marked::DataPage;
  });
  return owned;
}

uint32_t stored_row_count(const PageSource& pages, const TableDef& table) {
  return ByteView(pages.page(table.definition_page), "table definition")
      .u32(layout_of(table.format).tdef_row_count);
}

void for_each_row(const PageSource& pages, const TableDef& table,
                  const std::function<bool(std::span<const uint8_t>, RowLocation)>& visit) {
  const FormatLayout& layout = layout_of(table.format);
  uint64_t found = 0;
  for (const uint32_t page_number : table_data_pages(pages, table)) {
    const ByteView page(pages.page(page_number), "data page");
    const uint16_t count = row_slot_count(page, layout);
    for (uint16_t row = 0; row < count; ++row) {
      const RowSlot slot = row_slot(page, row, layout);
      if (slot.deleted) continue;
      const RowLocation at{page_number, row};
      const auto bytes = slot.overflow ? read_row(pages, at, layout, table.definition_page)
                                       : page.bytes(slot.start, slot.end - slot.start);
      ++found;
      if (!visit(bytes, at)) return;  // a walk stopped early has nothing to count
    }
  }
  if (table.table_type == kSystemTableType) return;
  const uint32_t counted = stored_row_count(pages, table);
  if (found != counted)
    throw CorruptData("its definition counts " + std::to_string(counted) + " rows, but " +
                      std::to_string(found) + " were found on its pages");
}

}  // namespace halvaro::jet
