#include "db/row_index.h"

#include <functional>

#include "sql/text_fold.h"

namespace halvaro::db {
namespace {

size_t hash_value(const FieldValue& v) {
  return std::visit(
      [](const auto& x) -> size_t {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::string>) return std::hash<std::string>{}(x);
        else if constexpr (std::is_same_v<T, int64_t>) return std::hash<int64_t>{}(x);
        else if constexpr (std::is_same_v<T, double>) return std::hash<double>{}(x);
        else if constexpr (std::is_same_v<T, Currency>) return std::hash<int64_t>{}(x.scaled);
        else if constexpr (std::is_same_v<T, DateTime>) return std::hash<double>{}(x.days);
        else if constexpr (std::is_same_v<T, bool>) return x ? 3 : 5;
        else if constexpr (std::is_same_v<T, Decimal>) return std::hash<int64_t>{}(int64_t(x.unscaled)) + x.scale;
        else return 7;  // null, Guid, binary: equality decides
      },
      v.value);
}

}  // namespace

std::optional<size_t> column_named(const ResultView& view, std::string_view name) {
  for (size_t c = 0; c < view.column_count(); ++c)
    if (sql::compare_folded(view.column_name(c), name) == 0) return c;
  return std::nullopt;
}

RowIndex::RowIndex(const ResultView& view) : view_(view), next_in_group_(view.row_count(), kNone) {
  head_.reserve(view.row_count());
  for (size_t row = 0; row < view.row_count(); ++row) {
    auto [at, added] = head_.try_emplace(hash_row(view, row, nullptr), groups_.size());
    size_t group = added ? kNone : at->second;
    for (; group != kNone; group = groups_[group].next_with_hash) {
      if (same_row(view, row, nullptr, groups_[group].first)) break;
    }
    if (group == kNone) {
      groups_.push_back({row, row, 1, added ? kNone : at->second});
      at->second = groups_.size() - 1;
    } else {
      next_in_group_[groups_[group].last] = row;
      groups_[group].last = row;
      ++groups_[group].size;
    }
  }
}

std::optional<size_t> RowIndex::find(const ResultView& other, size_t row, const std::vector<size_t>& columns) const {
  auto found = head_.find(hash_row(other, row, &columns));
  if (found == head_.end()) return std::nullopt;
  for (size_t group = found->second; group != kNone; group = groups_[group].next_with_hash)
    if (same_row(other, row, &columns, groups_[group].first)) return group;
  return std::nullopt;
}

size_t RowIndex::row(size_t group, size_t n) const {
  size_t at = groups_[group].first;
  while (n-- > 0) at = next_in_group_[at];
  return at;
}

// Column (*columns)[c] of `view` stands for column c of the whole view (all of it when
// columns is null).
size_t RowIndex::hash_row(const ResultView& view, size_t row, const std::vector<size_t>* columns) const {
  size_t h = 0;
  for (size_t c = 0; c < view_.column_count(); ++c)
    h = h * 1000003u ^ (hash_value(view.value(row, columns ? (*columns)[c] : c)) + c);
  return h;
}

bool RowIndex::same_row(const ResultView& other, size_t row, const std::vector<size_t>* columns, size_t mine) const {
  for (size_t c = 0; c < view_.column_count(); ++c)
    if (!(other.value(row, columns ? (*columns)[c] : c) == view_.value(mine, c))) return false;
  return true;
}

std::optional<size_t> ViewMatcher::match(size_t visit, const ResultView& items, size_t row) {
  if (visit != columns_visit_) {
    columns_visit_ = visit;
    bool same_columns = names_.size() == items.column_count();
    for (size_t c = 0; same_columns && c < names_.size(); ++c) same_columns = names_[c] == items.column_name(c);
    if (!same_columns) {
      names_.clear();
      for (size_t c = 0; c < items.column_count(); ++c) names_.push_back(items.column_name(c));
      columns_.clear();
      for (size_t c = 0; c < view_.column_count(); ++c)
        columns_.push_back(column_named(items, view_.column_name(c)).value_or(c));
    }
  }
  auto group = index_.find(items, row, columns_);
  if (!group) return std::nullopt;
  if (index_.size(*group) == 1) return index_.row(*group, 0);
  auto& [seen_visit, used] = taken_[*group];
  if (seen_visit != visit + 1) seen_visit = visit + 1, used = 0;
  return index_.row(*group, used++ % index_.size(*group));
}

}  // namespace halvaro::db
