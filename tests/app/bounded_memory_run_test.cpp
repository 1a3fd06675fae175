// A transfer of a generated old-version database with every memory bound drawn tight
// (the query layer's scratch database spilling past a 64 KiB cache to its file, master
// rows read back from a temporary file a block at a time, the writer committing and
// letting go of its pages every few dozen rows, item queries evaluated ahead on a
// second thread) must leave the same destination, row for row, and give the same
// account of the run as one that holds everything in memory and reads nothing ahead.
//
// Both runs share the transfer code, so a fault common to both would pass the
// comparison; the generator's own row count, the engine's checker over the tight run's
// file and the other transfer tests (against Access-made fixtures) catch those.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <limits>
#include <map>

#include "app/transfer_run.h"
#include "bench/generator/old_database.h"
#include "db/jet_store.h"
#include "jet/writer/checker.h"
#include "sql/create_script.h"
#include "jet/catalog/database.h"
#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

struct RecordingSink : app::MessageSink {
  std::vector<app::Message> shown;
  std::vector<app::Progress> progress_seen;
  void show(const app::Message& message) override { shown.push_back(message); }
  void progress(const app::Progress& progress) override { progress_seen.push_back(progress); }
};

using Rows = std::vector<std::vector<FieldValue>>;

std::map<std::string, Rows> every_row(const std::filesystem::path& file) {
  auto db = jet::Database::open(file);
  std::map<std::string, Rows> tables;
  for (const auto& name : db->table_names()) {
    Rows& rows = tables[name];
    db->scan(db->table(name), [&rows](std::span<const FieldValue> values) {
      rows.emplace_back(values.begin(), values.end());
      return true;
    });
  }
  return tables;
}

struct RunAccount {
  app::TransferRun::Outcome outcome;
  int16_t success_count;
  RecordingSink sink;
};

RunAccount transfer(const std::filesystem::path& source, const std::filesystem::path& destination,
                    const db::StoreLimits& limits) {
  RunAccount account{};
  app::TransferRun run(account.sink, db::jet_store_opener(limits));
  account.outcome = run.run(source.string(), destination.string());
  account.success_count = run.SuccessCount();
  return account;
}

db::StoreLimits everything_in_memory() {
  db::StoreLimits limits;
  limits.scratch.on_disk = false;
  limits.scratch.result_memory_rows = std::numeric_limits<size_t>::max();
  limits.writer.commit_rows = std::numeric_limits<uint32_t>::max();
  limits.writer.commit_interval = std::chrono::hours(1);
  limits.writer.pages_kept_after_commit = std::numeric_limits<size_t>::max();
  limits.writer.pages_held_before_commit = std::numeric_limits<size_t>::max();
  limits.read_ahead = false;
  return limits;
}

db::StoreLimits tight() {
  db::StoreLimits limits;
  limits.scratch.cache_kib = 64;
  limits.scratch.result_memory_rows = 16;
  limits.writer.commit_rows = 97;
  limits.writer.pages_kept_after_commit = 0;
  limits.writer.pages_held_before_commit = 40;
  return limits;
}

