#pragma once
// Hand-made pages for decoder tests: what the fixtures do not contain (damage,
// loops, rare layouts) is easiest to build byte by byte.

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "jet/base/format.h"
#include "jet/pages/page_source.h"

namespace halvaro::jet::test_pages {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes& b, size_t at, uint32_t v) {
  b.at(at) = static_cast<uint8_t>(v);
  b.at(at + 1) = static_cast<uint8_t>(v >> 8);
}
inline void put32(Bytes& b, size_t at, uint32_t v) {
  put16(b, at, v & 0xFFFF);
  put16(b, at + 2, v >> 16);
}
inline void append16(Bytes& b, uint32_t v) {
  b.resize(b.size() + 2);
  put16(b, b.size() - 2, v);
}
inline void append32(Bytes& b, uint32_t v) {
  b.resize(b.size() + 4);
  put32(b, b.size() - 4, v);
}
inline void append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
inline Bytes ascii(const std::string& text) { return Bytes(text.begin(), text.end()); }
inline Bytes ucs2(const std::u16string& text) {
  Bytes out;
  for (const char16_t c : text) append16(out, c);
  return out;
}
inline uint32_t pointer(uint32_t page, uint8_t row) { return page << 8 | row; }

// A data page owned by `owner`, rows packed from the end of the page; flags[i]
// is OR-ed into row i's slot (deleted, overflow).
inline Bytes data_page(const FormatLayout& layout, uint32_t owner, const std::vector<Bytes>& rows,
                       const std::vector<uint16_t>& flags = {}) {
  Bytes page(layout.page_size, 0);
  page[0] = static_cast<uint8_t>(PageType::Data);
  page[1] = 0x01;
  put32(page, 4, owner);
  put16(page, layout.data_row_count, static_cast<uint32_t>(rows.size()));
  size_t end = layout.page_size;
  for (size_t i = 0; i < rows.size(); ++i) {
    const size_t start = end - rows[i].size();
    std::memcpy(page.data() + start, rows[i].data(), rows[i].size());
    put16(page, layout.data_row_table + 2 * i,
          static_cast<uint32_t>(start) | (i < flags.size() ? flags[i] : 0));
    end = start;
  }
  return page;
}

// Pages 0..n-1 in memory; unset pages are zero.
class PageFile {
 public:
  PageFile(const FormatLayout& layout, uint32_t pages)
      : layout_(layout), bytes_(size_t{layout.page_size} * pages, 0) {}
  void set(uint32_t n, const Bytes& page) {
    std::memcpy(bytes_.data() + size_t{n} * layout_.page_size, page.data(), page.size());
  }
  MemoryPageSource source() const { return MemoryPageSource(bytes_, layout_.page_size); }
  std::shared_ptr<MemoryPageSource> shared() const {
    return std::make_shared<MemoryPageSource>(bytes_, layout_.page_size);
  }

 private:
  const FormatLayout& layout_;
  Bytes bytes_;
};

}  // namespace halvaro::jet::test_pages
