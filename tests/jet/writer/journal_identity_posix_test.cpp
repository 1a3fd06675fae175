// A write the system refuses part-way (a file-size limit, on POSIX) is reported only
// once the file is back at its last commit.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "jet/pages/journal.h"
#include "jet/writer/checker.h"
#include "jet/writer/database_writer.h"
#include "tests/jet/writer/writer_rows.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

using test::TempDir;
using writer_rows::claimant;

// A child appends rows under a file-size limit until a commit fails; the failure
// must be reported only after the file is back at its last commit.
TEST(WriteFailure, AFullDiskRollsBackToTheLastCommitBeforeReporting) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  TempDir dir;
  const auto file = dir.copy_in(fixture);
  const auto limit = std::filesystem::file_size(file) + 24 * 4096;
  int report[2];
  ASSERT_EQ(pipe(report), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(report[0]);
    signal(SIGXFSZ, SIG_IGN);
    const rlimit size_limit{limit, limit};
    setrlimit(RLIMIT_FSIZE, &size_limit);
    int committed = 0;
    std::string error;
    try {
      auto w = DatabaseWriter::open(file, {1000000, std::chrono::hours(1)});
      const TableDef& t = w->table("tblClaimantInfo");
      for (int n = 0; n < 100000; ++n) {
        w->append(t, claimant(*w, t, n));
        if (n % 50 == 49) {
          w->commit();
          committed = n + 1;
        }
      }
    } catch (const JetError& e) {
      error = e.what();
    }
    error = std::to_string(committed) + "\n" + error;
    if (write(report[1], error.data(), error.size()) < 0) _exit(3);
    _exit(0);
  }
  close(report[1]);
  std::string said;
  char buffer[512];
  for (ssize_t n; (n = read(report[0], buffer, sizeof buffer)) > 0;) said.append(buffer, static_cast<size_t>(n));
  close(report[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  const int committed = std::stoi(said);
  const std::string error = said.substr(said.find('\n') + 1);
  EXPECT_NE(error.find("File too large"), std::string::npos) << error;
  EXPECT_NE(error.find("the file was rolled back to its last commit"), std::string::npos) << error;
  EXPECT_GT(committed, 0);
  EXPECT_EQ(journal_state(file), JournalState::None) << "nothing is left to roll back";
  auto db = Database::open(file);
  EXPECT_TRUE(check_database(*db).ok());
  EXPECT_EQ(db->table("tblClaimantInfo").row_count, static_cast<uint32_t>(committed));
}

}  // namespace
}  // namespace halvaro::jet
