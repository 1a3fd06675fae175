// Where full index pages split. Keys that rise within groups which arrive interleaved
// (each claimant's and period's invoices) must not leave the index mostly empty pages:
// the file would grow by as much, and every page is written and read again.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "jet/pages/page_bytes.h"
#include "jet/writer/checker.h"
#include "jet/writer/database_writer.h"
#include "sql/create_script.h"
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

// Writes the rows (group, number) in the order given into a fresh file and returns its
// index's leaves, once the checker has found every entry where it belongs.
Leaves write_rows(const TempDir& dir, const std::string& name, const std::vector<std::pair<int, int>>& rows) {
  const auto file = dir.path() / (name + ".mdb");
  const auto script = dir.path() / (name + ".sql");
  std::ofstream(script) << "CREATE TABLE T (G TEXT(20), N LONG, Note TEXT(40));\n"
                           "CREATE INDEX ByGroup ON T (G, N);\n";
  sql::script::create_database(file, script);
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
  // Full pages split in half fill to about two thirds when the groups' keys arrive
  // in turn (86 pages against 60 here). Cutting a full page just before the new key
  // of a group, tempting for such runs, fills the lower page at once with the tails of
  // the other groups it holds and gives more pages, some next to empty.
  EXPECT_LT(mixed.count * 10, in_order.count * 16) << mixed.count << " leaves against " << in_order.count;
  EXPECT_EQ(mixed.nearly_empty, 0u);
  EXPECT_EQ(in_order.nearly_empty, 0u);
}

}  // namespace
}  // namespace halvaro::jet
