// A writer held to a small page budget commits often and keeps only its most recently
// used pages and index leaves across each commit, or writes the pages it adds ahead of
// its commits; the file must hold what a writer that keeps everything stores, read
// back by mdbtools and the checker. (Not byte for byte: an index that takes duplicates
// gets its entries a batch at a time, and its pages split where the batches fall.)

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <random>

#include "jet/writer/checker.h"
#include "jet/writer/database_writer.h"
#include "sql/create_script.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

using test::TempDir;

std::vector<FieldValue> master(const DatabaseWriter& w, const TableDef& t, int n) {
  auto row = w.new_row(t);
  auto set = [&](std::string_view column, FieldValue v) { row.at(t.find_column(column)->position) = std::move(v); };
  // Keys spread over the whole index, as rows of many claimants and periods arrive.
  set("StRegNo", "03012345" + std::to_string(10000 + n % 37));
  set("Taxperiod", std::to_string(202001 + n % 11));
  set("InvoiceType", n % 3 ? "P" : "S");
  set("InvoiceNo", "INV-" + std::to_string(n));
  set("Supplier", "0402111100011");
  set("buyer", "Buyer " + std::to_string(n));
  set("TotalSalesTax", Currency{int64_t{n} * 12345});
  return row;
}

std::vector<FieldValue> detail(const DatabaseWriter& w, const TableDef& t, int n, int item) {
  auto row = w.new_row(t);
  auto set = [&](std::string_view column, FieldValue v) { row.at(t.find_column(column)->position) = std::move(v); };
  set("StRegNo", "03012345" + std::to_string(10000 + n % 37));
  set("Taxperiod", std::to_string(202001 + n % 11));
  set("Invoicetype", n % 3 ? "P" : "S");
  set("InvoiceNo", "INV-" + std::to_string(n));
  set("ItemSerialNo", int64_t{item});
  set("Pct_desc", std::string(40 + n % 50, static_cast<char>('a' + item)));
  return row;
}

WriterCounters append_invoices(const std::filesystem::path& file, const WriterOptions& options,
                               const std::vector<int>& order) {
  auto w = DatabaseWriter::open(file, options);
  const TableDef& masters = w->table("tblInvoiceMtr");
  const TableDef& details = w->table("tblInvoiceDetail");
  for (int n : order) {
    w->append(masters, master(*w, masters, n));
    for (int item = 1; item <= 1 + n % 4; ++item) w->append(details, detail(*w, details, n, item));
  }
  // A duplicate of an early row is refused: its leaf has long been committed and
  // dropped, and it must be found again.
  EXPECT_THROW(w->append(masters, master(*w, masters, order.front())), ConstraintError);
  const WriterCounters counters = w->counters();
  w->close();
  return counters;
}

std::string exported(const std::filesystem::path& file, const std::string& table) {
  auto r = test::run_program("mdb-export", {file.string(), table});
  EXPECT_EQ(r.status, 0) << r.out;
  return r.out;
}

std::vector<std::vector<FieldValue>> rows_read(const Database& db, const std::string& table) {
  std::vector<std::vector<FieldValue>> rows;
  db.scan(db.table(table), [&](std::span<const FieldValue> v) { return rows.emplace_back(v.begin(), v.end()), true; });
  return rows;
}

