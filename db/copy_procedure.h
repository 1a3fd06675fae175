#pragma once
// The procedure every table transfer follows, driven by a group's description: its
// source and destination texts, its field mappings and, for master/detail groups, the
// pieces of the item query built from each master row.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/transfer_state.h"
#include "jet/tables/table_definition.h"

namespace halvaro::db {

// v, unless v is null or the empty text; then d. A text of blanks, a zero, a date or
// false is kept.
FieldValue ValueOrDefault(const FieldValue& v, const FieldValue& d);

// Closes and reopens Con_Destination (which ends its recordsets and drops a pending new
// row), then closes whichever of the four recordsets is still open.
void CloseRecordSet(TransferState& state);

// One destination column: filled from a source column by ValueOrDefault, or, without a
// source column, set to a constant.
struct FieldEntry {
  std::string_view destination{};
  std::string_view source{};       // empty: `value` is a constant, no column is read
  FieldValue value{};              // the default, or the constant
  std::string_view date_pattern{};  // non-empty: a kept value is stored formatted with it
};

// The value a copy step writes for `entry` from a source row whose column holds `read`
// (null for an entry without a source column): ValueOrDefault of it, formatted with the
// entry's date pattern when it has one and the source is not empty.
FieldValue value_written(const FieldEntry& entry, const FieldValue* read);
// That value as `column` holds it; none when the column refuses it (the row is not stored).
std::optional<FieldValue> value_stored(const FieldEntry& entry, const FieldValue* read, const jet::Column& column);
// The entry of `mapping` that writes `destination_column` (names compared as the query
// layer compares them); null when none does.
const FieldEntry* entry_writing(const std::vector<FieldEntry>& mapping, std::string_view destination_column);

// Which current row an item-query value is read from.
enum class RowOf { SourceMaster, DestinationMaster };

// A piece of an item query: literal text, or the text form of a column's value (with its
// apostrophes doubled, so it stays inside its quotes). A value piece also names the item
// column its condition tests and the expression the condition compares ("cstr(X)"), so
// that a null value can ask for items whose column is null or empty text.
struct QueryPiece {
  std::string_view text;  // the literal, or the column name
  bool is_value = false;
  RowOf from = RowOf::SourceMaster;
  std::string_view item_column{};  // the item view's column the condition tests
  std::string_view compared{};     // the left side as the condition writes it
};
constexpr QueryPiece literal(std::string_view text) { return {text, false, RowOf::SourceMaster}; }
constexpr QueryPiece source_value(std::string_view column, std::string_view item_column,
                                  std::string_view compared = {}) {
  return {column, true, RowOf::SourceMaster, item_column, compared.empty() ? item_column : compared};
}
constexpr QueryPiece saved_value(std::string_view column, std::string_view item_column,
                                 std::string_view compared = {}) {
  return {column, true, RowOf::DestinationMaster, item_column, compared.empty() ? item_column : compared};
}

// How a destination recordset is opened: on `first`, and when `reopen` is given and
// `first` shows rows, closed and opened again on `reopen`.
struct DestinationOpen {
  std::string_view first{};
  int first_lock = adLockOptimistic;
  std::string_view reopen{};
};

// What the account of a run needs of a source: its name, the columns that name one of
// its rows, and the money and quantity columns summed per claimant and tax period.
struct SourceFacts {
  std::string_view name{};
  std::vector<std::string_view> key{};
  std::vector<std::string_view> summed{};  // source column names
};

struct DetailCopy {
  std::vector<QueryPiece> query{};
  DestinationOpen destination{};
  std::vector<FieldEntry> mapping{};
  SourceFacts view{};  // the item view the queries read
};

struct Stage {
  std::string_view label{};  // names the stage in progress and in the list of skipped values
  std::string_view source{};  // the master query
  DestinationOpen destination{};
  std::vector<FieldEntry> mapping{};
  std::optional<DetailCopy> detail{};
  SourceFacts facts{};  // the master query's source
};

struct Group {
  bool recycle_before_each_stage = true;  // CloseRecordSet before every stage
  bool recycle_at_end = false;            // and once more before the success count
  std::vector<Stage> stages{};
};

// Runs one transfer under the error policy: a value that cannot be stored skips only
// the failing step (and is recorded in state.skipped); any other error is reported,
// lowers SuccessCount by 1 and ends the transfer. A transfer that reaches its end adds 1.
void RunTransfer(const Group& group, TransferState& state);

// The item query of the current master row. A null value asks for items whose column is
// null or empty text; every other value is compared as its text. `values` receives the
// values read, in the order of the pieces.
std::string BuildItemQuery(const std::vector<QueryPiece>& pieces, TransferState& state,
                           std::vector<FieldValue>* values = nullptr);

}  // namespace halvaro::db
