// What keeps the file whole: the rollback journal, the writer's lock, refusals that
// leave the file as it was, and appends killed at random moments.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <random>

#include "jet/writer/checker.h"
#include "jet/writer/database_writer.h"
#include "jet/pages/journal.h"
#include "jet/pages/page_store.h"
#include "platform/file.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

using test::file_bytes;
using test::TempDir;

std::string error_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const JetError& e) {
    return e.what();
  }
  return "(no error)";
}

std::vector<FieldValue> claimant(const DatabaseWriter& w, const TableDef& t, const std::string& number) {
  auto row = w.new_row(t);
  row.at(t.find_column("STRegNO")->position) = FieldValue(number);
  row.at(t.find_column("ClaimantName")->position) = FieldValue("Claimant " + number);
  return row;
}

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
  EXPECT_NE(error_of([&] { DatabaseWriter::open(file); }).find("is being written by another program"),
            std::string::npos);
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

  std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  EXPECT_NE(error_of([&] { DatabaseWriter::open(file); }).find("folder"), std::string::npos);
  std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
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

// A child appends rows (committing every few) until it is killed at a random moment;
// the next open must find a clean file holding a prefix of the rows, at least as
// long as the child had reported committed, and no page past its last commit.
// `written_ahead` counts the pages the children wrote ahead of their commits, as far
// as they reported. With `after_first_commit` the random moment is counted from the
// child's first commit, so that a busy machine, where opening the file alone can take
// longer than the longest wait, still lets every child write.
void kill_writers_at_random(const WriterOptions& options, const std::string& what, uint64_t& written_ahead,
                            bool after_first_commit = false) {
  const auto fixture = test::database_path("new-empty.mdb");
  TempDir dir;
  auto file = dir.copy_in(fixture);
  std::mt19937 random(2026);
  int rolled_back = 0;
  int previous = 0;
  struct Report {
    int rows;
    uintmax_t file_size;
    uint64_t written_ahead;
  };
  for (int trial = 0; trial < 50; ++trial) {
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(report[0]);
      try {
        auto w = DatabaseWriter::open(file, options);
        const TableDef& t = w->table("tblClaimantInfo");
        for (int n = previous;; ++n) {
          char number[16];
          std::snprintf(number, sizeof number, "%013d", n);
          w->append(t, claimant(*w, t, number));
          if (n % 7 == 6) {
            w->commit();
            const Report done{n + 1, std::filesystem::file_size(file), w->counters().pages_written_ahead};
            if (write(report[1], &done, sizeof done) != sizeof done) _exit(3);
          }
        }
      } catch (...) {
        _exit(2);
      }
    }
    close(report[1]);
    Report committed{previous, 0, 0}, done{};
    if (after_first_commit && read(report[0], &done, sizeof done) == sizeof done) committed = done;
    usleep(static_cast<useconds_t>(std::uniform_int_distribution<int>(1000, 40000)(random)));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << what << ": the child stopped on its own with status " << status;
    while (read(report[0], &done, sizeof done) == sizeof done) committed = done;
    close(report[0]);

    if (has_hot_journal(file)) ++rolled_back;
    DatabaseWriter::open(file)->close();
    auto db = Database::open(file);
    auto check = check_database(*db);
    for (const auto& p : check.problems) ADD_FAILURE() << what << ", trial " << trial << ": " << p;
    std::vector<std::string> numbers;
    db->scan(db->table("tblClaimantInfo"), [&](std::span<const FieldValue> v) {
      numbers.push_back(v[0].as<std::string>());
      return true;
    });
    ASSERT_GE(static_cast<int>(numbers.size()), committed.rows) << what << ", trial " << trial << " lost committed rows";
    for (size_t i = 0; i < numbers.size(); ++i) {
      char expected[32];
      std::snprintf(expected, sizeof expected, "%013zu", i);
      ASSERT_EQ(numbers[i], expected) << what << ", trial " << trial << ": rows are not a prefix";
    }
    // Nothing the child added after its last commit is left at the file's end.
    if (committed.file_size != 0 && static_cast<int>(numbers.size()) == committed.rows) {
      EXPECT_EQ(std::filesystem::file_size(file), committed.file_size) << what << ", trial " << trial;
    }
    previous = static_cast<int>(numbers.size());
    written_ahead += committed.written_ahead;
  }
  std::cout << "[ info ] " << what << ": 50 kills, " << previous << " rows kept, " << rolled_back
            << " interrupted commits rolled back, " << written_ahead << " pages written ahead\n";
}

TEST(WriterSafety, KilledWritersLeaveAPrefixOfTheirRows) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  uint64_t written_ahead = 0;
  kill_writers_at_random({1000000, std::chrono::hours(1)}, "commits every 7 rows", written_ahead);
  // Held to a few pages, the writer writes the pages it adds ahead of each commit.
  WriterOptions tight{1000000, std::chrono::hours(1)};
  tight.pages_kept_after_commit = 4;
  tight.pages_held_before_commit = 8;
  written_ahead = 0;
  kill_writers_at_random(tight, "pages written ahead", written_ahead, true);
  EXPECT_GT(written_ahead, 0u);
}

}  // namespace
}  // namespace halvaro::jet
