// A damaged old file seen through each command that reads it: the transfer refuses
// before it writes anything, dump and check say which table is damaged. The old file
// is built from the example script, one of its data pages zeroed.

#include <gtest/gtest.h>

#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

TEST(DamagedSource, EveryCommandNamesTheTableAndNoneReportsSuccess) {
  const std::filesystem::path examples = source_dir() / "examples";
  TempDir dir;
  const auto old_db = dir.path() / "old.mdb", new_db = dir.path() / "new.mdb";
  for (auto [out, script] : {std::pair{old_db, "old-version.sql"}, std::pair{new_db, "new-5.1.sql"}})
    ASSERT_EQ(run_halvaro({"create", out.string(), (examples / script).string()}).status, 0);
  const uint32_t page = zero_data_page(old_db, "tblInvoiceItem");
  const std::string destination_before = file_bytes(new_db);

  const auto transfer = run_halvaro({"transfer", old_db.string(), new_db.string()}, ErrorOutput::merged);
  EXPECT_EQ(transfer.status, 2) << transfer.out;
  EXPECT_NE(transfer.out.find("Could not open the source file"), std::string::npos) << transfer.out;
  EXPECT_NE(transfer.out.find("table tblInvoiceItem: its usage map lists page " + std::to_string(page)),
            std::string::npos)
      << transfer.out;
  EXPECT_EQ(transfer.out.find("successfully"), std::string::npos) << transfer.out;
  EXPECT_EQ(file_bytes(new_db), destination_before) << "refused before the first write";

  const auto dump = run_halvaro({"dump", old_db.string(), "tblInvoiceItem"}, ErrorOutput::merged);
  EXPECT_EQ(dump.status, 2) << dump.out;
  EXPECT_NE(dump.out.find(old_db.string() + ": table tblInvoiceItem: "), std::string::npos) << dump.out;

  const auto query = run_halvaro({"query", old_db.string(), "SELECT * FROM tblInvoiceItem"}, ErrorOutput::merged);
  EXPECT_NE(query.status, 0) << query.out;
  EXPECT_NE(query.out.find("table tblInvoiceItem: "), std::string::npos) << query.out;

  const auto check = run_halvaro({"check", old_db.string()}, ErrorOutput::merged);
  EXPECT_EQ(check.status, 1) << check.out;
  EXPECT_NE(check.out.find("table tblInvoiceItem: its usage map lists page"), std::string::npos) << check.out;
}

}  // namespace
}  // namespace halvaro::test
