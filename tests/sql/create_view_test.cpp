// CREATE VIEW stores a SELECT as Access does (MSysObjects type 5 and MSysQueries
// rows); the reader's rebuilt SQL must give back the statement.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>

#include "sql/create_script.h"
#include "jet/catalog/database.h"
#include "sql/query_definition_writer.h"
#include "sql/query_engine.h"
#include "tests/sql/print_value.h"
#include "tests/support/fixtures.h"
#include "tests/support/query_flags.h"

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
      "SELECT tblInvoice.InvoiceNo FROM tblInvoice WHERE tblInvoice.InvoiceType = 'P' UNION SELECT "
      "tblInvoiceItem.InvoiceNo FROM tblInvoiceItem UNION ALL SELECT tblSupplierBuyer.SupplierName "
      "FROM tblSupplierBuyer ORDER BY InvoiceNo DESC",
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
  HALVARO_REQUIRE_MDBTOOLS();
  EXPECT_EQ(test::run_program("mdb-queries", {"-L", "-1", file.string()}).out, "vw0\nvw1\nvw2\nvw3\nvw4\nvw5\n");
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

// MSysQueries rows as a file stores them: per attribute, whether Flag and LvExtra are
// set, and the Order of each row within its query and attribute.
struct StoredQueryRows {
  std::map<int, std::set<std::pair<bool, bool>>> flag_and_extra_set;  // by attribute
  std::map<std::pair<int64_t, int>, std::vector<Binary>> orders;      // by object and attribute
};

StoredQueryRows stored_query_rows(const Database& db) {
  const TableDef& t = db.table("MSysQueries");
  const auto at = [&](const char* name) { return t.find_column(name)->position; };
  StoredQueryRows out;
  db.scan(t, [&](std::span<const FieldValue> v) {
    const int attribute = static_cast<int>(v[at("Attribute")].as<int64_t>());
    out.flag_and_extra_set[attribute].insert({!v[at("Flag")].is_null(), !v[at("LvExtra")].is_null()});
    const FieldValue& order = v[at("Order")];
    out.orders[{v[at("ObjectId")].as<int64_t>(), attribute}].push_back(order.is<Binary>() ? order.as<Binary>()
                                                                                          : Binary{});
    return true;
  });
  return out;
}

// The rows of a created view against those Access wrote for its own queries: the
// same columns set for each kind of row, and Order counting 1, 2, ... in 4
// big-endian bytes within each query and attribute.
TEST(CreateView, CatalogRowsAreStoredAsAccessStoresThem) {
  HALVARO_REQUIRE_FIXTURE(access_file, "access/V2003/queryTestV2003.mdb");
  TempDir dir;
  std::ofstream(dir.path() / "views.sql")
      << "CREATE TABLE a (k LONG, x TEXT(10));\nCREATE TABLE b (k LONG, y TEXT(10));\n"
         "CREATE VIEW v AS SELECT a.k, Max(b.y) AS Biggest, a.x FROM a LEFT JOIN b ON a.k = b.k "
         "WHERE a.x <> 'z' GROUP BY a.k, a.x HAVING Max(b.y) > 'c' ORDER BY a.x DESC, a.k;\n";
  create_database(dir.path() / "views.mdb", dir.path() / "views.sql");
  const auto ours = stored_query_rows(*Database::open(dir.path() / "views.mdb"));
  const auto access = stored_query_rows(*Database::open(access_file));

  ASSERT_EQ(ours.flag_and_extra_set.size(), 11u) << "every kind of row but parameters";
  for (const auto& [attribute, kinds] : ours.flag_and_extra_set) {
    ASSERT_TRUE(access.flag_and_extra_set.count(attribute)) << attribute;
    EXPECT_EQ(kinds, access.flag_and_extra_set.at(attribute)) << "attribute " << attribute;
  }
  for (const auto* rows : {&ours, &access}) {
    for (const auto& [key, orders] : rows->orders) {
      for (size_t i = 0; i < orders.size(); ++i) {
        const auto n = static_cast<uint8_t>(i + 1);
        EXPECT_EQ(orders[i], (Binary{0, 0, 0, n})) << "object " << key.first << " attribute " << key.second;
      }
    }
  }
  EXPECT_EQ(ours.orders.at({INT32_MIN, static_cast<int>(QueryAttribute::Column)}).size(), 3u);
}

