#include "jet/tables/table_scan.h"

#include "jet/base/bytes.h"
#include "jet/pages/data_page.h"
#include "jet/pages/usage_map.h"

namespace halvaro::jet {

std::vector<uint32_t> table_data_pages(const PageSource& pages, const TableDef& table) {
  const FormatLayout& layout = layout_of(table.format);
  const auto map =
      raw_row(pages, RowLocation::unpack(table.owned_pages), layout, "usage map of the table");
  std::vector<uint32_t> owned = usage_map_pages(map, pages);
  // The map also marks the table's definition, index and long-value pages.
  std::erase_if(owned, [&](uint32_t page) {
    const ByteView view(pages.page(page), "data page");
    return view.u8(0) != static_cast<uint8_t>(PageType::Data) ||
           data_page_owner(view) != table.definition_page;
  });
  return owned;
}

void for_each_row(const PageSource& pages, const TableDef& table,
                  const std::function<bool(std::span<const uint8_t>, RowLocation)>& visit) {
  const FormatLayout& layout = layout_of(table.format);
  for (const uint32_t page_number : table_data_pages(pages, table)) {
    const ByteView page(pages.page(page_number), "data page");
    const uint16_t count = row_slot_count(page, layout);
    for (uint16_t row = 0; row < count; ++row) {
      const RowSlot slot = row_slot(page, row, layout);
      if (slot.deleted) continue;
      const RowLocation at{page_number, row};
      const auto bytes = slot.overflow ? read_row(pages, at, layout)
                                       : page.bytes(slot.start, slot.end - slot.start);
      if (!visit(bytes, at)) return;
    }
  }
}

}  // namespace halvaro::jet
