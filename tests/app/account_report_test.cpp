#include <gtest/gtest.h>

#include "app/account_report.h"

namespace halvaro::test {
namespace {

using app::json_string;

TEST(ReportJson, StringsAreEscapedAndUtf8PassesUnchanged) {
  EXPECT_EQ(json_string("plain"), "\"plain\"");
  EXPECT_EQ(json_string("say \"hi\" \\ bye"), "\"say \\\"hi\\\" \\\\ bye\"");
  EXPECT_EQ(json_string("a\nb\tc\r\x01\x1f\x7f"), "\"a\\nb\\tc\\r\\u0001\\u001f\\u007f\"");
  EXPECT_EQ(json_string("Müller & Söhne, کراچی"), "\"Müller & Söhne, کراچی\"");
  EXPECT_EQ(json_string(std::string("x\0y", 3)), "\"x\\u0000y\"");
}

app::RunReport sample() {
  app::RunReport report;
  report.source_path = "/data/old.mdb";
  report.destination_path = "/data/new.mdb";
  report.result = "Some data missing...!";
  report.not_stored = {"Suppliers and buyers: tblSupplierBuyer [A] SupplierName = \"x\": too long"};
  db::SourceAccount items{"VwPurchaseDebit", "Purchase and debit-note invoices"};
  items.rows = 3;
  items.moved = 1;
  items.not_moved.push_back({{{"InvoiceNo", "INV-\"9\""}}, "no master reaches it", 0});
  items.more_than_once.push_back({{{"InvoiceNo", "INV-2"}}, "moved 2 times", 2});
  db::SourceAccount unreadable{"VwSalesCredit", "Sales and credit-note invoices"};
  unreadable.read = false;
  unreadable.read_error = "no such view";
  report.account.sources = {items, unreadable};
  db::TotalLine line{"3277876543210", "202401", "VwPurchaseDebit", "SalesTax", {630000, 4}, {180000, 4}, {-450000, 4}};
  report.account.totals = {line};
  return report;
}

TEST(ReportJson, HoldsTheNamesScriptsRelyOn) {
  const std::string json = app::report_json(sample());
  EXPECT_EQ(json.rfind("{\n  \"result\": \"Some data missing...!\",\n", 0), 0u) << json;
  for (const char* expected :
       {"{\"name\": \"VwPurchaseDebit\", \"group\": \"Purchase and debit-note invoices\", \"rows\": 3, \"moved\": 1, "
        "\"moved_more_than_once\": 1,",
        "\"not_moved\": [\n        {\"key\": {\"InvoiceNo\": \"INV-\\\"9\\\"\"}, \"reason\": \"no master reaches it\"}",
        "{\"key\": {\"InvoiceNo\": \"INV-2\"}, \"times\": 2, \"reason\": \"moved 2 times\"}",
        "{\"name\": \"VwSalesCredit\", \"group\": \"Sales and credit-note invoices\", \"rows\": null, "
        "\"read_error\": \"no such view\"}",
        "{\"StRegNo\": \"3277876543210\", \"TaxPeriod\": \"202401\", \"source\": \"VwPurchaseDebit\", \"column\": "
        "\"SalesTax\", \"source_total\": 63, \"appended\": 18, \"difference\": -45, \"listed_rows\": -45}",
        "\"values_not_stored\": [\n    \"Suppliers and buyers: tblSupplierBuyer [A] SupplierName = \\\"x\\\": too "
        "long\"\n  ]\n}\n"})
    EXPECT_NE(json.find(expected), std::string::npos) << expected << "\n" << json;
}

TEST(ReportText, ListsEachRowAndMarksTotalsThatDiffer) {
  const std::string text = app::report_text(sample());
  EXPECT_NE(text.find("Result:      Some data missing...!"), std::string::npos) << text;
  EXPECT_NE(text.find("Not moved\n  VwPurchaseDebit [InvoiceNo INV-\"9\"]: no master reaches it\n"), std::string::npos);
  EXPECT_NE(text.find("Moved more than once\n  VwPurchaseDebit [InvoiceNo INV-2]: moved 2 times\n"), std::string::npos);
  EXPECT_NE(text.find("  VwSalesCredit         could not be read: no such view"), std::string::npos);
  EXPECT_NE(text.find("* 3277876543210  202401  VwPurchaseDebit     SalesTax"), std::string::npos);
  EXPECT_NE(text.find("listed rows -45"), std::string::npos);
}

// Values not stored past those held in memory come back from the file, in order, in
// both forms of the report.
TEST(ReportText, NamesEveryValueNotStoredPastThoseHeld) {
  app::RunReport report = sample();
  report.not_stored = {};
  constexpr size_t kLines = db::TextLines::kMemoryItems + 250;
  for (size_t i = 0; i < kLines; ++i) report.not_stored.push_back("Partners: tblSupplierBuyer [P" + std::to_string(i) + "]");
  const std::string text = app::report_text(report);
  const std::string json = app::report_json(report);
  size_t at = 0, json_at = 0;
  for (size_t i = 0; i < kLines; ++i) {
    const std::string line = "Partners: tblSupplierBuyer [P" + std::to_string(i) + "]";
    at = text.find("  " + line + "\n", at);
    ASSERT_NE(at, std::string::npos) << i;
    json_at = json.find(app::json_string(line), json_at);
    ASSERT_NE(json_at, std::string::npos) << i;
  }
}

TEST(ReportFile, FormByNameAndAPlaceBesideTheDestination) {
  EXPECT_EQ(app::report_path_beside("/data/new.mdb", from_civil({2026, 12, 7, 0, 15, 0})),
            "/data/new-report-20261207-001500.txt");
  EXPECT_THROW(app::write_report("/no/such/folder/r.json", sample()), std::runtime_error);
}

}  // namespace
}  // namespace halvaro::test