TEST(BoundedMemoryRun, TightLimitsGiveTheSameRowsAndTheSameAccountAsEverythingInMemory) {
  TempDir dir;
  const auto source = dir.path() / "old.mdb";
  const long source_rows = bench::write_old_database(400, source);
  const auto reference_file = dir.path() / "reference.mdb";
  const auto bounded_file = dir.path() / "bounded.mdb";
  sql::script::create_database(reference_file, std::filesystem::path(HALVARO_EXAMPLES_DIR) / "new-5.1.sql");
  std::filesystem::copy_file(reference_file, bounded_file);

  RunAccount reference = transfer(source, reference_file, everything_in_memory());
  RunAccount bounded = transfer(source, bounded_file, tight());

  EXPECT_EQ(reference.outcome, app::TransferRun::Outcome::AllMoved);
  EXPECT_EQ(bounded.outcome, reference.outcome);
  EXPECT_EQ(bounded.success_count, reference.success_count);
  ASSERT_EQ(bounded.sink.shown.size(), reference.sink.shown.size());
  for (size_t i = 0; i < reference.sink.shown.size(); ++i) {
    EXPECT_EQ(bounded.sink.shown[i].text, reference.sink.shown[i].text);
    EXPECT_EQ(bounded.sink.shown[i].details, reference.sink.shown[i].details);
  }
  // Progress is counted the same way, and every stage reaches its total.
  ASSERT_EQ(bounded.sink.progress_seen.size(), reference.sink.progress_seen.size());
  std::map<std::string, app::Progress> first, last;
  for (size_t i = 0; i < reference.sink.progress_seen.size(); ++i) {
    const auto& a = reference.sink.progress_seen[i];
    const auto& b = bounded.sink.progress_seen[i];
    ASSERT_EQ(std::tie(b.group, b.done, b.total), std::tie(a.group, a.done, a.total)) << i;
    first.emplace(a.group, a);
    last[a.group] = a;
  }
  EXPECT_EQ(last.size(), 7u);  // every stage of the six groups
  for (const auto& [group, progress] : first) {
    EXPECT_EQ(progress.done, 0) << group;  // shown as begun before its rows are counted
    EXPECT_EQ(progress.total, 0) << group;
  }
  for (const auto& [group, progress] : last) {
    EXPECT_EQ(progress.done, progress.total) << group;
    EXPECT_GT(progress.total, 0) << group;
  }

  const auto expected = every_row(reference_file);
  const auto got = every_row(bounded_file);
  ASSERT_EQ(got.size(), expected.size());
  size_t stored = 0;
  for (const auto& [table, rows] : expected) {
    SCOPED_TRACE(table);
    ASSERT_EQ(got.at(table).size(), rows.size());
    for (size_t r = 0; r < rows.size(); ++r) ASSERT_EQ(got.at(table)[r], rows[r]) << "row " << r;
    stored += rows.size();
  }
  EXPECT_EQ(long(stored), source_rows);

  auto report = jet::check_database(*jet::Database::open(bounded_file));
  EXPECT_TRUE(report.ok()) << (report.problems.empty() ? "" : report.problems.front());
}

// Run twice into one destination: every group with a unique key stops at its first
// row (already there), so the account lists nearly every source row. The result shows
// the first rows and counts the rest; the report, saved where a long account goes,
// names every one.
TEST(BoundedMemoryRun, AnAccountListingEveryRowShowsTheFirstAndSavesEveryOneInTheReport) {
  TempDir dir;
  const auto source = dir.path() / "old.mdb";
  bench::write_old_database(400, source);
  const auto destination = dir.path() / "new.mdb";
  sql::script::create_database(destination, std::filesystem::path(HALVARO_EXAMPLES_DIR) / "new-5.1.sql");
  ASSERT_EQ(transfer(source, destination, db::StoreLimits{}).outcome, app::TransferRun::Outcome::AllMoved);

  RecordingSink sink;
  app::TransferRun again(sink, db::jet_store_opener(db::StoreLimits{}));
  const auto report = dir.path() / "long-account.txt";
  again.set_long_account_report(report.string());
  ASSERT_EQ(again.run(source.string(), destination.string()), app::TransferRun::Outcome::SomeMissing);

  ASSERT_FALSE(sink.shown.empty());
  const std::vector<std::string>& details = sink.shown.back().details;
  size_t rows_shown = 0, counted_lines = 0;
  for (const std::string& line : details) {
    if (line.find("]: not moved: ") != std::string::npos) ++rows_shown;
    if (line.find(" more rows not moved are not shown here") != std::string::npos) ++counted_lines;
  }
  EXPECT_EQ(rows_shown, db::RunAccount::kRowsShown);
  EXPECT_GT(counted_lines, 0u);
  EXPECT_NE(std::find(details.begin(), details.end(), "The account of this run is saved in " + report.string()),
            details.end());
  size_t rows = 0, not_moved = 0;
  for (const db::SourceAccount& listed : again.report().account.sources) {
    rows += listed.rows;
    not_moved += listed.not_moved.size();
  }
  // Shipping bills have no unique key in the destination: they are appended again.
  EXPECT_GT(not_moved, 2 * db::RunAccount::kRowsShown);
  EXPECT_LT(not_moved, rows);

  std::ifstream text(report);
  std::string line;
  bool in_not_moved = false;
  size_t named = 0;
  while (std::getline(text, line)) {
    if (line.empty()) in_not_moved = false;
    if (in_not_moved) ++named;
    if (line == "Not moved") in_not_moved = true;
  }
  EXPECT_EQ(named, not_moved);

  // Saving it was shown as it went, ending at every entry it names.
  std::vector<app::Progress> saving;
  for (const app::Progress& step : sink.progress_seen)
    if (step.work == app::Progress::Work::SavingReport) saving.push_back(step);
  ASSERT_GE(saving.size(), 2u);
  EXPECT_LT(saving.front().done, saving.back().done);
  EXPECT_EQ(saving.back().done, saving.back().total);
  EXPECT_EQ(static_cast<size_t>(saving.back().total), not_moved + again.report().not_stored.size());
}

}  // namespace
}  // namespace halvaro::test
