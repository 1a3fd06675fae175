// A database another program has open (Access, the tax application) is not touched:
// the transfer refuses it with exit 2 and says which file to close. On Windows the hold
// shows in the file itself (its share mode) or in Access's lock file beside it.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "jet/pages/journal.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> names_in(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The other program, holding `file` open for writing until it is let go.
class Holder {
 public:
  Holder(const fs::path& file, const std::string& share)
      : process_(std::make_unique<ChildProcess>(HALVARO_HOLD_FILE, std::vector<std::string>{file.string(), share})) {
    holding_ = process_->read_line() == "holding";
  }
  bool holding() const { return holding_; }
  // Closes the file and waits until the program has ended.
  void let_go() {
    process_->close_input();
    process_->wait();
  }

 private:
  std::unique_ptr<ChildProcess> process_;
  bool holding_ = false;
};

struct HeldFile : ::testing::Test {
  TempDir dir;
  fs::path source, destination;
  std::string source_bytes, destination_bytes;

  void SetUp() override {
    const fs::path old_small = database_path("old-small.mdb"), new_empty = database_path("new-empty.mdb");
    if (old_small.empty() || new_empty.empty()) GTEST_SKIP() << "old-small.mdb or new-empty.mdb not found";
    source = dir.copy_in(old_small);
    destination = dir.copy_in(new_empty);
    source_bytes = file_bytes(source);
    destination_bytes = file_bytes(destination);
  }

  CommandResult transfer() {
    return run_halvaro({"transfer", source.string(), destination.string()}, ErrorOutput::merged);
  }

  // The transfer while `held` is held by the other program: refused, naming `named`,
  // with both databases as they were and nothing written beside them (no backup, no
  // journal).
  void expect_refused(const fs::path& held, const std::string& share, const fs::path& named) {
    SCOPED_TRACE(held.filename().string() + " held, sharing " + share);
    Holder holder(held, share);
    ASSERT_TRUE(holder.holding());
    const std::vector<std::string> before = names_in(dir.path());  // a lock file included
    const CommandResult result = transfer();
    holder.let_go();
    EXPECT_EQ(result.status, 2) << result.out;
    EXPECT_NE(result.out.find("\"" + named.string() + "\" is open in another program"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("close it there, then try again"), std::string::npos) << result.out;
    EXPECT_EQ(file_bytes(source), source_bytes);
    EXPECT_EQ(file_bytes(destination), destination_bytes);
    EXPECT_EQ(names_in(dir.path()), before);
  }
};

TEST_F(HeldFile, ADatabaseOpenForWritingElsewhereIsRefusedAndLeftAsItWas) {
  // Access shares a database it has open for reading and writing; a program may also let
  // others only read.
  for (const char* share : {"read-write", "read"}) {
    expect_refused(destination, share, destination);
    expect_refused(source, share, source);
  }
}

TEST_F(HeldFile, AnAccessLockFileHeldBesideEitherDatabaseIsRefused) {
  const fs::path destination_lock = dir.path() / "new-empty.ldb";
  const fs::path source_lock = dir.path() / "old-small.ldb";
  expect_refused(destination_lock, "read-write", destination);
  expect_refused(source_lock, "read-write", source);
  // The lock files stay: they are Access's.
  EXPECT_TRUE(fs::exists(destination_lock));
  EXPECT_TRUE(fs::exists(source_lock));
}

TEST_F(HeldFile, OnceTheOtherProgramHasClosedItTheTransferRuns) {
  {
    Holder holder(destination, "read-write");
    ASSERT_TRUE(holder.holding());
    EXPECT_EQ(transfer().status, 2);
    holder.let_go();
  }
  // A lock file nobody holds is what a program that ended without cleaning up leaves:
  // no hold.
  Holder lock(dir.path() / "new-empty.ldb", "read-write");
  ASSERT_TRUE(lock.holding());
  lock.let_go();
  const CommandResult result = transfer();
  EXPECT_NE(result.status, 2) << result.out;
  EXPECT_NE(result.out.find("Backup of the destination"), std::string::npos) << result.out;
  EXPECT_NE(file_bytes(destination), destination_bytes);
  EXPECT_FALSE(jet::has_hot_journal(destination));
  EXPECT_EQ(run_halvaro({"check", destination.string()}).status, 0);
}

}  // namespace
}  // namespace halvaro::test
