#include "db/row_index.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>
#include <tuple>

#include "sql/text_fold.h"

namespace halvaro::db {
namespace {

// The two hashes: a 64-bit mix of each value's std::hash, and FNV-1a over each value's
// bytes (folded to 32 bits).
struct Hasher {
  uint64_t mixed = 0x9e3779b97f4a7c15ull;
  uint64_t fnv = 0xcbf29ce484222325ull;

  static uint64_t mix(uint64_t x) {  // the finaliser of MurmurHash3
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdull;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ull;
    return x ^ (x >> 33);
  }
  void bytes(const void* data, size_t size, uint64_t tag) {
    const auto* p = static_cast<const unsigned char*>(data);
    fnv = (fnv ^ tag) * 0x100000001b3ull;
    for (size_t i = 0; i < size; ++i) fnv = (fnv ^ p[i]) * 0x100000001b3ull;
    const uint64_t h = std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(p), size));
    mixed = mix(mixed ^ (h + tag * 0x9e3779b97f4a7c15ull));
  }
  template <class T>
  void plain(const T& x, uint64_t tag) {
    bytes(&x, sizeof x, tag);
  }
  // Equal values must hash alike: -0.0 equals 0.0.
  void number(double x, uint64_t tag) { plain(x == 0 ? 0.0 : x, tag); }

  void value(const FieldValue& v) {
    const uint64_t tag = v.value.index() + 1;
    std::visit(
        [&](const auto& x) {
          using T = std::decay_t<decltype(x)>;
          if constexpr (std::is_same_v<T, std::monostate>) plain(uint8_t{0}, tag);
          else if constexpr (std::is_same_v<T, std::string>) bytes(x.data(), x.size(), tag);
          else if constexpr (std::is_same_v<T, double>) number(x, tag);
          else if constexpr (std::is_same_v<T, DateTime>) number(x.days, tag);
          else if constexpr (std::is_same_v<T, Currency>) plain(x.scaled, tag);
          else if constexpr (std::is_same_v<T, bool>) plain(uint8_t{x}, tag);
          else if constexpr (std::is_same_v<T, Decimal>) {
            const uint64_t parts[3] = {uint64_t(x.unscaled), uint64_t(x.unscaled >> 64), x.scale};
            plain(parts, tag);
          } else if constexpr (std::is_same_v<T, Guid>) plain(x.bytes, tag);
          else if constexpr (std::is_same_v<T, Binary>) bytes(x.data(), x.size(), tag);
          else plain(x, tag);  // whole numbers
        },
        v.value);
  }
  RowFingerprint result() const { return {mix(mixed), uint32_t(fnv ^ (fnv >> 32))}; }
};

}  // namespace

std::optional<size_t> column_named(const ResultView& view, std::string_view name) {
  for (size_t c = 0; c < view.column_count(); ++c)
    if (sql::compare_folded(view.column_name(c), name) == 0) return c;
  return std::nullopt;
}

RowFingerprint fingerprint(const ResultView& view, size_t row, const std::vector<size_t>* columns) {
  Hasher hasher;
  const size_t count = columns ? columns->size() : view.column_count();
  for (size_t c = 0; c < count; ++c) hasher.value(view.value(row, columns ? (*columns)[c] : c));
  return hasher.result();
}

RowIndex::RowIndex(const ResultView& view) {
  if (view.row_count() > std::numeric_limits<uint32_t>::max())
    throw std::length_error("too many rows to account for");
  entries_.reserve(view.row_count());
  for (size_t row = 0; row < view.row_count(); ++row) {
    const RowFingerprint print = fingerprint(view, row);
    entries_.push_back({print.high, print.low, uint32_t(row)});
  }
  std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
    return std::tie(a.high, a.low, a.row) < std::tie(b.high, b.low, b.row);
  });
}

std::optional<size_t> RowIndex::find(const ResultView& other, size_t row, const std::vector<size_t>& columns) const {
  const RowFingerprint print = fingerprint(other, row, &columns);
  auto at = std::lower_bound(entries_.begin(), entries_.end(), print,
                             [](const Entry& entry, const RowFingerprint& p) { return entry.print() < p; });
  if (at == entries_.end() || at->print() != print) return std::nullopt;
  return size_t(at - entries_.begin());
}

size_t RowIndex::size(size_t group) const {
  size_t end = group + 1;
  while (end < entries_.size() && entries_[end].print() == entries_[group].print()) ++end;
  return end - group;
}

ViewMatcher::ViewMatcher(const ResultView& view) : index_(view) {
  for (size_t c = 0; c < view.column_count(); ++c) view_columns_.push_back(view.column_name(c));
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
      for (size_t c = 0; c < view_columns_.size(); ++c)
        columns_.push_back(column_named(items, view_columns_[c]).value_or(c));
    }
  }
  auto group = index_.find(items, row, columns_);
  if (!group) return std::nullopt;
  const size_t size = index_.size(*group);
  if (size == 1) return index_.row(*group, 0);
  auto& [seen_visit, used] = taken_[*group];
  if (seen_visit != visit + 1) seen_visit = visit + 1, used = 0;
  return index_.row(*group, used++ % size);
}

}  // namespace halvaro::db
