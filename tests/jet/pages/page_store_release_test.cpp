// The page store between commits: release() lets go of the pages that match the file
// and reuses their buffers for the next pages read or added; forget() lets go of one
// such page and overwrite() takes a page whole without reading it; a page kept across
// a commit behaves like one read afresh when it changes again, is committed or is
// rolled back; set_aside() lets go of a changed page's bytes until its holder
// overwrites it.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "jet/base/errors.h"
#include "jet/pages/journal.h"
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

struct OpenCopy {
  std::filesystem::path file;
  std::string on_disk;  // its bytes when opened
  std::shared_ptr<PageStore> store;
};

OpenCopy open_copy(const TempDir& dir, const std::filesystem::path& fixture) {
  OpenCopy copy;
  copy.file = dir.copy_in(fixture);
  copy.on_disk = file_bytes(copy.file);
  copy.store = PageStore::open(copy.file);
  return copy;
}

TEST(PageStoreRelease, DroppedPagesReadBackFromTheFileAndTheirBuffersStartClean) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  TempDir dir;
  auto [file, on_disk, store] = open_copy(dir, fixture);
  ASSERT_GE(store->page_count(), 12u);
  for (uint32_t page = 1; page <= 10; ++page) store->read(page);
  store->write(4)[100] ^= 0x5A;  // changed: it stays

  store->release();
  EXPECT_EQ(store->pages_held(), 1u);
  EXPECT_EQ(bytes_of(*store, 4)[100], static_cast<char>(on_disk[4 * 4096 + 100] ^ 0x5A));
  // The next pages take the buffers of the dropped ones: a page added starts zeroed
  // and a page read holds the file's bytes, whatever the buffer held before.
  const uint32_t added = store->allocate();
  EXPECT_EQ(bytes_of(*store, added), std::string(4096, '\0'));
  for (uint32_t page : {7u, 1u, 10u}) EXPECT_EQ(bytes_of(*store, page), page_of_file(on_disk, page)) << page;
  store->keep_spare(0);
  EXPECT_EQ(bytes_of(*store, 9), page_of_file(on_disk, 9));
}

TEST(PageStoreRelease, ForgottenPagesReadBackAndOverwrittenOnesAreNotRead) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  TempDir dir;
  auto [file, on_disk, store] = open_copy(dir, fixture);
  for (uint32_t page = 1; page <= 8; ++page) store->read(page);
  store->write(3)[50] ^= 0x0F;
  const uint32_t added = store->allocate();

  // Only pages that match the file go; changed and added ones stay.
  for (uint32_t page : {2u, 3u, 5u, 5u, added, 11u}) store->forget(page);
  EXPECT_EQ(store->pages_held(), 7u);  // 1, 3, 4, 6, 7, 8 and the added page
  EXPECT_EQ(bytes_of(*store, 3)[50], static_cast<char>(on_disk[3 * 4096 + 50] ^ 0x0F));
  const uint64_t loaded = store->pages_loaded();
  EXPECT_EQ(bytes_of(*store, 5), page_of_file(on_disk, 5));
  EXPECT_EQ(store->pages_loaded(), loaded + 1);

  // A page taken whole is not read first; it starts zeroed and is committed as written.
  uint8_t* whole = store->overwrite(9);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(whole), 4096), std::string(4096, '\0'));
  EXPECT_EQ(store->pages_loaded(), loaded + 1);
  std::memset(whole, 0x44, 4096);
  EXPECT_EQ(store->overwrite(3)[50], static_cast<uint8_t>(on_disk[3 * 4096 + 50] ^ 0x0F));  // held: as it is
  store->commit();
  const std::string committed = file_bytes(file);
  EXPECT_EQ(page_of_file(committed, 9), std::string(4096, '\x44'));

  // The count of held pages stays right through a release after single pages went.
  store->release();
  EXPECT_EQ(store->pages_held(), 0u);
  for (uint32_t page : {6u, 2u, 9u}) store->read(page);
  store->forget(2);
  EXPECT_EQ(store->pages_held(), 2u);
  EXPECT_EQ(bytes_of(*store, 2), page_of_file(committed, 2));
  EXPECT_EQ(bytes_of(*store, 9), page_of_file(committed, 9));
}

TEST(PageStoreRelease, AKeptPageChangedAgainIsCommittedOrRolledBackLikeAFreshOne) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  TempDir dir;
  auto [file, on_disk, store] = open_copy(dir, fixture);
  const uint32_t added = store->allocate();
  std::memset(store->write(added) + 16, 0x11, 64);
  store->write(5)[200] ^= 0xFF;
  store->commit();  // the pages stay held across it (a writer below its budget keeps them)
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
  const std::string expected = bytes_of(*store, 5);
  ASSERT_NE(expected, page_of_file(committed, 5));
  store->commit();
  store->close();
  store.reset();
  auto fresh = PageStore::open(file);
  EXPECT_EQ(bytes_of(*fresh, 5), expected);
  EXPECT_EQ(bytes_of(*fresh, added), page_of_file(committed, added));
}

