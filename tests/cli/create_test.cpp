#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

namespace fs = std::filesystem;

// A script of one table, written into `dir`.
fs::path one_table_script(const TempDir& dir) {
  auto script = dir.path() / "s.sql";
  std::ofstream(script) << "CREATE TABLE tblItem (Code TEXT(10) PRIMARY KEY, Qty LONG);\n";
  return script;
}

TEST(CreateCommand, BuildsTheDatabaseAndRefusesToOverwriteIt) {
  TempDir dir;
  const auto script = one_table_script(dir);
  const auto out = (dir.path() / "out.mdb").string();
  auto first = run_halvaro({"create", out, script.string()}, ErrorOutput::merged);
  EXPECT_EQ(first.status, 0) << first.out;
  EXPECT_NE(first.out.find("1 tables"), std::string::npos) << first.out;
  const std::string made = file_bytes(out);

  auto again = run_halvaro({"create", out, script.string()}, ErrorOutput::merged);
  EXPECT_NE(again.status, 0);
  EXPECT_NE(again.out.find("already exists"), std::string::npos) << again.out;
  EXPECT_EQ(file_bytes(out), made);
}

// The file `create` wrote, read by another implementation.
TEST(CreateCommand, MdbtoolsListsTheCreatedTable) {
  HALVARO_REQUIRE_MDBTOOLS();
  TempDir dir;
  const auto out = (dir.path() / "out.mdb").string();
  ASSERT_EQ(run_halvaro({"create", out, one_table_script(dir).string()}).status, 0);
  EXPECT_EQ(run_program("mdb-tables", {"-1", out}).out, "tblItem\n");
}

TEST(CreateCommand, ScriptErrorsExitNonZeroWithTheScriptAndLine) {
  TempDir dir;
  auto script = dir.path() / "bad.sql";
  std::ofstream(script) << "CREATE TABLE t (a TEXT);\nCREATE TABLE u (b NUMBERISH);\n";
  auto out = (dir.path() / "out.mdb").string();
  auto result = run_halvaro({"create", out, script.string()}, ErrorOutput::merged);
  EXPECT_NE(result.status, 0);
  EXPECT_NE(result.out.find("bad.sql: line 2: unknown column type NUMBERISH"), std::string::npos) << result.out;
  EXPECT_FALSE(std::filesystem::exists(out));
}

// The newcomer's path: build both example databases, transfer one into the other.
TEST(CreateCommand, ExampleDatabasesTransferWithTheExpectedOutcome) {
  const fs::path examples = source_dir() / "examples";
  TempDir dir;
  auto old_db = (dir.path() / "old.mdb").string();
  auto new_db = (dir.path() / "new.mdb").string();
  for (auto [out, script] : {std::pair{old_db, "old-version.sql"}, std::pair{new_db, "new-5.1.sql"}}) {
    auto made = run_halvaro({"create", out, (examples / script).string()}, ErrorOutput::merged);
    ASSERT_EQ(made.status, 0) << made.out;
    auto check = run_halvaro({"check", out}, ErrorOutput::merged);
    EXPECT_EQ(check.status, 0) << check.out;
  }
  auto moved = run_halvaro({"transfer", old_db, new_db}, ErrorOutput::merged);
  // One partner name is longer than the 5.1 column: the run reports it and goes on.
  EXPECT_EQ(moved.status, 1) << moved.out;
  EXPECT_NE(moved.out.find("Some data missing...!"), std::string::npos) << moved.out;
  EXPECT_NE(moved.out.find("0811223344558"), std::string::npos) << moved.out;
  auto dump = run_halvaro({"dump", new_db}).out;
  for (const char* line : {"tblInvoiceMtr  14 rows", "tblInvoiceDetail  30 rows", "tblBillofEntrydetail  5 rows",
                           "tblShippingBilldetail  5 rows", "tblSupplierBuyer  11 rows"})
    EXPECT_NE(dump.find(line), std::string::npos) << line << "\n" << dump;
  auto check = run_halvaro({"check", new_db}, ErrorOutput::merged);
  EXPECT_EQ(check.status, 0) << check.out;
}

}  // namespace
}  // namespace halvaro::test
