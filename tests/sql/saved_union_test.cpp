// A saved union is evaluated with the operator its file stores. The texts of the
// Access-made UnionQuery name empty tables and no FROM, so its own rows are evaluated
// with only their two parts pointed at tables of a built database: the operator
// comes from the bytes Access wrote.

#include <gtest/gtest.h>

#include <fstream>

#include "jet/catalog/database.h"
#include "jet/catalog/saved_query.h"
#include "sql/create_script.h"
#include "sql/query_engine.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

using test::TempDir;

TEST(SavedUnion, AccessMadeUnionAllKeepsTheRowBothPartsHold) {
  TempDir dir;
  std::ofstream(dir.path() / "parts.sql")
      << "CREATE TABLE a (x TEXT(10));\nCREATE TABLE b (y TEXT(10));\n"
         "INSERT INTO a VALUES ('one');\nINSERT INTO a VALUES ('two');\n"
         "INSERT INTO b VALUES ('two');\nINSERT INTO b VALUES ('four');\n";
  sql::script::create_database(dir.path() / "parts.mdb", dir.path() / "parts.sql");
  sql::QueryEngine engine(std::shared_ptr<const Database>(Database::open(dir.path() / "parts.mdb")));

  for (const char* name : {"access/V1997/queryTestV1997.mdb", "access/V2000/queryTestV2000.mdb",
                           "access/V2003/queryTestV2003.mdb"}) {
    HALVARO_REQUIRE_FIXTURE(file, name);
    std::vector<QueryRow> rows = Database::open(file)->query_rows("UnionQuery");
    int parts = 0;
    for (QueryRow& row : rows) {
      if (row.attribute != QueryAttribute::Table) continue;
      ++parts;
      row.expression = row.name2 == "X7YZ_____1" ? "SELECT x FROM a" : "SELECT y FROM b";
    }
    ASSERT_EQ(parts, 2) << name;
    const std::string sql = rebuild_query_sql(rows);
    EXPECT_EQ(sql, "SELECT x FROM a UNION ALL SELECT y FROM b") << name;
    EXPECT_EQ(engine.execute(sql).rows.size(), 4u) << name << ": 'two' from each part";
  }
}

}  // namespace
}  // namespace halvaro::jet
