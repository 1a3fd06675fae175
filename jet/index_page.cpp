#include "jet/index_page.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "jet/page_bytes.h"

namespace halvaro::jet::index_page {

namespace {
constexpr size_t kPrefixLength = 24;
constexpr size_t kMask = 27;
constexpr size_t kMaskBytes = kEntryStart - kMask;

size_t shared_prefix(const std::vector<EntryBytes>& entries, bool leaf) {
  if (entries.size() < 2) return 0;
  const EntryBytes& a = entries.front();
  const EntryBytes& b = entries.back();
  const size_t limit = std::min(key_length(a, leaf), key_length(b, leaf));
  size_t n = 0;
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}
}  // namespace

int compare(std::span<const uint8_t> a_key, uint32_t a_row, std::span<const uint8_t> b_key, uint32_t b_row) {
  const size_t n = std::min(a_key.size(), b_key.size());
  if (int c = n ? std::memcmp(a_key.data(), b_key.data(), n) : 0; c != 0) return c < 0 ? -1 : 1;
  if (a_key.size() != b_key.size()) return a_key.size() < b_key.size() ? -1 : 1;
  if (a_row != b_row) return a_row < b_row ? -1 : 1;
  return 0;
}

uint32_t row_pointer_of(const EntryBytes& e, bool leaf) {
  const size_t at = key_length(e, leaf);
  return (static_cast<uint32_t>(e[at]) << 16 | e[at + 1] << 8 | e[at + 2]) << 8 | e[at + 3];
}

int compare_entries(const EntryBytes& a, const EntryBytes& b, bool leaf) {
  return compare({a.data(), key_length(a, leaf)}, row_pointer_of(a, leaf), {b.data(), key_length(b, leaf)},
                 row_pointer_of(b, leaf));
}

IndexNode decode(const uint8_t* page, uint32_t number) {
  IndexNode node;
  node.page = number;
  if (page[0] != 0x03 && page[0] != 0x04)
    throw std::runtime_error("page " + std::to_string(number) + " is not an index page");
  node.leaf = page[0] == 0x04;
  node.prev = bytes::get32(page + 12);
  node.next = bytes::get32(page + 16);
  node.tail = bytes::get32(page + 20);
  const size_t prefix = bytes::get16(page + kPrefixLength);
  size_t start = 0;
  const size_t minimum = node.leaf ? 4 : 8;
  for (size_t bit = 0; bit < kMaskBytes * 8; ++bit) {
    if (!(page[kMask + bit / 8] >> (bit % 8) & 1)) continue;
    if (kEntryStart + bit > 4096 || bit <= start)
      throw std::runtime_error("index page " + std::to_string(number) + " has a broken entry map");
    EntryBytes e;
    if (!node.entries.empty()) e.assign(node.entries.front().begin(), node.entries.front().begin() + static_cast<long>(prefix));
    e.insert(e.end(), page + kEntryStart + start, page + kEntryStart + bit);
    if (e.size() < minimum || (node.entries.empty() && e.size() < prefix))
      throw std::runtime_error("index page " + std::to_string(number) + " has a short entry");
    node.entries.push_back(std::move(e));
    start = bit;
  }
  return node;
}

size_t packed_size(const std::vector<EntryBytes>& entries, bool leaf) {
  const size_t prefix = shared_prefix(entries, leaf);
  size_t total = prefix;
  for (const auto& e : entries) total += e.size() - prefix;
  return total;
}

void encode(const IndexNode& node, uint32_t owner, uint8_t* page, size_t page_size) {
  const size_t prefix = shared_prefix(node.entries, node.leaf);
  std::memset(page, 0, page_size);
  page[0] = node.leaf ? 0x04 : 0x03;
  page[1] = 0x01;
  bytes::put32(page + 4, owner);
  bytes::put32(page + 12, node.prev);
  bytes::put32(page + 16, node.next);
  bytes::put32(page + 20, node.leaf ? 0 : node.tail);
  bytes::put16(page + kPrefixLength, static_cast<uint32_t>(prefix));
  size_t at = 0;
  for (size_t i = 0; i < node.entries.size(); ++i) {
    const EntryBytes& e = node.entries[i];
    const size_t skip = i == 0 ? 0 : prefix;
    if (kEntryStart + at + e.size() - skip > page_size) throw std::logic_error("index entries overflow the page");
    std::memcpy(page + kEntryStart + at, e.data() + skip, e.size() - skip);
    at += e.size() - skip;
    page[kMask + at / 8] |= static_cast<uint8_t>(1u << (at % 8));
  }
  bytes::put16(page + 2, static_cast<uint32_t>(page_size - kEntryStart - at));
}

}  // namespace halvaro::jet::index_page
