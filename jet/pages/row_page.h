#pragma once
// Jet 4 data pages: a 14-byte header (type 0x01, free space, owner), the row-offset
// table growing up from byte 14 and the rows growing down from the page's end.
// Long-value pages are data pages whose owner field reads "LVAL".

#include <cstdint>
#include <span>

namespace halvaro::jet::row_page {

constexpr size_t kHeader = 14;
constexpr unsigned kMaxRows = 255;
constexpr uint16_t kDeleted = 0x8000;
constexpr uint16_t kOverflow = 0x4000;
constexpr uint16_t kOffsetMask = 0x1FFF;
constexpr uint32_t kLongValueOwner = 0x4C41564C;  // "LVAL"

void init(uint8_t* page, size_t page_size, uint32_t owner);
unsigned row_count(const uint8_t* page);
size_t free_space(const uint8_t* page);
// Room for a row of `size` bytes (and its offset slot)?
bool fits(const uint8_t* page, size_t size);
// Appends a row; returns its number. The caller has checked fits().
uint8_t add_row(uint8_t* page, size_t page_size, std::span<const uint8_t> row);

struct RowBounds {
  size_t start = 0, end = 0;
  bool deleted = false, overflow = false;
};
RowBounds row_bounds(const uint8_t* page, size_t page_size, unsigned row);

}  // namespace halvaro::jet::row_page
