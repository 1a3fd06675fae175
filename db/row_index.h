#pragma once
// Finding the row of a whole view that a row of a query on the view stands for.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "db/store.h"
#include "platform/file.h"

namespace halvaro::db {

// The column of `view` named `name`, without regard to case.
std::optional<size_t> column_named(const ResultView& view, std::string_view name);

// A row's values reduced to 96 bits by two unrelated hash functions. Among the ten
// million rows a 2 GB file can hold, two different rows share a fingerprint with a
// chance below 10^-15, so equal fingerprints are taken for equal rows: an index then
// needs 16 bytes per row and never reads a row back.
struct RowFingerprint {
  uint64_t high = 0;
  uint32_t low = 0;
  auto operator<=>(const RowFingerprint&) const = default;
};

// The fingerprint of `row` of `view` over the columns `columns` (all, in order, when null).
RowFingerprint fingerprint(const ResultView& view, size_t row, const std::vector<size_t>* columns = nullptr);

// Rows of a view with the same values in every column are one group; identical rows
// are told apart by their order. Built in one pass over the view, which it does not keep.
// Its entries are 16 bytes per row; past `memory_rows` rows they are sorted in runs and
// merged into a temporary file, and only the first fingerprint of every block of the
// file stays in memory, so that a view of millions of rows costs a few hundred KiB and
// one block read per lookup.
class RowIndex {
 public:
  static constexpr size_t kMemoryRows = size_t(1) << 20;  // 16 MiB of entries
  static constexpr size_t kRunRows = size_t(1) << 18;     // sorted in memory at a time
  static constexpr size_t kBlockRows = 256;               // one read: 4 KiB

  explicit RowIndex(const ResultView& view, size_t memory_rows = kMemoryRows, size_t run_rows = kRunRows);
  ~RowIndex();
  RowIndex(const RowIndex&) = delete;
  RowIndex& operator=(const RowIndex&) = delete;

  // The rows equal to a row: where they start among the entries, and how many.
  struct Group {
    size_t first = 0;
    size_t size = 0;
  };
  // The group of rows equal to `row` of `other`, whose column columns[c] is view column c.
  // Throws std::runtime_error when the temporary file cannot be read.
  std::optional<Group> find(const ResultView& other, size_t row, const std::vector<size_t>& columns);
  // The n-th row of a group, in the view's order.
  size_t row(const Group& group, size_t n) { return entry(group.first + n).row; }
  bool on_disk() const { return file_.is_open(); }

 private:
  // The fingerprint's parts side by side with the row: 16 bytes, where a RowFingerprint
  // member (padded to 16 on its own) would make 24.
  struct Entry {
    uint64_t high;
    uint32_t low;
    uint32_t row;
    RowFingerprint print() const { return {high, low}; }
  };
  static_assert(sizeof(Entry) == 16);
  static Entry entry_of(const ResultView& view, size_t row);
  static bool before(const Entry& a, const Entry& b);

  void spill(const ResultView& view, size_t run_rows);
  void merge(const std::vector<size_t>& run_starts);
  const Entry& entry(size_t n);
  size_t lower_bound(const RowFingerprint& print);

  size_t count_ = 0;
  std::vector<Entry> entries_;  // in memory: by fingerprint, then row
  // On disk: the entries in the same order from `data_at_`, read a block at a time.
  platform::File file_;
  uint64_t data_at_ = 0;
  std::vector<RowFingerprint> block_firsts_;
  std::vector<Entry> block_;
  size_t loaded_block_ = SIZE_MAX;
};

// Matches the rows that item queries found to the rows of the whole item view, query by
// query (a visit). When the view was read from one relation in order and an item query
// from the same relation, each item row names its view row itself. Otherwise rows are
// matched by their values, through an index: identical rows found by one visit are
// told apart by the order the visit found them.
class ViewMatcher {
 public:
  // The view must outlive the matcher.
  explicit ViewMatcher(const ResultView& view, size_t memory_rows = RowIndex::kMemoryRows);
  // The view row that row `row` of `items` (found by visit number `visit`) stands for.
  std::optional<size_t> match(size_t visit, const ResultView& items, size_t row);
  // Whether rows have been matched by their values (the index was needed).
  bool indexed() const { return index_.has_value(); }

 private:
  std::optional<size_t> match_by_values(size_t visit, const ResultView& items, size_t row);

  const ResultView& view_;
  size_t memory_rows_;
  // The view's relation when view row n is row n of it; empty otherwise.
  std::string in_order_from_;
  std::vector<std::string> view_columns_;
  std::optional<RowIndex> index_;  // built for the first row that names no view row
  std::unordered_map<size_t, std::pair<size_t, size_t>> taken_;  // group's first: visit + 1, rows used
  size_t columns_visit_ = size_t(-1);
  std::vector<std::string> names_;  // the columns of the last visit, as spelled
  std::vector<size_t> columns_;     // and where each view column is among them
};

}  // namespace halvaro::db
