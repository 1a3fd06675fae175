// The transfers' query texts over the old-version fixture databases, through the
// real file reader.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "jet/catalog/database.h"
#include "sql/query_engine.h"
#include "sql/regional.h"
#include "tests/support/fixtures.h"
#include "tests/sql/print_value.h"

namespace halvaro::sql {
namespace {

struct ViewCount {
  const char* view;
  size_t small_rows;
  size_t medium_rows;
};

// Rows each view must give: its WHERE evaluated by hand over the tables
// (mdb-export counts of each invoice kind, every bill and shipping bill row).
const ViewCount kViews[] = {
    {"VwPurchaseDebitMtr", 16, 2244 + 231}, {"VwPurchaseDebit", 24 + 3, 11140 + 1148},
    {"VwSalesCreditMtr", 14, 2117 + 408},   {"VwSalesCredit", 24 + 3, 10510 + 1979},
    {"vwBillOfentryMtr", 6, 1000},          {"vwbillofentry", 10, 3923},
    {"VwShippingBillMtr", 6, 1000},         {"VwShippingBill", 9, 3961},
};

std::string text_of(const ResultSet& result, size_t row, std::string_view column) {
  return text_form(result.rows.at(row).at(static_cast<size_t>(result.find_column(column))));
}

// The rows of each view worked out from its tables with the file reader alone: the
// invoice views keep the rows of two kinds, each joined to as many partners as share
// its claimant and partner numbers (at least one, the join being a left one); the bill
// views keep every row.
std::map<std::string, size_t> view_rows_from_tables(const jet::Database& db) {
  std::map<std::pair<std::string, std::string>, size_t> partners;
  const jet::TableDef& partner_table = db.table("tblSupplierBuyer");
  const size_t claimant = partner_table.find_column("STRegNo")->position;
  const size_t partner = partner_table.find_column("STRegNoSupplier")->position;
  db.scan(partner_table, [&](std::span<const FieldValue> v) {
    ++partners[{text_form(v[claimant]), text_form(v[partner])}];
    return true;
  });
  std::map<std::string, size_t> rows;
  auto count_invoices = [&](const char* table, const char* purchase_view, const char* sales_view) {
    const jet::TableDef& t = db.table(table);
    const size_t own = t.find_column("StRegNo")->position, other = t.find_column("STRegNoSupplier")->position;
    const size_t kind = t.find_column("InvoiceType")->position;
    rows[purchase_view] = rows[sales_view] = 0;
    db.scan(t, [&](std::span<const FieldValue> v) {
      const std::string type = text_form(v[kind]);
      const auto found = partners.find({text_form(v[own]), text_form(v[other])});
      const size_t joined = found == partners.end() ? 1 : found->second;
      if (type == "P" || type == "D") rows[purchase_view] += joined;
      if (type == "S" || type == "C") rows[sales_view] += joined;
      return true;
    });
  };
  count_invoices("tblInvoice", "VwPurchaseDebitMtr", "VwSalesCreditMtr");
  count_invoices("tblInvoiceItem", "VwPurchaseDebit", "VwSalesCredit");
  for (const auto& [table, view] : {std::pair{"tblBillOfEntry", "vwBillOfentryMtr"},
                                    {"tblBillOfEntryItem", "vwbillofentry"},
                                    {"tblShippingBill", "VwShippingBillMtr"},
                                    {"tblShippingBillItem", "VwShippingBill"}})
    rows[view] = db.table(table).row_count;
  return rows;
}

// Over the benchmark database, or where it is absent over the one the build generates
// with as many invoices: the counts are worked out from its tables, and for the shared
// file they are also the mdb-export counts above.
TEST(FixtureQueries, EveryViewOfTheBenchmarkDatabaseGivesTheRowsOfItsDefinition) {
  HALVARO_REQUIRE_DATABASE(medium, "old-medium.mdb");
  auto db = std::shared_ptr<const jet::Database>(jet::Database::open(medium));
  const std::map<std::string, size_t> expected = view_rows_from_tables(*db);
  const bool shared_fixture = medium.parent_path() == test::fixtures_dir();
  QueryEngine medium_engine(db);
  for (const auto& view : kViews) {
    EXPECT_EQ(medium_engine.execute(std::string("SELECT *  FROM  ") + view.view).rows.size(), expected.at(view.view))
        << view.view;
    if (shared_fixture) {
      EXPECT_EQ(expected.at(view.view), view.medium_rows) << view.view;
    }
  }
}

TEST(FixtureQueries, EveryViewGivesTheRowsOfItsDefinition) {
  HALVARO_REQUIRE_DATABASE(small, "old-small.mdb");
  QueryEngine small_engine(std::shared_ptr<const jet::Database>(jet::Database::open(small)));
  for (const auto& view : kViews)
    EXPECT_EQ(small_engine.execute(std::string("Select * from ") + view.view).rows.size(), view.small_rows) << view.view;
  ResultSet mtr = small_engine.execute("Select * from VwPurchaseDebitMtr");
  EXPECT_EQ(mtr.columns.size(), 11u);
  EXPECT_EQ(mtr.columns[6].name, "Buyer");
  // The invoice whose partner is missing from tblSupplierBuyer has a null Buyer.
  ResultSet orphan = small_engine.execute("Select Buyer from VwPurchaseDebitMtr where InvoiceNo = 'TI-0151'");
  ASSERT_EQ(orphan.rows.size(), 1u);
  EXPECT_TRUE(orphan.rows[0][0].is_null());
  ResultSet ti0103 = small_engine.execute("Select * from VwPurchaseDebitMtr where InvoiceNo = 'TI-0103'");
  ASSERT_EQ(ti0103.rows.size(), 1u);
  EXPECT_EQ(text_of(ti0103, 0, "buyer"), "Müller & Söhne Trading Co.");
  EXPECT_EQ(ti0103.rows[0][static_cast<size_t>(ti0103.find_column("TotalSED"))], FieldValue(Currency{12500000}));
  // A null unit and an empty one stay apart through the view.
  ResultSet units = small_engine.execute("Select UomMtr from VwShippingBillMtr where shippingbillno = '4655210'");
  ASSERT_EQ(units.rows.size(), 1u);
  EXPECT_TRUE(units.rows[0][0].is_null());
  EXPECT_EQ(small_engine.execute("Select UomDetail from VwShippingBill where shippingbillno = 771204").rows.at(0).at(0),
            FieldValue(""));
  ResultSet shipping = small_engine.execute("SELECT *  FROM  VwShippingBillMtr");
  EXPECT_GE(shipping.find_column("UomMtr"), 0);
  EXPECT_EQ(shipping.columns[static_cast<size_t>(shipping.find_column("shippingbillno"))].kind, Kind::Long);
}

TEST(FixtureQueries, ItemQueriesBuiltFromMasterValuesFindTheirItems) {
  HALVARO_REQUIRE_DATABASE(small, "old-small.mdb");
  QueryEngine engine(std::shared_ptr<const jet::Database>(jet::Database::open(small)));

  // TI-0103 carries a time of day: cstr of the view's date is the general date form.
  ResultSet invoice = engine.execute("Select * from VwPurchaseDebitMtr where InvoiceNo = 'TI-0103'");
  ASSERT_EQ(invoice.rows.size(), 1u);
  std::string date = text_of(invoice, 0, "Invoicedate");
  EXPECT_EQ(date, "17/08/2023 14:35:20");
  ResultSet items = engine.execute(
      "Select * from VwPurchaseDebit where StRegNo = '" + text_of(invoice, 0, "Stregno") + "' And TaxPeriod = '" +
      text_of(invoice, 0, "taxperiod") + "' And InvoiceType = 'P' And InvoiceNo = 'TI-0103' and cstr(invoicedate) = '" +
      date + "' and stregnosupplier = '" + text_of(invoice, 0, "STRegNoSupplier") + "'");
  ASSERT_FALSE(items.rows.empty());
  int serial = items.find_column("ItemSerialNo");
  int amount = items.find_column("ExcludSalTax");
  bool found_item_2 = false;
  for (const auto& row : items.rows) {
    if (row[static_cast<size_t>(serial)] == FieldValue(int64_t{2})) {
      found_item_2 = true;
      EXPECT_EQ(row[static_cast<size_t>(amount)], FieldValue(Currency{154321275}));
    }
  }
  EXPECT_TRUE(found_item_2);

  // The apostrophe doubled in the literal finds INV-O'7's three items.
  ResultSet sales = engine.execute(
      "Select * from VwSalesCredit where StRegNo = '1203987600025' And TaxPeriod = '202311' And InvoiceType = 'S' "
      "And InvoiceNo = 'INV-O''7' and cstr(invoicedate) = '21/11/2023' and stregnosupplier = '0702444400029'");
  EXPECT_EQ(sales.rows.size(), 3u);

  // Bills of entry: cstr of the number and of a date with a time; the stray item of
  // another BeType is not selected.
  EXPECT_EQ(engine.execute("Select * from vwbillofentry where StRegNo = '0301234500017' And TaxPeriod = '202311' "
                           "And BeType = 'HC'  and cstr(BillOfEntryNo) = 'KAPW-HC-118230' and "
                           "cstr(BillofEntryDate) = '06/11/2023 11:20:00' and collectorateCode = 'KAPW'")
                .rows.size(),
            2u);
  EXPECT_EQ(engine.execute("Select * from vwbillofentry where StRegNo = '0301234500017' And TaxPeriod = '202309' "
                           "And BeType = 'HC'  and cstr(BillOfEntryNo) = 'KAPE-HC-099812' and "
                           "cstr(BillofEntryDate) = '04/09/2023' and collectorateCode = 'KAPE'")
                .rows.size(),
            1u);

  // Shipping bills: cstr of a Long number; the bill entered twice has 2 + 1 items.
  EXPECT_EQ(engine.execute("Select * from VwShippingBill where StRegNo = '1203987600025' And TaxPeriod = '202311' "
                           "And cstr(ShippingBillNo) = '780055' and cstr(Shippingbilldate)= '08/11/2023' and "
                           "CollectorateCode = 'SDP'")
                .rows.size(),
            3u);
}

TEST(FixtureQueries, ExistenceQueriesOnTheDestination) {
  HALVARO_REQUIRE_DATABASE(empty, "new-empty.mdb");
  HALVARO_REQUIRE_DATABASE(nonempty, "new-nonempty.mdb");
  QueryEngine empty_engine(std::shared_ptr<const jet::Database>(jet::Database::open(empty)));
  QueryEngine full_engine(std::shared_ptr<const jet::Database>(jet::Database::open(nonempty)));
  const char* purchase = "Select * from tblInvoiceMtr Where (InvoiceType = 'P'  or Invoicetype = 'D')";
  const char* sales = "Select * from tblInvoiceMtr  Where InvoiceType = 'S'  OR Invoicetype = 'C'";
  EXPECT_EQ(empty_engine.execute(purchase).rows.size(), 0u);
  EXPECT_EQ(empty_engine.execute("Select *  from tblInvoiceDetail").rows.size(), 0u);
  EXPECT_EQ(full_engine.execute(purchase).rows.size(), 0u);
  EXPECT_EQ(full_engine.execute(sales).rows.size(), 2u);
  EXPECT_EQ(full_engine.execute("Select *  from tblInvoiceDetail").rows.size(), 3u);
}

TEST(QueryCommand, PrintsTheRowsAsCsvAndReportsBadStatements) {
  HALVARO_REQUIRE_DATABASE(small, "old-small.mdb");
  test::CommandResult result = test::run_halvaro(
      {"query", small.string(),
       "Select InvoiceNo, InvoiceDate, ExcludSalTax from VwSalesCredit where InvoiceNo = 'INV-O''7' And ItemSerialNo = 1"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "InvoiceNo,InvoiceDate,ExcludSalTax\nINV-O'7,2023-11-21 00:00:00,183960.7200\n");
  result = test::run_halvaro({"query", small.string(), "Select * from tblNowhere"}, test::ErrorOutput::merged);
  EXPECT_EQ(result.status, 2);
  EXPECT_THAT(result.out, testing::HasSubstr("no table or saved query named 'tblNowhere'"));
}

}  // namespace
}  // namespace halvaro::sql
