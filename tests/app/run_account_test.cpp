// Whole runs over old-version databases built from the example schema, one per way a
// record can fail to arrive: the account of every source row, the totals and the exit
// code of the command line.

#include "jet/writer/database_writer.h"
#include "tests/app/old_version_run.h"

namespace halvaro::test {
namespace {

using RunAccountTest = OldVersionRun;

constexpr const char* kInvoiceItem =
    "INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, "
    "ItemSerialNo, quantity, ExcludSalTax, IncludSaleTax, SalesTax) VALUES ";

TEST_F(RunAccountTest, ItemsNoInvoiceReachesAreListedWithTheKeyThatDiffers) {
  build(std::string(
            "INSERT INTO tblInvoice (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, "
            "TotalSalesTax, TotalExcludSalTax, TotalIncludSalTax) VALUES ('3277876543210', '202401', 'P', 'INV-1', "
            "#2024-01-10#, '0699001122334', 54, 300, 354);\n") +
        kInvoiceItem + "('3277876543210', '202401', 'P', 'INV-1', #2024-01-10#, '0699001122334', 1, 2.5, 100, 118, 18);\n" +
        kInvoiceItem +
        "('3277876543210', '202401', 'P', 'INV-1', #2024-01-10 14:30:00#, '0699001122334', 2, 1.25, 200, 236, 36);\n" +
        kInvoiceItem + "('3277876543210', '202401', 'P', 'INV-9', #2024-01-11#, '0699001122334', 1, 4, 50, 59, 9);\n");

  EXPECT_EQ(transfer(), app::TransferRun::Outcome::SomeMissing);
  EXPECT_EQ(run.SuccessCount(), 6);
  const db::SourceAccount& masters = source_named("VwPurchaseDebitMtr");
  EXPECT_EQ(masters.rows, 1u);
  EXPECT_EQ(masters.moved, 1u);
  const db::SourceAccount& items = source_named("VwPurchaseDebit");
  EXPECT_EQ(items.rows, 3u);
  EXPECT_EQ(items.moved, 1u);
  EXPECT_TRUE(items.more_than_once.empty());
  EXPECT_EQ(reasons(items.not_moved),
            (std::vector<std::string>{"no master reaches it: the time of day differs (invoicedate 10/01/2024 "
                                      "14:30:00, its master's 10/01/2024)",
                                      "no master reaches it: no master has InvoiceNo \"INV-9\" with the same "
                                      "StRegNo, TaxPeriod, InvoiceType"}));
  EXPECT_EQ(items.not_moved[1].key_text(),
            "StRegNo 3277876543210, TaxPeriod 202401, InvoiceType P, InvoiceNo INV-9, InvoiceDate 11/01/2024, "
            "STRegNoSupplier 0699001122334, ItemSerialNo 1");
  EXPECT_EQ(rows_in("tblInvoiceDetail"), 1u);

  // The two items left behind are exactly the difference.
  const db::TotalLine& tax = total("VwPurchaseDebit", "SalesTax");
  EXPECT_EQ(tax.claimant, "3277876543210");
  EXPECT_EQ(tax.period, "202401");
  expect_exact(tax.source_total, "63");
  expect_exact(tax.appended, "18");
  expect_exact(tax.difference(), "-45");
  expect_exact(tax.listed, "-45");
  expect_exact(total("VwPurchaseDebit", "quantity").difference(), "-5.25");
  expect_exact(total("VwPurchaseDebitMtr", "TotalSalesTax").difference(), "0");

  ASSERT_FALSE(sink.shown.empty());
  EXPECT_EQ(sink.shown.back().text, "Some data missing...!");
  EXPECT_EQ(sink.shown.back().details.size(), 2u);
  EXPECT_EQ(exit_code(), 1);
}

TEST_F(RunAccountTest, NullMasterKeyReachesItemsThatAreNullOrEmptyAndNothingElse) {
  const std::string bill =
      "INSERT INTO tblBillOfEntry (StRegNo, taxperiod, billofentryno, billofentrydate, collectoratecode, betype, "
      "totalsalestax) VALUES ('3277876543210', '202401', 'KAPW-1', #2024-01-12#, 'KAPW', NULL, 170);\n";
  const std::string item =
      "INSERT INTO tblBillOfEntryItem (StRegNo, taxperiod, billofentryno, billofentrydate, betype, "
      "collectoratecode, itemserialno, quantity, valueforsalestax, salestaxamount) VALUES ";
  build(bill + item + "('3277876543210', '202401', 'KAPW-1', #2024-01-12#, NULL, 'KAPW', 1, 10, 500, 85);\n" + item +
        "('3277876543210', '202401', 'KAPW-1', #2024-01-12#, '', 'KAPW', 2, 10, 500, 85);\n" + item +
        "('3277876543210', '202401', 'KAPW-1', #2024-01-12#, 'HC', 'KAPW', 3, 1, 1, 1);\n");

  EXPECT_EQ(transfer(), app::TransferRun::Outcome::SomeMissing);
  const db::SourceAccount& items = source_named("vwbillofentry");
  EXPECT_EQ(items.rows, 3u);
  EXPECT_EQ(items.moved, 2u);
  EXPECT_EQ(reasons(items.not_moved),
            (std::vector<std::string>{"no master reaches it: no master has BeType \"HC\" with the same StRegNo, "
                                      "TaxPeriod"}));
  EXPECT_EQ(rows_in("tblBillofEntrydetail"), 2u);
  expect_exact(total("vwbillofentry", "salestaxamount").appended, "170");
  expect_exact(total("vwbillofentry", "salestaxamount").listed, "-1");
  EXPECT_EQ(exit_code(), 1);

  // Without the stray item every row arrives and the run says so.
  build(bill + item + "('3277876543210', '202401', 'KAPW-1', #2024-01-12#, NULL, 'KAPW', 1, 10, 500, 85);\n");
  sink.shown.clear();
  EXPECT_EQ(transfer(), app::TransferRun::Outcome::AllMoved);
  EXPECT_EQ(sink.shown.back().text, "All data moved successfully...!");
  EXPECT_TRUE(run.report().account.every_row_moved_once());
  EXPECT_EQ(exit_code(), 0);
}

TEST_F(RunAccountTest, ItemsOfABillThatWasNotStoredAreNotAppendedAndListed) {
  // This 5.1 file indexes the importer's name, and the bill's importer name holds U+0000,
  // the one character without a place in the sort order: the bill cannot be stored.
  build("INSERT INTO tblBillOfEntryItem (StRegNo, taxperiod, billofentryno, billofentrydate, betype, "
        "collectoratecode, itemserialno, quantity, valueforsalestax, salestaxamount) VALUES ('3277876543210', "
        "'202401', 'KAPW-2', #2024-01-12#, 'HC', 'KAPW', 1, 2, 200, 34);\n",
        "CREATE INDEX Importer ON tblBillOfEntryMtr (importername);\n");
  {
    auto w = jet::DatabaseWriter::open(source);
    const jet::TableDef& bills = w->table("tblBillOfEntry");
    std::vector<FieldValue> bill = w->new_row(bills);
    auto set = [&](const char* column, FieldValue value) { bill[bills.find_column(column)->position] = value; };
    set("StRegNo", FieldValue("3277876543210"));
    set("taxperiod", FieldValue("202401"));
    set("billofentryno", FieldValue("KAPW-2"));
    set("billofentrydate", FieldValue(DateTime{45303}));  // 2024-01-12
    set("collectoratecode", FieldValue("KAPW"));
    set("betype", FieldValue("HC"));
    set("importername", FieldValue(std::string("Omega", 5) + std::string(1, '\0') + "Traders"));
    set("totalsalestax", FieldValue(Currency{340000}));
    w->append(bills, std::move(bill));
    w->close();
  }

  EXPECT_EQ(transfer(), app::TransferRun::Outcome::SomeMissing);
  EXPECT_EQ(run.SuccessCount(), 6);
  const db::SourceAccount& bills = source_named("vwBillOfentryMtr");
  ASSERT_EQ(bills.not_moved.size(), 1u);
  EXPECT_EQ(bills.not_moved[0].reason.rfind("refused: ", 0), 0u) << bills.not_moved[0].reason;
  const db::SourceAccount& items = source_named("vwbillofentry");
  EXPECT_EQ(reasons(items.not_moved), (std::vector<std::string>{"its master was not stored"}));
  EXPECT_EQ(rows_in("tblBillOfEntryMtr"), 0u);
  EXPECT_EQ(rows_in("tblBillofEntrydetail"), 0u);
  expect_exact(total("vwbillofentry", "valueforsalestax").difference(), "-200");
  expect_exact(total("vwbillofentry", "valueforsalestax").listed, "-200");
  expect_exact(total("vwBillOfentryMtr", "totalsalestax").listed, "-34");
  EXPECT_EQ(exit_code(), 1);
}

TEST_F(RunAccountTest, ItemsOfAShippingBillEnteredTwiceAreCountedAsMovedTwice) {
  const std::string bill =
      "INSERT INTO tblShippingBill (StRegNo, taxperiod, collectoratecode, shippingbillno, shippingbilldate, "
      "total_export_value, gross_weight) VALUES ('3277876543210', '202401', 'KEPZ', 780055, #2024-01-15#, 900, "
      "12.5);\n";
  const std::string item =
      "INSERT INTO tblShippingBillItem (StRegNo, taxperiod, collectoratecode, shippingbillno, shippingbilldate, "
      "itemserialno, quantity, exportvalue) VALUES ('3277876543210', '202401', 'KEPZ', 780055, #2024-01-15#, ";
  build(bill + bill + item + "1, 3, 600);\n" + item + "2, 1.5, 300);\n");

  EXPECT_EQ(transfer(), app::TransferRun::Outcome::SomeMissing);
  const db::SourceAccount& bills = source_named("VwShippingBillMtr");
  EXPECT_EQ(bills.rows, 2u);
  EXPECT_EQ(bills.moved, 2u);
  const db::SourceAccount& items = source_named("VwShippingBill");
  EXPECT_EQ(items.rows, 2u);
  EXPECT_EQ(items.moved, 0u);
  ASSERT_EQ(items.more_than_once.size(), 2u);
  EXPECT_EQ(items.more_than_once[0].times, 2u);
  EXPECT_EQ(items.more_than_once[0].reason, "moved 2 times: 2 masters reached it (master rows 1 and 2)");
  EXPECT_EQ(rows_in("tblShippingBilldetail"), 4u);
  const db::TotalLine& value = total("VwShippingBill", "exportvalue");
  expect_exact(value.source_total, "900");
  expect_exact(value.appended, "1800");
  expect_exact(value.difference(), "900");
  expect_exact(value.listed, "900");
  expect_exact(total("VwShippingBillMtr", "gross_weight").difference(), "0");
  EXPECT_EQ(exit_code(), 1);
}

// The old-version database old-small into the empty 5.1 file, as a new user tries it.
TEST(RunAccountFixture, OldSmallAccountsForEveryItemAndSavesTheReport) {
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  TempDir dir;
  auto destination = dir.copy_in(new_empty);
  auto report = dir.path() / "account.json";
  auto result = run_halvaro({"transfer", old_small.string(), destination.string(), "--report", report.string()});
  EXPECT_EQ(result.status, 1) << result.out;
  EXPECT_NE(result.out.find("The account of this run is saved in " + report.string()), std::string::npos);
  std::ifstream in(report);
  std::stringstream json;
  json << in.rdbuf();
  const std::string text = json.str();
  EXPECT_EQ(text.rfind("{\n  \"result\": \"Some data missing...!\",", 0), 0u) << text.substr(0, 200);
  for (const char* expected : {
           "\"name\": \"VwPurchaseDebit\", \"group\": \"Purchase and debit-note invoices\", \"rows\": 27, "
           "\"moved\": 26, \"moved_more_than_once\": 0",
           "\"name\": \"vwbillofentry\", \"group\": \"Bills of entry\", \"rows\": 10, \"moved\": 9",
           "\"name\": \"VwShippingBill\", \"group\": \"Shipping bills\", \"rows\": 9, \"moved\": 6, "
           "\"moved_more_than_once\": 3",
           "\"InvoiceNo\": \"TI-0099\"",
           "\"totals\": [",
       })
    EXPECT_NE(text.find(expected), std::string::npos) << expected;
}

}  // namespace
}  // namespace halvaro::test