TEST(WriterBudget, ATightPageBudgetWritesTheSameFileAsNoBudget) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  TempDir dir;
  const auto roomy = dir.copy_in(fixture);  // writable, unlike the fixture itself
  const auto tight = dir.path() / "tight.mdb";
  const auto ahead = dir.path() / "ahead.mdb";
  const auto often = dir.path() / "often.mdb";
  std::filesystem::copy_file(roomy, tight);
  std::filesystem::copy_file(roomy, ahead);
  std::filesystem::copy_file(roomy, often);
  std::vector<int> order(4000);
  for (int i = 0; i < 4000; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(11));

  WriterOptions everything;
  everything.commit_rows = std::numeric_limits<uint32_t>::max();
  everything.commit_interval = std::chrono::hours(1);
  everything.pages_kept_after_commit = std::numeric_limits<size_t>::max();
  everything.pages_held_before_commit = std::numeric_limits<size_t>::max();
  everything.pages_added_before_write_ahead = std::numeric_limits<uint32_t>::max();
  append_invoices(roomy, everything, order);

  // Commits every few rows, each keeping a handful of pages: leaves are kept, dropped,
  // decoded again and changed again across commits.
  WriterOptions budget;
  budget.commit_rows = 37;
  budget.pages_kept_after_commit = 12;
  budget.pages_held_before_commit = 40;
  budget.index_entries_per_batch = 50;  // many batches between commits
  append_invoices(tight, budget, order);

  // No commits but those the budget forces: the data pages added since the last commit
  // go to the file ahead of it, are read back when a row goes on the last of them, and
  // the commits come only when that leaves too little room.
  WriterOptions write_ahead = everything;
  write_ahead.pages_kept_after_commit = 12;
  write_ahead.pages_held_before_commit = 300;
  const WriterCounters counted = append_invoices(ahead, write_ahead, order);
  EXPECT_GT(counted.pages_written_ahead, 0u);
  EXPECT_GT(counted.commits, 0u);

  // No budget and one commit at the end, but the pages added go to the file every few
  // pages: the last data page of each table is read back each time its next row comes.
  WriterOptions every_few_pages = everything;
  every_few_pages.pages_added_before_write_ahead = 3;
  const WriterCounters written_often = append_invoices(often, every_few_pages, order);
  EXPECT_GT(written_often.pages_written_ahead, 100u);

  // Every row is there, in the same order and with the same values: as we read them,
  // and where mdbtools runs, as another implementation reads them (a header line, then
  // a line a row).
  const auto roomy_db = Database::open(roomy);
  const auto master_rows = rows_read(*roomy_db, "tblInvoiceMtr");
  const auto detail_rows = rows_read(*roomy_db, "tblInvoiceDetail");
  EXPECT_EQ(master_rows.size(), 4000u);
  EXPECT_EQ(detail_rows.size(), 10000u);
  const bool mdbtools = test::mdbtools_available();
  const std::string masters = mdbtools ? exported(roomy, "tblInvoiceMtr") : "";
  const std::string details = mdbtools ? exported(roomy, "tblInvoiceDetail") : "";
  if (mdbtools) {
    EXPECT_EQ(std::count(masters.begin(), masters.end(), '\n'), 1 + 4000);
    EXPECT_EQ(std::count(details.begin(), details.end(), '\n'), 1 + 10000);
  }
  for (const auto& file : {roomy, tight, ahead, often}) {
    const auto db = Database::open(file);
    for (const auto& p : check_database(*db).problems) ADD_FAILURE() << file << ": " << p;
    EXPECT_TRUE(rows_read(*db, "tblInvoiceMtr") == master_rows) << file;
    EXPECT_TRUE(rows_read(*db, "tblInvoiceDetail") == detail_rows) << file;
    if (mdbtools) {
      EXPECT_EQ(exported(file, "tblInvoiceMtr"), masters) << file;
      EXPECT_EQ(exported(file, "tblInvoiceDetail"), details) << file;
    }
    // The definitions count the same distinct keys per index.
    for (const char* table : {"tblInvoiceMtr", "tblInvoiceDetail"}) {
      const auto& indexes = db->table(table).real_indexes;
      const auto& expected = roomy_db->table(table).real_indexes;
      ASSERT_EQ(indexes.size(), expected.size());
      for (size_t r = 0; r < indexes.size(); ++r)
        EXPECT_EQ(indexes[r].row_count, expected[r].row_count) << file << " " << table << " index " << r;
    }
  }
}

// Index pages are held decoded, and their bytes leave the page store: unless the
// budget counts them, rows spread over many leaves of unique indexes (which look up
// each key as its row comes) would hold all of those leaves until the next timed
// commit, however many there are.
TEST(WriterBudget, DecodedIndexPagesCountTowardsTheBudget) {
  TempDir dir;
  const auto file = dir.path() / "spread.mdb";
  const auto script = dir.path() / "spread.sql";
  std::ofstream(script) << "CREATE TABLE T (G TEXT(60), N LONG);\n"
                           "CREATE UNIQUE INDEX Up ON T (G, N);\nCREATE UNIQUE INDEX Down ON T (G DESC, N DESC);\n";
  sql::script::create_database(file, script);

  WriterOptions options;
  options.commit_rows = std::numeric_limits<uint32_t>::max();
  options.commit_interval = std::chrono::hours(1);
  options.pages_kept_after_commit = 50;
  options.pages_held_before_commit = 200;
  auto w = DatabaseWriter::open(file, options);
  const TableDef& t = w->table("T");
  const int groups = 400, rows = 24000;
  for (int i = 0; i < rows; ++i) {
    auto row = w->new_row(t);
    row[0] = FieldValue("a group of invoices of one claimant " + std::to_string(1000 + i % groups));
    row[1] = FieldValue(int64_t{i});
    w->append(t, std::move(row));
  }
  // The rows fill about 300 data pages; the two indexes take 400 leaves each, held
  // decoded at some 5 KiB a leaf between commits.
  EXPECT_GT(w->commits(), 40u);  // 120 here; the data pages alone make 2
  w->close();
  for (const auto& p : check_database(*Database::open(file)).problems) ADD_FAILURE() << p;
}

}  // namespace
}  // namespace halvaro::jet
