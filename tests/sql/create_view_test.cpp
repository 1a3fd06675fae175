// CREATE VIEW stores a SELECT as Access does (MSysObjects type 5 and MSysQueries
// rows); the reader's rebuilt SQL must give back the statement.

#include <gtest/gtest.h>

#include <fstream>

#include "sql/create_script.h"
#include "jet/catalog/database.h"
#include "sql/query_definition_writer.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

using namespace sql::script;

using test::TempDir;

TEST(CreateView, SelectStatementsSurviveTheRoundTripThroughTheCatalog) {
  const std::vector<std::string> selects = {
      "SELECT tblInvoice.StRegNo, tblSupplierBuyer.SupplierName AS Buyer, tblInvoice.TotalSalesTax "
      "FROM tblInvoice LEFT JOIN tblSupplierBuyer ON (tblInvoice.StRegNo = tblSupplierBuyer.STRegNo AND "
      "tblInvoice.STRegNoSupplier = tblSupplierBuyer.STRegNoSupplier) "
      "WHERE tblInvoice.InvoiceType = 'P' OR tblInvoice.InvoiceType = 'D'",
      "SELECT * FROM tblInvoice WHERE tblInvoice.InvoiceType IN ('S', 'C')",
      "SELECT DISTINCT TOP 5 * FROM tblInvoice AS i ORDER BY i.InvoiceNo DESC, i.TaxPeriod",
      "SELECT tblInvoice.StRegNo, Sum(tblInvoice.TotalSalesTax) AS Total FROM tblInvoice "
      "GROUP BY tblInvoice.StRegNo HAVING Sum(tblInvoice.TotalSalesTax) > 100",
      "SELECT tblInvoice.InvoiceNo, tblInvoiceItem.ItemSerialNo, tblSupplierBuyer.SupplierName "
      "FROM (tblInvoice INNER JOIN tblInvoiceItem ON tblInvoice.InvoiceNo = tblInvoiceItem.InvoiceNo) "
      "LEFT JOIN tblSupplierBuyer ON tblInvoice.STRegNoSupplier = tblSupplierBuyer.STRegNoSupplier",
  };
  std::string script =
      "CREATE TABLE tblInvoice (StRegNo TEXT(13), TaxPeriod TEXT(6), InvoiceType TEXT(1), InvoiceNo TEXT(20), "
      "STRegNoSupplier TEXT(13), TotalSalesTax CURRENCY);\n"
      "CREATE TABLE tblInvoiceItem (InvoiceNo TEXT(20), ItemSerialNo LONG);\n"
      "CREATE TABLE tblSupplierBuyer (STRegNo TEXT(13), STRegNoSupplier TEXT(13), SupplierName TEXT(100));\n";
  for (size_t i = 0; i < selects.size(); ++i)
    script += "CREATE VIEW vw" + std::to_string(i) + " AS " + selects[i] + ";\n";

  TempDir dir;
  std::ofstream(dir.path() / "views.sql") << script;
  auto file = dir.path() / "views.mdb";
  auto summary = create_database(file, dir.path() / "views.sql");
  EXPECT_EQ(summary.views, static_cast<int>(selects.size()));

  auto db = Database::open(file);
  ASSERT_EQ(db->query_names().size(), selects.size());
  for (size_t i = 0; i < selects.size(); ++i)
    EXPECT_EQ(db->query_sql("vw" + std::to_string(i)), selects[i]);
  EXPECT_EQ(db->table_names(), (std::vector<std::string>{"tblInvoice", "tblInvoiceItem", "tblSupplierBuyer"}));
  // mdbtools finds them among the queries too.
  EXPECT_EQ(test::run_command("mdb-queries -L -1 '" + file.string() + "'").out, "vw0\nvw1\nvw2\nvw3\nvw4\n");
}

TEST(CreateView, JoinRowsNameTheTablesTheirConditionsUse) {
  auto rows = query_rows_for_select(
      "SELECT a.x FROM (a INNER JOIN b ON a.k = b.k) RIGHT OUTER JOIN c ON b.j = c.j");
  std::vector<const QueryRow*> joins;
  for (const auto& r : rows)
    if (r.attribute == QueryAttribute::Join) joins.push_back(&r);
  ASSERT_EQ(joins.size(), 2u);
  EXPECT_EQ(*joins[0]->name1, "a");
  EXPECT_EQ(*joins[0]->name2, "b");
  EXPECT_EQ(joins[0]->flag, 1);
  EXPECT_EQ(*joins[1]->name1, "b");  // the left side's table that the condition names
  EXPECT_EQ(*joins[1]->name2, "c");
  EXPECT_EQ(joins[1]->flag, 3);
  EXPECT_EQ(rows.back().attribute, QueryAttribute::End);
}

TEST(CreateView, MalformedSelectsAreRefusedWithWhatWasExpected) {
  const std::pair<const char*, const char*> cases[] = {
      {"UPDATE t SET a = 1", "expected SELECT"},
      {"SELECT a, FROM t", "an expression between commas"},
      {"SELECT a FROM (t INNER JOIN u ON t.k = u.k", "expected ')'"},
      {"SELECT a FROM t INNER JOIN u", "expected ON"},
      {"SELECT TOP x a FROM t", "a row count after TOP"},
  };
  for (const auto& [sql, message] : cases) {
    try {
      query_rows_for_select(sql);
      ADD_FAILURE() << "accepted: " << sql;
    } catch (const JetError& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << sql << "\n" << e.what();
    }
  }
}

}  // namespace
}  // namespace halvaro::jet
