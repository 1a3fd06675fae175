#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>

#include "db/row_index.h"
#include "tests/support/temporary_folder.h"

namespace halvaro::test {
namespace {

using db::ResultTable;
using Rows = std::vector<std::vector<FieldValue>>;

// A view with two identical rows; queries on it name its columns in another order and
// case and carry columns the view was not read with.
struct ViewMatcherTest : ::testing::Test {
  ResultTable view{{"No", "Line", "Amount"},
                   Rows{{"O1", 1, Currency{50000}}, {"O2", 1, Currency{70000}}, {"O1", 1, Currency{50000}}}};
  db::ViewMatcher matcher{view};
  static ResultTable found(Rows rows) { return ResultTable({"Extra", "amount", "LINE", "no"}, std::move(rows)); }
};

TEST_F(ViewMatcherTest, RowsAreFoundByTheirValuesWhateverTheQuerysColumnOrder) {
  ResultTable items = found({{"x", Currency{70000}, 1, "O2"}, {"x", Currency{70000}, 2, "O2"}});
  EXPECT_EQ(matcher.match(0, items, 0), std::optional<size_t>(1));
  EXPECT_EQ(matcher.match(0, items, 1), std::nullopt);  // no such line in the view
}

TEST_F(ViewMatcherTest, IdenticalRowsAreToldApartByTheOrderEachQueryFoundThem) {
  ResultTable both = found({{"a", Currency{50000}, 1, "O1"}, {"b", Currency{50000}, 1, "O1"}});
  EXPECT_EQ(matcher.match(0, both, 0), std::optional<size_t>(0));
  EXPECT_EQ(matcher.match(0, both, 1), std::optional<size_t>(2));
  // A later query that finds them again starts from the first: a row found twice is
  // counted twice, not moved on to a row nobody found.
  EXPECT_EQ(matcher.match(1, both, 1), std::optional<size_t>(0));
  EXPECT_EQ(matcher.match(1, both, 0), std::optional<size_t>(2));
}

// Rows are told apart exactly as their values compare: equal values share a fingerprint,
// values of different types or columns in another order do not.
TEST(RowFingerprint, FollowsTheValuesEquality) {
  ResultTable rows({"a", "b"}, Rows{{0.0, "x"},
                                    {-0.0, "x"},
                                    {int64_t{0}, "x"},
                                    {"x", 0.0},
                                    {Currency{0}, "x"},
                                    {DateTime{0}, "x"},
                                    {FieldValue{}, "x"},
                                    {"", "x"}});
  EXPECT_EQ(db::fingerprint(rows, 0), db::fingerprint(rows, 1));
  for (size_t a = 1; a < rows.row_count(); ++a)
    for (size_t b = a + 1; b < rows.row_count(); ++b)
      EXPECT_NE(db::fingerprint(rows, a), db::fingerprint(rows, b)) << a << " " << b;
}

// A view of 3,000 rows: most are alike with a few others, one value repeats 700 times
// (a group that spans blocks of the file), and the rest are unique.
ResultTable many_rows() {
  Rows rows;
  for (int i = 0; i < 3000; ++i) {
    if (i % 4 == 0) rows.push_back({"same", 1});
    else if (i % 4 == 1) rows.push_back({"pair", int64_t(i % 97)});
    else rows.push_back({"one", int64_t(i)});
  }
  return ResultTable({"a", "b"}, std::move(rows));
}

// Whatever holds the index (memory, or a file merged from many runs), each row's group
// is every row with its values, in the view's order: checked against grouping the
// values themselves, which shares no code with the index.
TEST(RowIndex, FindsEveryRowsEqualsInMemoryAndOnDisk) {
  const ResultTable view = many_rows();
  std::map<std::pair<std::string, int64_t>, std::vector<size_t>> alike;
  for (size_t row = 0; row < view.row_count(); ++row)
    alike[{view.value(row, 0).as<std::string>(), view.value(row, 1).as<int64_t>()}].push_back(row);
  const std::vector<size_t> columns{0, 1};
  for (auto [memory_rows, run_rows] : {std::pair<size_t, size_t>{1 << 20, 1}, {0, 100}, {100, 3000}, {0, 1}}) {
    db::RowIndex index(view, memory_rows, run_rows);
    EXPECT_EQ(index.on_disk(), memory_rows < view.row_count());
    for (size_t row = 0; row < view.row_count(); row += 7) {
      const auto& expected = alike[{view.value(row, 0).as<std::string>(), view.value(row, 1).as<int64_t>()}];
      auto group = index.find(view, row, columns);
      ASSERT_TRUE(group) << row;
      ASSERT_EQ(group->size, expected.size()) << row;
      for (size_t n = 0; n < expected.size(); ++n) EXPECT_EQ(index.row(*group, n), expected[n]) << row;
    }
    ResultTable absent({"a", "b"}, Rows{{"none", 1}, {"one", int64_t(3000)}});
    EXPECT_FALSE(index.find(absent, 0, columns));
    EXPECT_FALSE(index.find(absent, 1, columns));
  }
}

TEST(RowIndex, AMissingTemporaryFolderIsReportedByName) {
  const test::TemporaryFolderSetting temporary(test::missing_folder());
  try {
    db::RowIndex index(many_rows(), 10);
    ADD_FAILURE() << "expected an error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(test::missing_folder().string()), std::string::npos) << e.what();
  }
}

// Identical rows are told apart as in memory when the index waits on disk.
TEST(ViewMatcher, TellsIdenticalRowsApartWithTheIndexOnDisk) {
  const ResultTable view = many_rows();
  db::ViewMatcher matcher(view, 0);
  ResultTable found({"b", "a"}, Rows{{1, "same"}, {1, "same"}, {int64_t(2), "one"}});
  EXPECT_EQ(matcher.match(0, found, 0), std::optional<size_t>(0));
  EXPECT_EQ(matcher.match(0, found, 1), std::optional<size_t>(4));
  EXPECT_EQ(matcher.match(0, found, 2), std::optional<size_t>(2));
  EXPECT_EQ(matcher.match(1, found, 0), std::optional<size_t>(0));
}

// Rows read from a relation, each knowing its position there.
class FromRelation final : public db::ResultView {
 public:
  FromRelation(std::string origin, std::vector<size_t> positions, ResultTable rows)
      : origin_(std::move(origin)), positions_(std::move(positions)), rows_(std::move(rows)) {}
  size_t column_count() const override { return rows_.column_count(); }
  const std::string& column_name(size_t column) const override { return rows_.column_name(column); }
  size_t row_count() const override { return rows_.row_count(); }
  const FieldValue& value(size_t row, size_t column) const override { return rows_.value(row, column); }
  std::string_view origin() const override { return origin_; }
  std::optional<size_t> origin_row(size_t row) const override { return positions_.at(row); }

