#include "sql/query_engine.h"

#include "sql/parser.h"
#include "sql/regional.h"
#include "tests/sql/print_value.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace halvaro::sql {
namespace {

DateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return from_civil({y, mo, d, h, mi, s}); }
Currency money(int64_t scaled) { return Currency{scaled}; }

// A small old-version database: invoices with items and the purchase views.
std::shared_ptr<MemorySource> invoices() {
  auto source = std::make_shared<MemorySource>();
  source->add_table({"tblSupplierBuyer",
                     {{"STRegNo", Kind::Text}, {"STRegNoSupplier", Kind::Text}, {"SupplierName", Kind::Text}}},
                    {{"A1", "S1", "Müller & Söhne"}, {"A1", "S2", FieldValue()}});
  source->add_table({"tblInvoice",
                     {{"StRegNo", Kind::Text},
                      {"TaxPeriod", Kind::Text},
                      {"InvoiceType", Kind::Text},
                      {"InvoiceNo", Kind::Text},
                      {"InvoiceDate", Kind::Date},
                      {"STRegNoSupplier", Kind::Text},
                      {"TotalSalesTax", Kind::Currency}}},
                    {{"A1", "202308", "P", "TI-0103", at(2023, 8, 17, 14, 35, 20), "S1", money(154321275)},
                     {"A1", "202308", "P", "INV-O'7", at(2023, 8, 1), "S2", money(10000)},
                     {"A1", "202308", "S", "TS-1", at(2023, 8, 2), "S9", money(-25000)},
                     {"A1", "202307", "D", "DN-1", at(2023, 7, 5), "S1", FieldValue()}});
  source->add_table({"tblInvoiceItem",
                     {{"StRegNo", Kind::Text},
                      {"TaxPeriod", Kind::Text},
                      {"InvoiceType", Kind::Text},
                      {"InvoiceNo", Kind::Text},
                      {"InvoiceDate", Kind::Date},
                      {"STRegNoSupplier", Kind::Text},
                      {"ItemSerialNo", Kind::Long},
                      {"quantity", Kind::Double},
                      {"ExcludSalTax", Kind::Currency}}},
                    {{"A1", "202308", "P", "TI-0103", at(2023, 8, 17, 14, 35, 20), "S1", 1, 2.5, money(10000)},
                     {"A1", "202308", "P", "TI-0103", at(2023, 8, 17, 14, 35, 20), "S1", 2, 1.0, money(154321275)},
                     {"A1", "202308", "P", "INV-O'7", at(2023, 8, 1), "S2", 1, 1.0, money(1)},
                     {"A1", "202308", "P", "INV-O'7", at(2023, 8, 1), "S2", 2, 1.0, money(2)},
                     {"A1", "202308", "P", "INV-O'7", at(2023, 8, 1), "S2", 3, 1.0, money(3)},
                     {"A1", "202308", "P", "TI-0099", at(2023, 8, 1), "S2", 1, 1.0, money(4)}});
  source->add_query("VwPurchaseDebitMtr",
                    "SELECT tblInvoice.StRegNo, tblInvoice.TaxPeriod, tblInvoice.InvoiceType, tblInvoice.InvoiceNo, "
                    "tblInvoice.InvoiceDate, tblInvoice.STRegNoSupplier, tblSupplierBuyer.SupplierName AS Buyer, "
                    "tblInvoice.TotalSalesTax FROM tblInvoice LEFT JOIN tblSupplierBuyer ON (tblInvoice.StRegNo = "
                    "tblSupplierBuyer.STRegNo AND tblInvoice.STRegNoSupplier = tblSupplierBuyer.STRegNoSupplier) "
                    "WHERE tblInvoice.InvoiceType = 'P' OR tblInvoice.InvoiceType = 'D';");
  source->add_query("VwPurchaseDebit",
                    "SELECT tblInvoiceItem.*, tblSupplierBuyer.SupplierName AS Buyer\r\nFROM tblInvoiceItem LEFT JOIN "
                    "tblSupplierBuyer ON (tblInvoiceItem.STRegNoSupplier = tblSupplierBuyer.STRegNoSupplier) AND "
                    "(tblInvoiceItem.StRegNo = tblSupplierBuyer.STRegNo)\r\nWHERE (((tblInvoiceItem.InvoiceType) In "
                    "('P','D')));\r\n");
  return source;
}

std::vector<std::string> texts(const ResultSet& result, std::string_view column) {
  std::vector<std::string> out;
  int index = result.find_column(column);
  for (const auto& row : result.rows) out.push_back(row[index].is_null() ? "<null>" : row[index].as<std::string>());
  return out;
}

TEST(QueryEngine, ViewsKeepTheirColumnsTypesAndJoinedValues) {
  QueryEngine engine(invoices());
  ResultSet mtr = engine.execute("Select * from VwPurchaseDebitMtr");
  ASSERT_EQ(mtr.columns.size(), 8u);
  EXPECT_EQ(mtr.columns[4].name, "InvoiceDate");
  EXPECT_EQ(mtr.columns[4].kind, Kind::Date);
  EXPECT_EQ(mtr.columns[6].name, "Buyer");
  EXPECT_EQ(mtr.columns[7].kind, Kind::Currency);
  EXPECT_THAT(texts(mtr, "invoiceno"), testing::ElementsAre("TI-0103", "INV-O'7", "DN-1"));
  EXPECT_THAT(texts(mtr, "BUYER"), testing::ElementsAre("Müller & Söhne", "<null>", "Müller & Söhne"));
  EXPECT_EQ(mtr.rows[0][4], FieldValue(at(2023, 8, 17, 14, 35, 20)));
  EXPECT_EQ(mtr.rows[0][7], FieldValue(money(154321275)));
  EXPECT_TRUE(mtr.rows[2][7].is_null());

  ResultSet items = engine.execute("SELECT *  FROM  VwPurchaseDebit");
  ASSERT_EQ(items.columns.size(), 10u);
  EXPECT_EQ(items.rows.size(), 6u);
  EXPECT_EQ(items.columns[8].kind, Kind::Currency);
  EXPECT_EQ(items.rows[1][8], FieldValue(money(154321275)));
  EXPECT_EQ(items.rows[0][7], FieldValue(2.5));
  EXPECT_EQ(items.rows[0][6], FieldValue(int64_t{1}));
}

