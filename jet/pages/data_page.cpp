#include "jet/pages/data_page.h"

#include <string>

namespace halvaro::jet {

uint16_t row_slot_count(ByteView page, const FormatLayout& layout) {
  return page.u16(layout.data_row_count);
}

RowSlot row_slot(ByteView page, uint16_t index, const FormatLayout& layout) {
  const uint16_t count = row_slot_count(page, layout);
  if (index >= count)
    throw CorruptData("row " + std::to_string(index) + " not on its page (" + std::to_string(count) +
                      " rows)");
  const uint16_t raw = page.u16(layout.data_row_table + 2u * index);
  RowSlot slot;
  slot.deleted = (raw & kRowDeleted) != 0;
  slot.overflow = (raw & kRowOverflow) != 0;
  slot.start = raw & kRowOffsetMask;
  // A row ends where the row stored before it begins; the first row ends at the page end.
  slot.end = index == 0 ? static_cast<uint16_t>(page.size())
                        : static_cast<uint16_t>(page.u16(layout.data_row_table + 2u * (index - 1)) &
                                                kRowOffsetMask);
  const size_t table_end = layout.data_row_table + 2u * count;
  if (slot.start < table_end || slot.start > slot.end || slot.end > page.size()) {
    // Deleted rows may have been reclaimed; callers skip them without looking at the bytes.
    if (slot.deleted) {
      slot.start = slot.end = 0;
      return slot;
    }
    throw CorruptData("row " + std::to_string(index) + " has bad bounds " +
                      std::to_string(slot.start) + ".." + std::to_string(slot.end));
  }
  return slot;
}

std::span<const uint8_t> raw_row(const PageSource& pages, RowLocation location,
                                 const FormatLayout& layout, const char* what) {
  const ByteView page(pages.page(location.page), what);
  if (page.u8(0) != static_cast<uint8_t>(PageType::Data))
    throw CorruptData(std::string(what) + " at page " + std::to_string(location.page) +
                      ", which is not a data page");
  const RowSlot slot = row_slot(page, location.row, layout);
  return page.bytes(slot.start, slot.end - slot.start);
}

std::span<const uint8_t> read_row(const PageSource& pages, RowLocation location,
                                  const FormatLayout& layout, uint32_t owner) {
  // Access moves a grown row once; a longer chain means the pointers loop.
  constexpr int kMaxHops = 8;
  for (int hop = 0; hop <= kMaxHops; ++hop) {
    const ByteView page(pages.page(location.page), "data page");
    if (page.u8(0) != static_cast<uint8_t>(PageType::Data))
      throw CorruptData("page " + std::to_string(location.page) + " is not a data page");
    if (owner != 0 && data_page_owner(page) != owner)
      throw CorruptData("row " + std::to_string(location.row) + " on page " + std::to_string(location.page) +
                        " is reached through an overflow pointer but belongs to another table");
    const RowSlot slot = row_slot(page, location.row, layout);
    // The target of an overflow pointer is marked deleted so that scans skip it.
    if (slot.deleted && hop == 0)
      throw CorruptData("row " + std::to_string(location.row) + " on page " +
                        std::to_string(location.page) + " is deleted");
    if (!slot.overflow) return page.bytes(slot.start, slot.end - slot.start);
    location = RowLocation::unpack(page.u32(slot.start));
  }
  throw CorruptData("overflow row pointers loop");
}

}  // namespace halvaro::jet