// An index writer holds a changed page decoded and sets its bytes aside: until it
// writes the page back, reads see the committed bytes (zeros for a page added since),
// and a commit without it refuses to write an incomplete file.
TEST(PageStoreRelease, APageSetAsideReadsAsCommittedAndMustBeWrittenBackBeforeACommit) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  TempDir dir;
  auto [file, on_disk, store] = open_copy(dir, fixture);
  store->write(6)[300] ^= 0x3C;
  const uint32_t added = store->allocate();
  std::memset(store->write(added), 0x55, 4096);
  store->read(7);
  for (uint32_t page : {6u, added, 7u}) store->set_aside(page);  // 7 is unchanged: it stays
  EXPECT_EQ(store->pages_held(), 1u);
  EXPECT_TRUE(store->changed(6));
  EXPECT_TRUE(store->changed(added));
  EXPECT_EQ(bytes_of(*store, 6), page_of_file(on_disk, 6));
  EXPECT_EQ(bytes_of(*store, added), std::string(4096, '\0'));

  // Written back whole, both are committed as written.
  std::memset(store->overwrite(6), 0x66, 4096);
  store->set_aside(added);
  std::memset(store->overwrite(added), 0x77, 4096);
  store->commit();
  const std::string committed = file_bytes(file);
  EXPECT_EQ(page_of_file(committed, 6), std::string(4096, '\x66'));
  EXPECT_EQ(page_of_file(committed, added), std::string(4096, '\x77'));

  // Never written back: the commit drops the changes instead of writing the rest.
  store->write(8)[10] ^= 0x01;
  store->write(9)[10] ^= 0x01;
  store->set_aside(9);
  try {
    store->commit();
    ADD_FAILURE() << "a page set aside was committed unwritten";
  } catch (const JetError& error) {
    EXPECT_NE(std::string(error.what()).find("page 9 was changed but its new contents were never written back"),
              std::string::npos)
        << error.what();
  }
  EXPECT_FALSE(store->changed(8));
  EXPECT_EQ(file_bytes(file), committed);
  EXPECT_EQ(bytes_of(*store, 8), page_of_file(committed, 8));
}

// Pages added since the last commit go to the file ahead of it when memory runs short.
// The file as committed must survive whatever comes next: a commit keeps them, a
// rollback cuts them off, and so does the next open after a crash.
TEST(PageStoreRelease, PagesWrittenAheadAreKeptByACommitAndCutOffByARollbackOrACrash) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  TempDir dir;
  OpenCopy copy = open_copy(dir, fixture);  // named members: the lambda below uses the store
  const auto& file = copy.file;
  const std::string& on_disk = copy.on_disk;
  auto& store = copy.store;
  const uint32_t committed_pages = store->page_count();
  auto add_pages = [&](char fill) {
    for (int i = 0; i < 3; ++i) std::memset(store->write(store->allocate()), fill, 4096);
    store->write(5)[100] = static_cast<uint8_t>(fill);  // a committed page changes too
  };

  // Rolled back: the file is as committed, and the store as well.
  add_pages('a');
  EXPECT_EQ(store->write_ahead(), 3u);
  EXPECT_EQ(store->pages_held(), 1u);  // page 5 stays: it is not past the committed length
  EXPECT_EQ(bytes_of(*store, committed_pages + 1), std::string(4096, 'a'));  // read back from the file
  store->discard_changes();
  EXPECT_EQ(file_bytes(file), on_disk);
  EXPECT_EQ(store->page_count(), committed_pages);

  // Committed: the pages written ahead are part of it, and one changed again after it
  // was written ahead is committed as changed.
  add_pages('b');
  store->write_ahead();
  store->write(committed_pages + 2)[7] = 'c';
  store->commit();
  std::string expected = on_disk;
  expected[5 * 4096 + 100] = 'b';
  expected += std::string(3 * 4096, 'b');
  expected[(committed_pages + 2) * 4096 + 7] = 'c';
  EXPECT_EQ(file_bytes(file), expected);

  // A crash after pages were written ahead: the next open cuts them off.
  add_pages('d');
  store->write_ahead();
  EXPECT_GT(file_bytes(file).size(), expected.size());
  store.reset();  // the process dies: nothing is committed
  EXPECT_TRUE(has_hot_journal(file));
  auto reopened = PageStore::open(file);
  EXPECT_EQ(file_bytes(file), expected);
  EXPECT_EQ(reopened->page_count(), committed_pages + 3);
}

}  // namespace
}  // namespace halvaro::jet
