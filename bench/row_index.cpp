// Builds the account's row index over a view of N generated item rows and looks every
// row up once, in a shuffled order as item queries find them, with the index in memory
// and waiting in a temporary file: the cost of keeping a large view's index on disk.
//   bench_row_index [N]   (default 4,000,000: the largest item view of a million invoices)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>
#include <vector>

#include "db/row_index.h"

using namespace halvaro;
using Clock = std::chrono::steady_clock;

namespace {

// Item-view rows: an invoice number, a line and an amount.
class Items final : public db::ResultView {
 public:
  explicit Items(size_t rows) : rows_(rows) {}
  size_t column_count() const override { return 3; }
  const std::string& column_name(size_t column) const override { return names_[column]; }
  size_t row_count() const override { return rows_; }
  const FieldValue& value(size_t row, size_t column) const override {
    if (column == 0) value_ = FieldValue("INV-" + std::to_string(row / 5));
    else if (column == 1) value_ = FieldValue(int64_t(row % 5 + 1));
    else value_ = FieldValue(Currency{int64_t(row % 977) * 10000});
    return value_;
  }

 private:
  size_t rows_;
  std::vector<std::string> names_{"InvoiceNo", "Line", "Amount"};
  mutable FieldValue value_;
};

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

}  // namespace

int main(int argc, char** argv) {
  const size_t rows = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 4000000;
  const Items view(rows);
  std::vector<size_t> order(rows);
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), std::mt19937_64(17));
  const std::vector<size_t> columns{0, 1, 2};
  std::printf("%-8s %10s %10s %12s\n", "index", "build s", "lookup s", "us per row");
  for (bool on_disk : {false, true}) {
    auto start = Clock::now();
    db::RowIndex index(view, on_disk ? 0 : rows);
    const double build = seconds_since(start);
    start = Clock::now();
    size_t found = 0;
    for (size_t row : order) found += index.row(*index.find(view, row, columns), 0) == row;
    const double lookup = seconds_since(start);
    std::printf("%-8s %10.2f %10.2f %12.2f\n", on_disk ? "file" : "memory", build, lookup,
                (build + lookup) * 1e6 / double(rows));
    if (found != rows) std::printf("  %zu rows were not found as themselves\n", rows - found);
  }
}
