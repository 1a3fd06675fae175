// The page store's budget: after a commit it keeps the most recently used pages and
// lets go of the rest, and a page kept across a commit behaves like one read afresh
// when it changes again, is committed or is rolled back.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "jet/pages/page_store.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

using test::file_bytes;
using test::TempDir;

std::string bytes_of(const PageStore& store, uint32_t page) {
  return {reinterpret_cast<const char*>(store.read(page)), store.page_size()};
}

std::string page_of_file(const std::string& file, uint32_t page) { return file.substr(page * 4096ul, 4096); }

TEST(PageStoreRelease, KeepsTheMostRecentlyUsedPagesAndEveryChangedOne) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  TempDir dir;
  const auto file = dir.copy_in(fixture);
  auto store = PageStore::open(file);
  ASSERT_GE(store->page_count(), 12u);
  for (uint32_t page = 1; page <= 10; ++page) store->read(page);
  store->touch(2);  // used through a decoded copy, as index nodes are
  store->read(9);
  store->write(4)[100] = 0x5A;  // changed, so it stays whatever its age

  store->release(3);
  EXPECT_EQ(store->pages_held(), 3u);
  EXPECT_TRUE(store->holds(4));
  EXPECT_TRUE(store->holds(9));
  EXPECT_TRUE(store->holds(2));
  for (uint32_t page : {1u, 3u, 5u, 6u, 7u, 8u, 10u}) EXPECT_FALSE(store->holds(page)) << page;
  EXPECT_EQ(store->read(4)[100], 0x5A);

  // Below the budget nothing goes; with none left, only the changed page stays.
  store->release(10);
  EXPECT_EQ(store->pages_held(), 3u);
  store->release(0);
  EXPECT_EQ(store->pages_held(), 1u);
  EXPECT_TRUE(store->holds(4));

  // A dropped page reads back as the file holds it.
  const std::string on_disk = file_bytes(file);
  EXPECT_EQ(bytes_of(*store, 7), page_of_file(on_disk, 7));
}

TEST(PageStoreRelease, AKeptPageChangedAgainIsCommittedOrRolledBackLikeAFreshOne) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  TempDir dir;
  const auto file = dir.copy_in(fixture);
  auto store = PageStore::open(file);
  const uint32_t added = store->allocate();
  std::memset(store->write(added) + 16, 0x11, 64);
  store->write(5)[200] ^= 0xFF;
  store->commit();
  store->release(2);  // both changed pages were the last used: both stay
  ASSERT_TRUE(store->holds(5));
  ASSERT_TRUE(store->holds(added));
  const std::string committed = file_bytes(file);
  EXPECT_EQ(bytes_of(*store, 5), page_of_file(committed, 5));
  EXPECT_EQ(bytes_of(*store, added), page_of_file(committed, added));

  // Changed again and rolled back: the kept page returns to its committed bytes.
  store->write(5)[201] ^= 0xFF;
  store->write(added)[16] = 0x22;
  store->allocate();
  store->discard_changes();
  EXPECT_EQ(bytes_of(*store, 5), page_of_file(committed, 5));
  EXPECT_EQ(bytes_of(*store, added), page_of_file(committed, added));
  EXPECT_EQ(store->page_count(), committed.size() / 4096);
  EXPECT_EQ(file_bytes(file), committed);

  // Changed again and committed: the file takes the new bytes, and a second store
  // reading the file from scratch sees what this one holds.
  store->write(5)[202] = 0x33;
  store->commit();
  store->release(1);
  const std::string expected = bytes_of(*store, 5);
  store->close();
  store.reset();
  auto fresh = PageStore::open(file);
  EXPECT_EQ(bytes_of(*fresh, 5), expected);
  EXPECT_EQ(bytes_of(*fresh, added), page_of_file(committed, added));
}

}  // namespace
}  // namespace halvaro::jet
