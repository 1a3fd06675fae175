// `halvaro transfer` stopped by a signal or short of room, as POSIX makes them: SIGINT,
// and a file-size limit standing in for a disk that fills up.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>

#include "jet/catalog/database.h"
#include "jet/pages/journal.h"
#include "jet/writer/checker.h"
#include "tests/cli/halvaro_child_posix.h"
#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

// Starts `halvaro transfer SOURCE DESTINATION` in a child process whose output goes to
// `output`; `in_child` runs in the child first (limits, environment). Returns its pid.
pid_t start_transfer(const std::filesystem::path& source, const std::filesystem::path& destination,
                     const std::filesystem::path& output, const std::function<void()>& in_child = {}) {
  return start_halvaro({"transfer", source.string(), destination.string()}, output, in_child);
}

// SIGINT in the middle of a run: the run stops between rows, says what was not stored,
// and leaves a whole file with nothing to roll back.
TEST(TransferCommand, SigintStopsTheRunAtACleanPointAndSaysWhatWasNotStored) {
  HALVARO_REQUIRE_DATABASE(old_medium, "old-medium.mdb");
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  TempDir dir;
  const auto destination = dir.copy_in(new_empty);
  const auto output = dir.path() / "output.txt";
  const pid_t child = start_transfer(old_medium, destination, output);
  ASSERT_GE(child, 0);
  // The journal appears with the first commit, at the end of the first group.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!std::filesystem::exists(jet::journal_path(destination)) && std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  kill(child, SIGINT);
  const int status = wait_for(child);
  const std::string said = file_bytes(output);

  ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself\n" << said;
  EXPECT_EQ(WEXITSTATUS(status), 1) << said;
  EXPECT_NE(said.find("Some data missing...!"), std::string::npos) << said;
  EXPECT_NE(said.find("interrupted by SIGINT"), std::string::npos) << said;
  EXPECT_NE(said.find("The run was interrupted by SIGINT: it stopped between two rows"), std::string::npos) << said;
  EXPECT_EQ(jet::journal_state(destination), jet::JournalState::None);
  EXPECT_TRUE(jet::check_database(*jet::Database::open(destination)).ok());
}

std::map<std::string, uint32_t> destination_rows(const std::filesystem::path& file) {
  auto db = jet::Database::open(file);
  std::map<std::string, uint32_t> rows;
  for (const auto& name : db->table_names()) rows[name] = db->table(name).row_count;
  return rows;
}

struct LimitedRun {
  int status = -1;  // the exit status, -1 when the process did not exit
  std::string said;
};

// `halvaro transfer` with every file it writes limited to `limit` bytes (a disk that
// fills up), and its temporary files in `temporary_folder` when one is given.
LimitedRun transfer_under_size_limit(const std::filesystem::path& source, const std::filesystem::path& destination,
                                     rlim_t limit, const std::filesystem::path& output,
                                     const std::filesystem::path& temporary_folder = {}) {
  const pid_t child = start_transfer(source, destination, output, [&] {
    if (!temporary_folder.empty()) {
      unsetenv("SQLITE_TMPDIR");
      setenv("TMPDIR", temporary_folder.c_str(), 1);
    }
    const rlimit size_limit{limit, limit};
    setrlimit(RLIMIT_FSIZE, &size_limit);
  });
  if (child < 0) return {};
  const int status = wait_for(child);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, file_bytes(output)};
}

// The transfer under a file-size limit (a disk that fills up): the destination stays
// valid, and every group whose tables did not receive all their rows is named.
TEST(TransferCommand, AFullDiskLeavesAValidFileAndListsEveryGroupNotMovedInFull) {
  HALVARO_REQUIRE_DATABASE(old_medium, "old-medium.mdb");
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  TempDir dir;
  const auto whole = dir.copy_in(new_empty);
  const auto full_disk = dir.path() / "full-disk.mdb";
  std::filesystem::copy_file(whole, full_disk);
  const auto unlimited = run_halvaro({"transfer", old_medium.string(), whole.string()});
  ASSERT_LE(unlimited.status, 1) << unlimited.out;

  // Three quarters of what the whole transfer wrote: the limit holds for every file the
  // run writes, and the query layer's scratch file (some 5 MB for this source) must fit.
  const rlim_t limit = std::filesystem::file_size(whole) / 4 * 3;
  const LimitedRun run = transfer_under_size_limit(old_medium, full_disk, limit, dir.path() / "output.txt");
  const std::string& said = run.said;
  EXPECT_EQ(run.status, 1) << said;
  EXPECT_NE(said.find("File too large"), std::string::npos) << said;
  EXPECT_EQ(said.find("\n  : "), std::string::npos) << "a line without its group\n" << said;
  EXPECT_EQ(jet::journal_state(full_disk), jet::JournalState::None);
  EXPECT_TRUE(jet::check_database(*jet::Database::open(full_disk)).ok());

  const std::map<std::string, std::vector<std::string>> groups{
      {"tblClaimantInfo", {"Claimant profile"}},
      {"tblClaimantTaxPeriod", {"Claimant tax periods"}},
      {"tblSupplierBuyer", {"Suppliers and buyers"}},
      {"tblInvoiceMtr", {"Purchase and debit-note invoices", "Sales and credit-note invoices"}},
      {"tblInvoiceDetail", {"Purchase and debit-note invoices", "Sales and credit-note invoices"}},
      {"tblBillOfEntryMtr", {"Bills of entry"}},
      {"tblBillofEntrydetail", {"Bills of entry"}},
      {"tblShippingBillmtr", {"Shipping bills"}},
      {"tblShippingBilldetail", {"Shipping bills"}}};
  const auto expected = destination_rows(whole), stored = destination_rows(full_disk);
  size_t short_tables = 0;
  for (const auto& [table, labels] : groups) {
    if (stored.at(table) == expected.at(table)) continue;
    ++short_tables;
    const bool listed = std::any_of(labels.begin(), labels.end(), [&](const std::string& label) {
      return said.find("\n  " + label + ":") != std::string::npos;
    });
    EXPECT_TRUE(listed) << table << " holds " << stored.at(table) << " of " << expected.at(table)
                        << " rows, but its group is not listed\n" << said;
  }
  EXPECT_GT(short_tables, 0u) << "the limit did not bite\n" << said;
}

// A temporary folder without room for the query layer's scratch files: the run is
// refused before anything is written, and the message says where room is lacking
// rather than that the files do not fit.
TEST(TransferCommand, NoRoomForTheScratchFilesIsToldAsSuchAndWritesNothing) {
  HALVARO_REQUIRE_DATABASE(old_medium, "old-medium.mdb");
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  TempDir dir;
  const auto destination = dir.copy_in(new_empty);
  const auto scratch = dir.path() / "scratch";
  std::filesystem::create_directory(scratch);
  const LimitedRun run =
      transfer_under_size_limit(old_medium, destination, 1024 * 1024, dir.path() / "output.txt", scratch);
  const std::string& said = run.said;
  EXPECT_EQ(run.status, 2) << said;
  EXPECT_NE(said.find("The source could not be read; nothing was written...!"), std::string::npos) << said;
  EXPECT_EQ(said.find("do not fit"), std::string::npos) << said;
  EXPECT_NE(said.find("the scratch file in the temporary folder " + scratch.string() + " could not be written"),
            std::string::npos)
      << said;
  EXPECT_EQ(destination_rows(destination), destination_rows(new_empty));
  EXPECT_FALSE(std::filesystem::exists(jet::journal_path(destination)));
}

}  // namespace
}  // namespace halvaro::test
