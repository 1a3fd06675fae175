#include "sql/base_rows.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sql/query_engine.h"
#include "sql/regional.h"

namespace halvaro::sql {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

// What the account told: per table its rows and, per row no view delivers, the value of
// its first column and the reason.
struct Told : BaseRowVisitor {
  struct Table {
    BaseTable table;
    std::vector<std::pair<std::string, std::string>> unread;
  };
  std::vector<Table> tables;
  void table(const BaseTable& t) override { tables.push_back({t, {}}); }
  void unread(const std::vector<FieldValue>& row, const std::string& reason) override {
    tables.back().unread.emplace_back(text_form(row.at(0)), reason);
  }
  const Table& named(const std::string& name) const {
    for (const Table& t : tables)
      if (t.table.name == name) return t;
    throw std::out_of_range(name);
  }
};

std::shared_ptr<MemorySource> source() {
  auto s = std::make_shared<MemorySource>();
  s->add_table({"tblSupplierBuyer", {{"STRegNoSupplier", Kind::Text}, {"SupplierName", Kind::Text}}},
               {{"S1", "Omega Traders"}});
  s->add_table({"tblPeriod", {{"TaxPeriod", Kind::Text}}}, {{"202401"}});
  s->add_table({"tblInvoice",
                {{"InvoiceNo", Kind::Text},
                 {"InvoiceType", Kind::Text},
                 {"TaxPeriod", Kind::Text},
                 {"STRegNoSupplier", Kind::Text},
                 {"Total", Kind::Currency}}},
               {{"I1", "P", "202401", "S1", Currency{10000}},
                {"I2", "S", "202401", "S9", Currency{20000}},
                {"I3", "X", "202401", "S1", Currency{30000}},
                {"I4", FieldValue(), "202401", "S1", Currency{40000}},
                {"I5", "D", "202402", "S1", Currency{50000}}});
  s->add_table({"tblInvoiceItem", {{"InvoiceNo", Kind::Text}, {"ItemSerialNo", Kind::Long}, {"quantity", Kind::Double}}},
               {{"I1", int64_t{1}, 2.0}, {"I9", int64_t{1}, 1.0}, {"I1", int64_t{2}, 0.0}});
  s->add_query("VwPurchase",
               "SELECT tblInvoice.*, tblSupplierBuyer.SupplierName AS Buyer FROM tblInvoice LEFT JOIN "
               "tblSupplierBuyer ON tblInvoice.STRegNoSupplier = tblSupplierBuyer.STRegNoSupplier WHERE "
               "tblInvoice.InvoiceType = 'P' OR tblInvoice.InvoiceType = 'D';");
  s->add_query("VwSales",
               "SELECT tblSupplierBuyer.SupplierName, i.InvoiceNo AS Number, i.Total FROM tblSupplierBuyer RIGHT JOIN "
               "tblInvoice AS i ON i.STRegNoSupplier = tblSupplierBuyer.STRegNoSupplier WHERE (((i.InvoiceType) In "
               "('S','C')));");
  return s;
}

TEST(BaseRows, RowsThatEveryViewLeavesOutAreToldWithTheTestsTheyFail) {
  auto s = source();
  s->add_query("VwItems",
               "SELECT tblInvoiceItem.InvoiceNo, ItemSerialNo, quantity FROM tblInvoiceItem INNER JOIN tblInvoice ON "
               "tblInvoiceItem.InvoiceNo = tblInvoice.InvoiceNo WHERE tblInvoiceItem.quantity > 0 AND "
               "tblInvoice.InvoiceType <> 'Z'");
  QueryEngine engine(s);
  Told told;
  account_base_rows(engine, {"tblSupplierBuyer", "VwPurchase", "VwSales", "VwItems"}, told);

  // The looked-up table and the one read whole have no account here.
  ASSERT_EQ(told.tables.size(), 2u);
  const Told::Table& invoices = told.named("tblInvoice");
  EXPECT_EQ(invoices.table.rows, 5u);
  EXPECT_THAT(invoices.table.views, ElementsAre("VwPurchase", "VwSales", "VwItems"));
  // I1 has a counted item, so VwItems reads it; I3 and I4 no view reads.
  EXPECT_THAT(invoices.unread,
              ElementsAre(Pair("I3", "VwPurchase: InvoiceType 'X' is neither P nor D; VwSales: InvoiceType 'X' is "
                                     "neither S nor C; VwItems's inner join finds no tblInvoiceItem row for it: "
                                     "tblInvoiceItem.InvoiceNo = tblInvoice.InvoiceNo"),
                          Pair("I4", "VwPurchase: InvoiceType Null is neither P nor D; VwSales: InvoiceType Null is "
                                     "neither S nor C; VwItems's inner join finds no tblInvoiceItem row for it: "
                                     "tblInvoiceItem.InvoiceNo = tblInvoice.InvoiceNo")));
  // Each view's columns of the table, under the names the view gives them.
  EXPECT_THAT(invoices.table.view_columns[1], ElementsAre(Pair("Number", "InvoiceNo"), Pair("Total", "Total")));

  const Told::Table& items = told.named("tblInvoiceItem");
  EXPECT_EQ(items.table.rows, 3u);
  EXPECT_THAT(items.unread,
              ElementsAre(Pair("I9", "VwItems's inner join finds no tblInvoice row for it: tblInvoiceItem.InvoiceNo "
                                     "= tblInvoice.InvoiceNo"),
                          Pair("I1", "quantity is 0, where VwItems asks for tblInvoiceItem.quantity > 0")));
}

TEST(BaseRows, AViewReadingEveryRowLeavesNothingToTell) {
  auto s = source();
  s->add_query("VwAll", "SELECT InvoiceNo FROM tblInvoice LEFT JOIN tblPeriod ON tblInvoice.TaxPeriod = tblPeriod.TaxPeriod");
  QueryEngine engine(s);
  Told told;
  account_base_rows(engine, {"VwPurchase", "VwAll"}, told);
  ASSERT_EQ(told.tables.size(), 1u);
  EXPECT_EQ(told.tables[0].table.rows, 5u);
  EXPECT_TRUE(told.tables[0].unread.empty());
}

TEST(BaseRows, CommaJoinsAndUnionsAreReadAsTheyFilter) {
  auto s = source();
  // A join written as a comma tests its partners in WHERE; each SELECT of a UNION reads
  // the table on its own.
  s->add_query("VwPeriods",
               "SELECT tblInvoice.InvoiceNo FROM tblInvoice, tblPeriod WHERE tblInvoice.TaxPeriod = "
               "tblPeriod.TaxPeriod AND tblInvoice.InvoiceType = 'P' UNION ALL SELECT InvoiceNo FROM tblInvoice "
               "WHERE InvoiceType = 'S' OR Total >= 50");
  QueryEngine engine(s);
  Told told;
  account_base_rows(engine, {"VwPeriods"}, told);
  const Told::Table& invoices = told.named("tblInvoice");
  EXPECT_THAT(invoices.unread,
              ElementsAre(Pair("I3", "VwPeriods: InvoiceType 'X' is not P; InvoiceType is 'X' and Total is 3, where "
                                     "VwPeriods asks for InvoiceType = 'S' OR Total >= 50"),
                          Pair("I4", "VwPeriods: InvoiceType Null is not P; InvoiceType is Null and Total is 4, where "
                                     "VwPeriods asks for InvoiceType = 'S' OR Total >= 50"),
                          Pair("I5", "tblInvoice.TaxPeriod is '202402' and tblPeriod.TaxPeriod is '202401', where "
                                     "VwPeriods asks for tblInvoice.TaxPeriod = tblPeriod.TaxPeriod; InvoiceType is "
                                     "'D' and Total is 5, where VwPeriods asks for InvoiceType = 'S' OR Total >= 50")));
  // The period table is read too: its one row has a partner.
  EXPECT_TRUE(told.named("tblPeriod").unread.empty());
}

TEST(BaseRows, AViewThatCannotBeParsedIsAnError) {
  auto s = source();
  s->add_query("VwBroken", "SELECT FROM WHERE");
  QueryEngine engine(s);
  Told told;
  EXPECT_THROW(account_base_rows(engine, {"VwBroken"}, told), QueryError);
}

}  // namespace
}  // namespace halvaro::sql
