// Rows of the old tables that none of the views the transfers read delivers: each is
// listed with its key and the test that left it out, the run says "Some data
// missing...!", and every other number of the account stays as it was.

#include <set>

#include "app/dry_run.h"
#include "tests/app/old_version_run.h"

namespace halvaro::test {
namespace {

// The old schema with one view defined otherwise.
std::string with_view(const std::string& name, const std::string& select) {
  std::string schema = schema_of(kExamples / "old-version.sql");
  const std::string head = "CREATE VIEW " + name + " AS\n";
  const size_t at = schema.find(head);
  const size_t end = schema.find(";\n", at);
  EXPECT_NE(at, std::string::npos) << name;
  return schema.replace(at + head.size(), end - at - head.size(), "  " + select);
}

constexpr const char* kInvoice =
    "INSERT INTO tblInvoice (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, "
    "TotalSalesTax, TotalExcludSalTax, TotalIncludSalTax) VALUES ('3277876543210', '202401', ";
constexpr const char* kItem =
    "INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, "
    "ItemSerialNo, quantity, ExcludSalTax, IncludSaleTax, SalesTax) VALUES ('3277876543210', '202401', ";
constexpr const char* kBill =
    "INSERT INTO tblBillOfEntry (StRegNo, taxperiod, billofentryno, billofentrydate, collectoratecode, betype, "
    "totalsalestax) VALUES ('3277876543210', '202401', ";
constexpr const char* kBillItem =
    "INSERT INTO tblBillOfEntryItem (StRegNo, taxperiod, billofentryno, billofentrydate, betype, collectoratecode, "
    "itemserialno, quantity, valueforsalestax, salestaxamount) VALUES ('3277876543210', '202401', ";

// One purchase invoice with one item that moves whatever else the source holds.
const std::string kMovingInvoice =
    std::string(kInvoice) + "'P', 'INV-1', #2024-01-10#, '0699001122334', 54, 300, 354);\n" + kItem +
    "'P', 'INV-1', #2024-01-10#, '0699001122334', 1, 2.5, 100, 118, 18);\n";

struct RowsNoViewReads : OldVersionRun {
  const db::BaseTableAccount& table_named(const std::string& name) {
    for (const auto& t : run.report().account.base.tables)
      if (t.name == name) return t;
    throw std::out_of_range(name);
  }
  std::vector<std::string> not_read(const std::string& table) {
    std::vector<std::string> out;
    table_named(table).not_read.for_each([&](const db::ListedRow& row) { out.push_back(row.reason); });
    return out;
  }
  // Every other table behind the views had each of its rows read.
  void expect_others_read(const std::set<std::string>& except) {
    EXPECT_EQ(run.report().account.base.tables.size(), 6u);
    for (const auto& t : run.report().account.base.tables)
      if (!except.count(t.name)) {
        EXPECT_EQ(t.read_by_views, t.rows) << t.name;
      }
  }
  void expect_moved(const std::string& view, size_t rows, size_t moved) {
    EXPECT_EQ(source_named(view).rows, rows) << view;
    EXPECT_EQ(source_named(view).moved, moved) << view;
  }
  std::string file(const std::string& name) {
    std::ifstream in(dir.path() / name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

TEST_F(RowsNoViewReads, AnInvoiceAndItsItemOfATypeNoViewSelectsAreListedAndCounted) {
  build(kMovingInvoice + kInvoice + "'X', 'INV-X', #2024-01-11#, '0699001122334', 9, 50, 59);\n" + kItem +
        "'X', 'INV-X', #2024-01-11#, '0699001122334', 1, 4, 50, 59, 9);\n");

  EXPECT_EQ(transfer(), app::TransferRun::Outcome::SomeMissing);
  EXPECT_EQ(run.SuccessCount(), 6);
  // The views' own accounts are those of the moving invoice alone.
  expect_moved("VwPurchaseDebitMtr", 1, 1);
  expect_moved("VwPurchaseDebit", 1, 1);
  expect_moved("VwSalesCreditMtr", 0, 0);
  EXPECT_EQ(rows_in("tblInvoiceMtr"), 1u);
  EXPECT_EQ(rows_in("tblInvoiceDetail"), 1u);

  const db::BaseTableAccount& invoices = table_named("tblInvoice");
  EXPECT_EQ(invoices.rows, 2u);
  EXPECT_EQ(invoices.read_by_views, 1u);
  EXPECT_EQ(invoices.views, (std::vector<std::string>{"VwPurchaseDebitMtr", "VwSalesCreditMtr"}));
  EXPECT_EQ(not_read("tblInvoice"),
            (std::vector<std::string>{"not read by any view: InvoiceType 'X' is none of P, D, S, C"}));
  EXPECT_EQ(invoices.not_read[0].key_text(),
            "StRegNo 3277876543210, TaxPeriod 202401, InvoiceType X, InvoiceNo INV-X, InvoiceDate 11/01/2024, "
            "STRegNoSupplier 0699001122334");
  EXPECT_EQ(not_read("tblInvoiceItem"), not_read("tblInvoice"));
  EXPECT_EQ(table_named("tblInvoiceItem").not_read[0].key_text(),
            "StRegNo 3277876543210, TaxPeriod 202401, InvoiceType X, InvoiceNo INV-X, InvoiceDate 11/01/2024, "
            "STRegNoSupplier 0699001122334, ItemSerialNo 1");
  expect_others_read({"tblInvoice", "tblInvoiceItem"});

  // What the two rows hold shows as a difference of their claimant and period.
  expect_exact(total("tblInvoice", "TotalSalesTax").source_total, "9");
  expect_exact(total("tblInvoice", "TotalSalesTax").appended, "0");
  expect_exact(total("tblInvoice", "TotalSalesTax").listed, "-9");
  expect_exact(total("tblInvoiceItem", "quantity").difference(), "-4");
  expect_exact(total("VwPurchaseDebit", "SalesTax").difference(), "0");

  ASSERT_FALSE(sink.shown.empty());
  EXPECT_EQ(sink.shown.back().text, "Some data missing...!");
  EXPECT_EQ(sink.shown.back().details,
            (std::vector<std::string>{"tblInvoice [StRegNo 3277876543210, TaxPeriod 202401, InvoiceType X, InvoiceNo "
                                      "INV-X, InvoiceDate 11/01/2024, STRegNoSupplier 0699001122334]: not read by any "
                                      "view: InvoiceType 'X' is none of P, D, S, C",
                                      "tblInvoiceItem [StRegNo 3277876543210, TaxPeriod 202401, InvoiceType X, "
                                      "InvoiceNo INV-X, InvoiceDate 11/01/2024, STRegNoSupplier 0699001122334, "
                                      "ItemSerialNo 1]: not read by any view: InvoiceType 'X' is none of P, D, S, C"}));

  // The command line says the same, in its exit code and both forms of the report.
  EXPECT_EQ(exit_code("report.json"), 1);
  const std::string json = file("report.json");
  EXPECT_NE(json.find("\"base_tables\": [\n    {\"name\": \"tblInvoice\", \"views\": [\"VwPurchaseDebitMtr\", "
                      "\"VwSalesCreditMtr\"], \"rows\": 2, \"read_by_views\": 1,\n      \"not_read\": [\n        "
                      "{\"key\": {\"StRegNo\": \"3277876543210\", \"TaxPeriod\": \"202401\", \"InvoiceType\": \"X\""),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"reason\": \"not read by any view: InvoiceType 'X' is none of P, D, S, C\"}"),
            std::string::npos);
  EXPECT_EQ(exit_code("report.txt"), 1);
  const std::string text = file("report.txt");
  EXPECT_NE(text.find("\nNot read by any view\n  tblInvoice [StRegNo 3277876543210"), std::string::npos) << text;
  EXPECT_NE(text.find("\n  tblInvoice                       2              1         1\n"), std::string::npos)
      << text;

  // A dry run tells it before it writes anything.
  RecordingSink dry;
  fs::path untouched = dir.path() / "untouched.mdb";
  fs::copy_file(empty, untouched);
  EXPECT_EQ(app::dry_run(dry, source.string(), untouched.string()), app::TransferRun::Outcome::SomeMissing);
  ASSERT_GE(dry.shown.size(), 2u);
  EXPECT_EQ(dry.shown.front().text, "The source holds rows that no view reads; this run will not move them...!");
  EXPECT_EQ(dry.shown.front().details, sink.shown.back().details);
  EXPECT_EQ(file_bytes(untouched), file_bytes(empty));
}

TEST_F(RowsNoViewReads, AnItemOfAnotherTypeThanItsInvoiceIsInAViewButReachedByNoMaster) {
  // A sales invoice besides, so that sales masters do query the sales items.
  build(kMovingInvoice + kInvoice + "'S', 'INV-2', #2024-01-10#, '0699001122334', 18, 100, 118);\n" + kItem +
        "'S', 'INV-2', #2024-01-10#, '0699001122334', 1, 1, 100, 118, 18);\n" + kItem +
        "'S', 'INV-1', #2024-01-10#, '0699001122334', 2, 1, 10, 11, 1);\n");

  EXPECT_EQ(transfer(), app::TransferRun::Outcome::SomeMissing);
  expect_moved("VwPurchaseDebit", 1, 1);
  const db::SourceAccount& sales = source_named("VwSalesCredit");
  EXPECT_EQ(sales.rows, 2u);
  EXPECT_EQ(sales.moved, 1u);
  EXPECT_EQ(reasons(sales.not_moved),
            (std::vector<std::string>{"no master reaches it: no master has InvoiceNo \"INV-1\" with the same StRegNo, "
                                      "TaxPeriod, InvoiceType"}));
  EXPECT_EQ(run.report().account.base.not_read(), 0u);
  expect_others_read({});
  EXPECT_EQ(exit_code(), 1);
}

TEST_F(RowsNoViewReads, AnItemTheViewsInnerJoinFindsNoInvoiceForIsListedWithTheJoin) {
  build_from(with_view("VwPurchaseDebit",
                       "SELECT tblInvoiceItem.StRegNo, tblInvoiceItem.TaxPeriod, tblInvoiceItem.InvoiceType, "
                       "tblInvoiceItem.InvoiceNo, tblInvoiceItem.InvoiceDate, tblInvoiceItem.ItemSerialNo, "
                       "tblInvoiceItem.STRegNoSupplier, tblSupplierBuyer.SupplierName AS Buyer, "
                       "tblInvoiceItem.pct_code, tblInvoiceItem.pct_desc, tblInvoiceItem.quantity, tblInvoiceItem.uom, "
                       "tblInvoiceItem.ExcludSalTax, tblInvoiceItem.IncludSaleTax, tblInvoiceItem.SalesTax, "
                       "tblInvoiceItem.specialSED FROM (tblInvoiceItem INNER JOIN tblInvoice ON "
                       "(tblInvoiceItem.StRegNo = tblInvoice.StRegNo AND tblInvoiceItem.InvoiceNo = "
                       "tblInvoice.InvoiceNo)) LEFT JOIN tblSupplierBuyer ON (tblInvoiceItem.StRegNo = "
                       "tblSupplierBuyer.STRegNo AND tblInvoiceItem.STRegNoSupplier = "
                       "tblSupplierBuyer.STRegNoSupplier) WHERE tblInvoiceItem.InvoiceType IN ('P', 'D')"),
             kMovingInvoice + kItem + "'P', 'INV-7', #2024-01-12#, '0699001122334', 1, 3, 30, 33, 3);\n");

  EXPECT_EQ(transfer(), app::TransferRun::Outcome::SomeMissing);
  expect_moved("VwPurchaseDebitMtr", 1, 1);
  expect_moved("VwPurchaseDebit", 1, 1);
  EXPECT_EQ(table_named("tblInvoiceItem").rows, 2u);
  EXPECT_EQ(not_read("tblInvoiceItem"),
            (std::vector<std::string>{
                "not read by any view: VwPurchaseDebit's inner join finds no tblInvoice row for it: "
                "tblInvoiceItem.StRegNo = tblInvoice.StRegNo AND tblInvoiceItem.InvoiceNo = tblInvoice.InvoiceNo; "
                "VwSalesCredit: InvoiceType 'P' is neither S nor C"}));
  // The invoice table, read by the inner join too, is delivered whole by its own views.
  EXPECT_EQ(table_named("tblInvoice").views,
            (std::vector<std::string>{"VwPurchaseDebitMtr", "VwPurchaseDebit", "VwSalesCreditMtr"}));
  expect_others_read({"tblInvoiceItem"});
  expect_exact(total("tblInvoiceItem", "SalesTax").listed, "-3");
  EXPECT_EQ(exit_code(), 1);
}

TEST_F(RowsNoViewReads, BillsOfEntryTheViewsWhereExcludesAreListedWithTheTest) {
  build_from(with_view("vwBillOfentryMtr",
                       "SELECT tblBillOfEntry.StRegNo, tblBillOfEntry.billofentryno, tblBillOfEntry.billofentrydate, "
                       "tblBillOfEntry.collectoratecode, tblBillOfEntry.betype, tblBillOfEntry.taxperiod, "
                       "tblBillOfEntry.igmno, tblBillOfEntry.grossweight, tblBillOfEntry.uomcode, "
                       "tblBillOfEntry.importerntn, tblBillOfEntry.importername, tblBillOfEntry.CashDate, "
                       "tblBillOfEntry.totalsalestax, tblBillOfEntry.TotalSED FROM tblBillOfEntry WHERE "
                       "tblBillOfEntry.betype <> 'HC'"),
             std::string(kBill) + "'KAPW-1', #2024-01-12#, 'KAPW', 'IM', 170);\n" + kBill +
                 "'KAPW-2', #2024-01-13#, 'KAPW', 'HC', 85);\n" + kBill + "'KAPW-3', #2024-01-14#, 'KAPW', NULL, 17);\n" +
                 kBillItem + "'KAPW-1', #2024-01-12#, 'IM', 'KAPW', 1, 10, 1000, 170);\n");

  EXPECT_EQ(transfer(), app::TransferRun::Outcome::SomeMissing);
  expect_moved("vwBillOfentryMtr", 1, 1);
  expect_moved("vwbillofentry", 1, 1);
  const db::BaseTableAccount& bills = table_named("tblBillOfEntry");
  EXPECT_EQ(bills.rows, 3u);
  EXPECT_EQ(bills.read_by_views, 1u);
  EXPECT_EQ(not_read("tblBillOfEntry"),
            (std::vector<std::string>{
                "not read by any view: betype is 'HC', where vwBillOfentryMtr asks for tblBillOfEntry.betype <> 'HC'",
                "not read by any view: betype is Null, where vwBillOfentryMtr asks for tblBillOfEntry.betype <> "
                "'HC'"}));
  EXPECT_EQ(bills.not_read[0].key_text(),
            "StRegNo 3277876543210, taxperiod 202401, betype HC, billofentryno KAPW-2, billofentrydate 13/01/2024, "
            "collectoratecode KAPW");
  expect_others_read({"tblBillOfEntry"});
  expect_exact(total("tblBillOfEntry", "totalsalestax").difference(), "-102");
  expect_exact(total("vwBillOfentryMtr", "totalsalestax").difference(), "0");
  EXPECT_EQ(exit_code(), 1);
}

// The shared fixtures and the example database: every row of every table behind the
// views is read, and old-medium still moves everything.
TEST(RowsNoViewReadsFixtures, EveryRowOfTheFixturesTablesIsReadByAView) {
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  std::vector<std::pair<fs::path, bool>> sources;  // and whether all data moves
  if (auto small = database_path("old-small.mdb"); !small.empty()) sources.emplace_back(small, false);
  if (fs::exists(built_databases_dir() / "old-version.mdb"))
    sources.emplace_back(built_databases_dir() / "old-version.mdb", false);
  if (fs::exists(fixtures_dir() / "old-medium.mdb")) sources.emplace_back(fixtures_dir() / "old-medium.mdb", true);
  if (sources.empty()) GTEST_SKIP() << "no old-version database: neither fixtures nor built ones";
  for (const auto& [path, all_move] : sources) {
    TempDir dir;
    RecordingSink sink;
    app::TransferRun run(sink);
    run.set_safety({});
    const auto outcome = run.run(path.string(), dir.copy_in(new_empty).string());
    const db::BaseAccount& base = run.report().account.base;
    EXPECT_EQ(base.tables.size(), 6u) << path;
    EXPECT_EQ(base.not_read(), 0u) << path;
    EXPECT_EQ(base.error, "") << path;
    for (const auto& t : base.tables) EXPECT_EQ(t.read_by_views, t.rows) << path << " " << t.name;
    if (all_move) {
      EXPECT_EQ(outcome, app::TransferRun::Outcome::AllMoved) << path;
    }
  }
}

}  // namespace
}  // namespace halvaro::test
