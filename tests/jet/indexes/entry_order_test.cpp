// A batch of leaf entries comes out in the order compare_entries gives (which the
// index page tests check against pages Access wrote): keys sharing long prefixes, keys
// that end inside the eight bytes compared at a time, keys that are another's start
// with or without zeros after it, and one key on many rows.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "jet/indexes/entry_order.h"
#include "jet/indexes/index_page.h"

namespace halvaro::jet {
namespace {

struct Batch {
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> ends;

  void add(const std::vector<uint8_t>& key, uint32_t row) {
    bytes.insert(bytes.end(), key.begin(), key.end());
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(row >> shift));
    ends.push_back(static_cast<uint32_t>(bytes.size()));
  }
  Entry entry(uint32_t i) const {
    const uint32_t start = i ? ends[i - 1] : 0;
    return Entry(bytes.data() + start, ends[i] - start);
  }
  std::vector<uint32_t> compared_order() const {
    std::vector<uint32_t> order(ends.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(),
              [&](uint32_t a, uint32_t b) { return index_page::compare_entries(entry(a), entry(b), true) < 0; });
    return order;
  }
};

TEST(LeafEntryOrder, IsTheOrderOfComparingWholeEntries) {
  std::mt19937 random(7);
  Batch batch;
  // Item keys: a claimant and a period shared by thousands, then an invoice and a line.
  const std::vector<uint8_t> claimant(23, 0x5A), other_claimant(23, 0x5B);
  for (uint32_t row = 0; row < 3000; ++row) {
    std::vector<uint8_t> key = random() % 4 ? claimant : other_claimant;
    key.push_back(static_cast<uint8_t>(random() % 3));  // period
    for (size_t n = random() % 12; n > 0; --n) key.push_back(static_cast<uint8_t>(random() % 4));
    batch.add(key, static_cast<uint32_t>(random()));
  }
  // Keys ending at and around the eight-byte steps, and zeros after a key's end.
  for (size_t length = 0; length < 26; ++length) {
    std::vector<uint8_t> key(claimant.begin(), claimant.begin() + static_cast<long>(std::min<size_t>(length, 23)));
    key.resize(length, 0);
    batch.add(key, 1000 + static_cast<uint32_t>(length));
    batch.add(key, 5);
    key.push_back(0);
    batch.add(key, 4);
  }
  // One key on many rows, in no order.
  for (uint32_t n = 0; n < 500; ++n) batch.add({0x7F, 0x10, 0x20}, static_cast<uint32_t>(random() % 100000) << 8);

  EXPECT_EQ(leaf_entry_order(batch.bytes, batch.ends), batch.compared_order());
}

TEST(LeafEntryOrder, TakesEmptyAndSingleBatches) {
  EXPECT_TRUE(leaf_entry_order({}, {}).empty());
  Batch one;
  one.add({1, 2, 3}, 9);
  EXPECT_EQ(leaf_entry_order(one.bytes, one.ends), std::vector<uint32_t>{0});
}

}  // namespace
}  // namespace halvaro::jet
