#include "db/master_keys.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#include "db/copy_procedure.h"
#include "db/row_index.h"
#include "db/value_text.h"
#include "sql/text_fold.h"

namespace halvaro::db {
namespace {

// A master's value as its item query compares it: null asks for null or empty items,
// any other value for items with the same text, letter case aside.
constexpr std::string_view kNullMark = "\x01";

std::string compared_text(const FieldValue& v) { return "\x02" + sql::fold_case(text_form(v)); }

uint64_t chain(uint64_t before, std::string_view text) {
  uint64_t x = before ^ (std::hash<std::string_view>{}(text) + 0x9e3779b97f4a7c15ull + (before << 6) + (before >> 2));
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdull;
  return x ^ (x >> 33);
}

// `day` is a whole day: its bytes stand for it (formatting it as text cost more than
// the rest of a master's key).
uint64_t day_hash(uint64_t before, double day) {
  char text[4 + sizeof day] = {'d', 'a', 'y', ' '};
  std::memcpy(text + 4, &day, sizeof day);
  return chain(before, std::string_view(text, sizeof text));
}

// The master texts an item's value passes.
std::vector<std::string> passing_texts(const FieldValue& item) {
  if (item.is_null()) return {std::string(kNullMark)};
  if (item.is<std::string>() && item.as<std::string>().empty()) return {std::string(kNullMark), compared_text(item)};
  return {compared_text(item)};
}

std::optional<DateTime> date_of(const FieldValue& v) {
  if (v.is<DateTime>()) return v.as<DateTime>();
  if (v.is<std::string>()) return parse_date(v.as<std::string>());
  return std::nullopt;
}

bool contains(const std::vector<uint64_t>& sorted, uint64_t hash) {
  return std::binary_search(sorted.begin(), sorted.end(), hash);
}

}  // namespace

MasterKeys::MasterKeys(const std::vector<QueryPiece>& query, const ResultView& view, size_t masters)
    : masters_(masters) {
  for (const QueryPiece& piece : query) {
    if (!piece.is_value) continue;
    Piece& kept = pieces_.emplace_back();
    kept.item_column = piece.item_column;
    kept.column = column_named(view, piece.item_column);
  }
}

void MasterKeys::add(const std::vector<FieldValue>& key) {
  uint64_t before = 0;
  for (size_t k = 0; k < pieces_.size() && k < key.size(); ++k) {
    Piece& piece = pieces_[k];
    if (!piece.column) continue;
    const FieldValue& value = key[k];
    if (auto day = value.is_null() ? std::nullopt : date_of(value)) {
      // A date column holds one per master: room for all at once, rather than growing by
      // doubling (which at its peak holds three times the dates). Texts that read as
      // dates are rarer and grow as they come.
      if (piece.days.capacity() == 0 && value.is<DateTime>()) piece.days.reserve(masters_);
      piece.days.emplace_back(day_hash(before, std::floor(day->days)), day->days);
    }
    before = chain(before, value.is_null() ? std::string(kNullMark) : compared_text(value));
    if (piece.few) {
      if (!piece.distinct.insert(before).second) continue;  // kept already: the search needs it once
      if (piece.distinct.size() > kFewPrefixes) {
        // One per master from here on: room for all at once, rather than growing by
        // doubling (which at its peak holds three times the prefixes).
        piece.few = false;
        piece.distinct = {};
        piece.prefixes.reserve(std::max(masters_, piece.prefixes.size() + 1));
      }
    }
    piece.prefixes.push_back(before);
    piece.sorted = false;
  }
}

void MasterKeys::sort() {
  for (Piece& piece : pieces_) {
    if (piece.sorted) continue;
    std::sort(piece.prefixes.begin(), piece.prefixes.end());
    // The first master of a day stands for it, as the masters came.
    std::stable_sort(piece.days.begin(), piece.days.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    piece.sorted = true;
  }
}

std::string MasterKeys::why_unreached(const ResultView& view, size_t row) {
  sort();
  std::vector<uint64_t> candidates{0};  // hashes of the values matched so far
  std::vector<std::string> matched;
  for (const Piece& piece : pieces_) {
    if (!piece.column) continue;
    const FieldValue value = view.value(row, *piece.column);
    std::vector<uint64_t> next;
    for (uint64_t before : candidates)
      for (const std::string& text : passing_texts(value))
        if (uint64_t hash = chain(before, text); contains(piece.prefixes, hash)) next.push_back(hash);
    if (next.empty()) {
      std::string name(piece.item_column);
      if (auto day = date_of(value)) {
        for (uint64_t before : candidates) {
          const uint64_t hash = day_hash(before, std::floor(day->days));
          auto at = std::lower_bound(piece.days.begin(), piece.days.end(), hash,
                                     [](const auto& entry, uint64_t h) { return entry.first < h; });
          if (at != piece.days.end() && at->first == hash)
            return "no master reaches it: the time of day differs (" + name + " " + text_form(value) +
                   ", its master's " + text_form(FieldValue(DateTime{at->second})) + ")";
        }
      }
      std::string reason = "no master reaches it: no master has " + name + " " +
                           (value.is_null() ? std::string("null") : "\"" + text_form(value) + "\"");
      if (!matched.empty()) {
        reason += " with the same ";
        for (size_t i = 0; i < matched.size(); ++i) reason += (i ? ", " : "") + matched[i];
      }
      return reason;
    }
    candidates = std::move(next);
    matched.emplace_back(piece.item_column);
  }
  return "no master reaches it: its master's item query did not find it";
}

}  // namespace halvaro::db
