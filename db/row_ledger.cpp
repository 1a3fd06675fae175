#include "db/row_ledger.h"

#include <limits>
#include <system_error>
#include <utility>

#include "db/copy_procedure.h"
#include "db/errors.h"
#include "db/run_account.h"

namespace halvaro::db {
namespace {

// Where each summed column is among a result's columns.
std::vector<std::optional<size_t>> summed_columns(const ResultView& view, const std::vector<std::string_view>& summed) {
  std::vector<std::optional<size_t>> out;
  for (std::string_view name : summed) out.push_back(column_named(view, name));
  return out;
}

// Whether every stored summed value is the value of `row` as the source holds it.
bool as_source(const RowEvent& event, const ResultView* rows, size_t row,
               const std::vector<std::optional<size_t>>& columns) {
  if (event.fate != RowFate::Appended) return true;
  if (event.stored.size() != columns.size()) return false;
  for (size_t k = 0; k < event.stored.size(); ++k) {
    static const FieldValue kNull;
    const FieldValue& source =
        rows && k < columns.size() && columns[k] ? rows->value(row, *columns[k]) : kNull;
    if (!(event.stored[k] == source)) return false;
  }
  return true;
}

}  // namespace

std::shared_ptr<const ResultView> RowLedger::Unreadable::select(const std::string&) {
  throw DbError(ErrorCode::Unspecified, "the source was not read while the stage ran");
}
AppendTable& RowLedger::Unreadable::table(std::string_view) {
  throw DbError(ErrorCode::ReadOnly, "Cannot update. Database or object is read-only.");
}

void RowMarks::record(size_t row, size_t master_row, const RowEvent& event, bool as_source) {
  if (row >= marks.size()) return;
  RowMark& mark = marks[row];
  switch (event.fate) {
    case RowFate::Appended: {
      if (mark.appended == 0) mark.first_master = uint32_t(master_row);
      else if (mark.appended == 1) notes[row].appended_by = {mark.first_master, master_row};
      else if (mark.appended > 1) notes[row].appended_by.push_back(master_row);
      if (mark.appended < std::numeric_limits<uint16_t>::max()) ++mark.appended;
      if (!as_source) notes[row].changed.push_back(event.stored);
      break;
    }
    case RowFate::Refused:
      if (!mark.refused) notes[row].refused = event.reason;
      mark.refused = true;
      break;
    case RowFate::MasterNotStored:
      mark.master_not_stored = true;
      break;
  }
}

void RowMarks::take_back(size_t row, bool as_source, const std::string& why) {
  if (row >= marks.size() || marks[row].appended == 0) return;
  RowMark& mark = marks[row];
  --mark.appended;
  if (auto found = notes.find(row); found != notes.end()) {
    RowNotes& note = found->second;
    if (!note.appended_by.empty()) note.appended_by.pop_back();
    if (note.appended_by.size() == 1) note.appended_by.clear();  // one append left: its mark says whose
    if (!as_source && !note.changed.empty()) note.changed.pop_back();
  }
  if (!mark.lost) notes[row].lost = why;
  mark.lost = true;
}

StageLedger& RowLedger::ledger_of(const Stage& stage) {
  if (open_ != &stage) {
    close_open_stage(nullptr);
    open_ = &stage;
  }
  return ledger_;
}

void RowLedger::close_open_stage(Store* source) {
  uncommitted_.clear();
  if (!open_) return;
  // The account reads the marks, not the matcher: its index goes before the account
  // reads the views again.
  ledger_.matcher.reset();
  ledger_.items.reset();
  // A stage that stopped before its rows were read is read again at the end.
  const bool unread = !ledger_.masters || (open_->detail && !ledger_.item_view);
  if (unread && !source) {
    pending_.emplace(open_, std::move(ledger_));
  } else if (source) {
    keep_account(*open_, account_stage(*open_, &ledger_, ledger_.stopped, *source));
  } else {
    account_aside(*open_, std::move(ledger_));
  }
  open_ = nullptr;
  ledger_ = StageLedger{};
}

// A stage that opened again: its latest account stands.
void RowLedger::keep_account(const Stage& stage, StageAccount account) {
  accounting_.erase(&stage);
  accounted_[&stage] = std::move(account);
}

void RowLedger::account_aside(const Stage& stage, StageLedger ledger) {
  // The account lets go of the stage's rows as soon as it is done with them, not when
  // it is taken at the end of the run.
  auto account = [&stage, &unreadable = unreadable_,
                  held = std::make_shared<StageLedger>(std::move(ledger))]() mutable {
    StageAccount out = account_stage(stage, held.get(), held->stopped, unreadable);
    held.reset();
    return out;
  };
  accounted_.erase(&stage);
  try {
    accounting_[&stage] = std::async(std::launch::async, account);
  } catch (const std::system_error&) {
    keep_account(stage, account());  // no thread to be had: account for it here
  }
}

void RowLedger::stage_opened(const Stage& stage, std::shared_ptr<const ResultView> masters) {
  close_open_stage(nullptr);
  StageLedger& ledger = ledger_of(stage);
  ledger.master_rows.marks.assign(masters ? masters->row_count() : 0, {});
  if (masters) ledger.master_summed = summed_columns(*masters, stage.facts.summed);
  ledger.masters = std::move(masters);
}

void RowLedger::item_view_read(const Stage& stage, SourceRead view) {
  // The account of the stage before may still be running beside: the run does not wait
  // for it here. Its marks and this stage's are held at once for as long as it takes,
  // just after a commit has let go of the writer's pages, when the run holds least.
  StageLedger& ledger = ledger_of(stage);
  if (view.rows && stage.detail) {
    ledger.matcher = std::make_unique<ViewMatcher>(*view.rows);
    ledger.master_keys = std::make_unique<MasterKeys>(stage.detail->query, *view.rows,
                                                      ledger.masters ? ledger.masters->row_count() : 0);
    ledger.item_rows.marks.assign(view.rows->row_count(), {});
  }
  ledger.item_view = std::move(view);
}

void RowLedger::master_event(const Stage& stage, size_t row, RowEvent event) {
  StageLedger& ledger = ledger_of(stage);
  const bool unchanged = as_source(event, ledger.masters.get(), row, ledger.master_summed);
  ledger.master_rows.record(row, row, event, unchanged);
  if (event.fate == RowFate::Appended) uncommitted_.push_back({uint32_t(row), false, unchanged});
}

std::shared_ptr<const ResultView> RowLedger::items_opened(const Stage& stage, size_t master_row,
                                                         const std::vector<FieldValue>& key,
                                                         std::shared_ptr<const ResultView> items) {
  StageLedger& ledger = ledger_of(stage);
  ++ledger.visits;
  ledger.visit_master_row = master_row;
  if (ledger.master_keys) ledger.master_keys->add(key);
  if (items && stage.detail) {
    // Item queries of a stage give the same columns: find them again only when they differ.
    const bool same = ledger.items && ledger.items->column_count() == items->column_count();
    if (!same) ledger.items_summed = summed_columns(*items, stage.detail->view.summed);
  }
  return std::exchange(ledger.items, std::move(items));
}

void RowLedger::item_event(const Stage& stage, size_t row, RowEvent event) {
  StageLedger& ledger = ledger_of(stage);
  if (ledger.visits == 0 || !ledger.matcher || !ledger.items) return;
  auto view_row = ledger.matcher->match(ledger.visits - 1, *ledger.items, row);
  if (!view_row) return;  // not a row of the view: nothing of the view's to account for
  // The item's row and its view row agree in every summed column, so the item's own
  // values stand for the source's.
  const bool unchanged = as_source(event, ledger.items.get(), row, ledger.items_summed);
  ledger.item_rows.record(*view_row, ledger.visit_master_row, event, unchanged);
  if (event.fate == RowFate::Appended) uncommitted_.push_back({uint32_t(*view_row), true, unchanged});
}

void RowLedger::group_stopped(const Group& /*group*/, const Stage* current, const std::string& description) {
  if (!current) return;
  StageLedger& ledger = ledger_of(*current);
  ledger.stopped = true;
  ledger.stop_reason = description;
}

void RowLedger::rolled_back(const std::string& description) {
  for (auto it = uncommitted_.rbegin(); it != uncommitted_.rend(); ++it)
    (it->item ? ledger_.item_rows : ledger_.master_rows).take_back(it->row, it->as_source, description);
  uncommitted_.clear();
}

const StageLedger* RowLedger::stage(const Stage& stage) const { return open_ == &stage ? &ledger_ : nullptr; }

void RowLedger::finish(Store& source) {
  close_open_stage(&source);
  for (auto& [stage, ledger] : pending_) keep_account(*stage, account_stage(*stage, &ledger, ledger.stopped, source));
  pending_.clear();
}

void RowLedger::settle() {
  for (auto& [stage, account] : accounting_) account.wait();
}

std::optional<StageAccount> RowLedger::take_account(const Stage& stage) {
  if (auto aside = accounting_.find(&stage); aside != accounting_.end()) {
    std::future<StageAccount> account = std::move(aside->second);
    accounting_.erase(aside);
    return account.get();
  }
  auto found = accounted_.find(&stage);
  if (found == accounted_.end()) return std::nullopt;
  StageAccount account = std::move(found->second);
  accounted_.erase(found);
  return account;
}

}  // namespace halvaro::db
