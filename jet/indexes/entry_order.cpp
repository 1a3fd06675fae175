#include "jet/indexes/entry_order.h"

#include <algorithm>

namespace halvaro::jet {
namespace {

struct Item {
  uint64_t chunk;  // eight key bytes from the offset being sorted on, big-endian
  uint32_t entry;
};

class EntrySorter {
 public:
  EntrySorter(std::span<const uint8_t> bytes, std::span<const uint32_t> ends) : bytes_(bytes), ends_(ends) {}

  // Sorts items whose keys agree on their first `offset` bytes (a shorter key counted
  // as if zeros followed it). Keys that agree that way on every byte either holds are
  // alike up to the shorter one's end, and the rest zeros: the shorter comes first,
  // then the lower row address.
  void sort(std::span<Item> items, size_t offset) const {
    uint64_t lowest = UINT64_MAX, highest = 0;
    for (Item& item : items) {
      item.chunk = chunk(item.entry, offset);
      lowest = std::min(lowest, item.chunk);
      highest = std::max(highest, item.chunk);
    }
    if (lowest != highest)
      std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.chunk < b.chunk; });
    for (size_t first = 0; first < items.size();) {
      size_t last = first + 1;
      while (last < items.size() && items[last].chunk == items[first].chunk) ++last;
      std::span<Item> alike = items.subspan(first, last - first);
      first = last;
      if (alike.size() < 2) continue;
      const bool longer = std::any_of(alike.begin(), alike.end(),
                                      [&](const Item& item) { return key_length(item.entry) > offset + 8; });
      if (longer) {
        sort(alike, offset + 8);
        continue;
      }
      std::sort(alike.begin(), alike.end(), [&](const Item& a, const Item& b) {
        const size_t a_length = key_length(a.entry), b_length = key_length(b.entry);
        if (a_length != b_length) return a_length < b_length;
        return row(a.entry) < row(b.entry);
      });
    }
  }

 private:
  size_t start(uint32_t entry) const { return entry ? ends_[entry - 1] : 0; }
  size_t key_length(uint32_t entry) const { return ends_[entry] - start(entry) - 4; }
  uint32_t row(uint32_t entry) const {
    const uint8_t* at = bytes_.data() + ends_[entry] - 4;
    return uint32_t(at[0]) << 24 | uint32_t(at[1]) << 16 | uint32_t(at[2]) << 8 | at[3];
  }
  uint64_t chunk(uint32_t entry, size_t offset) const {
    const size_t length = key_length(entry);
    const uint8_t* key = bytes_.data() + start(entry);
    uint64_t value = 0;
    for (size_t k = offset; k < offset + 8; ++k) value = value << 8 | (k < length ? key[k] : 0);
    return value;
  }

  std::span<const uint8_t> bytes_;
  std::span<const uint32_t> ends_;
};

}  // namespace

std::vector<uint32_t> leaf_entry_order(std::span<const uint8_t> bytes, std::span<const uint32_t> ends) {
  std::vector<Item> items(ends.size());
  for (uint32_t i = 0; i < items.size(); ++i) items[i].entry = i;
  EntrySorter(bytes, ends).sort(items, 0);
  std::vector<uint32_t> order(items.size());
  std::transform(items.begin(), items.end(), order.begin(), [](const Item& item) { return item.entry; });
  return order;
}

}  // namespace halvaro::jet
