#include "db/row_index.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <system_error>
#include <tuple>

#include "jet/base/temporary_file.h"
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

RowIndex::Entry RowIndex::entry_of(const ResultView& view, size_t row) {
  const RowFingerprint print = fingerprint(view, row);
  return {print.high, print.low, uint32_t(row)};
}

bool RowIndex::before(const Entry& a, const Entry& b) {
  return std::tie(a.high, a.low, a.row) < std::tie(b.high, b.low, b.row);
}

RowIndex::RowIndex(const ResultView& view, size_t memory_rows, size_t run_rows) : count_(view.row_count()) {
  if (count_ > std::numeric_limits<uint32_t>::max()) throw std::length_error("too many rows to account for");
  if (count_ > memory_rows) {
    spill(view, std::max<size_t>(run_rows, 1));
    return;
  }
  entries_.reserve(count_);
  for (size_t row = 0; row < count_; ++row) entries_.push_back(entry_of(view, row));
  std::sort(entries_.begin(), entries_.end(), before);
}

RowIndex::~RowIndex() = default;

namespace {
// `error` clear: the file ended before what was written to it.
std::runtime_error index_file_error(const char* what, const std::error_code& error) {
  return std::runtime_error(std::string(what) + " the account's temporary index: " +
                            (error ? error.message() : "it ends early"));
}
}  // namespace

// Sorted runs of run_rows entries each go to the file one after another; merging them
// writes the whole index after the last run.
void RowIndex::spill(const ResultView& view, size_t run_rows) {
  file_ = jet::open_temporary_file("halvaro-index");
  std::vector<size_t> run_starts;
  std::vector<Entry> run;
  run.reserve(std::min(run_rows, count_));
  for (size_t start = 0; start < count_; start += run_rows) {
    run.clear();
    for (size_t row = start; row < std::min(count_, start + run_rows); ++row) run.push_back(entry_of(view, row));
    std::sort(run.begin(), run.end(), before);
    std::error_code error;
    if (!file_.write_at(run.data(), run.size() * sizeof(Entry), start * sizeof(Entry), error))
      throw index_file_error("cannot write", error);
    run_starts.push_back(start);
  }
  merge(run_starts);
}

void RowIndex::merge(const std::vector<size_t>& run_starts) {
  constexpr size_t kBuffered = 4096;  // entries read or written at a time (64 KiB)
  struct Run {
    size_t next, end;           // entries of the run not yet buffered
    std::vector<Entry> buffer;  // the run's next entries
    size_t at = 0;
  };
  std::vector<Run> runs;
  for (size_t r = 0; r < run_starts.size(); ++r)
    runs.push_back({run_starts[r], r + 1 < run_starts.size() ? run_starts[r + 1] : count_, {}});
  auto refill = [&](Run& run) {
    run.buffer.resize(std::min(kBuffered, run.end - run.next));
    run.at = 0;
    std::error_code error;
    const size_t size = run.buffer.size() * sizeof(Entry);
    if (file_.read_at(run.buffer.data(), size, run.next * sizeof(Entry), error) != size)
      throw index_file_error("cannot read", error);
    run.next += run.buffer.size();
  };
  // A heap of the runs by their next entry, the least on top.
  auto later = [&](size_t a, size_t b) { return before(runs[b].buffer[runs[b].at], runs[a].buffer[runs[a].at]); };
  std::vector<size_t> heap;
  for (size_t r = 0; r < runs.size(); ++r) {
    refill(runs[r]);
    if (!runs[r].buffer.empty()) heap.push_back(r);
  }
  std::make_heap(heap.begin(), heap.end(), later);

  data_at_ = count_ * sizeof(Entry);
  block_firsts_.reserve(count_ / kBlockRows + 1);
  std::vector<Entry> out;
  out.reserve(kBuffered);
  uint64_t written = 0;
  auto write_out = [&] {
    std::error_code error;
    if (!file_.write_at(out.data(), out.size() * sizeof(Entry), data_at_ + written, error))
      throw index_file_error("cannot write", error);
    written += out.size() * sizeof(Entry);
    out.clear();
  };
  for (size_t n = 0; !heap.empty(); ++n) {
    std::pop_heap(heap.begin(), heap.end(), later);
    Run& run = runs[heap.back()];
    const Entry& least = run.buffer[run.at];
    if (n % kBlockRows == 0) block_firsts_.push_back(least.print());
    out.push_back(least);
    if (out.size() == kBuffered) write_out();
    if (++run.at == run.buffer.size()) {
      if (run.next < run.end) refill(run);
      else run.buffer.clear();
    }
    if (run.buffer.empty()) heap.pop_back();
    else std::push_heap(heap.begin(), heap.end(), later);
  }
  if (!out.empty()) write_out();
}

