#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

TEST(CreateCommand, BuildsTheDatabaseAndRefusesToOverwriteIt) {
  TempDir dir;
  auto script = dir.path() / "s.sql";
  std::ofstream(script) << "CREATE TABLE tblItem (Code TEXT(10) PRIMARY KEY, Qty LONG);\n";
  auto out = (dir.path() / "out.mdb").string();
  auto first = run_command(halvaro_binary() + " create '" + out + "' '" + script.string() + "' 2>&1");
  EXPECT_EQ(first.status, 0) << first.out;
  EXPECT_NE(first.out.find("1 tables"), std::string::npos) << first.out;
  EXPECT_EQ(run_command("mdb-tables -1 '" + out + "'").out, "tblItem\n");

  auto again = run_command(halvaro_binary() + " create '" + out + "' '" + script.string() + "' 2>&1");
  EXPECT_NE(again.status, 0);
  EXPECT_NE(again.out.find("already exists"), std::string::npos) << again.out;
}

TEST(CreateCommand, ScriptErrorsExitNonZeroWithTheScriptAndLine) {
  TempDir dir;
  auto script = dir.path() / "bad.sql";
  std::ofstream(script) << "CREATE TABLE t (a TEXT);\nCREATE TABLE u (b NUMBERISH);\n";
  auto out = (dir.path() / "out.mdb").string();
  auto result = run_command(halvaro_binary() + " create '" + out + "' '" + script.string() + "' 2>&1");
  EXPECT_NE(result.status, 0);
  EXPECT_NE(result.out.find("bad.sql: line 2: unknown column type NUMBERISH"), std::string::npos) << result.out;
  EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
}  // namespace halvaro::test
