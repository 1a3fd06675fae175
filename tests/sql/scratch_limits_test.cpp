// The query layer's scratch database and large results on disk: the answers must be
// those of the all-in-memory engine, and nothing may be left behind in the temporary
// folder.

#include "sql/query_engine.h"
#include "tests/sql/many_invoices.h"
#include "tests/sql/print_value.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace halvaro::sql {
namespace {

std::vector<std::vector<FieldValue>> rows_of(const StoredResult& result) {
  std::vector<std::vector<FieldValue>> rows;
  for (size_t i = 0; i < result.rows.size(); ++i) rows.push_back(result.rows.row(i));
  return rows;
}

TEST(ScratchLimits, DiskAndSmallCacheGiveWhatMemoryGives) {
  auto source = many_invoices();
  ScratchLimits memory;
  memory.on_disk = false;
  ScratchLimits disk;
  disk.cache_kib = 64;
  disk.result_memory_rows = 100;
  QueryEngine reference(source, memory);
  QueryEngine bounded(source, disk);

  const std::vector<std::string> statements = {
      "SELECT * FROM VwItem",
      "SELECT StRegNo, Count(*), Sum(Value) FROM tblItem GROUP BY StRegNo ORDER BY StRegNo",
      "Select * from VwItem where StRegNo = 'A3' And InvoiceNo = 'INV-10' and cstr(InvoiceDate) = '25/03/2023'",
      "Select * from VwItem where StRegNo = 'A3' And InvoiceNo = 'INV-19996' and cstr(InvoiceDate) = "
      "'27/01/2023'",
  };
  for (const auto& statement : statements) {
    SCOPED_TRACE(statement);
    ResultSet expected = reference.execute(statement);
    ResultSet got = bounded.execute(statement);
    ASSERT_EQ(got.rows.size(), expected.rows.size());
    EXPECT_EQ(got.rows, expected.rows);
    StoredResult stored = bounded.execute_stored(statement);
    EXPECT_EQ(stored.rows.size(), expected.rows.size());
    EXPECT_EQ(stored.rows.on_disk(), expected.rows.size() > 100);
    EXPECT_EQ(rows_of(stored), expected.rows);
  }
  EXPECT_EQ(reference.execute("SELECT * FROM VwItem").rows.size(), 20000u);
  EXPECT_EQ(bounded.execute(statements[2]).rows.size(), 1u);

}

// A window keeps painting while a large table is read and a saved query evaluated, and
// shows how many rows are read.
TEST(ScratchLimits, LongLoadsTickNowAndThen) {
  QueryEngine engine(many_invoices());
  int ticks = 0;
  std::vector<uint64_t> read_at_ticks;
  engine.while_busy([&] {
    ++ticks;
    read_at_ticks.push_back(engine.rows_read());
  });
  EXPECT_EQ(engine.execute("SELECT Count(*) FROM VwItem").rows.at(0).at(0), FieldValue(int64_t{20000}));
  EXPECT_GE(ticks, 4);  // at least one per 4096 rows read
  EXPECT_EQ(read_at_ticks.front(), 4096u);
  EXPECT_TRUE(std::is_sorted(read_at_ticks.begin(), read_at_ticks.end()));
  EXPECT_EQ(engine.rows_read(), 20000u);
  // A relation already evaluated is not read again.
  engine.execute("SELECT Count(*) FROM tblItem");
  EXPECT_EQ(engine.rows_read(), 20000u);
  engine.while_busy(nullptr);
  int before = ticks;
  engine.forget_loaded();
  engine.execute("SELECT Count(*) FROM VwItem");
  EXPECT_EQ(ticks, before);
}

}  // namespace
}  // namespace halvaro::sql
