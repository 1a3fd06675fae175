#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <vector>

#include "jet/catalog/database.h"
#include "jet/catalog/saved_query.h"
#include "tests/support/fixtures.h"
#include "tests/support/query_flags.h"

namespace halvaro::jet {
namespace {

using A = QueryAttribute;

QueryRow row(A attribute, const char* expression = nullptr, int flag = 0,
             const char* name1 = nullptr, const char* name2 = nullptr) {
  QueryRow r;
  r.attribute = attribute;
  if (expression) r.expression = expression;
  r.flag = flag;
  if (name1) r.name1 = name1;
  if (name2) r.name2 = name2;
  return r;
}

// The frame Access writes around every query: start, type (select), flags, end.
std::vector<QueryRow> select_query(std::vector<QueryRow> body, int flags = 0) {
  std::vector<QueryRow> rows{row(A::Start), row(A::Type, nullptr, 1), row(A::Flags, nullptr, flags)};
  rows.insert(rows.end(), body.begin(), body.end());
  rows.push_back(row(A::End));
  return rows;
}

TEST(SavedQuery, LeftJoinViewAsTheOldDatabasesStoreIt) {
  auto rows = select_query({
      row(A::Table, nullptr, 0, "tblInvoice"),
      row(A::Table, nullptr, 0, "tblSupplierBuyer"),
      row(A::Column, "tblInvoice.StRegNo"),
      row(A::Column, "tblSupplierBuyer.SupplierName", 0, "Buyer"),
      row(A::Join,
          "(tblInvoice.StRegNo = tblSupplierBuyer.STRegNo AND tblInvoice.STRegNoSupplier = "
          "tblSupplierBuyer.STRegNoSupplier)",
          2, "tblInvoice", "tblSupplierBuyer"),
      row(A::Where, "tblInvoice.InvoiceType = 'P' OR tblInvoice.InvoiceType = 'D'"),
  });
  EXPECT_EQ(rebuild_query_sql(rows),
            "SELECT tblInvoice.StRegNo, tblSupplierBuyer.SupplierName AS Buyer "
            "FROM tblInvoice LEFT JOIN tblSupplierBuyer ON (tblInvoice.StRegNo = "
            "tblSupplierBuyer.STRegNo AND tblInvoice.STRegNoSupplier = "
            "tblSupplierBuyer.STRegNoSupplier) "
            "WHERE tblInvoice.InvoiceType = 'P' OR tblInvoice.InvoiceType = 'D'");
}

TEST(SavedQuery, JoinsNestLeftToRightAndRepeatedPairsAndTheirConditions) {
  // Rows of a query Access itself saved, in storage order.
  auto rows = select_query(
      {
          row(A::Table, nullptr, 0, "Table1"),
          row(A::Table, nullptr, 0, "Table2"),
          row(A::Table, nullptr, 0, "Table3"),
          row(A::Column, "Table1.*"),
          row(A::Column, "Table2.col1"),
          row(A::Column, "Table3.col3"),
          row(A::Join, "Table1.col1 = Table3.col1", 2, "Table1", "Table3"),
          row(A::Join, "Table3.col1 = Table2.col1", 1, "Table3", "Table2"),
          row(A::Join, "Table3.col1 = Table2.col2", 1, "Table3", "Table2"),
          row(A::OrderBy, "Table2.col1"),
          row(A::Where, "(((Table2.col2)=\"foo\"))"),
      },
      select_flag::kDistinct);
  EXPECT_EQ(rebuild_query_sql(rows),
            "SELECT DISTINCT Table1.*, Table2.col1, Table3.col3 "
            "FROM (Table1 LEFT JOIN Table3 ON Table1.col1 = Table3.col1) INNER JOIN Table2 "
            "ON (Table3.col1 = Table2.col1) AND (Table3.col1 = Table2.col2) "
            "WHERE (((Table2.col2)=\"foo\")) ORDER BY Table2.col1");
}

TEST(SavedQuery, AliasesUnjoinedTablesAndRightJoinOfAJoin) {
  auto rows = select_query({
      row(A::Table, nullptr, 0, "Table3"),
      row(A::Table, nullptr, 0, "Table1"),
      row(A::Table, nullptr, 0, "Order Lines", "OL"),
      row(A::Table, nullptr, 0, "Table1", "Table1_1"),
      row(A::Column, "Table1.id", 0, "Item No."),
      row(A::Join, "Table1.id = OL.id", 1, "Table1", "OL"),
      row(A::Join, "OL.x = Table1_1.x", 3, "OL", "Table1_1"),
  });
  EXPECT_EQ(rebuild_query_sql(rows),
            "SELECT Table1.id AS [Item No.] FROM Table3, (Table1 INNER JOIN [Order Lines] AS OL "
            "ON Table1.id = OL.id) RIGHT JOIN Table1 AS Table1_1 ON OL.x = Table1_1.x");
}

TEST(SavedQuery, SelectModifiersParametersGroupingAndOrdering) {
  auto rows = select_query(
      {
          row(A::Parameter, nullptr, 4, "MinCount"),
          row(A::Parameter, nullptr, 10, "Region Name"),
          row(A::Table, nullptr, 0, "Sales"),
          row(A::Column, "Sales.Region"),
          row(A::Column, "Count(*)", 0, "N"),
          row(A::GroupBy, "Sales.Region"),
          row(A::GroupBy, "Sales.Year"),
          row(A::Having, "Count(*) >= [MinCount]"),
          row(A::OrderBy, "Count(*)", 0, "D"),
          row(A::OrderBy, "Sales.Region"),
      },
      select_flag::kTop | select_flag::kPercent | select_flag::kDistinctRow |
          select_flag::kOwnerAccess);
  rows[2].name1 = "25";
  rows[4].extra = 50;
  EXPECT_EQ(rebuild_query_sql(rows),
            "PARAMETERS MinCount Long, [Region Name] Text(50); "
            "SELECT DISTINCTROW TOP 25 PERCENT Sales.Region, Count(*) AS N FROM Sales "
            "GROUP BY Sales.Region, Sales.Year HAVING Count(*) >= [MinCount] "
            "ORDER BY Count(*) DESC, Sales.Region WITH OWNERACCESS OPTION");
}

TEST(SavedQuery, StarRemoteSourcesAndNoFrom) {
  auto star = select_query({row(A::Table, nullptr, 0, "T")}, select_flag::kStar);
  EXPECT_EQ(rebuild_query_sql(star), "SELECT * FROM T");

  auto remote = select_query({row(A::Table, nullptr, 0, "T"), row(A::Column, "T.a"),
                              row(A::RemoteDb, "MS Access;", 0, "other.mdb")});
  EXPECT_EQ(rebuild_query_sql(remote), "SELECT T.a FROM T IN 'other.mdb' [MS Access;]");

  auto subquery = select_query({row(A::Table, "Select val from T3", 0, "val", "V"),
                                row(A::Column, "V.val")});
  EXPECT_EQ(rebuild_query_sql(subquery), "SELECT V.val FROM [Select val from T3].val AS V");

  auto constant = select_query({row(A::Column, "1+1", 0, "Two")});
  EXPECT_EQ(rebuild_query_sql(constant), "SELECT 1+1 AS Two");
}

// The values Access writes in a union's Flags row: 3 for UNION, 1 for UNION ALL.
TEST(SavedQuery, UnionFlagsThreeMeanUnionAndOneUnionAll) {
  auto union_of = [](int flags) {
    return std::vector<QueryRow>{row(A::Start), row(A::Type, nullptr, 9), row(A::Flags, nullptr, flags),
                                 row(A::Table, "Select a from T", 0, nullptr, "X7YZ_____1"),
                                 row(A::Table, "Select b from U;\r\n", 0, nullptr, "X7YZ_____2"),
                                 row(A::End)};
  };
  EXPECT_EQ(rebuild_query_sql(union_of(3)), "Select a from T UNION Select b from U");
  EXPECT_EQ(rebuild_query_sql(union_of(1)), "Select a from T UNION ALL Select b from U");
}

// Each case must be refused with a message naming the query and the fault.
TEST(SavedQuery, RefusesBrokenRows) {
  struct Case {
    const char* label;
    std::vector<QueryRow> rows;
    const char* message_part;
  };
  auto with_type = [](int type) {
    return std::vector<QueryRow>{row(A::Start), row(A::Type, nullptr, type),
                                 row(A::Table, nullptr, 0, "T"), row(A::Column, "T.a")};
  };
  std::vector<Case> cases{
      {"update column without its target", with_type(4), "without the column it sets"},
      {"crosstab without a pivot", with_type(6), "a crosstab needs a value, a pivot and row headings"},
      {"union of one part", with_type(9), "a union query needs two parts, not 1"},
      {"data definition without text", with_type(7), "no query text"},
      {"make-table without its table", with_type(2), "no table to write into"},
      {"unknown type", with_type(42), "unknown query type 42"},
      {"no type row", {row(A::Table, nullptr, 0, "T"), row(A::Column, "T.a")}, "no query type"},
      {"no columns", select_query({row(A::Table, nullptr, 0, "T")}), "no columns"},
      {"join to a missing table",
       select_query({row(A::Table, nullptr, 0, "T"), row(A::Column, "T.a"),
                     row(A::Join, "T.a = U.a", 1, "T", "U")}),
       "U, which is not among"},
      {"unknown join type",
       select_query({row(A::Table, nullptr, 0, "T"), row(A::Table, nullptr, 0, "U"),
                     row(A::Column, "T.a"), row(A::Join, "T.a = U.a", 5, "T", "U")}),
       "unknown join type 5"},
      {"two join types between the same tables",
       select_query({row(A::Table, nullptr, 0, "T"), row(A::Table, nullptr, 0, "U"),
                     row(A::Column, "T.a"), row(A::Join, "T.a = U.a", 1, "T", "U"),
                     row(A::Join, "T.b = U.b", 2, "T", "U")}),
       "inconsistent joins"},
      {"two where rows",
       select_query({row(A::Column, "1"), row(A::Where, "a"), row(A::Where, "b")}),
       "more than one WHERE"},
      {"TOP without a count", select_query({row(A::Column, "1")}, select_flag::kTop),
       "TOP without"},
      {"parameter of unknown type",
       select_query({row(A::Parameter, nullptr, 99, "P"), row(A::Column, "1")}),
       "unknown type 99"},
      {"column without expression", select_query({row(A::Column, nullptr, 0, "Alias")}),
       "column without an expression"},
  };
  for (const auto& c : cases) {
    try {
      rebuild_query_sql(c.rows, "VwBroken");
      ADD_FAILURE() << c.label << ": no error";
    } catch (const JetError& e) {
      std::string message = e.what();
      EXPECT_NE(message.find("'VwBroken'"), std::string::npos) << c.label << ": " << message;
      EXPECT_NE(message.find(c.message_part), std::string::npos) << c.label << ": " << message;
    }
  }
}

// The texts Access shows for the queries of the Access-made query test files, rebuilt
// from the rows Access wrote. Access keeps the last operator of a union in its flags:
// UnionQuery's first part is itself "Table1 UNION Table2", and flags 1 join it to Table3
// by UNION ALL.
TEST(SavedQueryFiles, AccessMadeQueriesOfEveryKind) {
  const std::string select_expected =
      "SELECT DISTINCT Table1.*, Table2.col1, Table2.col2, Table3.col3 "
      "FROM (Table1 LEFT JOIN Table3 ON Table1.col1 = Table3.col1) INNER JOIN Table2 "
      "ON (Table3.col1 = Table2.col1) AND (Table3.col1 = Table2.col2) "
      "WHERE (((Table2.col2)=\"foo\" Or (Table2.col2) In (\"buzz\",\"bazz\"))) "
      "ORDER BY Table2.col1";
  const std::string union_expected =
      "Select Table1.col1, Table1.col2\r\nwhere Table1.col1 = \"foo\"\r\nUNION\r\nSelect Table2.col1, "
      "Table2.col2 UNION ALL Select Table3.col1, Table3.col2\r\nwhere Table3.col3 > \"blah\"";
  const std::map<std::string, std::string> expected{
      {"UpdateQuery",
       "PARAMETERS [User Name] Text; UPDATE Table1 SET Table1.col1 = \"foo\", Table1.col2 = "
       "[Table2].[col3], [Table2].[col1] = [User Name] WHERE ((([Table2].[col1]) Is Not Null))"},
      {"AppendQuery",
       "INSERT INTO Table3 (col2, col2, col3) SELECT [Table1].[col2], [Table2].[col2], "
       "[Table2].[col3] FROM Table3, Table1 INNER JOIN Table2 ON [Table1].[col1]=[Table2].[col1]"},
      {"DeleteQuery",
       "DELETE Table1.col1, Table1.col2, Table1.col3 FROM Table1 WHERE (((Table1.col1)>\"blah\"))"},
      {"MakeTableQuery",
       "SELECT Max(Table2.col1) AS MaxOfcol1, Table2.col2, Table3.col2 INTO Table4 FROM (Table2 "
       "INNER JOIN Table1 ON Table2.col1 = Table1.col2) RIGHT JOIN Table3 ON Table1.col2 = "
       "Table3.col3 GROUP BY Table2.col2, Table3.col2 HAVING (((Max(Table2.col1))=\"buzz\") AND "
       "((Table2.col2)<>\"blah\"))"},
      {"CrosstabQuery",
       "TRANSFORM Count([Table2].[col2]) AS CountOfcol2 SELECT Table2_1.col1, [Table2].[col3], "
       "Avg(Table2_1.col2) AS AvgOfcol2 FROM (Table1 INNER JOIN Table2 ON "
       "[Table1].[col1]=[Table2].[col1]) INNER JOIN Table2 AS Table2_1 ON "
       "[Table2].[col1]=Table2_1.col3 WHERE ((([Table1].[col1])>\"10\") And ((Table2_1.col1) Is "
       "Not Null) And ((Avg(Table2_1.col2))>\"10\")) GROUP BY Table2_1.col1, [Table2].[col3] "
       "ORDER BY [Table2].[col3] PIVOT [Table1].[col1]"},
      {"PassthroughQuery", "ALTER TABLE Table4 DROP COLUMN col5"},
      {"DataDefinitionQuery", "CREATE TABLE Table5 (col1 CHAR, col2 CHAR)"},
  };
  for (const char* name : {"access/V1997/queryTestV1997.mdb", "access/V2000/queryTestV2000.mdb",
                           "access/V2003/queryTestV2003.mdb"}) {
    HALVARO_REQUIRE_FIXTURE(file, name);
    auto db = Database::open(file);
    EXPECT_EQ(db->query_sql("SelectQuery"), select_expected) << name;
    EXPECT_EQ(test::stored_query_flags(*db, "UnionQuery"), 1) << name;
    EXPECT_EQ(db->query_sql("UnionQuery"), union_expected) << name;
    for (const auto& [query, sql] : expected) EXPECT_EQ(db->query_sql(query), sql) << name << " " << query;
  }
}

// No saved query of any test file is refused.
TEST(SavedQueryFiles, EverySavedQueryOfTheTestFilesHasItsText) {
  HALVARO_REQUIRE_FIXTURE(folder, "access");
  size_t queries = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.parent_path())) {
    if (entry.path().extension() != ".mdb" || entry.path().parent_path().filename() == "sort-order") continue;
    auto db = Database::open(entry.path());
    for (const std::string& query : db->query_names()) {
      ++queries;
      EXPECT_NO_THROW(db->query_sql(query)) << entry.path() << " " << query;
    }
  }
  EXPECT_GE(queries, 43u);  // 27 in the Access-made files, 8 in each old-version file
}

