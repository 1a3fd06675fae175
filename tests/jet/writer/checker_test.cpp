// The check of a whole file: system tables, unique keys and the catalog's saved
// queries, on databases made by `create` and on files that break those rules.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "jet/builder/database_builder.h"
#include "jet/writer/checker.h"
#include "jet/writer/database_writer.h"
#include "sql/create_script.h"
#include "sql/query_definition_writer.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

using test::TempDir;

constexpr DateTime kCreated{45000.5};

std::string all_problems(const CheckReport& report) {
  std::string text;
  for (const auto& p : report.problems) text += p + "\n";
  return text;
}

std::vector<uint8_t> bytes_of(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(CheckDatabase, ExampleDatabaseWithViewsPassesWithItsSystemTables) {
  TempDir dir;
  auto file = dir.path() / "old-version.mdb";
  sql::script::create_database(file, std::filesystem::path(HALVARO_SOURCE_DIR) / "examples/old-version.sql");
  auto db = Database::open(file);
  auto report = check_database(*db);
  EXPECT_TRUE(report.ok()) << all_problems(report);
  EXPECT_EQ(report.system_tables, 4u);
  EXPECT_EQ(report.tables, 9u);
  EXPECT_EQ(report.rows, 80u);  // user rows only
  EXPECT_EQ(report.unverified_entries, 0u);
}

QuerySpec view(const std::string& name, const std::string& select) {
  return {name, sql::script::query_rows_for_select(select)};
}

DatabaseBuilder builder_with_table() {
  DatabaseBuilder builder(kCreated);
  TableSpec table{"T", {}, {}, false};
  table.columns.push_back({"a", ColumnType::Long});
  table.columns.push_back({"b", ColumnType::Text, 20});
  builder.add_table(table);
  return builder;
}

TEST(CheckDatabase, DuplicatedQueryRowOrderBreaksTheCatalogsPrimaryKey) {
  TempDir dir;
  auto builder = builder_with_table();
  QuerySpec query = view("vwT", "SELECT T.a, T.b FROM T");
  for (QueryRow& row : query.rows)
    if (row.attribute == QueryAttribute::Column) row.order = 1;  // both columns first
  builder.add_query(query);
  builder.write(dir.path() / "dup.mdb");

  auto report = check_database(*Database::open(dir.path() / "dup.mdb"));
  ASSERT_EQ(report.problems.size(), 1u) << all_problems(report);
  EXPECT_NE(report.problems[0].find("table MSysQueries: index ObjectIdAttribute is unique, but page "),
            std::string::npos)
      << report.problems[0];
  EXPECT_NE(report.problems[0].find("have the same key"), std::string::npos);
}

TEST(CheckDatabase, SavedQueriesMustHaveRowsThatFormAQuery) {
  TempDir dir;
  auto builder = builder_with_table();
  builder.add_query(view("vwGood", "SELECT T.a FROM T"));
  QuerySpec typeless = view("vwTypeless", "SELECT T.a FROM T");
  std::erase_if(typeless.rows, [](const QueryRow& r) { return r.attribute == QueryAttribute::Type; });
  builder.add_query(typeless);
  builder.add_query({"vwEmpty", {}});
  builder.write(dir.path() / "queries.mdb");

  auto report = check_database(*Database::open(dir.path() / "queries.mdb"));
  EXPECT_EQ(report.problems.size(), 2u) << all_problems(report);
  const std::string text = all_problems(report);
  EXPECT_NE(text.find("saved query vwTypeless: its rows do not form a query: "), std::string::npos) << text;
  EXPECT_NE(text.find("no query type row"), std::string::npos) << text;
  EXPECT_NE(text.find("saved query vwEmpty: it has no rows in MSysQueries"), std::string::npos) << text;
}

// Two files that differ only in whether an index is unique give the bytes that say
// so; writing them into a file whose rows share a key makes a unique index that
// Access would never have let hold those rows.
TEST(CheckDatabase, DuplicateKeysInAUniqueUserIndexAreAProblem) {
  TempDir dir;
  auto build = [&](bool unique, const char* name) {
    auto builder = builder_with_table();
    IndexSpec index;
    index.name = "ByB";
    index.columns = {{"b", true}};
    index.unique = unique;
    builder.add_index("T", index);
    builder.write(dir.path() / name);
    return bytes_of(dir.path() / name);
  };
  const auto plain = build(false, "plain.mdb");
  const auto unique = build(true, "unique.mdb");
  ASSERT_EQ(plain.size(), unique.size());
  std::vector<size_t> differing;
  for (size_t i = 0; i < plain.size(); ++i)
    if (plain[i] != unique[i]) differing.push_back(i);
  ASSERT_FALSE(differing.empty());
  ASSERT_LE(differing.size(), 4u) << "only the index flags should differ";

  auto file = dir.path() / "plain.mdb";
  {
    auto writer = DatabaseWriter::open(file);
    const TableDef& t = writer->table("T");
    for (int n : {1, 2, 3}) writer->append(t, {FieldValue(n), FieldValue(n == 2 ? "other" : "same")});
    writer->close();
  }
  EXPECT_TRUE(check_database(*Database::open(file)).ok()) << "duplicates in a plain index are fine";
  {
    std::fstream patch(file, std::ios::in | std::ios::out | std::ios::binary);
    for (size_t at : differing) {
      patch.seekp(static_cast<std::streamoff>(at));
      patch.put(static_cast<char>(unique[at]));
    }
  }
  auto db = Database::open(file);
  ASSERT_TRUE(db->table("T").indexes.at(0).unique);
  auto report = check_database(*db);
  ASSERT_EQ(report.problems.size(), 1u) << all_problems(report);
  EXPECT_NE(report.problems[0].find("table T: index ByB is unique, but page "), std::string::npos)
      << report.problems[0];
}

TEST(CheckDatabase, NullKeysDoNotBreakAUniqueIndex) {
  TempDir dir;
  auto builder = builder_with_table();
  IndexSpec index;
  index.name = "ByB";
  index.columns = {{"b", true}};
  index.unique = true;
  builder.add_index("T", index);
  auto file = dir.path() / "nulls.mdb";
  builder.write(file);
  {
    auto writer = DatabaseWriter::open(file);
    const TableDef& t = writer->table("T");
    for (int n : {1, 2}) writer->append(t, {FieldValue(n), FieldValue()});
    writer->close();
  }
  auto report = check_database(*Database::open(file));
  EXPECT_TRUE(report.ok()) << all_problems(report);
}

}  // namespace
}  // namespace halvaro::jet