TEST(QueryEngine, ItemQueriesFindTheirItemsByTextAndCstrOfTheDate) {
  QueryEngine engine(invoices());
  auto item_query = [](std::string no, std::string date, std::string supplier) {
    return "Select * from VwPurchaseDebit where StRegNo = 'A1' And TaxPeriod = '202308' And InvoiceType = 'P' "
           "And InvoiceNo = '" + no + "' and cstr(invoicedate) = '" + date + "' and stregnosupplier = '" +
           supplier + "'";
  };
  EXPECT_EQ(engine.execute(item_query("TI-0103", "17/08/2023 14:35:20", "S1")).rows.size(), 2u);
  EXPECT_EQ(engine.execute(item_query("ti-0103", "17/08/2023 14:35:20", "s1")).rows.size(), 2u);  // case-blind
  EXPECT_EQ(engine.execute(item_query("TI-0103", "17/08/2023", "S1")).rows.size(), 0u);
  EXPECT_EQ(engine.execute(item_query("INV-O''7", "01/08/2023", "S2")).rows.size(), 3u);
  EXPECT_EQ(engine.execute(item_query("TI-0103", "17/08/2023 14:35:20", "")).rows.size(), 0u);
  // The unescaped apostrophe makes the text malformed: an error, never a wrong answer.
  EXPECT_THROW(engine.execute(item_query("INV-O'7", "01/08/2023", "S2")), QueryError);
  // The item view is evaluated once, however many item queries run.
  EXPECT_THAT(engine.translate(item_query("X", "Y", "Z")), testing::HasSubstr("jet_cstr"));
}

// An outer join's lookups read an index that holds the columns the view takes from the
// inner table. Rows of the inner table that pass the same tests would come out of that
// index in the order of those columns: they must still come in the table's order.
TEST(QueryEngine, AnOuterJoinGivesTheInnerTablesRowsInItsOwnOrder) {
  auto source = std::make_shared<MemorySource>();
  source->add_table({"orders", {{"Claimant", Kind::Text}, {"Partner", Kind::Text}, {"No", Kind::Long}}},
                    {{"A1", "S1", int64_t{1}}, {"A1", "S2", int64_t{2}}, {"A1", "S3", int64_t{3}}});
  const std::string view =
      "SELECT orders.No, partners.Name FROM orders LEFT JOIN partners ON (orders.Claimant = partners.Claimant AND "
      "orders.Partner = partners.Partner)";
  auto names = [&](const std::vector<std::vector<FieldValue>>& partners) {
    auto with = std::make_shared<MemorySource>(*source);
    with->add_table({"partners", {{"Claimant", Kind::Text}, {"Partner", Kind::Text}, {"Name", Kind::Text}}},
                    partners);
    with->add_query("OrdersAndNames", view);
    QueryEngine engine(with);
    std::vector<std::string> out;
    for (const auto& row : engine.execute("Select * from OrdersAndNames").rows)
      out.push_back(std::to_string(row[0].as<int64_t>()) + ":" + (row[1].is_null() ? "-" : row[1].as<std::string>()));
    return out;
  };
  // One partner per key: each order finds its own, or none.
  EXPECT_THAT(names({{"A1", "S2", "Beta"}, {"A1", "S1", "Alpha"}}), testing::ElementsAre("1:Alpha", "2:Beta", "3:-"));
  // Two partners pass one order's tests (the second only as Jet compares texts): they
  // come in the table's order, not by name.
  EXPECT_THAT(names({{"A1", "S1", "Zeta"}, {"A1", "S2", "Beta"}, {"a1", "s1", "Alpha"}}),
              testing::ElementsAre("1:Zeta", "1:Alpha", "2:Beta", "3:-"));
}

// The index that answers an item query may lead with any of its equality tests (the
// one with the most distinct values comes first): the rows of one key must still come
// in the view's order, and a key that differs only in a later test must not match.
TEST(QueryEngine, ItemQueriesKeepTheViewsOrderWhicheverTestTheIndexLeadsWith) {
  auto source = std::make_shared<MemorySource>();
  source->add_table({"tblItem",
                     {{"StRegNo", Kind::Text}, {"TaxPeriod", Kind::Text}, {"InvoiceNo", Kind::Text},
                      {"InvoiceDate", Kind::Date}, {"Serial", Kind::Long}}});
  // Thousands of rows of one claimant and period, the invoice numbers varying: the
  // invoice number decides first. Invoice N7's items come out of order, between others.
  std::vector<std::vector<FieldValue>> rows;
  for (int64_t n = 0; n < 3000; ++n) {
    if (n == 100 || n == 2900) rows.push_back({"A1", "202308", "N7", at(2023, 8, 1), int64_t{n == 100 ? 30 : 10}});
    rows.push_back({"A1", "202308", "N" + std::to_string(n + 1000), at(2023, 8, 1), int64_t{1}});
    if (n == 1500) rows.push_back({"a1", "202308", "n7", at(2023, 8, 1), int64_t{20}});
  }
  rows.push_back({"A2", "202308", "N7", at(2023, 8, 1), int64_t{99}});
  rows.push_back({"A1", "202309", "N7", at(2023, 8, 1), int64_t{98}});
  rows.push_back({"A1", "202308", "N7", at(2023, 8, 2), int64_t{97}});
  source->add_rows("tblItem", std::move(rows));
  source->add_query("VwItem", "SELECT * FROM tblItem WHERE Serial > 0");
  for (std::string relation : {"tblItem", "VwItem"}) {
    QueryEngine engine(source);
    ResultSet items = engine.execute("Select * from " + relation +
                                     " where StRegNo = 'A1' And TaxPeriod = '202308' And InvoiceNo = 'N7' "
                                     "and cstr(InvoiceDate) = '01/08/2023'");
    std::vector<int64_t> serials;
    for (const auto& row : items.rows) serials.push_back(row[4].as<int64_t>());
    EXPECT_THAT(serials, testing::ElementsAre(30, 20, 10)) << relation;
  }
}

