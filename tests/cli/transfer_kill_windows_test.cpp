// A transfer ended by TerminateProcess in the middle of its writes, as Windows ends a
// program from the task manager or at a power cut's last moment: nothing of the run
// gets a chance to clean up, so only the journal keeps the destination whole.

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <map>
#include <sstream>
#include <thread>

#include "jet/pages/journal.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

namespace fs = std::filesystem;

// The file's length as the system has it now. Opened only for its attributes, which
// no share mode keeps out: the running writer lets nobody else write.
int64_t size_now(const fs::path& file) {
  HANDLE h = ::CreateFileW(file.wstring().c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return -1;
  LARGE_INTEGER size{};
  const BOOL got = ::GetFileSizeEx(h, &size);
  ::CloseHandle(h);
  return got ? size.QuadPart : -1;
}

// A copy of `from` at `to` that may be written (the shared fixtures are read-only).
void writable_copy(const fs::path& from, const fs::path& to) {
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
}

// Every table's rows as `halvaro dump` prints them (CSV, in the order its pages hold them).
std::map<std::string, std::string> tables_of(const fs::path& file) {
  std::map<std::string, std::string> tables;
  const auto listing = run_halvaro({"dump", file.string()});
  std::istringstream lines(listing.out);
  for (std::string line; std::getline(lines, line);) {
    // "  NAME  N rows"
    if (line.rfind("  ", 0) != 0) continue;
    const size_t end = line.find("  ", 2);
    if (end == std::string::npos) continue;
    const std::string name = line.substr(2, end - 2);
    tables[name] = run_halvaro({"dump", file.string(), name}).out;
  }
  return tables;
}

// Where in the run the child is killed: once the journal first appears (the first
// commit), or once the destination has grown by a share of what the whole run adds.
struct KillPoint {
  const char* what;
  double share_of_growth;  // < 0: at the journal's first appearance
};

TEST(TransferKilled, TheDestinationRollsBackToItsLastCommitWhereverTheRunWasEnded) {
  HALVARO_REQUIRE_DATABASE(old_medium, "old-medium.mdb");
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  TempDir dir;

  // The whole run, uninterrupted: what every table holds after each of its commits is
  // the start of what it holds here.
  const fs::path whole = dir.path() / "whole.mdb";
  writable_copy(new_empty, whole);
  const auto full = run_halvaro({"transfer", old_medium.string(), whole.string(), "--no-backup"}, ErrorOutput::merged);
  ASSERT_NE(full.status, 2) << full.out;
  const std::map<std::string, std::string> reference = tables_of(whole);
  ASSERT_FALSE(reference.empty());
  const int64_t empty_size = size_now(new_empty);
  const int64_t growth = size_now(whole) - empty_size;
  ASSERT_GT(growth, 0);

  const KillPoint points[] = {{"at the first commit", -1},  {"a tenth of the way", 0.1},
                              {"a third of the way", 0.33}, {"half way", 0.5},
                              {"two thirds of the way", 0.66}, {"near the end", 0.9}};
  int killed = 0, rolled_back = 0, with_rows = 0;
  for (const KillPoint& point : points) {
    SCOPED_TRACE(point.what);
    const fs::path destination = dir.path() / "new.mdb";
    writable_copy(new_empty, destination);
    const fs::path journal = jet::journal_path(destination);
    ChildProcess run(halvaro_binary(), {"transfer", old_medium.string(), destination.string(), "--no-backup"},
                     dir.path() / "output.txt");
    ASSERT_TRUE(run.started());
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    for (;;) {
      const bool reached = point.share_of_growth < 0
                               ? size_now(journal) >= 0
                               : size_now(destination) - empty_size >= static_cast<int64_t>(point.share_of_growth *
                                                                                            static_cast<double>(growth));
      if (reached || !run.running() || std::chrono::steady_clock::now() > give_up) break;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const bool ended_in_the_middle = run.kill();
    run.wait();
    const std::string said = file_bytes(dir.path() / "output.txt");
    if (ended_in_the_middle) ++killed;

    // A commit cut short leaves its journal; the check refuses the file until it is
    // rolled back, then finds it whole.
    if (jet::has_hot_journal(destination)) {
      ++rolled_back;
      const auto refused = run_halvaro({"check", destination.string()});
      EXPECT_EQ(refused.status, 1) << refused.out;
      EXPECT_NE(refused.out.find("check --roll-back"), std::string::npos) << refused.out;
      const auto repaired = run_halvaro({"check", "--roll-back", destination.string()});
      EXPECT_EQ(repaired.status, 0) << repaired.out;
      EXPECT_NE(repaired.out.find("rolled back to the last commit"), std::string::npos) << repaired.out;
    }
    EXPECT_FALSE(jet::has_hot_journal(destination));
    const auto check = run_halvaro({"check", destination.string()});
    EXPECT_EQ(check.status, 0) << check.out << "\nthe run said:\n" << said;

    // Each table holds what it held before the run (nothing) or the rows the run had
    // committed: the start of what the whole run gives it, never a torn or extra row.
    const auto tables = tables_of(destination);
    EXPECT_EQ(tables.size(), reference.size());
    for (const auto& [name, rows] : tables) {
      const auto whole_rows = reference.find(name);
      ASSERT_NE(whole_rows, reference.end()) << name;
      EXPECT_EQ(whole_rows->second.compare(0, rows.size(), rows), 0)
          << name << " holds rows the whole run does not begin with:\n"
          << rows.substr(0, 2000);
      const size_t header = rows.find('\n') + 1;
      if (rows.size() > header) ++with_rows;
    }
    if (!ended_in_the_middle) {
      // The run was over before this point was reached: it must have finished whole.
      EXPECT_EQ(tables, reference) << said;
    }
  }
  std::cout << "[ info ] " << killed << " runs killed, " << rolled_back << " interrupted commits rolled back\n";
  // The kills fell in the middle of the writes: most runs were still going, some had
  // committed rows by then, and some were cut in the middle of a commit.
  EXPECT_GE(killed, 4);
  EXPECT_GT(with_rows, 0);
  EXPECT_GT(rolled_back, 0);
}

}  // namespace
}  // namespace halvaro::test