 private:
  std::string origin_;
  std::vector<size_t> positions_;
  ResultTable rows_;
};

// The view of ViewMatcherTest, read in order from relation "e1.q1".
FromRelation view_in_order() {
  return {"e1.q1", {0, 1, 2},
          ResultTable({"No", "Line", "Amount"},
                      Rows{{"O1", 1, Currency{50000}}, {"O2", 1, Currency{70000}}, {"O1", 1, Currency{50000}}})};
}

TEST(ViewMatcher, ItemsOfTheViewsOwnRelationNameTheirRowsEvenAmongIdenticalOnes) {
  const FromRelation view = view_in_order();
  db::ViewMatcher matcher(view);
  const ResultTable identical({"Extra", "amount", "LINE", "no"}, Rows{{"b", Currency{50000}, 1, "O1"}});
  const FromRelation last_only("e1.q1", {2}, identical);
  // The third row, though the first has the same values and was not found yet; and
  // found again by a later query, the same row again.
  EXPECT_EQ(matcher.match(0, last_only, 0), std::optional<size_t>(2));
  EXPECT_EQ(matcher.match(1, last_only, 0), std::optional<size_t>(2));
  EXPECT_EQ(matcher.match(2, FromRelation("e1.q1", {3}, identical), 0), std::nullopt);  // past the view
  EXPECT_FALSE(matcher.indexed());

  // Items of another relation, or of none, are matched by their values.
  EXPECT_EQ(matcher.match(3, FromRelation("e2.q1", {2}, identical), 0), std::optional<size_t>(0));
  EXPECT_TRUE(matcher.indexed());
  const ResultTable plain({"No", "Line", "Amount"}, Rows{{"O2", 1, Currency{70000}}});
  EXPECT_EQ(matcher.match(4, plain, 0), std::optional<size_t>(1));
}

// A view whose rows are not its relation's in order (read sorted, or filtered) cannot be
// matched by position: its rows are matched by their values from the start.
TEST(ViewMatcher, AViewNotReadInOrderIsMatchedByValues) {
  const FromRelation reordered("e1.q1", {0, 2, 1},
                               ResultTable({"No", "Line", "Amount"}, Rows{{"O1", 1, Currency{50000}},
                                                                          {"O2", 1, Currency{70000}},
                                                                          {"O1", 1, Currency{50000}}}));
  db::ViewMatcher matcher(reordered);
  EXPECT_TRUE(matcher.indexed());
  const FromRelation second("e1.q1", {1},
                            ResultTable({"No", "Line", "Amount"}, Rows{{"O2", 1, Currency{70000}}}));
  EXPECT_EQ(matcher.match(0, second, 0), std::optional<size_t>(1));  // by its values, not position 1 (an O1 row)
}

}  // namespace
}  // namespace halvaro::test