// Statements of one shape share a prepared statement with their quoted texts bound:
// every one must give what its own translation gives, whichever statement of the
// shape came first, including shapes whose texts cannot be bound (compared with a
// date, or naming a column).
TEST(QueryEngine, StatementsSharingAShapeGiveWhatTheirOwnTranslationGives) {
  auto item_query = [](std::string no, std::string date, std::string supplier) {
    return "Select * from VwPurchaseDebit where StRegNo = 'A1' And TaxPeriod = '202308' And InvoiceType = 'P' "
           "And InvoiceNo = '" + no + "' and cstr(invoicedate) = '" + date + "' and stregnosupplier = '" +
           supplier + "'";
  };
  const std::vector<std::string> statements = {
      item_query("TI-0103", "17/08/2023 14:35:20", "S1"),
      item_query("INV-O''7", "01/08/2023", "S2"),
      item_query("inv-o''7", "01/08/2023", "s2"),
      item_query("TI-0103", "17/08/2023 14:35:20", ""),
      item_query("", "", ""),
      item_query("TI-0099", "01/08/2023", "S2"),
      item_query("?1", "?2", "S2"),
      "SELECT * FROM tblInvoice WHERE InvoiceDate = '01/08/2023'",
      "SELECT * FROM tblInvoice WHERE InvoiceDate = '17/08/2023 14:35:20'",
      "SELECT * FROM tblInvoice WHERE InvoiceDate = ''",
      "SELECT InvoiceNo AS 'first' FROM tblInvoice WHERE InvoiceNo Like 'TI*'",
      "SELECT InvoiceNo AS 'second' FROM tblInvoice WHERE InvoiceNo Like 'IN*'",
      "SELECT '<' & InvoiceNo & '>' AS x, Nz(TotalSalesTax, '0') AS t FROM tblInvoice WHERE StRegNo = 'a1 '",
      "SELECT '[' & InvoiceNo & ']' AS x, Nz(TotalSalesTax, '1.5') AS t FROM tblInvoice WHERE StRegNo = 'A2'",
  };
  auto outcome = [](QueryEngine& engine, const std::string& sql) {
    std::string out;
    try {
      ResultSet result = engine.execute(sql);
      for (const auto& column : result.columns) out += column.name + ":" + std::to_string(int(column.kind)) + " ";
      for (const auto& row : result.rows) {
        out += "\n";
        for (const auto& value : row) out += testing::PrintToString(value) + " | ";
      }
    } catch (const QueryError& e) {
      out = std::string("error: ") + e.what();
    }
    return out;
  };
  QueryEngine reference(invoices());
  reference.share_statements(false);
  for (bool reversed : {false, true}) {
    QueryEngine engine(invoices());
    for (size_t n = 0; n < statements.size(); ++n) {
      const std::string& sql = statements[reversed ? statements.size() - 1 - n : n];
      EXPECT_EQ(outcome(engine, sql), outcome(reference, sql)) << sql;
    }
  }
  EXPECT_EQ(reference.execute(item_query("INV-O''7", "01/08/2023", "S2")).rows.size(), 3u);
  EXPECT_THAT(outcome(reference, "SELECT * FROM tblInvoice WHERE InvoiceDate = ''"), testing::HasSubstr("not a date"));
}

// A statement that reads one table or saved query row by row tells where each row is
// in it, and two statements of the same relation name it alike: that is how the item
// view and the item queries of a transfer tell which rows are the same row.
TEST(QueryEngine, RowsReadFromOneRelationNameTheirPositionInIt) {
  QueryEngine engine(invoices());
  auto positions = [](const StoredResult& result) {
    std::vector<uint64_t> out;
    for (size_t row = 0; row < result.rows.size(); ++row) out.push_back(result.origins.of(row).value_or(999));
    return out;
  };
  const StoredResult view = engine.execute_stored("Select InvoiceNo, ExcludSalTax from VwPurchaseDebit");
  ASSERT_FALSE(view.origin.empty());
  EXPECT_EQ(view.columns.size(), 2u);
  EXPECT_EQ(positions(view), (std::vector<uint64_t>{0, 1, 2, 3, 4, 5}));

  // Item queries, the first translated and the next through the shape it prepared.
  auto items = [&](const std::string& no) {
    return engine.execute_stored("Select * from VwPurchaseDebit where StRegNo = 'A1' And InvoiceNo = '" + no + "'");
  };
  for (const auto& [no, expected] : std::vector<std::pair<std::string, std::vector<uint64_t>>>{
           {"INV-O''7", {2, 3, 4}}, {"TI-0103", {0, 1}}, {"none", {}}}) {
    const StoredResult found = items(no);
    EXPECT_EQ(found.origin, view.origin) << no;
    EXPECT_EQ(positions(found), expected) << no;
    const int amount = [&] {
      for (size_t c = 0; c < found.columns.size(); ++c)
        if (found.columns[c].name == "ExcludSalTax") return int(c);
      return -1;
    }();
    ASSERT_GE(amount, 0);
    for (size_t row = 0; row < found.rows.size(); ++row)
      EXPECT_EQ(found.rows.row(row)[size_t(amount)], view.rows.row(size_t(*found.origins.of(row)))[1]) << no;
  }
  // Sorted, limited or filtered rows keep their own positions.
  EXPECT_EQ(positions(engine.execute_stored("Select Top 2 * from tblInvoiceItem Where ItemSerialNo > 1")),
            (std::vector<uint64_t>{1, 3}));
  EXPECT_EQ(positions(engine.execute_stored("Select ExcludSalTax from tblInvoiceItem Order By ExcludSalTax Desc")),
            (std::vector<uint64_t>{1, 0, 5, 4, 3, 2}));
  // Another table, or another engine's copy of the same one, is another origin.
  EXPECT_NE(engine.execute_stored("Select * from tblInvoiceItem").origin, view.origin);
  QueryEngine other(invoices());
  EXPECT_NE(other.execute_stored("Select InvoiceNo, ExcludSalTax from VwPurchaseDebit").origin, view.origin);
  // The position is not one of the columns of a result held in memory either.
  const ResultSet held = engine.execute("Select * from VwPurchaseDebit where StRegNo = 'A1' And InvoiceNo = 'TI-0103'");
  ASSERT_EQ(held.rows.size(), 2u);
  EXPECT_EQ(held.rows[0].size(), held.columns.size());
}

