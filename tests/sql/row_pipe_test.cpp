// Rows decoded on a helper thread reach the inserting thread whole and in order, and a
// failure on either side stops both without losing the error.

#include "sql/row_pipe.h"
#include "tests/sql/print_value.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>

namespace halvaro::sql {
namespace {

// Hands each row of a batch `columns` values wide to `visit`.
RowsVisitor each_row(size_t columns, const std::function<void(std::span<const FieldValue>)>& visit) {
  return [columns, visit](std::span<const FieldValue> values) {
    ASSERT_TRUE(!values.empty() && values.size() % columns == 0) << values.size();
    for (size_t at = 0; at < values.size(); at += columns) visit(values.subspan(at, columns));
  };
}

TEST(RowPipe, HandsOverEveryRowInOrderAcrossBatchesAndPadsShortRows) {
  const auto caller = std::this_thread::get_id();
  bool produced_elsewhere = false;
  const int64_t rows = 5000;  // several batches, the last one partly filled
  auto produce = [&](const RowVisitor& visit) {
    produced_elsewhere = std::this_thread::get_id() != caller;
    for (int64_t r = 0; r < rows; ++r) {
      std::vector<FieldValue> row{FieldValue(r), FieldValue("row " + std::to_string(r)), FieldValue(r * 2)};
      if (r % 7 == 0) row.resize(1);  // a shorter row: its last columns read as null
      visit(row);
    }
  };
  int64_t seen = 0;
  pipe_rows(3, produce, each_row(3, [&](std::span<const FieldValue> values) {
    ASSERT_EQ(values[0], FieldValue(seen));
    if (seen % 7 == 0) {
      EXPECT_TRUE(values[1].is_null());
      EXPECT_TRUE(values[2].is_null());
    } else {
      EXPECT_EQ(values[1], FieldValue("row " + std::to_string(seen)));
      EXPECT_EQ(values[2], FieldValue(seen * 2));
    }
    ++seen;
  }));
  EXPECT_EQ(seen, rows);
  EXPECT_TRUE(produced_elsewhere);
}

// Long texts: the decoder runs ahead by a few mebibytes, not by a few batches of rows.
TEST(RowPipe, LongValuesKeepLittleInFlight) {
  std::atomic<int> produced{0};
  const std::string long_text(256 * 1024, 'x');
  auto produce = [&](const RowVisitor& visit) {
    for (int r = 0; r < 400; ++r, ++produced) visit(std::vector<FieldValue>{FieldValue(long_text)});
  };
  int consumed = 0;
  int ahead_when_slow = 0;
  pipe_rows(1, produce, each_row(1, [&](std::span<const FieldValue> values) {
    if (consumed++ == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the decoder fills what it may
      ahead_when_slow = produced.load();
    }
    ASSERT_EQ(values[0].as<std::string>().size(), long_text.size());
  }));
  EXPECT_EQ(consumed, 400);
  EXPECT_LE(ahead_when_slow, 24);  // four rows a batch, three batches in flight and one filling
}

TEST(RowPipe, AFailureOnEitherSideReachesTheCallerAndStopsTheOtherSide) {
  // The decoder fails after some rows: the caller gets its error.
  int64_t consumed = 0;
  auto failing_decoder = [](const RowVisitor& visit) {
    for (int64_t r = 0; r < 2000; ++r) visit(std::vector<FieldValue>{FieldValue(r)});
    throw std::runtime_error("page 812 is damaged");
  };
  try {
    pipe_rows(1, failing_decoder, each_row(1, [&](std::span<const FieldValue>) { ++consumed; }));
    FAIL() << "the decoder's error was lost";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "page 812 is damaged");
  }
  EXPECT_LE(consumed, 2000);

  // The inserting side fails: the decoder stops instead of reading the whole table.
  int64_t produced = 0;
  auto endless = [&](const RowVisitor& visit) {
    for (int64_t r = 0; r < 10'000'000; ++r, ++produced) visit(std::vector<FieldValue>{FieldValue(r)});
  };
  EXPECT_THROW(pipe_rows(1, endless,
                         each_row(1,
                                  [](std::span<const FieldValue> values) {
                                    if (values[0] == FieldValue(int64_t{100})) throw std::runtime_error("disk full");
                                  })),
               std::runtime_error);
  EXPECT_LT(produced, 10'000);
}

}  // namespace
}  // namespace halvaro::sql
