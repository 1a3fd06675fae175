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

}  // namespace
}  // namespace halvaro::test