// Rows that are not each one row of one relation have no origin.
TEST(QueryEngine, JoinedGroupedOrCombinedRowsHaveNoOrigin) {
  QueryEngine engine(invoices());
  for (const char* sql : {
           "Select * from tblInvoice Inner Join tblSupplierBuyer On tblInvoice.StRegNo = tblSupplierBuyer.StRegNo",
           "Select Count(*) from tblInvoiceItem",
           "Select InvoiceNo, Sum(ExcludSalTax) from tblInvoiceItem Group By InvoiceNo",
           "Select Distinct InvoiceNo from tblInvoiceItem",
           "Select InvoiceNo from tblInvoice Union All Select InvoiceNo from tblInvoiceItem",
           "Select Top 1 InvoiceNo from tblInvoiceItem Order By ExcludSalTax",
           "Select x.InvoiceNo from (Select InvoiceNo from tblInvoiceItem) As x",
       }) {
    const StoredResult result = engine.execute_stored(sql);
    EXPECT_TRUE(result.origin.empty()) << sql;
    EXPECT_EQ(result.origins.size(), 0u) << sql;
  }
}

TEST(QueryEngine, ExistenceQueriesAndBareNames) {
  auto source = invoices();
  QueryEngine engine(source);
  EXPECT_EQ(engine.execute("Select * from tblInvoice Where (InvoiceType = 'P'  or Invoicetype = 'D')").rows.size(), 3u);
  EXPECT_EQ(engine.execute("Select * from tblInvoice  Where InvoiceType = 's'  OR Invoicetype = 'C'").rows.size(), 1u);
  EXPECT_EQ(engine.execute("tblinvoice").rows.size(), 4u);
  EXPECT_EQ(engine.execute("[tblInvoice]").rows.size(), 4u);
  EXPECT_EQ(source->scans("tblInvoice"), 1);  // loaded once
  EXPECT_EQ(source->scans("tblInvoiceItem"), 0);  // never referenced, never loaded

  // Rows written after the snapshot are seen once it is forgotten.
  source->add_rows("tblInvoice", {{"A1", "202309", "P", "TI-0200", at(2023, 9, 1), "S1", money(0)}});
  EXPECT_EQ(engine.execute("tblInvoice").rows.size(), 4u);
  engine.forget_loaded();
  EXPECT_EQ(engine.execute("Select * from tblInvoice Where (InvoiceType = 'P'  or Invoicetype = 'D')").rows.size(), 4u);
  EXPECT_EQ(source->scans("tblInvoice"), 2);

  // Statements that stand for a whole table need not be evaluated to test for emptiness.
  EXPECT_EQ(QueryEngine::whole_table("Select *  from tblInvoiceDetail"), "tblInvoiceDetail");
  EXPECT_EQ(QueryEngine::whole_table("tblInvoiceMtr"), "tblInvoiceMtr");
  EXPECT_EQ(QueryEngine::whole_table("SELECT * FROM [tbl Invoice];"), "tbl Invoice");
  EXPECT_EQ(QueryEngine::whole_table("Select * from tblInvoiceMtr Where (InvoiceType = 'P')"), std::nullopt);
  EXPECT_EQ(QueryEngine::whole_table("Select InvoiceNo from tblInvoiceMtr"), std::nullopt);
  EXPECT_EQ(QueryEngine::whole_table("Select * from"), std::nullopt);
}

// What the whole statement parses to: the reference for the answer whole_table gives
// without parsing statements that have a WHERE clause.
std::optional<std::string> parsed_whole_table(std::string_view text) {
  std::string name;
  if (is_bare_name(text, name)) return name;
  ast::Query query;
  try {
    query = parse_select(text);
  } catch (const SyntaxError&) {
    return std::nullopt;
  }
  if (query.selects.size() != 1 || !query.order_by.empty()) return std::nullopt;
  const ast::Select& select = query.selects[0];
  if (select.distinct || select.distinct_row || select.top || select.items.size() != 1 ||
      select.items[0].expr->type != ast::Expr::Type::Star || !select.items[0].expr->qualifier.empty() ||
      !select.from || select.from->type != ast::FromItem::Type::Named || select.where ||
      !select.group_by.empty() || select.having)
    return std::nullopt;
  return select.from->name;
}

TEST(QueryEngine, WholeTableAnswersAsTheParsedStatement) {
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"Select * from [where]", "where"},
      {"Select * from tblA As w", "tblA"},
      {"Select * from (tblA)", "tblA"},
      {"Select * from tblA WHERE", std::nullopt},
      {"select * from tblA where StRegNo = 'where'", std::nullopt},
      {"Select * from tblA Where (x = 1", std::nullopt},
      {"Select * from tblA where x = 'unclosed", std::nullopt},
      {"Select * from (Select * from tblA Where x = 1) As s", std::nullopt},
      {"Select * from tblA Order By where", std::nullopt},
      {"Select * from tblA As where", std::nullopt},
      {"Select * from tblWhere", "tblWhere"},
      {"Select * from tblA 'where'", std::nullopt},
      {"where", std::nullopt},
      {"[where]", "where"},
      {"Select * from vwPurchase where StRegNo = '1' And TaxPeriod = '2' and cstr(invoicedate) = '3'", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(QueryEngine::whole_table(text), expected);
    EXPECT_EQ(QueryEngine::whole_table(text), parsed_whole_table(text));
  }
}

