// A process that ends by a signal or a kill, on POSIX: what it leaves is cleared up or
// never under a final name.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/account_report.h"
#include "app/backup.h"
#include "app/file_copy.h"
#include "app/scratch_copy.h"
#include "jet/pages/journal.h"
#include "tests/app/backup_files.h"
#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

namespace fs = std::filesystem;

TEST_F(ScratchCopyTest, AnEndingSignalRemovesTheCopy) {
  for (int signal_number : {SIGTERM, SIGINT}) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      app::ScratchCopy scratch(original);
      write_file(jet::journal_path(scratch.path()), "journal");
      char done = 1;
      if (::write(ready[1], &done, 1) != 1) ::_exit(3);
      ::raise(signal_number);
      ::_exit(4);  // not reached: the signal ends the process
    }
    char done = 0;
    ASSERT_EQ(::read(ready[0], &done, 1), 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << status;
    EXPECT_TRUE(files_in(temp_dir.path()).empty());
  }
  EXPECT_EQ(file_bytes(original), std::string(10000, 'z'));
}

// Whole or absent: a kill at any moment leaves under a final name either nothing or the
// whole file, and the next run removes what the killed process left.

// Runs `work` in a child process that kills itself part-way; returns the child's id.
template <typename Work>
pid_t killed_child(Work work) {
  pid_t child = ::fork();
  if (child == 0) {
    work();
    ::_exit(0);  // not reached when the kill comes
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  return child;
}

TEST(WholeOrAbsent, ABackupKilledWhileCopiedLeavesNoTornCopyAndTheNextRunClearsUp) {
  TempDir dir;
  const fs::path destination = dir.path() / "zelt.mdb";
  const uint64_t size = (5u << 20) + 5;
  write_file(destination, patterned(size));
  const auto when = local_moment(2024, 1, 2, 3, 4, 5);
  const fs::path final_name = app::backup_name(destination, when, 0);
  // A temporary of a process that still runs is not the next run's to remove.
  const fs::path running = app::temporary_name(final_name, 1);
  write_file(running, "another process's copy under way");

  // After the first and third mebibyte, and with every byte written but not yet synced.
  for (uint64_t kill_at : {uint64_t{1} << 20, uint64_t{3} << 20, size}) {
    SCOPED_TRACE(kill_at);
    const pid_t child = killed_child([&] {
      app::make_backup(destination, when, [&](uint64_t copied, uint64_t) {
        if (copied >= kill_at) ::raise(SIGKILL);
      });
    });
    EXPECT_FALSE(fs::exists(final_name));
    const fs::path left = app::temporary_name(final_name, child);
    ASSERT_TRUE(fs::exists(left)) << "the killed copy is known by its name";
    EXPECT_EQ(fs::file_size(left), std::min<uint64_t>(size, (kill_at + (1u << 20) - 1) & ~uint64_t{(1u << 20) - 1}));
  }

  // The next run makes its copy whole under the name, and removes the killed ones'.
  const fs::path copy = app::make_backup(destination, when);
  EXPECT_EQ(copy, final_name);
  EXPECT_EQ(file_bytes(copy), file_bytes(destination));
  EXPECT_EQ(files_in(dir.path()).size(), 3u);  // the destination, its backup, the running one's
  EXPECT_TRUE(fs::exists(running));
}

TEST(WholeOrAbsent, AReportKilledWhileWrittenLeavesNoTornReportAndNeverReplacesOne) {
  TempDir dir;
  app::RunReport report;
  report.result = "Some data missing...!";
  for (int i = 0; i < 2500; ++i) report.not_stored.push_back("tblInvoiceMtr.InvoiceNo: value " + std::to_string(i));
  const fs::path path = dir.path() / "new-report-20240102-030405.txt";

  // Part-way, and with every line written and flushed but the file not yet named.
  for (uint64_t kill_at : {uint64_t{1024}, uint64_t{2500}}) {
    SCOPED_TRACE(kill_at);
    const pid_t child = killed_child([&] {
      app::write_report(path.string(), report, [&](uint64_t written, uint64_t) {
        if (written >= kill_at) ::raise(SIGKILL);
      });
    });
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(fs::exists(app::temporary_name(path, child)));
  }

  app::write_report(path.string(), report);
  EXPECT_EQ(file_bytes(path), app::report_text(report));
  EXPECT_EQ(files_in(dir.path()), std::vector<fs::path>{path});

  // A file under the name stays as it is.
  report.result = "All data moved successfully...!";
  try {
    app::write_report(path.string(), report);
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()),
              "Could not write the report " + path.string() + ": a file of that name is there already");
  }
  EXPECT_NE(file_bytes(path), app::report_text(report));
  EXPECT_EQ(files_in(dir.path()).size(), 1u);
}

// The copy is read back and compared with the bytes read from the destination. Another
// program writes to the copy while it is made, as POSIX lets it (Windows' share modes
// keep it out).
TEST(WholeOrAbsent, ACopyThatDoesNotReadBackAsTheDestinationIsNoBackup) {
  TempDir dir;
  const fs::path destination = dir.path() / "zelt.mdb";
  write_file(destination, patterned((3u << 20) + 7));
  const auto when = local_moment(2024, 1, 2, 3, 4, 5);
  const fs::path temporary = app::temporary_name(app::backup_name(destination, when, 0), ::getpid());
  try {
    // A fault of the disk or of another program, while the copy is written.
    app::make_backup(destination, when, [&](uint64_t copied, uint64_t) {
      if (copied == uint64_t{1} << 20) std::fstream(temporary, std::ios::binary | std::ios::in | std::ios::out) << "X";
    });
    FAIL() << "no error";
  } catch (const app::BackupError& error) {
    EXPECT_NE(std::string(error.what()).find("does not read back as the bytes of " + destination.string()),
              std::string::npos)
        << error.what();
  }
  EXPECT_EQ(files_in(dir.path()), std::vector<fs::path>{destination});
}

}  // namespace
}  // namespace halvaro::test
