// A journal belongs to the file it protects, whatever name the file is reached by,
// and a failed write puts the file back at its last commit before it is reported.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "jet/pages/journal.h"
#include "jet/pages/page_store.h"
#include "jet/writer/checker.h"
#include "jet/writer/database_writer.h"
#include "platform/file.h"
#include "tests/jet/writer/writer_rows.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

using test::file_bytes;
using test::TempDir;
using writer_rows::error_of;

// What a writer killed in the middle of a commit leaves: page 5's old contents in the
// journal, the page itself overwritten. `name` is the path the writer was given.
void leave_interrupted_commit(const std::filesystem::path& name) {
  const std::string original = file_bytes(name);
  std::error_code error;
  platform::File file = platform::File::open(name, platform::File::Mode::read_write, error);
  ASSERT_TRUE(file.is_open()) << error.message();
  Journal journal(name, file, 4096);
  const uint32_t saved[] = {5};
  journal.save(static_cast<uint32_t>(original.size() / 4096), static_cast<uint32_t>(original.size() / 4096) + 1,
               saved);
  const std::string damage(4096, 'X');
  ASSERT_TRUE(file.write_at(damage.data(), damage.size(), 5 * 4096, error)) << error.message();
}

TEST(JournalIdentity, AWriteThroughALinkIsRolledBackUnderTheRealName) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  TempDir dir;
  const auto real = dir.copy_in(fixture);
  const auto link = dir.path() / "link.mdb";
  std::error_code no_link;
  std::filesystem::create_symlink(real, link, no_link);
  if (no_link) GTEST_SKIP() << "this user cannot make a symbolic link here: " << no_link.message();
  const std::string original = file_bytes(real);

  leave_interrupted_commit(link);
  EXPECT_EQ(journal_path(link), journal_path(real));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "link.mdb-journal"));
  EXPECT_EQ(journal_state(real), JournalState::Hot);
  EXPECT_NE(error_of([&] { Database::open(real); }).find("interrupted"), std::string::npos);

  // Reopened by the real name: rolled back, and the link sees the same whole file.
  DatabaseWriter::open(real)->close();
  EXPECT_EQ(file_bytes(real), original);
  EXPECT_EQ(journal_state(link), JournalState::None);
  EXPECT_TRUE(check_database(*Database::open(link)).ok());
}

TEST(JournalIdentity, AJournalOfAReplacedFileIsRefusedAndLeftAlone) {
  HALVARO_REQUIRE_DATABASE(empty, "new-empty.mdb");
  HALVARO_REQUIRE_DATABASE(other, "new-nonempty.mdb");
  TempDir dir;
  const auto file = dir.copy_in(empty);
  leave_interrupted_commit(file);
  const std::string journal = file_bytes(journal_path(file));

  // Replaced by renaming another database over it (a new inode), and by copying one
  // into it (the same inode, another header page).
  for (const bool same_inode : {true, false}) {
    SCOPED_TRACE(same_inode ? "copied over" : "renamed over");
    if (same_inode) {
      std::filesystem::copy_file(other, file, std::filesystem::copy_options::overwrite_existing);
    } else {
      const auto replacement = dir.path() / "replacement.mdb";
      std::filesystem::copy_file(other, replacement);
      std::filesystem::rename(replacement, file);
    }
    std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const std::string replaced = file_bytes(file);
    EXPECT_EQ(journal_state(file), JournalState::Foreign);
    const std::string error = error_of([&] { DatabaseWriter::open(file); });
    EXPECT_NE(error.find("was written for another file"), std::string::npos) << error;
    EXPECT_NE(error_of([&] { Database::open(file); }).find("was written for another file"), std::string::npos);
    EXPECT_EQ(file_bytes(file), replaced);
    EXPECT_EQ(file_bytes(journal_path(file)), journal) << "the journal is left for the user";
  }
}

TEST(JournalIdentity, AWriterThatNeverCommitsLeavesNoJournal) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  TempDir dir;
  const auto file = dir.copy_in(fixture);
  {
    auto writer = DatabaseWriter::open(file);
    EXPECT_FALSE(std::filesystem::exists(journal_path(file)));
  }
  EXPECT_FALSE(std::filesystem::exists(journal_path(file)));
  EXPECT_NE(error_of([&] { DatabaseWriter::open(dir.path()); }).find("is a folder, not a database file"),
            std::string::npos);
}

}  // namespace
}  // namespace halvaro::jet
