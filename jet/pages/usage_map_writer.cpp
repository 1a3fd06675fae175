#include "jet/pages/usage_map_writer.h"

#include <algorithm>
#include <cstring>

#include "jet/pages/row_page.h"
#include "jet/base/errors.h"
#include "jet/pages/page_bytes.h"
#include "jet/pages/page_store.h"

namespace halvaro::jet {

namespace {
constexpr uint8_t kInline = 0;
constexpr uint8_t kReference = 1;
constexpr size_t kInlineBits = 5;    // type byte + start page
constexpr size_t kBitmapStart = 4;   // in a 0x05 page
}  // namespace

UsageMapWriter::UsageMapWriter(PageStore& pages, uint32_t row_pointer,
                               std::function<uint32_t()> allocate)
    : pages_(pages), pointer_(row_pointer), allocate_(std::move(allocate)) {}

UsageMapWriter::Row UsageMapWriter::row() const {
  const auto at = bytes::RowAddress::from_pointer(pointer_);
  const uint8_t* page = pages_.read(at.page);
  if (page[0] != 0x01 || at.row >= row_page::row_count(page))
    throw JetError(pages_.path().string() + ": usage map at page " + std::to_string(at.page) +
                   " row " + std::to_string(at.row) + " is missing");
  auto b = row_page::row_bounds(page, pages_.page_size(), at.row);
  if (b.end <= b.start + kInlineBits)
    throw JetError(pages_.path().string() + ": usage map at page " + std::to_string(at.page) + " is too short");
  // Reading does not dirty the page; callers that change bits ask for write access.
  return {const_cast<uint8_t*>(page) + b.start, b.end - b.start};
}

bool UsageMapWriter::contains(uint32_t page) const {
  Row r = row();
  if (r.bytes[0] == kInline) {
    uint32_t start = bytes::get32(r.bytes + 1);
    if (page < start) return false;
    uint32_t bit = page - start;
    if (bit >= (r.size - kInlineBits) * 8) return false;
    return r.bytes[kInlineBits + bit / 8] >> (bit % 8) & 1;
  }
  uint32_t index = page / kPagesPerBitmapPage;
  if (1 + 4 * (index + 1) > r.size) return false;
  uint32_t map_page = bytes::get32(r.bytes + 1 + 4 * index);
  if (map_page == 0) return false;
  uint32_t bit = page % kPagesPerBitmapPage;
  return pages_.read(map_page)[kBitmapStart + bit / 8] >> (bit % 8) & 1;
}

std::vector<uint32_t> UsageMapWriter::pages() const {
  std::vector<uint32_t> out;
  Row r = row();
  auto scan = [&](const uint8_t* bits, size_t count, uint32_t first) {
    for (size_t i = 0; i < count; ++i)
      if (bits[i])
        for (int b = 0; b < 8; ++b)
          if (bits[i] >> b & 1) out.push_back(first + static_cast<uint32_t>(i * 8 + b));
  };
  if (r.bytes[0] == kInline) {
    scan(r.bytes + kInlineBits, r.size - kInlineBits, bytes::get32(r.bytes + 1));
  } else {
    for (uint32_t i = 0; 1 + 4 * (i + 1) <= r.size; ++i) {
      uint32_t map_page = bytes::get32(r.bytes + 1 + 4 * i);
      if (map_page == 0) continue;
      scan(pages_.read(map_page) + kBitmapStart, pages_.page_size() - kBitmapStart, i * kPagesPerBitmapPage);
    }
  }
  return out;
}

void UsageMapWriter::add(uint32_t page) { set(page, true, true); }
void UsageMapWriter::remove(uint32_t page) { set(page, false, true); }
void UsageMapWriter::remove_if_covered(uint32_t page) { set(page, false, false); }

void UsageMapWriter::set(uint32_t page, bool on, bool must_fit) {
  const auto at = bytes::RowAddress::from_pointer(pointer_);
  Row r = row();
  if (r.bytes[0] == kInline) {
    uint32_t start = bytes::get32(r.bytes + 1);
    const uint32_t reach = static_cast<uint32_t>((r.size - kInlineBits) * 8);
    if (page >= start && page - start < reach) {
      uint8_t* bits = pages_.write(at.page) + (r.bytes - pages_.read(at.page)) + kInlineBits;
      uint32_t bit = page - start;
      if (on)
        bits[bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
      else
        bits[bit / 8] &= static_cast<uint8_t>(~(1u << (bit % 8)));
      return;
    }
    if (!on || !must_fit) return;  // an absent page is already clear
    std::vector<uint32_t> all = pages();
    all.push_back(page);
    std::sort(all.begin(), all.end());
    uint32_t new_start = all.front() / 8 * 8;
    if (all.back() - new_start < reach)
      rewrite_inline(new_start, all);
    else
      promote(all);
    return;
  }
  uint32_t index = page / kPagesPerBitmapPage;
  if (1 + 4 * (index + 1) > r.size) {
    if (!must_fit) return;
    throw JetError(pages_.path().string() + ": the file has grown past what its usage map can record");
  }
  uint32_t map_page = bytes::get32(r.bytes + 1 + 4 * index);
  if (map_page == 0) {
    if (!on) return;
    map_page = allocate_();
    uint8_t* m = pages_.write(map_page);
    std::memset(m, 0, pages_.page_size());
    m[0] = 0x05;
    m[1] = 0x01;
    r = row();  // allocation may have touched the same page
    uint8_t* row_bytes = pages_.write(at.page) + (r.bytes - pages_.read(at.page));
    bytes::put32(row_bytes + 1 + 4 * index, map_page);
  }
  uint8_t* bits = pages_.write(map_page) + kBitmapStart;
  uint32_t bit = page % kPagesPerBitmapPage;
  if (on)
    bits[bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
  else
    bits[bit / 8] &= static_cast<uint8_t>(~(1u << (bit % 8)));
}

void UsageMapWriter::rewrite_inline(uint32_t start, const std::vector<uint32_t>& all) {
  const auto at = bytes::RowAddress::from_pointer(pointer_);
  Row r = row();
  uint8_t* row_bytes = pages_.write(at.page) + (r.bytes - pages_.read(at.page));
  std::memset(row_bytes + 1, 0, r.size - 1);
  bytes::put32(row_bytes + 1, start);
  for (uint32_t p : all) {
    uint32_t bit = p - start;
    row_bytes[kInlineBits + bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
  }
}

void UsageMapWriter::promote(const std::vector<uint32_t>& all) {
  const auto at = bytes::RowAddress::from_pointer(pointer_);
  Row r = row();
  uint8_t* row_bytes = pages_.write(at.page) + (r.bytes - pages_.read(at.page));
  std::memset(row_bytes, 0, r.size);
  row_bytes[0] = kReference;
  for (uint32_t p : all) add(p);
}

}  // namespace halvaro::jet
