// `halvaro exec` and `halvaro check` as a user runs them.

#include <gtest/gtest.h>

#include <iterator>

#include "jet/pages/journal.h"

#include <fstream>

#include "jet/catalog/database.h"
#include "platform/file.h"
#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

// A copy of the empty 5.1 database and a script of rows for it whose sixth line
// repeats a key.
struct RowsScript {
  TempDir dir;
  std::filesystem::path file, script;
  explicit RowsScript(const std::filesystem::path& fixture)
      : file(dir.copy_in(fixture)), script(dir.path() / "rows.sql") {
    std::ofstream(script) << "INSERT INTO tblClaimantInfo (STRegNO, ClaimantName, LastLogin)\n"
                             "  VALUES ('0301234500017', \"Müller & Söhne\", #2024-01-31 10:20:30#);\n"
                             "INSERT INTO tblClaimantTaxPeriod VALUES ('0301234500017', '202401', 'Monthly',\n"
                             "  #01/31/2024#, True, 5, Null);\n"
                             "INSERT INTO tblInvoiceDetail (StRegNo, Quantity, ExcludSalTax) VALUES ('x', 2.5, 15432.1275);\n"
                             "INSERT INTO tblClaimantInfo (STRegNO) VALUES ('0301234500017');\n"
                             "INSERT INTO tblClaimantInfo (STRegNO) VALUES ('0301234500018');\n";
  }
  CommandResult exec() const { return run_halvaro({"exec", file.string(), script.string()}, ErrorOutput::merged); }
};

TEST(ExecAndCheckCli, AppendsUntilTheFirstRefusedRowAndChecksTheResult) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  const RowsScript rows(fixture);
  auto exec = rows.exec();
  EXPECT_EQ(exec.status, 1) << exec.out;
  EXPECT_NE(exec.out.find("line 6: row refused"), std::string::npos) << exec.out;
  EXPECT_NE(exec.out.find("'0301234500017'"), std::string::npos) << exec.out;
  EXPECT_NE(exec.out.find("3 rows appended"), std::string::npos) << exec.out;

  auto check = run_halvaro({"check", rows.file.string()});
  EXPECT_EQ(check.status, 0) << check.out;
  EXPECT_NE(check.out.find("3 rows, 4 index entries: no problems found"), std::string::npos) << check.out;

  // A script that does not parse names itself and changes nothing.
  const auto bad = rows.dir.path() / "bad.sql";
  std::ofstream(bad) << "INSERT INTO tblClaimantInfo (STRegNO) VALUES ('0301234500017') garbage;\n";
  const std::string before = file_bytes(rows.file);
  auto parse = run_halvaro({"exec", rows.file.string(), bad.string()}, ErrorOutput::merged);
  EXPECT_EQ(parse.status, 2) << parse.out;
  EXPECT_NE(parse.out.find("bad.sql"), std::string::npos) << parse.out;
  EXPECT_EQ(file_bytes(rows.file), before);
}

// The rows exec appended, read by another implementation.
TEST(ExecAndCheckCli, MdbtoolsReadsTheAppendedRows) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  HALVARO_REQUIRE_MDBTOOLS();
  const RowsScript rows(fixture);
  ASSERT_EQ(rows.exec().status, 1);
  auto exported = run_program("mdb-export", {rows.file.string(), "tblInvoiceDetail"});
  EXPECT_NE(exported.out.find("1,\"x\",,,,,,,,,,2.5,,15432.1275"), std::string::npos) << exported.out;
}

TEST(ExecAndCheckCli, CheckReportsDamageWithAFailingStatus) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-nonempty.mdb");
  TempDir dir;
  auto file = dir.copy_in(fixture);
  // Claim one row more than tblClaimantInfo holds.
  const uint32_t definition = jet::Database::open(file)->table("tblClaimantInfo").definition_page;
  std::fstream f(file, std::ios::binary | std::ios::in | std::ios::out);
  f.seekp(std::streamoff{definition} * 4096 + 16);
  f.put(2);
  f.close();
  auto check = run_halvaro({"check", file.string()});
  EXPECT_EQ(check.status, 1) << check.out;
  EXPECT_NE(check.out.find("table tblClaimantInfo: its definition counts 2 rows, but 1 were found on its pages"),
            std::string::npos)
      << check.out;
}

// A write killed in the middle of a commit: check says so and rolls it back when asked.
TEST(ExecAndCheckCli, CheckOffersToRollBackAnInterruptedWrite) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  TempDir dir;
  auto file = dir.copy_in(fixture);
  std::string original;
  {
    std::ifstream in(file, std::ios::binary);
    original.assign(std::istreambuf_iterator<char>(in), {});
    std::error_code error;
    platform::File database = platform::File::open(file, platform::File::Mode::read_write, error);
    ASSERT_TRUE(database.is_open()) << error.message();
    jet::Journal journal(file, database, 4096);
    const uint32_t saved[] = {5};
    const auto pages = static_cast<uint32_t>(original.size() / 4096);
    journal.save(pages, pages, saved);
    const std::string damage(4096, 'X');
    ASSERT_TRUE(database.write_at(damage.data(), damage.size(), 5 * 4096, error)) << error.message();
  }
  auto refused = run_halvaro({"check", file.string()});
  EXPECT_EQ(refused.status, 1) << refused.out;
  EXPECT_NE(refused.out.find("check --roll-back"), std::string::npos) << refused.out;
  auto repaired = run_halvaro({"check", "--roll-back", file.string()});
  EXPECT_EQ(repaired.status, 0) << repaired.out;
  EXPECT_NE(repaired.out.find("rolled back to the last commit"), std::string::npos) << repaired.out;
  std::ifstream in(file, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), original);
}

}  // namespace
}  // namespace halvaro::test
