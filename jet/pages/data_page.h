#pragma once
// Data pages: a header, a table of row offsets, and rows packed from the end of
// the page downwards. Also the pages that hold long values ("LVAL"), which share
// the layout.

#include <cstdint>
#include <span>

#include "jet/base/bytes.h"
#include "jet/base/format.h"
#include "jet/pages/page_source.h"

namespace halvaro::jet {

inline constexpr uint16_t kRowDeleted = 0x8000;   // slot flag: row deleted
inline constexpr uint16_t kRowOverflow = 0x4000;  // slot flag: row holds a pointer to the real row
inline constexpr uint16_t kRowOffsetMask = 0x1FFF;

struct RowSlot {
  uint16_t start = 0;  // first byte of the row on the page
  uint16_t end = 0;    // one past its last byte
  bool deleted = false;
  bool overflow = false;
};

// Number of row slots on a data (or long-value) page.
uint16_t row_slot_count(ByteView page, const FormatLayout& layout);

// Slot `index` of a data page, its bounds checked against the page.
RowSlot row_slot(ByteView page, uint16_t index, const FormatLayout& layout);

// Bytes of the row at `location`, following overflow pointers to where the row
// really lives. Throws CorruptData for a deleted row, a bad pointer or a chain of
// pointers that loops. With `owner` set, every page on the way must be a data page
// of the table defined on that page (an overflow pointer never leaves its table).
std::span<const uint8_t> read_row(const PageSource& pages, RowLocation location,
                                  const FormatLayout& layout, uint32_t owner = 0);

// Bytes of the row at `location` as its slot bounds them, whatever its flags:
// for rows that are not table rows (usage maps, long values).
std::span<const uint8_t> raw_row(const PageSource& pages, RowLocation location,
                                 const FormatLayout& layout, const char* what);

// The table definition page that owns a data page.
inline uint32_t data_page_owner(ByteView page) { return page.u32(4); }

}  // namespace halvaro::jet
