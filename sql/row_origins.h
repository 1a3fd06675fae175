#pragma once
// Where each row of a result came from, when a statement reads one table or saved
// query row by row: the row's position in that relation. Positions are kept as runs of
// consecutive ones, so a result that reads its relation in order costs a few bytes
// however many rows it has.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace halvaro::sql {

class RowOrigins {
 public:
  // The position of the result's next row.
  void add(uint64_t position);
  // The position of a row of the result (nullopt past the rows added).
  std::optional<uint64_t> of(size_t row) const;
  size_t size() const { return rows_; }

 private:
  struct Run {
    size_t first_row;
    uint64_t first_position;
  };
  std::vector<Run> runs_;  // a run ends where the next begins, the last at rows_
  size_t rows_ = 0;
};

}  // namespace halvaro::sql
