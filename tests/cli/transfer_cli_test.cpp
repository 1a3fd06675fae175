#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

TEST(TransferCommand, RefusalAndOpenFailureExitWithTwo) {
  TempDir dir;
  auto file = dir.path() / "x.mdb";
  std::ofstream(file) << "not a database";
  auto same = run_halvaro({"transfer", file.string(), file.string()});
  EXPECT_EQ(same.status, 2);
  EXPECT_NE(same.out.find("Source And Destination file can not be same...!"), std::string::npos) << same.out;

  auto missing = run_halvaro({"transfer", (dir.path() / "none.mdb").string(), file.string()});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.out.find("none.mdb"), std::string::npos) << missing.out;
}

TEST(TransferCommand, WholeRunPrintsTheResultWithTheListAndExitsOne) {
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  TempDir dir;
  auto destination = dir.copy_in(new_empty);
  auto result = run_halvaro({"transfer", old_small.string(), destination.string()});
  EXPECT_EQ(result.status, 1) << result.out;
  EXPECT_NE(result.out.find("Some data missing...!\n  Suppliers and buyers: tblSupplierBuyer"), std::string::npos)
      << result.out;
}

TEST(TransferCommand, AReportThatCannotBeSavedIsRefusedBeforeTheRun) {
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  TempDir dir;
  auto destination = dir.copy_in(new_empty);
  const auto transfer = [&](const std::filesystem::path& report) {
    return run_halvaro({"transfer", old_small.string(), destination.string(), "--report", report.string()});
  };

  // Saving the report over the destination would destroy it.
  auto over = transfer(destination);
  EXPECT_EQ(over.status, 2);
  EXPECT_NE(over.out.find("The report file can not be the source or destination file...!"), std::string::npos)
      << over.out;
  auto missing = transfer(dir.path() / "no" / "r.json");
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.out.find("Could not write the report"), std::string::npos) << missing.out;
  // A report is saved in a new file, never in place of one.
  const auto taken = dir.path() / "taken.json";
  std::ofstream(taken) << "kept";
  auto replacing = transfer(taken);
  EXPECT_EQ(replacing.status, 2);
  EXPECT_NE(replacing.out.find("Could not write the report " + taken.string() + ": a file of that name is there already"),
            std::string::npos)
      << replacing.out;
  EXPECT_EQ(file_bytes(taken), "kept");
  // None touched the destination.
  auto check = run_halvaro({"dump", destination.string()});
  EXPECT_NE(check.out.find("tblInvoiceMtr  0 rows"), std::string::npos) << check.out;

  // A name not ending in .json gets the readable text.
  auto text = transfer(dir.path() / "account.txt");
  EXPECT_EQ(text.status, 1);
  std::ifstream in(dir.path() / "account.txt");
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(first, "Halvaro transfer report");
}

}  // namespace
}  // namespace halvaro::test
