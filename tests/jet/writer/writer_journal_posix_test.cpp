// What keeps the file whole where POSIX lets a test take away a folder's write
// permission and kill a writer outright: a refusal that leaves the file as it was, and
// appends killed at random moments.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <random>

#include "jet/pages/journal.h"
#include "jet/writer/checker.h"
#include "jet/writer/database_writer.h"
#include "tests/jet/writer/writer_rows.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

using test::file_bytes;
using test::TempDir;
using writer_rows::claimant;
using writer_rows::error_of;

// A folder the user may not write to: the journal could not be made beside the file.
TEST(WriterSafety, AFileInAFolderWithoutWriteAccessIsRefusedAndLeftAsItWas) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  TempDir dir;
  auto file = dir.copy_in(fixture);
  const std::string before = file_bytes(file);
  std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  EXPECT_NE(error_of([&] { DatabaseWriter::open(file); }).find("folder"), std::string::npos);
  std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
  EXPECT_EQ(file_bytes(file), before);
  EXPECT_FALSE(std::filesystem::exists(journal_path(file)));
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
