#include <gtest/gtest.h>

#include "db/row_index.h"

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

}  // namespace
}  // namespace halvaro::test
