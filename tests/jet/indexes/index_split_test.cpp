// Where full index pages split. Keys that rise within groups which arrive interleaved
// (each claimant's and period's invoices) must not leave the index mostly empty pages:
// the file would grow by as much, and every page is written and read again.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "jet/pages/page_bytes.h"
#include "jet/writer/checker.h"
#include "jet/writer/database_writer.h"
#include "sql/create_script.h"
#include "tests/jet/indexes/index_tree.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

using test::TempDir;

struct Leaves {
  size_t count = 0;
  size_t nearly_empty = 0;  // under a tenth full
};

// The leaf pages of the only index of table T, as the file holds them.
Leaves leaves_of(const std::filesystem::path& file, uint32_t owner) {
  const std::string bytes = test::file_bytes(file);
  Leaves leaves;
  for (size_t at = 0; at + 4096 <= bytes.size(); at += 4096) {
    const auto* page = reinterpret_cast<const uint8_t*>(bytes.data() + at);
    if (page[0] != 0x04 || bytes::get32(page + 4) != owner) continue;
    ++leaves.count;
    const size_t used = 4096 - 0x1E0 - bytes::get16(page + 2);
    if (used * 10 < 4096 - 0x1E0) ++leaves.nearly_empty;
  }
  return leaves;
}

// A fresh file holding the tables a script creates.
std::filesystem::path created(const TempDir& dir, const std::string& name, const std::string& script_text) {
  const auto file = dir.path() / (name + ".mdb");
  const auto script = dir.path() / (name + ".sql");
  std::ofstream(script) << script_text;
  sql::script::create_database(file, script);
  return file;
}

// Writes the rows (group, number) in the order given into a fresh file and returns its
// index's leaves, once the checker has found every entry where it belongs.
Leaves write_rows(const TempDir& dir, const std::string& name, const std::vector<std::pair<int, int>>& rows) {
  const auto file = created(dir, name,
                            "CREATE TABLE T (G TEXT(20), N LONG, Note TEXT(40));\n"
                            "CREATE INDEX ByGroup ON T (G, N);\n");
  uint32_t owner = 0;
  {
    auto w = DatabaseWriter::open(file);
    const TableDef& t = w->table("T");
    owner = t.definition_page;
    for (const auto& [group, number] : rows) {
      auto row = w->new_row(t);
      row[0] = FieldValue("claimant " + std::to_string(1000 + group));
      row[1] = FieldValue(int64_t{number});
      row[2] = FieldValue(std::string("invoice line"));
      w->append(t, std::move(row));
    }
    w->close();
  }
  const auto report = check_database(*Database::open(file));
  for (const auto& p : report.problems) ADD_FAILURE() << name << ": " << p;
  EXPECT_EQ(report.rows, rows.size());
  return leaves_of(file, owner);
}

TEST(IndexSplit, GroupsArrivingInterleavedFillTheirPagesAlmostAsWellAsSortedRows) {
  TempDir dir;
  std::vector<std::pair<int, int>> interleaved, sorted;
  for (int round = 0; round < 60; ++round)
    for (int group = 0; group < 300; ++group) interleaved.emplace_back(group, round);
  for (int group = 0; group < 300; ++group)
    for (int round = 0; round < 60; ++round) sorted.emplace_back(group, round);

  const Leaves in_order = write_rows(dir, "sorted", sorted);
  const Leaves mixed = write_rows(dir, "interleaved", interleaved);
  ASSERT_GT(in_order.count, 20u);
  // One key per group in turn: full pages split in half fill to about two thirds (86
  // pages against 60 here). A group's key that would start the next page ends the page
  // before it instead; pages split after a group's key only once its keys have taken
  // a quarter of the page, which a group with one key at a time never does.
  EXPECT_LT(mixed.count * 10, in_order.count * 16) << mixed.count << " leaves against " << in_order.count;
  EXPECT_EQ(mixed.nearly_empty, 0u);
  EXPECT_EQ(in_order.nearly_empty, 0u);
}

// The invoices of a claimant's period one after another, between those of other
// claimants and periods: runs of rising keys at many places at once. A place with
// pages' worth of keys must fill whole pages, as rows in key order do, not leave them
// half empty.
TEST(IndexSplit, RunsOfKeysAtManyPlacesFillTheirPagesAsSortedRowsDo) {
  TempDir dir;
  std::vector<std::pair<int, int>> runs, sorted;
  constexpr int kGroups = 40, kRounds = 20, kRun = 30;
  for (int round = 0; round < kRounds; ++round)
    for (int group = 0; group < kGroups; ++group)
      for (int item = 0; item < kRun; ++item) runs.emplace_back(group, round * kRun + item);
  for (int group = 0; group < kGroups; ++group)
    for (int n = 0; n < kRounds * kRun; ++n) sorted.emplace_back(group, n);

  const Leaves in_order = write_rows(dir, "sorted", sorted);
  const Leaves mixed = write_rows(dir, "runs", runs);
  // Halving full pages gives 137 pages here against 60; each place's last page is
  // partly filled whatever the split.
  EXPECT_LE(mixed.count * 10, in_order.count * 14) << mixed.count << " leaves against " << in_order.count;
}

