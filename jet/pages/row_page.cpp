#include "jet/pages/row_page.h"

#include <cstring>

#include "jet/pages/page_bytes.h"

namespace halvaro::jet::row_page {

void init(uint8_t* page, size_t page_size, uint32_t owner) {
  std::memset(page, 0, page_size);
  page[0] = 0x01;
  page[1] = 0x01;
  bytes::put16(page + 2, static_cast<uint32_t>(page_size - kHeader));
  bytes::put32(page + 4, owner);
}

unsigned row_count(const uint8_t* page) { return bytes::get16(page + 12); }

size_t free_space(const uint8_t* page) { return bytes::get16(page + 2); }

bool fits(const uint8_t* page, size_t size) {
  return row_count(page) < kMaxRows && free_space(page) >= size + 2;
}

uint8_t add_row(uint8_t* page, size_t page_size, std::span<const uint8_t> row) {
  const unsigned n = row_count(page);
  // Rows are packed downwards from the end; the lowest start is the last row's.
  size_t top = page_size;
  for (unsigned i = 0; i < n; ++i) {
    size_t start = bytes::get16(page + kHeader + 2 * i) & kOffsetMask;
    if (start < top) top = start;
  }
  const size_t start = top - row.size();
  std::memcpy(page + start, row.data(), row.size());
  bytes::put16(page + kHeader + 2 * n, static_cast<uint32_t>(start));
  bytes::put16(page + 12, n + 1);
  bytes::put16(page + 2, static_cast<uint32_t>(start - (kHeader + 2 * (n + 1))));
  return static_cast<uint8_t>(n);
}

RowBounds row_bounds(const uint8_t* page, size_t page_size, unsigned row) {
  RowBounds b;
  const uint16_t raw = bytes::get16(page + kHeader + 2 * row);
  b.start = raw & kOffsetMask;
  b.deleted = raw & kDeleted;
  b.overflow = raw & kOverflow;
  b.end = page_size;
  // A row ends where the row stored just before it (at a higher offset) begins.
  for (unsigned i = 0; i < row_count(page); ++i) {
    size_t s = bytes::get16(page + kHeader + 2 * i) & kOffsetMask;
    if (s > b.start && s < b.end) b.end = s;
  }
  return b;
}

}  // namespace halvaro::jet::row_page
