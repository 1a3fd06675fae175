// The check shared out between two threads: what it tells, and in what order, is what
// one thread tells; a caller's stop request from either thread goes through.

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

#include "jet/builder/database_builder.h"
#include "jet/indexes/index_page.h"
#include "jet/writer/checker.h"
#include "jet/writer/database_writer.h"
#include "tests/jet/writer/index_leaf_damage.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

using test::TempDir;

// Tables T1 to T3, each with `rows` rows and an index on its text column spanning
// several leaves.
void write_tables(const std::filesystem::path& file, int rows) {
  DatabaseBuilder builder(DateTime{45000.5});
  for (const char* name : {"T1", "T2", "T3"}) {
    TableSpec table{name, {}, {}, false};
    table.columns.push_back({"a", ColumnType::Long});
    table.columns.push_back({"b", ColumnType::Text, 20});
    builder.add_table(table);
    IndexSpec index;
    index.name = std::string("By") + name;
    index.columns = {{"b", true}};
    builder.add_index(name, index);
  }
  builder.write(file);
  auto writer = DatabaseWriter::open(file);
  for (const char* name : {"T1", "T2", "T3"}) {
    const TableDef& t = writer->table(name);
    for (int n = 0; n < rows; ++n) writer->append(t, {FieldValue(n), FieldValue("value " + std::to_string(1000 + n))});
  }
  writer->close();
}

EntryBytes with_row_pointer(Entry entry, uint32_t pointer) {
  EntryBytes bytes(entry.begin(), entry.end());
  for (int i = 0; i < 4; ++i) bytes[bytes.size() - 1 - i] = static_cast<uint8_t>(pointer >> (8 * i));
  return bytes;
}

// Damage in the first and the last table, none in the middle one: each thread count
// tells the same problems in catalog order, and counts the same rows and entries.
TEST(CheckDatabaseWorkers, TellTheFaultsOfEachTableInCatalogOrder) {
  TempDir dir;
  const auto file = dir.path() / "damaged.mdb";
  write_tables(file, 600);
  ASSERT_TRUE(check_database(*Database::open(file), {}, 2).ok());
  damage_first_leaf(file, "T1", [](IndexNode& node) {
    EntryList kept;
    for (size_t i = 0; i < node.entries.size(); ++i)
      if (i != 10) kept.push_back(node.entries[i]);
    node.entries = std::move(kept);
  });
  damage_first_leaf(file, "T3", [](IndexNode& node) {
    const uint32_t first = index_page::row_pointer_of(node.entries[5], true);
    const uint32_t second = index_page::row_pointer_of(node.entries[6], true);
    node.entries.replace(5, with_row_pointer(node.entries[5], second));
    node.entries.replace(6, with_row_pointer(node.entries[6], first));
  });

  auto db = Database::open(file);
  const CheckReport alone = check_database(*db, {}, 1);
  ASSERT_EQ(alone.problems.size(), 3u);
  EXPECT_EQ(alone.problems[0], "table T1: index ByT1: 1 rows have no entry");
  EXPECT_EQ(alone.problems[1].rfind("table T3: index ByT3: the entry for page ", 0), 0u) << alone.problems[1];
  EXPECT_EQ(alone.problems[2].rfind("table T3: index ByT3: the entry for page ", 0), 0u) << alone.problems[2];
  EXPECT_EQ(alone.rows, 1800u);
  EXPECT_EQ(alone.index_entries, 1799u);
  // However the pieces fall between the threads.
  for (int round = 0; round < 5; ++round) {
    const CheckReport shared = check_database(*db, {}, 2);
    EXPECT_EQ(shared.problems, alone.problems);
    EXPECT_EQ(shared.rows, alone.rows);
    EXPECT_EQ(shared.index_entries, alone.index_entries);
    EXPECT_EQ(shared.tables, alone.tables);
    EXPECT_EQ(shared.system_tables, alone.system_tables);
  }
}

struct StopRequest {};

// The caller's progress hears from both threads; its stop request (not a
// std::exception) ends the check, while a std::exception it throws is a problem of the
// table being checked, as with one thread.
TEST(CheckDatabaseWorkers, ProgressMayStopTheCheckFromEitherThread) {
  TempDir dir;
  const auto file = dir.path() / "sound.mdb";
  write_tables(file, 3000);
  auto db = Database::open(file);

  uint64_t calls = 0, last_read = 0, last_recorded = 0;
  bool ascending = true;
  const CheckReport heard = check_database(
      *db,
      [&](uint64_t read, uint64_t recorded) {
        ascending = ascending && read >= last_read;
        ++calls;
        last_read = read;
        last_recorded = recorded;
      },
      2);
  EXPECT_TRUE(heard.ok());
  EXPECT_GE(calls, 3u);
  EXPECT_TRUE(ascending);
  EXPECT_EQ(last_recorded, 9000u);

  for (uint64_t stop_at : {1u, 2u, 3u}) {
    uint64_t heard_calls = 0;
    EXPECT_THROW(check_database(
                     *db,
                     [&](uint64_t, uint64_t) {
                       if (++heard_calls == stop_at) throw StopRequest{};
                     },
                     2),
                 StopRequest)
        << "stopped at call " << stop_at;
  }

  uint64_t failed_calls = 0;
  const CheckReport failed = check_database(
      *db,
      [&](uint64_t, uint64_t) {
        if (++failed_calls == 1) throw std::runtime_error("the progress failed");
      },
      2);
  ASSERT_EQ(failed.problems.size(), 1u);
  EXPECT_EQ(failed.problems[0].rfind("table T", 0), 0u) << failed.problems[0];
  EXPECT_NE(failed.problems[0].find(": the progress failed"), std::string::npos) << failed.problems[0];
}

}  // namespace
}  // namespace halvaro::jet
