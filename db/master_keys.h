#pragma once
// The values each master's item query compared, kept so that an item no query found can
// be told why: for each value piece, a hash of every master's values up to that piece,
// and for dates also of the day alone. At most eight bytes per piece and master, whatever
// the values, and one search per piece to explain a row.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "db/store.h"

namespace halvaro::db {

struct QueryPiece;

class MasterKeys {
 public:
  // The item query's pieces, the item view whose rows are to be explained, and how many
  // masters are expected (room for them is made at once in a piece that keeps one
  // prefix per master).
  MasterKeys(const std::vector<QueryPiece>& query, const ResultView& view, size_t masters = 0);

  // One master's item query: the values it compared, in the order of the value pieces.
  void add(const std::vector<FieldValue>& key);

  // Why no master's item query found row `row` of the view: the first compared value,
  // in the query's order, that no master with the same earlier values has.
  std::string why_unreached(const ResultView& view, size_t row);

 private:
  struct Piece {
    std::string_view item_column;
    std::optional<size_t> column;  // in the view; without it the piece is passed over
    // A hash per master of its values up to here, each kept once while the piece has
    // few distinct ones (the leading values, such as the claimant and the period, repeat
    // from master to master), one per master past that.
    std::vector<uint64_t> prefixes;
    std::unordered_set<uint64_t> distinct;  // the prefixes kept, while they are few
    bool few = true;
    std::vector<std::pair<uint64_t, double>> days;   // the values before it and its day: its date
    bool sorted = true;
  };
  // Distinct prefixes a piece keeps one of each before it keeps one per master.
  static constexpr size_t kFewPrefixes = 4096;
  void sort();

  std::vector<Piece> pieces_;  // one per value piece
  size_t masters_ = 0;         // expected
};

}  // namespace halvaro::db