const RowIndex::Entry& RowIndex::entry(size_t n) {
  if (!file_.is_open()) return entries_[n];
  const size_t block = n / kBlockRows;
  if (block != loaded_block_) {
    const size_t first = block * kBlockRows;
    block_.resize(std::min(kBlockRows, count_ - first));
    std::error_code error;
    const size_t size = block_.size() * sizeof(Entry);
    if (file_.read_at(block_.data(), size, data_at_ + first * sizeof(Entry), error) != size)
      throw index_file_error("cannot read", error);
    loaded_block_ = block;
  }
  return block_[n % kBlockRows];
}

// The first entry whose fingerprint is not below `print` (count_ when none).
size_t RowIndex::lower_bound(const RowFingerprint& print) {
  auto below = [](const Entry& entry, const RowFingerprint& p) { return entry.print() < p; };
  if (!file_.is_open()) return size_t(std::lower_bound(entries_.begin(), entries_.end(), print, below) - entries_.begin());
  // Blocks before `block` start below `print`: the first entry not below it is in the
  // block before, or starts `block`.
  const size_t block = size_t(std::lower_bound(block_firsts_.begin(), block_firsts_.end(), print) - block_firsts_.begin());
  if (block == 0) return 0;
  entry((block - 1) * kBlockRows);  // loads the block
  const size_t in_block = size_t(std::lower_bound(block_.begin(), block_.end(), print, below) - block_.begin());
  return (block - 1) * kBlockRows + in_block;
}

std::optional<RowIndex::Group> RowIndex::find(const ResultView& other, size_t row, const std::vector<size_t>& columns) {
  const RowFingerprint print = fingerprint(other, row, &columns);
  Group group{lower_bound(print), 0};
  while (group.first + group.size < count_ && entry(group.first + group.size).print() == print) ++group.size;
  if (group.size == 0) return std::nullopt;
  return group;
}

ViewMatcher::ViewMatcher(const ResultView& view, size_t memory_rows) : view_(view), memory_rows_(memory_rows) {
  for (size_t c = 0; c < view.column_count(); ++c) view_columns_.push_back(view.column_name(c));
  bool in_order = !view.origin().empty();
  for (size_t row = 0; in_order && row < view.row_count(); ++row) in_order = view.origin_row(row) == row;
  if (in_order) in_order_from_ = view.origin();
  else index_.emplace(view, memory_rows);
}

std::optional<size_t> ViewMatcher::match(size_t visit, const ResultView& items, size_t row) {
  if (!in_order_from_.empty() && items.origin() == in_order_from_) {
    auto position = items.origin_row(row);
    if (position && *position < view_.row_count()) return position;
    return std::nullopt;
  }
  return match_by_values(visit, items, row);
}

std::optional<size_t> ViewMatcher::match_by_values(size_t visit, const ResultView& items, size_t row) {
  if (!index_) index_.emplace(view_, memory_rows_);
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
  auto group = index_->find(items, row, columns_);
  if (!group) return std::nullopt;
  if (group->size == 1) return index_->row(*group, 0);
  auto& [seen_visit, used] = taken_[group->first];
  if (seen_visit != visit + 1) seen_visit = visit + 1, used = 0;
  return index_->row(*group, used++ % group->size);
}

}  // namespace halvaro::db