TEST(QueryEngine, TypedColumnsCompareWithQuotedTextAsTheirType) {
  QueryEngine engine(invoices());
  EXPECT_EQ(engine.execute("SELECT * FROM tblInvoice WHERE InvoiceDate = '17/08/2023 14:35:20'").rows.size(), 1u);
  EXPECT_EQ(engine.execute("SELECT * FROM tblInvoice WHERE InvoiceDate > #8/1/2023#").rows.size(), 2u);
  EXPECT_EQ(engine.execute("SELECT * FROM tblInvoice WHERE InvoiceDate = #2023-08-01#").rows.size(), 1u);
  EXPECT_EQ(engine.execute("SELECT * FROM tblInvoice WHERE TotalSalesTax = '15432.1275'").rows.size(), 1u);
  EXPECT_EQ(engine.execute("SELECT * FROM tblInvoice WHERE TotalSalesTax < 0").rows.size(), 1u);
  EXPECT_EQ(engine.execute("SELECT * FROM tblInvoiceItem WHERE ItemSerialNo = '2'").rows.size(), 2u);
  EXPECT_EQ(engine.execute("SELECT * FROM tblInvoice WHERE TotalSalesTax = Null").rows.size(), 0u);
  EXPECT_EQ(engine.execute("SELECT * FROM tblInvoice WHERE TotalSalesTax Is Null").rows.size(), 1u);
  EXPECT_THROW(engine.execute("SELECT * FROM tblInvoice WHERE InvoiceDate = 'soon'"), QueryError);
  EXPECT_THROW(engine.execute("SELECT * FROM tblInvoice WHERE InvoiceNo = 5"), QueryError);
}

TEST(QueryEngine, ValuesOfNoFixedTypeAndDecimalsCompareAsJetDoes) {
  auto source = std::make_shared<MemorySource>();
  source->add_table({"T", {{"id", Kind::Long}, {"name", Kind::Text}, {"rate", Kind::Decimal, 2}}},
                    {{1, "apple", Decimal{1234, 2}}, {2, "Banana", Decimal{-50, 2}}});
  source->add_query("Q", "SELECT IIf(id > 1, name, id) AS v, rate FROM T");
  QueryEngine engine(source);
  ResultSet mixed = engine.execute("SELECT * FROM Q WHERE v = 'BANANA'");
  ASSERT_EQ(mixed.rows.size(), 1u);
  EXPECT_EQ(mixed.columns[0].kind, Kind::Variant);
  EXPECT_EQ(mixed.rows[0][0], FieldValue("Banana"));
  EXPECT_EQ(mixed.rows[0][1], FieldValue(Decimal{-50, 2}));
  EXPECT_EQ(engine.execute("SELECT v FROM Q WHERE cstr(rate) = '12.34'").rows.at(0).at(0), FieldValue(int64_t{1}));
}

