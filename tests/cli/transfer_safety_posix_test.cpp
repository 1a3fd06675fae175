// The transfer's safety where POSIX makes the trouble: a file-size limit standing in
// for a full disk, and SIGTERM in the middle of a dry run.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/cli/halvaro_child_posix.h"
#include "tests/cli/transfer_safety.h"
#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

namespace fs = std::filesystem;

// A backup that cannot be written (the file size limit stands in for a full disk):
// the run is refused before its first write.
TEST_F(TransferSafety, ABackupThatCannotBeWrittenRefusesTheRun) {
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  auto destination = dir.copy_in(new_empty);
  const std::string before = file_bytes(destination);
  const TempDir outputs;
  const auto output = outputs.path() / "output.txt";
  const std::string temporary = temp.path().string();
  const pid_t child = start_halvaro({"transfer", old_small.string(), destination.string()}, output, [&] {
    setenv("TMPDIR", temporary.c_str(), 1);
    // Writes past the limit fail with EFBIG rather than end the process.
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{8192, 8192};
    setrlimit(RLIMIT_FSIZE, &limit);
  });
  ASSERT_GE(child, 0);
  const int status = wait_for(child);
  const std::string said = file_bytes(output);
  ASSERT_TRUE(WIFEXITED(status)) << said;
  EXPECT_EQ(WEXITSTATUS(status), 2) << said;
  EXPECT_NE(said.find("The destination could not be backed up; nothing was written...!\n  cannot write "),
            std::string::npos)
      << said;
  EXPECT_EQ(file_bytes(destination), before);
  EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"new-empty.mdb"}));
  EXPECT_TRUE(names_in(temp.path()).empty());
}

TEST_F(TransferSafety, AnInterruptedDryRunLeavesNoScratchCopy) {
  HALVARO_REQUIRE_DATABASE(old_medium, "old-medium.mdb");
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  auto destination = dir.copy_in(new_empty);
  const std::string before = file_bytes(destination);
  const std::string temporary = temp.path().string();
  const pid_t child = start_halvaro({"transfer", "--dry-run", old_medium.string(), destination.string()}, {},
                                    [&] { setenv("TMPDIR", temporary.c_str(), 1); });
  ASSERT_GE(child, 0);
  // Interrupted as soon as the scratch copy appears (a fast machine may finish first;
  // either way nothing may be left).
  int status = 0;
  pid_t ended = 0;
  while ((ended = waitpid(child, &status, WNOHANG)) == 0 && fs::is_empty(temp.path()))
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (ended == 0) {
    kill(child, SIGTERM);
    status = wait_for(child);
  }
  const bool terminated = WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM;
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  EXPECT_TRUE(terminated || code == 0 || code == 1) << "status " << status;
  EXPECT_TRUE(names_in(temp.path()).empty());
  EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"new-empty.mdb"}));
  EXPECT_EQ(file_bytes(destination), before);
}

}  // namespace
}  // namespace halvaro::test
