#include "sql/row_origins.h"

#include <algorithm>

namespace halvaro::sql {

void RowOrigins::add(uint64_t position) {
  const bool continues =
      !runs_.empty() && runs_.back().first_position + (rows_ - runs_.back().first_row) == position;
  if (!continues) runs_.push_back({rows_, position});
  ++rows_;
}

std::optional<uint64_t> RowOrigins::of(size_t row) const {
  if (row >= rows_) return std::nullopt;
  // The last run starting at or before the row.
  auto after = std::upper_bound(runs_.begin(), runs_.end(), row,
                                [](size_t r, const Run& run) { return r < run.first_row; });
  const Run& run = *(after - 1);
  return run.first_position + (row - run.first_row);
}

}  // namespace halvaro::sql