// A writer lets go of leaves at each commit and keeps only their first entries, which
// tell where a key goes without reading the leaf again. A key already stored must
// still be refused wherever it lies: first in its leaf, last, or in between.
TEST(IndexSplit, LeavesLetGoOfStillRefuseEveryStoredKey) {
  TempDir dir;
  const auto file = created(dir, "unique",
                            "CREATE TABLE T (G TEXT(20), N LONG, Note TEXT(40), "
                            "CONSTRAINT PrimaryKey PRIMARY KEY (G, N));\n");
  WriterOptions options;
  options.commit_rows = 97;
  options.pages_kept_after_commit = 4;
  options.pages_held_before_commit = 30;
  auto w = DatabaseWriter::open(file, options);
  const TableDef& t = w->table("T");
  auto row_of = [&](int group, int number) {
    auto row = w->new_row(t);
    row[0] = FieldValue("claimant " + std::to_string(1000 + group));
    row[1] = FieldValue(int64_t{number});
    row[2] = FieldValue(std::string("invoice"));
    return row;
  };
  constexpr int kGroups = 200, kRounds = 8, kRun = 4;
  for (int round = 0; round < kRounds; ++round)
    for (int group = 0; group < kGroups; ++group)
      for (int item = 0; item < kRun; ++item) w->append(t, row_of(group, round * kRun + item));
  int refused = 0;
  for (int group = 0; group < kGroups; ++group)
    for (int n = 0; n < kRounds * kRun; ++n) {
      try {
        w->append(t, row_of(group, n));
      } catch (const ConstraintError&) {
        ++refused;
      }
    }
  EXPECT_EQ(refused, kGroups * kRounds * kRun);
  // Keys before the stored ones and past them are taken.
  for (int group = 0; group < kGroups; ++group) w->append(t, row_of(group, -1 - group % 3));
  for (int group = 0; group < kGroups; ++group) w->append(t, row_of(group, kRounds * kRun));
  w->close();
  const auto report = check_database(*Database::open(file));
  for (const auto& p : report.problems) ADD_FAILURE() << p;
  EXPECT_EQ(report.rows, static_cast<size_t>(kGroups * (kRounds * kRun + 2)));
}

// A key put first on a leaf full of another group's keys (here: a key less than every
// other, which starts the index's first leaf) shortens the prefix the leaf's entries
// share, here to nothing: decoded, the leaf's entries then take several pages. Its
// split must still give parts that fit their pages, whether the leaf ends a run (the
// group's keys in order) or is halved (shuffled). A key greater than every other ends
// the last leaf.
TEST(IndexSplit, AKeyThatEndsTheSharedPrefixOfAFullLeafStillFits) {
  for (const bool shuffled : {false, true}) {
    SCOPED_TRACE(shuffled ? "shuffled" : "in order");
    TempDir dir;
    auto [pages, tree] = test::index_tree(dir.path() / "prefix.mdb");
    IndexWriter& index = *tree;
    // The group's byte comes first: keys of two groups share no prefix at all.
    auto key = [](int group, int number) {
      KeyBytes k(48, 'K');
      k[0] = static_cast<uint8_t>(group);
      for (int shift = 24; shift >= 0; shift -= 8) k.push_back(static_cast<uint8_t>(number >> shift));
      return k;
    };
    uint32_t row = 1;
    auto put = [&](int group, int number) { index.insert(key(group, number), row++ << 8); };
    std::vector<int> numbers(3000);
    for (int n = 0; n < 3000; ++n) numbers[n] = n;
    if (shuffled) std::shuffle(numbers.begin(), numbers.end(), std::mt19937(17));
    for (int n : numbers) put(1, n);
    put(0, 0);
    put(2, 0);
    EXPECT_NO_THROW(index.flush());  // encoding a page that overflows throws
    std::vector<KeyBytes> seen;
    index.for_each([&](Entry e) { seen.emplace_back(e.begin(), e.end() - 4); });
    ASSERT_EQ(seen.size(), 3002u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.front(), key(0, 0));
    EXPECT_EQ(seen.back(), key(2, 0));
  }
}

}  // namespace
}  // namespace halvaro::jet