// A union view is evaluated like any other saved query, by the engine and by
// `halvaro query` with the view's name. Its last operator is stored as Access stores
// it, 3 for UNION and 1 for UNION ALL, so that Access finds the same rows.
TEST(CreateView, UnionViewsGiveTheRowsOfBothSides) {
  TempDir dir;
  std::ofstream(dir.path() / "union.sql")
      << "CREATE TABLE a (k LONG, x TEXT(10));\nCREATE TABLE b (k LONG, y TEXT(10));\n"
         "INSERT INTO a VALUES (1, 'one');\nINSERT INTO a VALUES (2, 'two');\n"
         "INSERT INTO b VALUES (3, 'two');\nINSERT INTO b VALUES (4, 'four');\n"
         "CREATE VIEW vwBoth AS SELECT a.x AS Name FROM a UNION SELECT b.y FROM b ORDER BY Name;\n"
         "CREATE VIEW vwAll AS SELECT a.x FROM a UNION ALL SELECT b.y FROM b;\n"
         "CREATE VIEW vwThenAll AS SELECT a.x FROM a UNION SELECT b.y FROM b UNION ALL SELECT a.x FROM a;\n"
         "CREATE VIEW vwThenUnion AS SELECT a.x FROM a UNION ALL SELECT b.y FROM b UNION SELECT a.x FROM a;\n";
  auto file = dir.path() / "union.mdb";
  create_database(file, dir.path() / "union.sql");
  auto db = std::shared_ptr<const Database>(Database::open(file));
  EXPECT_EQ(db->query_sql("vwBoth"), "SELECT a.x AS Name FROM a UNION SELECT b.y FROM b ORDER BY Name");
  EXPECT_EQ(db->query_sql("vwAll"), "SELECT a.x FROM a UNION ALL SELECT b.y FROM b");
  const std::pair<const char*, int> stored_flags[] = {
      {"vwBoth", 3}, {"vwAll", 1}, {"vwThenAll", 1}, {"vwThenUnion", 3}};
  for (const auto& [view, flags] : stored_flags) EXPECT_EQ(test::stored_query_flags(*db, view), flags) << view;

  sql::QueryEngine engine(db);
  auto both = engine.execute("SELECT * FROM vwBoth");
  ASSERT_EQ(both.rows.size(), 3u);  // "two" once: UNION drops duplicates
  EXPECT_EQ(both.rows[0][0], FieldValue("four"));
  EXPECT_EQ(both.rows[2][0], FieldValue("two"));
  EXPECT_EQ(engine.execute("SELECT * FROM vwAll").rows.size(), 4u);
  // Left to right: (a UNION b) UNION ALL a keeps a's two rows again; the other drops them.
  EXPECT_EQ(engine.execute("SELECT * FROM vwThenAll").rows.size(), 5u);
  EXPECT_EQ(engine.execute("SELECT * FROM vwThenUnion").rows.size(), 3u);

  auto printed = test::run_halvaro({"query", file.string(), "vwBoth"});
  EXPECT_EQ(printed.status, 0) << printed.out;
  EXPECT_EQ(printed.out, "Name\nfour\none\ntwo\n");
}

TEST(CreateView, UnionSidesMustBeSelects) {
  for (const char* sql : {"SELECT a FROM t UNION", "SELECT a FROM t UNION UPDATE t SET a = 1",
                          "SELECT a, FROM t UNION SELECT b FROM u"}) {
    EXPECT_THROW(query_rows_for_select(sql), JetError) << sql;
  }
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
