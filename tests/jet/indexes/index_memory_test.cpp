// What an index writer holds between commits. A page is held either as bytes in the
// page store or decoded, never both, and the writer's count of the decoded bytes (what
// its budget is measured by) must follow every split, flush and forget: a count that
// drifts low lets memory grow without bound, one that drifts high commits for nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tests/jet/indexes/index_tree.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

using test::TempDir;

// Keys sharing a long prefix: decoded, a page takes well over its 4 KiB.
KeyBytes key_of(int group, int number) {
  KeyBytes key(48, 'K');
  key.push_back(static_cast<uint8_t>(group));
  for (int shift = 24; shift >= 0; shift -= 8) key.push_back(static_cast<uint8_t>(number >> shift));
  return key;
}

TEST(IndexMemory, TheDecodedBytesCountedFollowSplitsFlushesAndForgets) {
  TempDir dir;
  auto [pages, tree] = test::index_tree(dir.path() / "index.mdb");
  IndexWriter& index = *tree;

  std::vector<std::pair<int, int>> rows;
  for (int number = 0; number < 1000; ++number)
    for (int group = 0; group < 60; ++group) rows.emplace_back(group, number);
  std::shuffle(rows.begin(), rows.end(), std::mt19937(5));
  std::mt19937 chance(9);
  size_t most_held = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    const auto& [group, number] = rows[i];
    index.insert(key_of(group, number), static_cast<uint32_t>(i + 1) << 8);
    if (i % 397 == 0) {
      ASSERT_EQ(index.bytes_held(), index.bytes_held_recounted()) << "after insert " << i;
      most_held = std::max(most_held, index.bytes_held());
    }
    if (chance() % 5000 == 0) index.flush();  // changed leaves go back into their pages
    if (chance() % 15000 == 0) {             // as after a commit: every leaf goes
      index.flush();
      index.forget();
    }
  }
  ASSERT_GT(pages->page_count(), 150u);  // the tree took a few hundred pages
  EXPECT_GT(most_held, 600u * 1024);

  // As a commit leaves it: the store holds nothing, the writer the upper levels only.
  index.flush();
  EXPECT_EQ(index.bytes_held(), index.bytes_held_recounted());
  pages->commit();
  pages->release();
  index.forget();
  EXPECT_EQ(index.bytes_held(), index.bytes_held_recounted());
  EXPECT_LT(index.bytes_held(), 64u * 1024);
  EXPECT_EQ(pages->pages_held(), 0u);

  // Read back whole, every entry is there in order, and each page read is held decoded
  // only: its bytes left the store.
  std::vector<std::pair<int, int>> seen;
  index.for_each([&](Entry e) { seen.emplace_back(e[48], e[49 + 3] | e[49 + 2] << 8); });
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(seen, rows);
  EXPECT_EQ(pages->pages_held(), 0u);
  EXPECT_EQ(index.bytes_held(), index.bytes_held_recounted());
  EXPECT_GT(index.bytes_held(), 600u * 1024);
}

// Entries that wait go in a batch at a time in key order: each batch leaves the leaves
// it changed encoded in their pages (only the last one, and the upper levels, stay
// decoded), it counts the keys no entry had before, and the tree holds every entry in
// order, as inserting them one by one does.
TEST(IndexMemory, WaitingEntriesGoInInKeyOrderAndLeaveTheirLeavesEncoded) {
  TempDir dir;
  test::IndexTree batched = test::index_tree(dir.path() / "batched.mdb");
  test::IndexTree one_by_one = test::index_tree(dir.path() / "one.mdb");

  // Keys repeat: each group has 300 numbers, each taken by several rows.
  std::vector<std::pair<int, int>> rows;
  for (int copy = 0; copy < 4; ++copy)
    for (int number = 0; number < 300; ++number)
      for (int group = 0; group < 60; ++group) rows.emplace_back(group, number);
  std::shuffle(rows.begin(), rows.end(), std::mt19937(3));
  uint64_t distinct_batched = 0, distinct_one_by_one = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    const auto [group, number] = rows[i];
    const auto row = static_cast<uint32_t>(i + 1) << 8;
    batched.index->add_pending(key_of(group, number), row);
    distinct_one_by_one += one_by_one.index->insert(key_of(group, number), row) ? 1 : 0;
    if (i % 6007 == 6006 || i + 1 == rows.size()) {
      ASSERT_EQ(batched.index->bytes_held(), batched.index->bytes_held_recounted()) << "before batch " << i;
      distinct_batched += batched.index->insert_pending();
      EXPECT_EQ(batched.index->pending_count(), 0u);
      ASSERT_EQ(batched.index->bytes_held(), batched.index->bytes_held_recounted()) << "after batch " << i;
      // The batch's leaves went back into their pages: what stays is the upper
      // levels, a few leaves, and the room kept for the next batch (500 KiB here);
      // the whole tree decoded takes several MiB.
      EXPECT_LT(batched.index->bytes_held(), 1024u * 1024) << i;
    }
  }
  EXPECT_EQ(distinct_batched, 60u * 300);
  EXPECT_EQ(distinct_one_by_one, distinct_batched);
  ASSERT_GT(batched.pages->page_count(), 150u);

  batched.index->flush();
  std::vector<std::vector<uint8_t>> a, b;
  batched.index->for_each([&](Entry e) { a.emplace_back(e.begin(), e.end()); });
  one_by_one.index->for_each([&](Entry e) { b.emplace_back(e.begin(), e.end()); });
  EXPECT_EQ(a.size(), rows.size());
  EXPECT_TRUE(a == b) << "the batched tree holds other entries, or in another order";
}

}  // namespace
}  // namespace halvaro::jet
