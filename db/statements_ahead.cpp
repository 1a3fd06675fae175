#include "db/statements_ahead.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "db/item_query.h"
#include "db/item_view.h"
#include "db/recordset.h"
#include "db/row_index.h"

namespace halvaro::db {

// Where a value of an item query is found for a master row not yet copied: a column
// of the master query, or, for a value of the destination's row, the value the copy
// step will write there (value_written, converted as the column takes it).
// That value is known for certain only once the row is stored; a guess that differs
// from it only costs an evaluation, since its text is never asked for.
struct StatementsAhead::AheadValue {
  std::optional<size_t> column;              // of the master query
  const FieldEntry* entry = nullptr;         // a destination value: the entry that writes it
  const jet::Column* destination = nullptr;  // and its column

  FieldValue of(const ResultView& masters, size_t row) const {
    if (!entry) return masters.value(row, *column);
    // A master that is not stored has its items read here, and listed.
    return value_stored(*entry, column ? &masters.value(row, *column) : nullptr, *destination).value_or(FieldValue{});
  }
};

void StatementsAhead::stage_opened(const Stage& stage) {
  stage_ = &stage;
  items_queued_until_ = 0;
  next_stage_queued_ = false;
}

void StatementsAhead::items_after_current(const std::vector<QueryPiece>& pieces) {
  try {
    queue_items(pieces);
  } catch (const std::exception&) {
    // A master row that cannot be read now is met again when its turn comes, and its
    // error belongs there.
    items_queued_until_ = SIZE_MAX;
  }
}

// The texts are built as BuildItemQuery builds them, and the source gives a result only
// for the very text asked for: a text that differed would only be evaluated again.
void StatementsAhead::queue_items(const std::vector<QueryPiece>& pieces) {
  static constexpr size_t kAhead = 64;
  if (state_.Con_Source.State() != 1) return;
  Store& source = state_.Con_Source.store();
  if (!source.reads_ahead()) return;
  const size_t row = state_.rsSourceMtr.AbsolutePosition();
  if (items_queued_until_ > row + kAhead / 2) return;
  std::shared_ptr<const ResultView> masters = state_.rsSourceMtr.snapshot();
  if (!masters) return;
  std::vector<AheadValue> values;
  for (const QueryPiece& piece : pieces) {
    AheadValue value;
    if (piece.is_value) {
      std::optional<AheadValue> found;
      if (piece.from == RowOf::SourceMaster) {
        if (std::optional<size_t> column = column_named(*masters, piece.text)) found = AheadValue{column};
      } else {
        found = stored_master_value(*masters, piece.text);
      }
      if (!found) return;
      value = *found;
    }
    values.push_back(value);
  }
  const size_t from = std::max(items_queued_until_, row + 1);
  const size_t to = std::min(row + 1 + kAhead, masters->row_count());
  std::vector<std::string> texts;
  for (size_t r = from; r < to; ++r) {
    auto value_of = [&](const QueryPiece& piece) {
      return values[size_t(&piece - pieces.data())].of(*masters, r);
    };
    texts.push_back(item_query_text(pieces, value_of, nullptr));
  }
  items_queued_until_ = std::max(items_queued_until_, to);
  source.read_ahead(std::move(texts));
  if (to == masters->row_count()) next_stage();
}

std::optional<StatementsAhead::AheadValue> StatementsAhead::stored_master_value(const ResultView& masters,
                                                                                std::string_view name) const {
  if (!stage_ || state_.rsDestinationMtr.State() != 1 || state_.Con_Destination.State() != 1) return std::nullopt;
  const std::string table = state_.rsDestinationMtr.target_name();
  if (table.empty()) return std::nullopt;
  AheadValue value;
  value.entry = entry_writing(stage_->mapping, name);
  if (!value.entry) return std::nullopt;
  if (!value.entry->source.empty()) {
    value.column = column_named(masters, value.entry->source);
    if (!value.column) return std::nullopt;
  }
  value.destination = state_.Con_Destination.store().table(table).definition().find_column(value.entry->destination);
  if (!value.destination) return std::nullopt;
  return value;
}

// Taking a statement drops those queued before it, so the next stage's go in only once
// nothing of this stage is left to queue. A stage without items writes few rows and
// opens no item queries, so the stages after it go in as well, up to the first one with
// items: the helper reads that stage's masters and item view while the short stages
// before it run, and that stage opens without evaluating them itself.
void StatementsAhead::next_stage() {
  if (next_stage_queued_ || !stage_) return;
  next_stage_queued_ = true;
  if (state_.Con_Source.State() != 1) return;
  Store& source = state_.Con_Source.store();
  if (!source.reads_ahead()) return;
  std::vector<const Stage*>& queued = state_.read_ahead_stages;
  try {
    std::vector<std::string> texts;
    for (const Stage* next = stage_after(*stage_); next; next = stage_after(*next)) {
      if (std::find(queued.begin(), queued.end(), next) == queued.end()) {
        queued.push_back(next);
        texts.push_back(source_statement(next->source));
        if (next->detail) texts.push_back(item_view_statement(*next->detail));
      }
      if (next->detail) break;
    }
    source.read_ahead(std::move(texts));
  } catch (const std::exception&) {
    // The next stage evaluates its own statements.
  }
}

// The stage after `stage` in the run's order: the next of its group, else the first of
// the next group that has stages.
const Stage* StatementsAhead::stage_after(const Stage& stage) const {
  const std::vector<const Group*>& run = state_.run_order;
  const std::vector<const Group*> alone{&group_};
  const auto& order = std::find(run.begin(), run.end(), &group_) != run.end() ? run : alone;
  bool found = false;
  for (const Group* group : order)
    for (const Stage& each : group->stages) {
      if (found) return &each;
      found = &each == &stage;
    }
  return nullptr;
}

}  // namespace halvaro::db
