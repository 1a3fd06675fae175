#pragma once
// Jet 4 index pages (0x03 intermediate, 0x04 leaf). Entries are stored from byte
// 0x1E0, the first whole and the rest without the prefix all entries of the page
// share; a bitmap at 0x1B marks where each entry ends. A leaf entry is the key and
// the row's address (3-byte page, row, big-endian); an intermediate entry adds the
// child page and stands for the greatest entry below that child, except for the
// last child, which only the page's "tail" field names.

#include <cstdint>
#include <span>
#include <vector>

namespace halvaro::jet {

using EntryBytes = std::vector<uint8_t>;
using Entry = std::span<const uint8_t>;

// A page's entries back to back in one buffer, so that searching a page touches a
// few cache lines rather than one heap block per entry.
class EntryList {
 public:
  size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  size_t total_bytes() const { return data_.size(); }
  // Bytes of the entries from `from` up to `to`.
  size_t bytes_between(size_t from, size_t to) const {
    return (to ? ends_[to - 1] : 0) - (from ? ends_[from - 1] : 0);
  }
  // Heap bytes the list takes, room for growth included.
  size_t footprint() const { return data_.capacity() + ends_.capacity() * sizeof(uint32_t); }
  Entry operator[](size_t i) const {
    const uint32_t start = i ? ends_[i - 1] : 0;
    return {data_.data() + start, ends_[i] - start};
  }
  Entry front() const { return (*this)[0]; }
  Entry back() const { return (*this)[size() - 1]; }

  void insert(size_t at, Entry entry);
  void push_back(Entry entry) { insert(size(), entry); }
  // Appends the entry made of `front` followed by `rest` (a page's shared prefix and
  // what an entry stores after it).
  void append(Entry front, Entry rest);
  void replace(size_t at, Entry entry);
  void pop_back();
  void clear();
  // Removes the first `count` entries and returns them.
  EntryList take_front(size_t count);
  // Room for this many bytes of entries and entries, so that a page read back takes
  // what it holds rather than what doubling vectors round it up to.
  void reserve(size_t bytes, size_t count) {
    data_.reserve(bytes);
    ends_.reserve(count);
  }

 private:
  // Room for one more entry of `length` bytes.
  void grow_for(size_t length);
  void replace_resized(size_t at, Entry entry);

  std::vector<uint8_t> data_;
  std::vector<uint32_t> ends_;
};

struct IndexNode {
  uint32_t page = 0;
  bool leaf = true;
  uint32_t prev = 0, next = 0, tail = 0;
  EntryList entries;   // whole entries, ascending
  bool dirty = false;  // changed since last encoded into its page
  size_t counted = 0;  // bytes its writer counts it as holding
  // The run of entries put one right after another that the latest entry continued:
  // where that entry went plus one (0: not known), and how many the run holds.
  struct Run {
    uint32_t next = 0;
    uint32_t length = 0;
  } run;
};

namespace index_page {

constexpr size_t kEntryStart = 0x1E0;
constexpr size_t kCapacity = 4096 - kEntryStart;  // bytes of entries a page holds

// Length of the part of an entry that orders it (key and row address).
inline size_t ordered_length(Entry e, bool leaf) { return leaf ? e.size() : e.size() - 4; }
inline size_t key_length(Entry e, bool leaf) { return ordered_length(e, leaf) - 4; }
inline uint32_t child_of(Entry e) {
  return static_cast<uint32_t>(e[e.size() - 4]) << 24 | e[e.size() - 3] << 16 | e[e.size() - 2] << 8 |
         e[e.size() - 1];
}

// Orders entries by key bytes, then row address (what Access does).
int compare(Entry a_key, uint32_t a_row, Entry b_key, uint32_t b_row);
int compare_entries(Entry a, Entry b, bool leaf);
uint32_t row_pointer_of(Entry e, bool leaf);  // page << 8 | row

IndexNode decode(const uint8_t* page, uint32_t number);
// Bytes the entries take once the shared prefix is taken out.
size_t packed_size(const EntryList& entries, bool leaf);
// The same for the entries from `from` up to `to`, as a page of their own.
size_t packed_size(const EntryList& entries, size_t from, size_t to, bool leaf);
void encode(const IndexNode& node, uint32_t owner, uint8_t* page, size_t page_size);

}  // namespace index_page
}  // namespace halvaro::jet
