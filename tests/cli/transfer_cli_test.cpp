#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

TEST(TransferCommand, RefusalAndOpenFailureExitWithTwo) {
  TempDir dir;
  auto file = dir.path() / "x.mdb";
  std::ofstream(file) << "not a database";
  auto same = run_command(halvaro_binary() + " transfer " + file.string() + " " + file.string());
  EXPECT_EQ(same.status, 2);
  EXPECT_NE(same.out.find("Source And Destination file can not be same...!"), std::string::npos) << same.out;

  auto missing = run_command(halvaro_binary() + " transfer " + (dir.path() / "none.mdb").string() + " " +
                             file.string());
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.out.find("none.mdb"), std::string::npos) << missing.out;
}

}  // namespace
}  // namespace halvaro::test

namespace halvaro::test {
namespace {

TEST(TransferCommand, WholeRunPrintsTheResultWithTheListAndExitsOne) {
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  TempDir dir;
  auto destination = dir.copy_in(new_empty);
  auto result = run_command(halvaro_binary() + " transfer " + old_small.string() + " " + destination.string());
  EXPECT_EQ(result.status, 1) << result.out;
  EXPECT_NE(result.out.find("Some data missing...!\n  Suppliers and buyers: tblSupplierBuyer"), std::string::npos)
      << result.out;
}

}  // namespace
}  // namespace halvaro::test