// Rows are put in their Order within each attribute, whatever their storage order.
TEST(SavedQuery, RowsFollowTheirOrderNotTheirStorage) {
  auto rows = select_query({row(A::Table, nullptr, 0, "T"), row(A::Column, "T.b"), row(A::Column, "T.a")});
  rows[4].order = 2;  // T.b
  rows[5].order = 1;  // T.a
  EXPECT_EQ(rebuild_query_sql(rows), "SELECT T.a, T.b FROM T");
}

TEST(SavedQueryFiles, EightViewsOfTheOldDatabase) {
  HALVARO_REQUIRE_DATABASE(file, "old-small.mdb");
  auto db = Database::open(file);
  const std::string invoice_columns =
      "tblInvoice.StRegNo, tblInvoice.TaxPeriod, tblInvoice.InvoiceType, tblInvoice.InvoiceNo, "
      "tblInvoice.InvoiceDate, tblInvoice.STRegNoSupplier, tblSupplierBuyer.SupplierName AS "
      "Buyer, tblInvoice.TotalSalesTax, tblInvoice.TotalExcludSalTax, "
      "tblInvoice.TotalIncludSalTax, tblInvoice.TotalSED";
  const std::string invoice_join =
      " FROM tblInvoice LEFT JOIN tblSupplierBuyer ON (tblInvoice.StRegNo = "
      "tblSupplierBuyer.STRegNo AND tblInvoice.STRegNoSupplier = "
      "tblSupplierBuyer.STRegNoSupplier)";
  EXPECT_EQ(db->query_sql("VwPurchaseDebitMtr"),
            "SELECT " + invoice_columns + invoice_join +
                " WHERE tblInvoice.InvoiceType = 'P' OR tblInvoice.InvoiceType = 'D'");
  EXPECT_EQ(db->query_sql("VwSalesCreditMtr"),
            "SELECT " + invoice_columns + invoice_join +
                " WHERE tblInvoice.InvoiceType IN ('S', 'C')");

  std::string items = db->query_sql("VwPurchaseDebit");
  for (const char* part :
       {"tblInvoiceItem.ItemSerialNo", "tblInvoiceItem.pct_code", "tblInvoiceItem.pct_desc",
        "tblInvoiceItem.quantity", "tblInvoiceItem.uom", "tblInvoiceItem.ExcludSalTax",
        "tblInvoiceItem.IncludSaleTax", "tblInvoiceItem.SalesTax", "tblInvoiceItem.specialSED",
        " FROM tblInvoiceItem LEFT JOIN tblSupplierBuyer ON (tblInvoiceItem.StRegNo = "})
    EXPECT_NE(items.find(part), std::string::npos) << part << " in " << items;

  // The single-table views list every column of their table.
  struct View {
    const char* name;
    const char* table;
  };
  for (View view : {View{"vwBillOfentryMtr", "tblBillOfEntry"},
                    View{"vwbillofentry", "tblBillOfEntryItem"},
                    View{"VwShippingBillMtr", "tblShippingBill"},
                    View{"VwShippingBill", "tblShippingBillItem"}}) {
    std::string sql = db->query_sql(view.name);
    EXPECT_EQ(sql.rfind("SELECT ", 0), 0u) << sql;
    EXPECT_NE(sql.find(std::string(" FROM ") + view.table), std::string::npos) << sql;
    size_t listed = 0;
    for (const auto& column : db->table(view.table).columns)
      listed += sql.find(std::string(view.table) + "." + column.name) != std::string::npos;
    EXPECT_EQ(listed, db->table(view.table).columns.size()) << sql;
  }
  EXPECT_NE(db->query_sql("VwShippingBill").find(" AS UomDetail"), std::string::npos);
}

}  // namespace
}  // namespace halvaro::jet
