#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/cli/transfer_safety.h"
#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

namespace fs = std::filesystem;

// The output without the lines that tell a dry run from a real one.
std::string without_run_kind_lines(const std::string& out) {
  std::istringstream lines(out);
  std::string kept, line;
  while (std::getline(lines, line))
    if (line.rfind("Dry run:", 0) != 0 && line.find("Backup of the destination") == std::string::npos)
      kept += line + "\n";
  return kept;
}

TEST_F(TransferSafety, ADryRunTellsWhatTheRealRunDoesAndLeavesTheDestinationAlone) {
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  auto destination = dir.copy_in(new_empty);
  const std::string before = file_bytes(destination);
  const auto modified = fs::last_write_time(destination);

  auto dry = transfer({"--dry-run"}, old_small, destination);
  EXPECT_EQ(dry.status, 1) << dry.out;
  EXPECT_NE(dry.out.find("Dry run: the transfer writes to a scratch copy; " + destination.string() +
                         " is not changed."),
            std::string::npos)
      << dry.out;
  EXPECT_EQ(file_bytes(destination), before);
  EXPECT_EQ(fs::last_write_time(destination), modified);
  EXPECT_TRUE(names_in(temp.path()).empty());
  EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"new-empty.mdb"}));

  auto real = transfer({}, old_small, destination);
  EXPECT_EQ(real.status, dry.status) << real.out;
  EXPECT_EQ(without_run_kind_lines(real.out), without_run_kind_lines(dry.out));
  EXPECT_NE(file_bytes(destination), before);
  // The real run printed its backup's name, and the copy is there.
  auto names = names_in(dir.path());
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0].rfind("new-empty.backup-", 0), 0u) << names[0];
  EXPECT_NE(real.out.find("Backup of the destination: " + (dir.path() / names[0]).string()), std::string::npos)
      << real.out;
  EXPECT_EQ(file_bytes(dir.path() / names[0]), before);

  // A dry run of a second run says before writing what would be appended again, and
  // exits as the real second run does.
  auto second_dry = transfer({"--dry-run"}, old_small, destination);
  EXPECT_NE(second_dry.out.find("The destination already holds rows that this run would append again...!\n"
                                "  Claimant profile: 2 of 2 are already in tblClaimantInfo"),
            std::string::npos)
      << second_dry.out;
  auto second = transfer({"--no-backup"}, old_small, destination);
  EXPECT_EQ(second.status, second_dry.status);
  EXPECT_NE(second.out.find("  Already in the destination: Shipping bills: 6 of 6"), std::string::npos) << second.out;
  EXPECT_EQ(names_in(dir.path()).size(), 2u) << "--no-backup keeps no copy";
  EXPECT_TRUE(names_in(temp.path()).empty());
}

TEST_F(TransferSafety, RefusalsExitWithTwoAndLeaveTheDestinationAsItWas) {
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  // An old-version file picked as the destination, in a dry run and in a real one.
  auto wrong = dir.copy_in(old_small);
  const std::string before = file_bytes(wrong);
  for (const auto& options : {std::vector<std::string>{"--dry-run"}, std::vector<std::string>{}}) {
    SCOPED_TRACE(::testing::PrintToString(options));
    auto result = transfer(options, old_small, wrong);
    EXPECT_EQ(result.status, 2) << result.out;
    EXPECT_NE(result.out.find("Halvaro: File Error: These files do not fit the transfer; nothing was written...!\n"
                              "Destination " + wrong.string() + ":\n  table tblInvoiceMtr is missing"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(file_bytes(wrong), before);
  }
  EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"old-small.mdb"}));
}

// The scratch copy has nowhere to go: the dry run is refused, and the destination is as
// it was.
TEST_F(TransferSafety, ADryRunWithoutATemporaryFolderIsRefused) {
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  auto destination = dir.copy_in(new_empty);
  const std::string before = file_bytes(destination);
  auto result = transfer_in(temp.path() / "missing", {"--dry-run"}, old_small, destination);
  EXPECT_EQ(result.status, 2) << result.out;
  EXPECT_NE(result.out.find("Could not open the destination file " + destination.string() +
                            "...!\n  no temporary folder: "),
            std::string::npos)
      << result.out;
  EXPECT_EQ(file_bytes(destination), before);
  EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"new-empty.mdb"}));
  EXPECT_TRUE(names_in(temp.path()).empty());
}

TEST_F(TransferSafety, ViewsThatLackAColumnOrCannotBeEvaluatedRefuseTheRun) {
  const fs::path examples = source_dir() / "examples";
  std::ifstream in(examples / "old-version.sql");
  std::string script((std::istreambuf_iterator<char>(in)), {});
  ASSERT_FALSE(script.empty()) << examples;
  // A master view without a column the mapping reads; an item view over a column its
  // table lacks, so it cannot be evaluated at all.
  for (auto [from, to] : {std::pair<std::string, std::string>{"tblShippingBill.egmno, ", ""},
                          {"tblShippingBillItem.pctdesc", "tblShippingBillItem.nosuchcolumn"}}) {
    size_t at = script.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    script.replace(at, from.size(), to);
  }
  std::ofstream(dir.path() / "broken-views.sql") << script;
  auto old_db = dir.path() / "old.mdb", new_db = dir.path() / "new.mdb";
  for (auto [out, sql] : {std::pair{old_db, dir.path() / "broken-views.sql"},
                          std::pair{new_db, examples / "new-5.1.sql"}}) {
    auto made = run_halvaro({"create", out.string(), sql.string()}, ErrorOutput::merged);
    ASSERT_EQ(made.status, 0) << made.out;
  }
  const std::string before = file_bytes(new_db);
  auto result = transfer({}, old_db, new_db);
  EXPECT_EQ(result.status, 2) << result.out;
  EXPECT_NE(result.out.find("Source " + old_db.string() + ":\n  column VwShippingBillMtr.egmno is missing\n"
                            "  VwShippingBill cannot be evaluated: "),
            std::string::npos)
      << result.out;
  EXPECT_EQ(file_bytes(new_db), before);
}

}  // namespace
}  // namespace halvaro::test