TEST(QueryEngine, ErrorsNameTheQueryAndTheConstruct) {
  auto source = invoices();
  source->add_query("VwBroken", "SELECT First(InvoiceNo) FROM tblInvoice");
  source->add_query("VwLoop", "SELECT * FROM VwLoop");
  QueryEngine engine(source);
  auto message = [&](std::string_view sql) {
    try {
      engine.execute(sql);
    } catch (const QueryError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_THAT(message("SELECT * FROM VwBroken"), testing::HasSubstr("saved query VwBroken: the aggregate First()"));
  EXPECT_THAT(message("SELECT * FROM VwLoop"), testing::HasSubstr("refers to itself"));
  EXPECT_THAT(message("SELECT * FROM tblNothing"), testing::HasSubstr("no table or saved query named 'tblNothing'"));
  EXPECT_THAT(message("SELECT Bogus FROM tblInvoice"), testing::HasSubstr("unknown column 'Bogus'"));
  EXPECT_THAT(message("SELECT Foo(1) FROM tblInvoice"), testing::HasSubstr("function Foo() is not supported"));
  EXPECT_THAT(message("UPDATE tblInvoice SET x = 1"), testing::HasSubstr("update statements"));
  EXPECT_THAT(message("SELECT StRegNo FROM tblInvoice, tblInvoiceItem"), testing::HasSubstr("ambiguous"));
  EXPECT_THAT(message("SELECT 1/0 FROM tblInvoice"), testing::HasSubstr("division by zero"));
}

// A table whose reading fails half-way is dropped whole: the error names it, and
// the next statement reads it again from the start, with no rows left over.
// Rows go into the scratch database several to a statement, the last few of a batch
// one by one: every row must come back, in the table's order, with its own values.
TEST(QueryEngine, ALoadedTableGivesEverySourceRowInItsOrder) {
  std::vector<std::vector<FieldValue>> rows;
  for (int64_t n = 0; n < 1013; ++n) {  // two batches of the reader, neither a multiple of a statement's rows
    rows.push_back({n, n % 5 == 0 ? FieldValue() : FieldValue("name " + std::to_string(n) + std::string(n % 40, 'x')),
                    FieldValue(at(2023, 1 + int(n % 12), 1 + int(n % 28))), money(n * 12345 - 50000), n % 3 == 0});
  }
  auto source = std::make_shared<MemorySource>();
  source->add_table(
      {"T", {{"id", Kind::Long}, {"name", Kind::Text}, {"d", Kind::Date}, {"amount", Kind::Currency}, {"flag", Kind::Bool}}},
      rows);
  QueryEngine engine(source);
  ResultSet result = engine.execute("SELECT * FROM T");
  ASSERT_EQ(result.rows.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) ASSERT_EQ(result.rows[i], rows[i]) << "row " << i;
  EXPECT_EQ(engine.rows_read(), rows.size());
}

TEST(QueryEngine, ATableThatFailsToLoadLeavesNothingBehind) {
  class FailingOnce : public MemorySource {
   public:
    void scan(const SourceTable& table,
              const std::function<void(std::span<const FieldValue>)>& visit) const override {
      if (!failed_) {
        failed_ = true;
        MemorySource::scan(table, [&](std::span<const FieldValue> values) {
          visit(values);
          throw std::runtime_error("the disk could not be read");
        });
      }
      MemorySource::scan(table, visit);
    }

   private:
    mutable bool failed_ = false;
  };
  auto source = std::make_shared<FailingOnce>();
  source->add_table({"T", {{"id", Kind::Long}}}, {{1}, {2}, {3}});
  QueryEngine engine(source);
  try {
    engine.execute("SELECT id FROM T");
    ADD_FAILURE() << "the failed read was not reported";
  } catch (const QueryError& e) {
    EXPECT_THAT(e.what(), testing::HasSubstr("reading table T: the disk could not be read"));
  }
  EXPECT_EQ(engine.execute("SELECT id FROM T").rows.size(), 3u);
  EXPECT_EQ(engine.execute("SELECT id FROM T WHERE id = 1").rows.size(), 1u);
}

// A fresh engine over three small tables for the expression tests.
class Expressions : public testing::Test {
 protected:
  Expressions() : engine_(make()) {}
  static std::shared_ptr<MemorySource> make() {
    auto source = std::make_shared<MemorySource>();
    source->add_table({"T", {{"id", Kind::Long}, {"name", Kind::Text}, {"d", Kind::Date}, {"amount", Kind::Currency}, {"flag", Kind::Bool}}},
                      {{1, "apple", at(2023, 8, 17, 14, 35, 20), money(12345), true},
                       {2, "Banana", at(2024, 2, 29), money(-5000), false},
                       {3, FieldValue(), FieldValue(), FieldValue(), false},
                       {4, "ÄRGER", at(1999, 12, 31, 23, 59, 59), money(0), true}});
    source->add_table({"U", {{"id", Kind::Long}, {"colour", Kind::Text}}}, {{1, "red"}, {2, "green"}, {9, "blue"}});
    source->add_table({"V", {{"colour", Kind::Text}, {"hex", Kind::Text}}}, {{"RED", "#f00"}, {"blue", "#00f"}});
    return source;
  }
  // The first column of the first row.
  FieldValue value(const std::string& select_list, const std::string& where = "id = 1") {
    ResultSet result = engine_.execute("SELECT " + select_list + " FROM T WHERE " + where);
    EXPECT_EQ(result.rows.size(), 1u) << select_list;
    return result.rows.empty() ? FieldValue("<no row>") : result.rows[0][0];
  }
  std::vector<int64_t> ids(const std::string& sql) {
    std::vector<int64_t> out;
    for (const auto& row : engine_.execute(sql).rows) out.push_back(row[0].as<int64_t>());
    return out;
  }
  QueryEngine engine_;
};

TEST_F(Expressions, TextComparisonIgnoresCaseAlsoOutsideAscii) {
  EXPECT_THAT(ids("SELECT id FROM T WHERE name = 'APPLE'"), testing::ElementsAre(1));
  EXPECT_THAT(ids("SELECT id FROM T WHERE name = 'ärger'"), testing::ElementsAre(4));
  // Trailing blanks do not count for =, as in Jet; Like compares every character.
  EXPECT_THAT(ids("SELECT id FROM T WHERE name = 'apple  '"), testing::ElementsAre(1));
  EXPECT_THAT(ids("SELECT id FROM T WHERE name & ' ' = 'apple'"), testing::ElementsAre(1));
  EXPECT_THAT(ids("SELECT id FROM T WHERE name Like 'apple '"), testing::ElementsAre());
  EXPECT_THAT(ids("SELECT id FROM T WHERE name = ' apple'"), testing::ElementsAre());
  EXPECT_THAT(ids("SELECT id FROM T WHERE name IN ('banana', 'x')"), testing::ElementsAre(2));
  EXPECT_THAT(ids("SELECT id FROM T WHERE name <> 'apple'"), testing::ElementsAre(2, 4));  // null is never unequal
  EXPECT_THAT(ids("SELECT id FROM T WHERE name BETWEEN 'b' AND 'C'"), testing::ElementsAre(2));
  EXPECT_THAT(ids("SELECT id FROM T ORDER BY name DESC, id"), testing::ElementsAre(4, 2, 1, 3));
  EXPECT_THAT(ids("SELECT id FROM T WHERE NOT (name = 'apple') ORDER BY id"), testing::ElementsAre(2, 4));
}

TEST_F(Expressions, LikePatterns) {
  EXPECT_THAT(ids("SELECT id FROM T WHERE name Like 'b*'"), testing::ElementsAre(2));
  EXPECT_THAT(ids("SELECT id FROM T WHERE name Like '?pple'"), testing::ElementsAre(1));
  EXPECT_THAT(ids("SELECT id FROM T WHERE name Like '[a-b]*'"), testing::ElementsAre(1, 2));
  EXPECT_THAT(ids("SELECT id FROM T WHERE name Like '[!a]*'"), testing::ElementsAre(2, 4));
  EXPECT_THAT(ids("SELECT id FROM T WHERE name Not Like '*a*'"), testing::ElementsAre(4));
  EXPECT_THAT(ids("SELECT id FROM T WHERE CStr(id) Like '#'"), testing::ElementsAre(1, 2, 3, 4));
  EXPECT_THAT(ids("SELECT id FROM T WHERE name Like '*E?'"), testing::ElementsAre(4));
}

TEST_F(Expressions, ConversionsAndVbaFunctions) {
  EXPECT_EQ(value("CStr(d)"), FieldValue("17/08/2023 14:35:20"));
  EXPECT_EQ(value("CStr(amount) & '|' & CStr(flag) & '|' & id"), FieldValue("1.2345|True|1"));
  EXPECT_EQ(value("Format(d, 'dd/mm/yyyy')"), FieldValue("17/08/2023"));
  EXPECT_EQ(value("Format(d, \"Short Date\")"), FieldValue("17/08/2023"));
  EXPECT_EQ(value("IIf(amount > 1, 'big', 'small')"), FieldValue("big"));
  EXPECT_EQ(value("Nz(name, 'none')", "id = 3"), FieldValue("none"));
  EXPECT_EQ(value("Nz(amount, 0)", "id = 3"), FieldValue(money(0)));
  EXPECT_EQ(value("IsNull(name)", "id = 3"), FieldValue(true));
  EXPECT_EQ(value("name & 'x'", "id = 3"), FieldValue("x"));
  EXPECT_EQ(value("name + 'x'", "id = 3"), FieldValue());
  EXPECT_EQ(value("CInt('2.5') + CLng(3.5)"), FieldValue(int64_t{6}));
  EXPECT_EQ(value("CCur('12.34') + amount"), FieldValue(money(135745)));
  EXPECT_EQ(value("CDate('17/08/2023')"), FieldValue(at(2023, 8, 17)));
  EXPECT_EQ(value("CBool(id)"), FieldValue(true));
  EXPECT_EQ(value("Val(' 12.5abc')"), FieldValue(12.5));
  EXPECT_EQ(value("Str(id)"), FieldValue(" 1"));
  EXPECT_EQ(value("Trim('  a b  ') & LTrim(' x') & RTrim('y ')"), FieldValue("a bxy"));
  EXPECT_EQ(value("Left(name, 2) & Right(name, 2) & Mid(name, 2, 3) & Mid(name, 4)"), FieldValue("aplepplle"));
  EXPECT_EQ(value("Left(name, 1)", "id = 4"), FieldValue("Ä"));
  EXPECT_EQ(value("Len(name) + Len(id)"), FieldValue(int64_t{6}));
  EXPECT_EQ(value("UCase(name) & LCase('ÄB')"), FieldValue("APPLEäb"));
  EXPECT_EQ(value("InStr(name, 'P') & InStr(3, name, 'p') & InStr(name, 'z')"), FieldValue("230"));
  EXPECT_EQ(value("Replace(name, 'p', 'b')"), FieldValue("abble"));
  EXPECT_EQ(value("Year(d) & '-' & Month(d) & '-' & Day(d) & ' ' & Hour(d) & ':' & Minute(d) & ':' & Second(d)"),
            FieldValue("2023-8-17 14:35:20"));
  EXPECT_EQ(value("DateSerial(2023, 14, 0)"), FieldValue(at(2024, 1, 31)));
  EXPECT_EQ(value("DateAdd('m', 1, #1/31/2024#)"), FieldValue(at(2024, 2, 29)));
  EXPECT_EQ(value("DateAdd('d', -1, d)"), FieldValue(at(2023, 8, 16, 14, 35, 20)));
  EXPECT_EQ(value("DateDiff('d', #8/1/2023#, d) & ' ' & DateDiff('yyyy', #12/31/2022#, #1/1/2023#)"),
            FieldValue("16 1"));
  EXPECT_EQ(value("Abs(amount)", "id = 2"), FieldValue(money(5000)));
  EXPECT_EQ(value("Int(-2.5) & ' ' & Fix(-2.5) & ' ' & Round(2.5) & ' ' & Round(3.14159, 2)"),
            FieldValue("-3 -2 2 3.14"));
  EXPECT_EQ(value("7 Mod 3 & ' ' & 7 \\ 2 & ' ' & 7 / 2 & ' ' & 2 ^ 3"), FieldValue("1 3 3.5 8"));
  EXPECT_EQ(value("id", "flag = True And id < 4"), FieldValue(int64_t{1}));
  EXPECT_EQ(value("-(1 = 1)"), FieldValue(int64_t{1}));
  EXPECT_EQ(value("Year(Now()) >= 2024"), FieldValue(true));
  EXPECT_THROW(value("CInt(40000)"), QueryError);
  EXPECT_THROW(value("CDate('not a date')"), QueryError);
}

TEST_F(Expressions, JoinsAliasesGroupingAndUnions) {
  // Nested joins with aliases, and a RIGHT JOIN (SQLite has only LEFT).
  ResultSet joined = engine_.execute(
      "SELECT t.id, u.colour AS c, v.hex FROM (T AS t INNER JOIN U u ON t.id = u.id) LEFT JOIN V ON u.colour = "
      "v.colour ORDER BY t.id");
  ASSERT_EQ(joined.rows.size(), 2u);
  EXPECT_EQ(joined.columns[1].name, "c");
  EXPECT_EQ(joined.rows[0][2], FieldValue("#f00"));
  EXPECT_TRUE(joined.rows[1][2].is_null());
  ResultSet right = engine_.execute("SELECT U.id, T.name FROM T RIGHT JOIN U ON T.id = U.id ORDER BY U.id");
  ASSERT_EQ(right.rows.size(), 3u);
  EXPECT_TRUE(right.rows[2][1].is_null());
  ResultSet nested = engine_.execute(
      "SELECT T.id FROM T INNER JOIN (U INNER JOIN V ON U.colour = V.colour) ON T.id = U.id");
  EXPECT_EQ(nested.rows.size(), 1u);
  // SELECT * over a join names shared columns by their table.
  ResultSet star = engine_.execute("SELECT * FROM U INNER JOIN V ON U.colour = V.colour");
  EXPECT_EQ(star.columns[1].name, "U.colour");
  EXPECT_EQ(star.columns[2].name, "V.colour");
  // Grouping, aggregates and HAVING.
  ResultSet grouped = engine_.execute(
      "SELECT flag, Count(*) AS n, Sum(amount) AS total, Max(name) FROM T GROUP BY flag HAVING Count(*) > 1 "
      "ORDER BY flag");
  ASSERT_EQ(grouped.rows.size(), 2u);
  EXPECT_EQ(grouped.rows[0][0], FieldValue(true));
  EXPECT_EQ(grouped.rows[0][2], FieldValue(money(12345)));
  EXPECT_EQ(grouped.rows[0][3], FieldValue("ÄRGER"));
  EXPECT_EQ(grouped.columns[3].name, "Expr1000");
  // DISTINCTROW: each T record once, though U joins it twice.
  ResultSet twice = engine_.execute("SELECT T.id, T.name FROM T INNER JOIN U ON T.id = U.id OR T.id + 1 = U.id");
  EXPECT_EQ(twice.rows.size(), 3u);
  ResultSet once = engine_.execute(
      "SELECT DISTINCTROW T.id, T.name FROM T INNER JOIN U ON T.id = U.id OR T.id + 1 = U.id ORDER BY T.id");
  ASSERT_EQ(once.rows.size(), 2u);
  EXPECT_EQ(once.rows[1][1], FieldValue("Banana"));
  EXPECT_EQ(engine_.execute("SELECT DISTINCTROW T.id, U.colour FROM T INNER JOIN U ON T.id <= U.id").rows.size(), 7u);
  // DISTINCT, TOP, UNION.
  EXPECT_EQ(engine_.execute("SELECT DISTINCT flag FROM T").rows.size(), 2u);
  EXPECT_THAT(ids("SELECT TOP 2 id FROM T ORDER BY id DESC"), testing::ElementsAre(4, 3));
  EXPECT_THAT(ids("SELECT TOP 2 id FROM T ORDER BY flag, id"), testing::ElementsAre(1, 4));  // True is -1
  EXPECT_THAT(ids("SELECT TOP 1 id FROM T ORDER BY flag"), testing::UnorderedElementsAre(1, 4));  // ties kept
  EXPECT_THAT(ids("SELECT TOP 2 id, Len(name) AS size FROM T ORDER BY size"), testing::UnorderedElementsAre(3, 1, 4));
  EXPECT_THAT(ids("SELECT TOP 1 id, name FROM T ORDER BY 2 DESC"), testing::ElementsAre(4));
  EXPECT_THAT(ids("SELECT id FROM T WHERE id < 3 UNION SELECT id FROM U ORDER BY id"), testing::ElementsAre(1, 2, 9));
  EXPECT_THAT(ids("SELECT id FROM U UNION ALL SELECT id FROM U WHERE id = 1"), testing::ElementsAre(1, 2, 9, 1));
  // Subqueries.
  EXPECT_THAT(ids("SELECT id FROM T WHERE id IN (SELECT id FROM U) ORDER BY id"), testing::ElementsAre(1, 2));
  EXPECT_THAT(ids("SELECT x.id FROM (SELECT id FROM U WHERE colour <> 'RED') AS x"), testing::ElementsAre(2, 9));
}

TEST_F(Expressions, CurrencyStaysExactAndUnionsAgreeOnValues) {
  // Sums of currency are exact sums of ten-thousandths.
  auto source = std::make_shared<MemorySource>();
  std::vector<std::vector<FieldValue>> rows;
  for (int i = 0; i < 1000; ++i) rows.push_back({money(1)});  // 0.0001 each
  source->add_table({"M", {{"amount", Kind::Currency}}}, rows);
  QueryEngine engine(source);
  EXPECT_EQ(engine.execute("SELECT Sum(amount) FROM M").rows[0][0], FieldValue(money(1000)));
  EXPECT_EQ(engine.execute("SELECT Count(*) FROM M WHERE amount = 0.0001").rows[0][0], FieldValue(int64_t{1000}));
  EXPECT_EQ(engine.execute("SELECT amount + 1 FROM M").rows[0][0], FieldValue(money(10001)));
  EXPECT_EQ(engine.execute("SELECT amount * 2.5 FROM M").rows[0][0], FieldValue(0.00025));
  // A column that is Currency in one SELECT and Double in the other carries plain values.
  ResultSet mixed = engine_.execute("SELECT amount FROM T WHERE id = 1 UNION ALL SELECT 1.5 FROM T WHERE id = 1");
  EXPECT_EQ(mixed.columns[0].kind, Kind::Variant);
  EXPECT_EQ(mixed.rows[0][0], FieldValue(1.2345));
  EXPECT_EQ(mixed.rows[1][0], FieldValue(1.5));
}

TEST_F(Expressions, GroupingAndNestedSavedQueries) {
  auto source = std::make_shared<MemorySource>();
  source->add_table({"P", {{"who", Kind::Text}, {"n", Kind::Long}}},
                    {{"ann", 1}, {"ANN", 2}, {"bob", 3}, {"Ann", 4}, {"cy", 5}});
  source->add_query("ByWho", "SELECT who, Sum(n) AS total FROM P GROUP BY who ORDER BY Sum(n) DESC");
  source->add_query("Best", "SELECT TOP 1 * FROM ByWho");
  source->add_query("Busy", "SELECT DISTINCT p1.who FROM P AS p1 WHERE EXISTS "
                            "(SELECT * FROM P AS p2 WHERE p2.who = p1.who AND p2.n > p1.n)");
  QueryEngine engine(source);
  ResultSet grouped = engine.execute("ByWho");
  ASSERT_EQ(grouped.rows.size(), 3u);  // ann, ANN and Ann are one group
  EXPECT_EQ(grouped.rows[0][1], FieldValue(int64_t{7}));
  EXPECT_EQ(grouped.rows[2][0], FieldValue("bob"));  // the saved order survives
  EXPECT_EQ(engine.execute("SELECT total FROM Best").rows.at(0).at(0), FieldValue(int64_t{7}));
  EXPECT_EQ(engine.execute("Busy").rows.size(), 1u);
}

}  // namespace
}  // namespace halvaro::sql
