#include "db/row_ledger.h"

namespace halvaro::db {

void RowLedger::stage_opened(const Stage& stage, std::shared_ptr<const ResultView> masters) {
  StageLedger& ledger = stages_[&stage];
  ledger.master_events.assign(masters ? masters->row_count() : 0, {});
  ledger.masters = std::move(masters);
}

void RowLedger::item_view_read(const Stage& stage, SourceRead view) {
  StageLedger& ledger = stages_[&stage];
  ledger.item_rows = view.rows ? std::make_unique<ViewMatcher>(*view.rows) : nullptr;
  ledger.item_view = std::move(view);
}

void RowLedger::master_event(const Stage& stage, size_t row, RowEvent event) {
  StageLedger& ledger = stages_[&stage];
  if (row < ledger.master_events.size()) ledger.master_events[row].push_back(std::move(event));
}

void RowLedger::items_opened(const Stage& stage, size_t master_row, bool master_stored, std::vector<FieldValue> key,
                             std::shared_ptr<const ResultView> items) {
  StageLedger& ledger = stages_[&stage];
  // The previous visit's rows are matched already: only the view is needed from here on.
  if (ledger.item_rows && !ledger.visits.empty()) ledger.visits.back().items.reset();
  ledger.visits.push_back({master_row, master_stored, std::move(key), std::move(items), {}, {}});
}

void RowLedger::item_event(const Stage& stage, size_t row, RowEvent event) {
  StageLedger& ledger = stages_[&stage];
  if (ledger.visits.empty()) return;
  ItemVisit& visit = ledger.visits.back();
  visit.events.emplace_back(row, std::move(event));
  if (!ledger.item_rows) return;
  std::optional<size_t> view_row;
  if (visit.items) view_row = ledger.item_rows->match(ledger.visits.size() - 1, *visit.items, row);
  visit.view_rows.push_back(view_row);
}

void RowLedger::group_stopped(const Group& group, const Stage* current, const std::string& description) {
  stopped_groups_.insert(&group);
  if (!current) return;
  StageLedger& ledger = stages_[current];
  ledger.stopped = true;
  ledger.stop_reason = description;
}

const StageLedger* RowLedger::stage(const Stage& stage) const {
  auto found = stages_.find(&stage);
  return found == stages_.end() ? nullptr : &found->second;
}

}  // namespace halvaro::db
