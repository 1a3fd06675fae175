// The check of a whole file: system tables, unique keys and the catalog's saved
// queries, on databases made by `create` and on files that break those rules.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "jet/builder/database_builder.h"
#include "jet/indexes/index_page.h"
#include "jet/writer/checker.h"
#include "jet/writer/database_writer.h"
#include "sql/create_script.h"
#include "sql/query_definition_writer.h"
#include "tests/jet/writer/index_leaf_damage.h"
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

size_t occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
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

// The same table with an index on b.
DatabaseBuilder builder_with_index(bool unique) {
  auto builder = builder_with_table();
  IndexSpec index;
  index.name = "ByB";
  index.columns = {{"b", true}};
  index.unique = unique;
  builder.add_index("T", index);
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
    builder_with_index(unique).write(dir.path() / name);
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
  auto file = dir.path() / "nulls.mdb";
  builder_with_index(true).write(file);
  {
    auto writer = DatabaseWriter::open(file);
    const TableDef& t = writer->table("T");
    for (int n : {1, 2}) writer->append(t, {FieldValue(n), FieldValue()});
    writer->close();
  }
  auto report = check_database(*Database::open(file));
  EXPECT_TRUE(report.ok()) << all_problems(report);
}

// Index damage the writer never makes, written into a copy of a sound file one kind at
// a time: each must be told, and nothing else. The index spans several leaves under an
// intermediate page, so the walk, the leaf chain and the row lookups all take part.
TEST(CheckDatabase, DamagedIndexEntriesAreEachTold) {
  TempDir dir;
  const auto sound = dir.path() / "sound.mdb";
  builder_with_index(false).write(sound);
  {
    auto writer = DatabaseWriter::open(sound);
    const TableDef& t = writer->table("T");
    for (int n = 0; n < 600; ++n) writer->append(t, {FieldValue(n), FieldValue("value " + std::to_string(1000 + n))});
    writer->close();
  }
  ASSERT_TRUE(check_database(*Database::open(sound)).ok());

  // Rewrites the index's first leaf after `damage` changed it; returns the check's problems.
  auto damaged = [&](const char* name, const std::function<void(IndexNode&)>& damage) {
    const auto file = dir.path() / name;
    std::filesystem::copy_file(sound, file);
    damage_first_leaf(file, "T", damage);
    return all_problems(check_database(*Database::open(file)));
  };
  auto with_row_pointer = [](Entry entry, uint32_t pointer) {
    EntryBytes bytes(entry.begin(), entry.end());
    for (int i = 0; i < 4; ++i) bytes[bytes.size() - 1 - i] = static_cast<uint8_t>(pointer >> (8 * i));
    return bytes;
  };
  const std::string where = "table T: index ByB: ";

  std::string text = damaged("nowhere.mdb", [&](IndexNode& node) {
    const uint32_t at = index_page::row_pointer_of(node.entries[3], true);
    node.entries.replace(3, with_row_pointer(node.entries[3], (at & ~0xFFu) | 0xEE));
  });
  EXPECT_NE(text.find(where + "an entry points at page "), std::string::npos) << text;
  EXPECT_NE(text.find("row 238, where no live row is"), std::string::npos) << text;
  EXPECT_NE(text.find(where + "1 rows have no entry"), std::string::npos) << text;
  EXPECT_EQ(occurrences(text, "\n"), 2u) << text;

  text = damaged("swapped.mdb", [&](IndexNode& node) {
    const uint32_t first = index_page::row_pointer_of(node.entries[5], true);
    const uint32_t second = index_page::row_pointer_of(node.entries[6], true);
    node.entries.replace(5, with_row_pointer(node.entries[5], second));
    node.entries.replace(6, with_row_pointer(node.entries[6], first));
  });
  EXPECT_EQ(occurrences(text, where + "the entry for page "), 2u) << text;
  EXPECT_EQ(occurrences(text, " does not hold that row's key\n"), 2u) << text;
  EXPECT_EQ(occurrences(text, "\n"), 2u) << text;

  text = damaged("dropped.mdb", [&](IndexNode& node) {
    EntryList kept;
    for (size_t i = 0; i < node.entries.size(); ++i)
      if (i != 10) kept.push_back(node.entries[i]);
    node.entries = std::move(kept);
  });
  EXPECT_EQ(text, where + "1 rows have no entry\n");

  text = damaged("disordered.mdb", [&](IndexNode& node) {
    const EntryBytes first(node.entries[7].begin(), node.entries[7].end());
    node.entries.replace(7, node.entries[8]);
    node.entries.replace(8, first);
  });
  EXPECT_EQ(text, where + "entries out of order on its leaf pages\n");

  text = damaged("unlinked.mdb", [&](IndexNode& node) { node.next = node.prev; });
  EXPECT_NE(text.find(where + "leaf page "), std::string::npos) << text;
  EXPECT_NE(text.find(" is linked to the wrong neighbours"), std::string::npos) << text;
  EXPECT_EQ(occurrences(text, "\n"), 1u) << text;
}

}  // namespace
}  // namespace halvaro::jet
