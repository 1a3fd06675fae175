// What keeps the file whole: the rollback journal, the writer's lock, and refusals that
// leave the file as it was.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "jet/writer/checker.h"
#include "jet/writer/database_writer.h"
#include "jet/pages/journal.h"
#include "jet/pages/page_store.h"
#include "platform/file.h"
#include "tests/jet/writer/writer_rows.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

using test::file_bytes;
using test::TempDir;
using writer_rows::claimant;
using writer_rows::error_of;

// A copy of `file` whose header names another engine version (the byte at 0x14: 0 is
// Jet 3, Access 97; 2 and up the .accdb engines).
std::filesystem::path with_engine_version(const TempDir& dir, const std::filesystem::path& file, char version,
                                          const std::string& name) {
  const auto copy = dir.path() / name;
  std::filesystem::copy_file(file, copy);
  std::filesystem::permissions(copy, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
  std::fstream f(copy, std::ios::binary | std::ios::in | std::ios::out);
  f.seekp(0x14);
  f.put(version);
  return copy;
}

// An Access 97 file: the one Access made where the fixtures are present, otherwise a
// 5.1 file whose header says Jet 3 (the header is all the refusal reads).
std::filesystem::path access_97_file(const TempDir& dir, const std::filesystem::path& jet4) {
  const std::filesystem::path fixtures = test::fixtures_dir();
  if (!fixtures.empty() && std::filesystem::exists(fixtures / "access/V1997/testV1997.mdb"))
    return dir.copy_in(fixtures / "access/V1997/testV1997.mdb");
  return with_engine_version(dir, jet4, 0, "access97.mdb");
}

TEST(WriterSafety, OpeningRefusesWhatCannotBeWrittenSafely) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  TempDir dir;
  auto file = dir.copy_in(fixture);

  auto first = DatabaseWriter::open(file);
  // A second writer is refused: by the writer's lock on POSIX, by the first writer's
  // share mode (which keeps every other opening for writing out) on Windows.
  const std::string second = error_of([&] { DatabaseWriter::open(file); });
  EXPECT_TRUE(second.find("is being written by another program") != std::string::npos ||
              second.find("is open in another program") != std::string::npos)
      << second;
  first->close();
  first.reset();
  EXPECT_NO_THROW(DatabaseWriter::open(file)->close());

  EXPECT_NE(error_of([&] { DatabaseWriter::open(access_97_file(dir, fixture)); })
                .find("writing Access 97 files is not supported"),
            std::string::npos);
  EXPECT_NE(error_of([&] { DatabaseWriter::open(with_engine_version(dir, fixture, 2, "access2007.mdb")); })
                .find("is a newer Access format (.accdb era) that cannot be written"),
            std::string::npos);

  const std::string before = file_bytes(file);
  std::filesystem::permissions(file, std::filesystem::perms::owner_read);
  EXPECT_NE(error_of([&] { DatabaseWriter::open(file); }).find("is read-only"), std::string::npos);
  std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(file_bytes(file), before);
  EXPECT_FALSE(std::filesystem::exists(journal_path(file)));
}

TEST(WriterSafety, RefusedRowsLeaveTheFileUnchanged) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  TempDir dir;
  auto file = dir.copy_in(fixture);
  auto w = DatabaseWriter::open(file);
  const TableDef& t = w->table("tblClaimantInfo");
  w->append(t, claimant(*w, t, "0301234500017"));
  w->commit();
  const std::string committed = file_bytes(file);

  try {
    w->append(t, claimant(*w, t, "0301234500017"));
    ADD_FAILURE() << "a duplicate primary key was accepted";
  } catch (const ConstraintError& e) {
    EXPECT_NE(std::string(e.what()).find("tblClaimantInfo"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("0301234500017"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("primary key"), std::string::npos) << e.what();
  }
  auto missing_key = claimant(*w, t, "x");
  missing_key.at(t.find_column("STRegNO")->position) = FieldValue();
  try {
    w->append(t, missing_key);
    ADD_FAILURE() << "a null required column was accepted";
  } catch (const ConstraintError& e) {
    EXPECT_NE(std::string(e.what()).find("STRegNO"), std::string::npos) << e.what();
  }
  auto too_long = claimant(*w, t, "0301234500099");
  too_long.at(t.find_column("NTN")->position) = FieldValue(std::string(11, '9'));  // TEXT(10)
  EXPECT_THROW(w->append(t, too_long), ValueError);
  auto wrong_kind = claimant(*w, t, "0301234500098");
  wrong_kind.at(t.find_column("LastLogin")->position) = FieldValue("yesterday");
  EXPECT_THROW(w->append(t, wrong_kind), ValueError);
  w->close();
  EXPECT_EQ(file_bytes(file), committed);
}

TEST(WriterSafety, AJournalLeftByACrashIsRolledBackOnOpen) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  TempDir dir;
  auto file = dir.copy_in(fixture);
  const std::string original = file_bytes(file);
  {
    // A commit that died after saving page 5 and overwriting it, with a page added.
    std::error_code error;
    platform::File database = platform::File::open(file, platform::File::Mode::peek, error);
    Journal journal(file, database, 4096);
    const uint32_t saved[] = {5};
    journal.save(static_cast<uint32_t>(original.size() / 4096), static_cast<uint32_t>(original.size() / 4096) + 1,
                 saved);
    std::fstream f(file, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(5 * 4096);
    f << std::string(4096, 'X');
    f.seekp(0, std::ios::end);
    f << std::string(4096, 'Y');
  }
  EXPECT_TRUE(has_hot_journal(file));
  EXPECT_NE(error_of([&] { Database::open(file); }).find("interrupted"), std::string::npos);
  auto store = PageStore::open(file);
  EXPECT_EQ(store->pages_rolled_back_on_open(), 1u);
  store->close();
  EXPECT_EQ(file_bytes(file), original);
}

}  // namespace
}  // namespace halvaro::jet
