// A damaged 5.1 file given as the destination: the transfer (and its dry run) refuses
// it before the first write, naming the file, the table and the fault as `check` does,
// and leaves it byte for byte as it was, with no backup and no journal beside it. The
// destination is the stand-in built from the example script, damaged at test time.

#include <gtest/gtest.h>

#include "tests/support/damaged_files.h"
#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

namespace fs = std::filesystem;

size_t files_in(const fs::path& dir) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

struct Case {
  Damage kind;
  const char* table;
  const char* fault;  // what check and the transfer say of it
};

TEST(DamagedDestination, EachKindIsRefusedWithExit2AndLeftAsItWas) {
  const fs::path built = built_databases_dir();
  if (!fs::exists(built / "new-nonempty.mdb") || !fs::exists(built / "old-small.mdb"))
    GTEST_SKIP() << "the built test databases are missing (build the target halvaro_test_databases)";
  const Case cases[] = {
      {Damage::DataPage, "tblInvoiceMtr", "table tblInvoiceMtr: "},
      {Damage::IndexLeaf, "tblInvoiceDetail", "table tblInvoiceDetail: index "},
      {Damage::UsageMap, "tblSupplierBuyer", "table tblSupplierBuyer: its owned-pages map cannot be read"},
      {Damage::RowCount, "tblBillOfEntryMtr", "table tblBillOfEntryMtr: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(damage_name(c.kind));
    TempDir dir;
    const fs::path source = dir.copy_in(built / "old-small.mdb");
    const fs::path destination = dir.copy_in(built / "new-nonempty.mdb");
    damage(destination, c.table, c.kind);
    const std::string before = file_bytes(destination);

    const auto check = run_halvaro({"check", destination.string()}, ErrorOutput::merged);
    EXPECT_EQ(check.status, 1) << check.out;
    const size_t fault_at = check.out.find(c.fault);
    ASSERT_NE(fault_at, std::string::npos) << check.out;
    const std::string fault = check.out.substr(fault_at, check.out.find('\n', fault_at) - fault_at);

    for (const bool dry : {false, true}) {
      SCOPED_TRACE(dry ? "--dry-run" : "");
      std::vector<std::string> arguments{"transfer", source.string(), destination.string()};
      if (dry) arguments.insert(arguments.begin() + 1, "--dry-run");
      const auto transfer = run_halvaro(arguments, ErrorOutput::merged);
      EXPECT_EQ(transfer.status, 2) << transfer.out;
      EXPECT_NE(transfer.out.find("Halvaro: File Error: The destination is damaged; nothing was written...!"),
                std::string::npos)
          << transfer.out;
      EXPECT_NE(transfer.out.find("Destination " + destination.string() + ":"), std::string::npos) << transfer.out;
      // The very words of the check, through the same code.
      EXPECT_NE(transfer.out.find(fault), std::string::npos) << fault << "\n" << transfer.out;
      EXPECT_NE(transfer.out.find("Repair the file"), std::string::npos) << transfer.out;
      EXPECT_EQ(transfer.out.find("successfully"), std::string::npos) << transfer.out;
      EXPECT_EQ(file_bytes(destination), before);
      EXPECT_EQ(files_in(dir.path()), 2u) << "no backup, no journal, no report";
    }
  }
}

// Rows already there are no damage: the sound stand-in is written to.
TEST(DamagedDestination, ASoundDestinationThatHoldsRowsIsAccepted) {
  const fs::path built = built_databases_dir();
  if (!fs::exists(built / "new-nonempty.mdb") || !fs::exists(built / "old-small.mdb"))
    GTEST_SKIP() << "the built test databases are missing (build the target halvaro_test_databases)";
  TempDir dir;
  const fs::path source = dir.copy_in(built / "old-small.mdb");
  const fs::path destination = dir.copy_in(built / "new-nonempty.mdb");
  const std::string before = file_bytes(destination);
  const auto transfer = run_halvaro({"transfer", source.string(), destination.string()}, ErrorOutput::merged);
  EXPECT_LE(transfer.status, 1) << transfer.out;
  EXPECT_EQ(transfer.out.find("damaged"), std::string::npos) << transfer.out;
  EXPECT_NE(file_bytes(destination), before);
  EXPECT_EQ(run_halvaro({"check", destination.string()}).status, 0);
}

}  // namespace
}  // namespace halvaro::test
