#include "jet/indexes/index_page.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>
#include <string>

#include "jet/pages/page_bytes.h"

namespace halvaro::jet {

void EntryList::grow_for(size_t length) {
  // Grown by an eighth rather than doubled: a page between commits takes a few
  // entries, and thousands of decoded pages are held at a time.
  if (data_.size() + length > data_.capacity()) data_.reserve(data_.size() + length + data_.size() / 8 + 64);
  if (ends_.size() == ends_.capacity()) ends_.reserve(ends_.size() + ends_.size() / 8 + 8);
}

void EntryList::insert(size_t at, Entry entry) {
  const uint32_t start = at ? ends_[at - 1] : 0;
  const auto length = static_cast<uint32_t>(entry.size());
  grow_for(length);
  data_.insert(data_.begin() + start, entry.begin(), entry.end());
  ends_.insert(ends_.begin() + static_cast<long>(at), start + length);
  for (size_t i = at + 1; i < ends_.size(); ++i) ends_[i] += length;
}

void EntryList::append(Entry front, Entry rest) {
  grow_for(front.size() + rest.size());
  data_.insert(data_.end(), front.begin(), front.end());
  data_.insert(data_.end(), rest.begin(), rest.end());
  ends_.push_back(static_cast<uint32_t>(data_.size()));
}

void EntryList::replace(size_t at, Entry entry) {
  const uint32_t start = at ? ends_[at - 1] : 0;
  if (ends_[at] - start == entry.size()) {  // the same length: in place
    std::memmove(data_.data() + start, entry.data(), entry.size());
    return;
  }
  replace_resized(at, entry);
}

void EntryList::replace_resized(size_t at, Entry entry) {
  const EntryBytes copy(entry.begin(), entry.end());  // `entry` may point into this list
  const uint32_t start = at ? ends_[at - 1] : 0;
  const uint32_t old_length = ends_[at] - start;
  data_.erase(data_.begin() + start, data_.begin() + ends_[at]);
  data_.insert(data_.begin() + start, copy.begin(), copy.end());
  const int64_t delta = static_cast<int64_t>(copy.size()) - old_length;
  for (size_t i = at; i < ends_.size(); ++i) ends_[i] = static_cast<uint32_t>(ends_[i] + delta);
}

void EntryList::pop_back() {
  ends_.pop_back();
  data_.resize(ends_.empty() ? 0 : ends_.back());
}

void EntryList::clear() {
  data_.clear();
  ends_.clear();
}

EntryList EntryList::take_front(size_t count) {
  EntryList front;
  const uint32_t cut = count ? ends_[count - 1] : 0;
  front.data_.assign(data_.begin(), data_.begin() + cut);
  front.ends_.assign(ends_.begin(), ends_.begin() + static_cast<long>(count));
  data_.erase(data_.begin(), data_.begin() + cut);
  ends_.erase(ends_.begin(), ends_.begin() + static_cast<long>(count));
  for (auto& end : ends_) end -= cut;
  return front;
}

namespace index_page {

namespace {
constexpr size_t kPrefixLength = 24;
constexpr size_t kMask = 27;
constexpr size_t kMaskBytes = kEntryStart - kMask;

// Set bits of a byte range, a word at a time.
size_t bits_set(const uint8_t* bytes, size_t length) {
  size_t count = 0, i = 0;
  for (; i + 8 <= length; i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    count += static_cast<size_t>(std::popcount(word));
  }
  for (; i < length; ++i) count += static_cast<size_t>(std::popcount(bytes[i]));
  return count;
}

// What the entries from `from` up to `to` share: the first and the last have it.
size_t shared_prefix(const EntryList& entries, size_t from, size_t to, bool leaf) {
  if (to < from + 2) return 0;
  const Entry a = entries[from];
  const Entry b = entries[to - 1];
  const size_t limit = std::min(key_length(a, leaf), key_length(b, leaf));
  size_t n = 0;
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

size_t shared_prefix(const EntryList& entries, bool leaf) { return shared_prefix(entries, 0, entries.size(), leaf); }
}  // namespace

int compare(Entry a_key, uint32_t a_row, Entry b_key, uint32_t b_row) {
  const size_t n = std::min(a_key.size(), b_key.size());
  if (int c = n ? std::memcmp(a_key.data(), b_key.data(), n) : 0; c != 0) return c < 0 ? -1 : 1;
  if (a_key.size() != b_key.size()) return a_key.size() < b_key.size() ? -1 : 1;
  if (a_row != b_row) return a_row < b_row ? -1 : 1;
  return 0;
}

uint32_t row_pointer_of(Entry e, bool leaf) {
  const size_t at = key_length(e, leaf);
  return (static_cast<uint32_t>(e[at]) << 16 | e[at + 1] << 8 | e[at + 2]) << 8 | e[at + 3];
}

int compare_entries(Entry a, Entry b, bool leaf) {
  return compare(a.first(key_length(a, leaf)), row_pointer_of(a, leaf), b.first(key_length(b, leaf)),
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
  const size_t count = bits_set(page + kMask, kMaskBytes);
  const size_t free_bytes = std::min<size_t>(bytes::get16(page + 2), kCapacity);
  // (Bounded, so that a damaged page's counts cannot ask for much.)
  node.entries.reserve(std::min<size_t>(kCapacity - free_bytes + prefix * (count ? count - 1 : 0), 1 << 16), count);
  size_t start = 0;
  const size_t minimum = node.leaf ? 4 : 8;
  EntryBytes first;  // the first entry: it holds the prefix the others leave out
  // Entry ends: the set bits of the map, byte by byte (most bytes hold one or none).
  for (size_t byte = 0; byte < kMaskBytes; ++byte)
    for (unsigned bits = page[kMask + byte]; bits != 0; bits &= bits - 1) {
      const size_t bit = byte * 8 + static_cast<size_t>(std::countr_zero(bits));
      if (kEntryStart + bit > 4096 || bit <= start)
        throw std::runtime_error("index page " + std::to_string(number) + " has a broken entry map");
      const Entry rest(page + kEntryStart + start, bit - start);
      const Entry shared = node.entries.empty() ? Entry{} : Entry(first.data(), prefix);
      if (shared.size() + rest.size() < minimum || (node.entries.empty() && rest.size() < prefix))
        throw std::runtime_error("index page " + std::to_string(number) + " has a short entry");
      if (node.entries.empty()) first.assign(rest.begin(), rest.end());
      node.entries.append(shared, rest);
      start = bit;
    }
  return node;
}

size_t packed_size(const EntryList& entries, bool leaf) { return packed_size(entries, 0, entries.size(), leaf); }

size_t packed_size(const EntryList& entries, size_t from, size_t to, bool leaf) {
  const size_t prefix = shared_prefix(entries, from, to, leaf);
  return entries.bytes_between(from, to) - (to > from ? prefix * (to - from - 1) : 0);
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
    const Entry e = node.entries[i];
    const size_t skip = i == 0 ? 0 : prefix;
    if (kEntryStart + at + e.size() - skip > page_size) throw std::logic_error("index entries overflow the page");
    std::memcpy(page + kEntryStart + at, e.data() + skip, e.size() - skip);
    at += e.size() - skip;
    page[kMask + at / 8] |= static_cast<uint8_t>(1u << (at % 8));
  }
  bytes::put16(page + 2, static_cast<uint32_t>(page_size - kEntryStart - at));
}

}  // namespace index_page
}  // namespace halvaro::jet
