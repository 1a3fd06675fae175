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
