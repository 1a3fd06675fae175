#pragma once
// Finding the row of a whole view that a row of a query on the view stands for.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "db/store.h"

namespace halvaro::db {

// The column of `view` named `name`, without regard to case.
std::optional<size_t> column_named(const ResultView& view, std::string_view name);

// Rows of a view with the same values in every column are one group; identical rows
// are told apart by their order.
class RowIndex {
 public:
  explicit RowIndex(const ResultView& view);

  // The group of rows equal to `row` of `other`, whose column columns[c] is view column c.
  std::optional<size_t> find(const ResultView& other, size_t row, const std::vector<size_t>& columns) const;
  size_t size(size_t group) const { return groups_[group].size; }
  // The n-th row of a group, in the view's order.
  size_t row(size_t group, size_t n) const;

 private:
  static constexpr size_t kNone = size_t(-1);
  struct Group {
    size_t first, last, size, next_with_hash;
  };

  size_t hash_row(const ResultView& view, size_t row, const std::vector<size_t>* columns) const;
  bool same_row(const ResultView& other, size_t row, const std::vector<size_t>* columns, size_t mine) const;

  const ResultView& view_;
  std::unordered_map<size_t, size_t> head_;  // hash: latest group with it
  std::vector<Group> groups_;
  std::vector<size_t> next_in_group_;  // by row
};

// Matches the rows that item queries found to the rows of the whole item view, query by
// query (a visit). Identical rows found by one visit are told apart by the order the
// visit found them; the view must outlive the matcher.
class ViewMatcher {
 public:
  explicit ViewMatcher(const ResultView& view) : view_(view), index_(view) {}
  // The view row that row `row` of `items` (found by visit number `visit`) stands for.
  std::optional<size_t> match(size_t visit, const ResultView& items, size_t row);

 private:
  const ResultView& view_;
  RowIndex index_;
  std::unordered_map<size_t, std::pair<size_t, size_t>> taken_;  // group: visit + 1, rows used
  size_t columns_visit_ = size_t(-1);
  std::vector<std::string> names_;  // the columns of the last visit, as spelled
  std::vector<size_t> columns_;     // and where each view column is among them
};

}  // namespace halvaro::db
