#include "db/run_account.h"

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <tuple>

#include "db/errors.h"
#include "db/item_view.h"
#include "db/row_index.h"
#include "db/value_text.h"
#include "sql/text_fold.h"

namespace halvaro::db {
namespace {

constexpr const char* kStoppedBefore = "the group stopped before reaching it";

std::string row_numbers(const std::vector<size_t>& rows) {
  std::string out;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (i) out += i + 1 == rows.size() ? " and " : ", ";
    out += std::to_string(rows[i] + 1);
  }
  return out;
}

// Appended `times` over: the sum of as many appends of the same value.
ExactNumber times(const ExactNumber& value, size_t count) {
  ExactNumber sum{};
  for (size_t i = 0; i < count; ++i) sum = sum + value;
  return sum;
}

std::shared_ptr<const ResultView> read(SourceAccount& out, Store& source, const std::string& query) {
  try {
    return source.select(query);
  } catch (const std::exception& error) {
    out.read = false;
    out.read_error = error.what();
    return nullptr;
  }
}

// Goes through a source's rows in order with their marks, listing each row that did not
// move exactly once with every value, and summing the totals.
void account_rows(SourceAccount& out, SourceTotals& totals, const ResultView& rows, const SourceFacts& facts,
                  const RowMarks* marks, const std::function<std::string(size_t)>& unreached) {
  std::vector<std::optional<size_t>> key_columns, summed_columns;
  for (std::string_view name : facts.key) key_columns.push_back(column_named(rows, name));
  for (std::string_view name : facts.summed) summed_columns.push_back(column_named(rows, name));
  const auto claimant = column_named(rows, "StRegNo");
  const auto period = column_named(rows, "TaxPeriod");

  out.rows = rows.row_count();
  std::vector<FieldValue> source_row;  // the summed values (a view's value lasts until its next read)
  std::vector<ExactNumber> source_values, appended_values;
  std::vector<TotalLine>* lines = nullptr;  // of the previous row's claimant and period
  std::pair<FieldValue, FieldValue> lines_of;
  for (size_t row = 0; row < rows.row_count(); ++row) {
    const RowMark mark = marks && row < marks->marks.size() ? marks->marks[row] : RowMark{};
    const RowNotes* notes = nullptr;
    if (marks && !marks->notes.empty()) {
      auto found = marks->notes.find(row);
      if (found != marks->notes.end()) notes = &found->second;
    }
    ListedRow listed;
    listed.times = mark.appended;

    // Sums of this row: as the source holds them, and as appended (once per append).
    source_row.clear();
    source_values.clear();
    appended_values.clear();
    std::string changed;
    const size_t changed_appends = notes ? notes->changed.size() : 0;
    for (size_t k = 0; k < summed_columns.size(); ++k) {
      source_row.push_back(summed_columns[k] ? rows.value(row, *summed_columns[k]) : FieldValue{});
      const ExactNumber from = exact_number(source_row[k]).value_or(ExactNumber{});
      ExactNumber to = times(from, listed.times - std::min<size_t>(listed.times, changed_appends));
      for (size_t a = 0; a < changed_appends; ++a) {
        const std::vector<FieldValue>& stored = notes->changed[a];
        if (k >= stored.size()) continue;
        to = to + (stored[k] == source_row[k] ? from : exact_number(stored[k]).value_or(ExactNumber{}));
      }
      if (listed.times == 1 && !(from == to) && changed.empty())
        changed = "moved, but " + std::string(facts.summed[k]) + " arrived as " + to_string(to) + " instead of " +
                  to_string(from);
      source_values.push_back(from);
      appended_values.push_back(to);
    }

    const bool is_listed = listed.times != 1 || !changed.empty();
    if (is_listed) {
      for (size_t k = 0; k < key_columns.size(); ++k)
        if (key_columns[k])
          listed.key.emplace_back(std::string(facts.key[k]), text_form(rows.value(row, *key_columns[k])));
    }
    if (!is_listed) {
      ++out.moved;
    } else if (listed.times == 1) {
      listed.reason = changed;
      out.changed.push_back(listed);
    } else if (listed.times > 1) {
      const std::vector<size_t> appended_by = notes ? notes->appended_by : std::vector<size_t>{};
      listed.reason = "moved " + std::to_string(listed.times) + " times: " + std::to_string(listed.times) +
                      " masters reached it (master rows " + row_numbers(appended_by) + ")";
      out.more_than_once.push_back(listed);
    } else {
      listed.reason = mark.refused             ? "refused: " + (notes ? notes->refused : std::string())
                      : mark.master_not_stored ? std::string("its master was not stored")
                      : mark.lost ? "stored, then undone when a write failed: " + (notes ? notes->lost : std::string())
                                  : unreached(row);
      out.not_moved.push_back(listed);
    }

    if (summed_columns.empty() || !claimant || !period) continue;
    // Rows mostly come claimant by claimant and period by period.
    FieldValue row_claimant = rows.value(row, *claimant);
    FieldValue row_period = rows.value(row, *period);
    if (!lines || !(row_claimant == lines_of.first) || !(row_period == lines_of.second)) {
      std::pair<std::string, std::string> key{text_form(row_claimant), text_form(row_period)};
      auto [at, added] = totals.try_emplace(key);
      lines = &at->second;
      if (added) {
        for (std::string_view column : facts.summed)
          lines->push_back({key.first, key.second, out.name, std::string(column), {}, {}, {}});
      }
      lines_of = {std::move(row_claimant), std::move(row_period)};
    }
    for (size_t k = 0; k < summed_columns.size(); ++k) {
      TotalLine& line = (*lines)[k];
      line.source_total = line.source_total + source_values[k];
      line.appended = line.appended + appended_values[k];
      if (is_listed) line.listed = line.listed + (appended_values[k] - source_values[k]);
    }
  }
}

void add_masters(StageAccount& account, const Stage& stage, StageLedger* entry, bool stopped, Store& source) {
  SourceAccount out{std::string(stage.facts.name), std::string(stage.label)};
  const bool ran = entry && entry->masters;
  std::shared_ptr<const ResultView> rows = ran ? entry->masters : read(out, source, std::string(stage.source));
  SourceTotals totals;
  if (rows) {
    account_rows(out, totals, *rows, stage.facts, ran ? &entry->master_rows : nullptr, [&](size_t) {
      return std::string(stopped ? kStoppedBefore : "not reached by the run");
    });
  }
  account.sources.push_back(std::move(out));
  account.totals.push_back(std::move(totals));
}

void add_items(StageAccount& account, const Stage& stage, StageLedger* entry, bool stopped, Store& source) {
  const DetailCopy& detail = *stage.detail;
  SourceAccount out{std::string(detail.view.name), std::string(stage.label)};
  SourceTotals totals;
  const bool ran = entry && entry->item_view;
  const SourceRead view = ran ? *entry->item_view : read_item_view(detail, source);
  if (!view.rows) {
    out.read = false;
    out.read_error = view.error;
  } else {
    const ResultView& rows = *view.rows;
    std::unique_ptr<MasterKeys> no_masters;
    MasterKeys* keys = ran ? entry->master_keys.get() : nullptr;
    if (!keys) keys = (no_masters = std::make_unique<MasterKeys>(detail.query, rows)).get();
    account_rows(out, totals, rows, detail.view, ran ? &entry->item_rows : nullptr, [&](size_t row) {
      return stopped ? std::string(kStoppedBefore) : keys->why_unreached(rows, row);
    });
  }
  account.sources.push_back(std::move(out));
  account.totals.push_back(std::move(totals));
}

}  // namespace

bool RunAccount::every_row_moved_once() const {
  for (const SourceAccount& source : sources)
    if (!source.read || source.moved != source.rows) return false;
  return base.error.empty() && base.not_read() == 0;
}

void RunAccount::add_base(BaseAccount account) {
  base = std::move(account);
  totals.insert(totals.end(), std::make_move_iterator(base.totals.begin()), std::make_move_iterator(base.totals.end()));
  base.totals.clear();
  // Each claimant and period together, the tables' lines after the views'.
  std::stable_sort(totals.begin(), totals.end(), [](const TotalLine& a, const TotalLine& b) {
    return std::tie(a.claimant, a.period) < std::tie(b.claimant, b.period);
  });
}

std::vector<std::string> RunAccount::lines() const {
  std::vector<std::string> out;
  size_t shown = 0;
  for (const SourceAccount& source : sources) {
    std::string head = source.group + ": " + source.name;
    if (!source.read) out.push_back(head + ": could not be read: " + source.read_error);
    for (const auto* list : {&source.not_moved, &source.more_than_once, &source.changed}) {
      const bool not_moved = list == &source.not_moved;
      size_t i = 0;
      for (; i < list->size() && shown < kRowsShown; ++i, ++shown) {
        const ListedRow row = (*list)[i];
        out.push_back(head + " [" + row.key_text() + "]: " + (not_moved ? "not moved: " : "") + row.reason);
      }
      if (i == list->size()) continue;
      const char* what = not_moved                         ? "not moved"
                         : list == &source.more_than_once ? "moved more than once"
                                                          : "moved with a changed value";
      out.push_back(head + ": " + std::to_string(list->size() - i) + " more rows " + what + " are not shown here");
    }
  }
  base.lines(out, shown, kRowsShown);
  return out;
}

bool RunAccount::all_rows_shown() const {
  size_t listed = 0;
  for (const SourceAccount& source : sources)
    listed += source.not_moved.size() + source.more_than_once.size() + source.changed.size();
  return listed + base.not_read() <= kRowsShown;
}

StageAccount account_stage(const Stage& stage, StageLedger* entry, bool stopped, Store& source) {
  StageAccount account;
  add_masters(account, stage, entry, stopped, source);
  if (stage.detail) add_items(account, stage, entry, stopped, source);
  return account;
}

RunAccount account_run(const std::vector<const Group*>& groups, RowLedger& ledger, Store& source) {
  ledger.finish(source);
  RunAccount run;
  // Totals by claimant and period, then by source in run order.
  std::map<std::tuple<std::string, std::string, size_t>, std::vector<TotalLine>> totals;
  for (const Group* group : groups) {
    for (const Stage& stage : group->stages) {
      std::optional<StageAccount> account = ledger.take_account(stage);
      // A stage that never opened belongs to a group that stopped before it.
      if (!account) account = account_stage(stage, nullptr, true, source);
      for (size_t s = 0; s < account->sources.size(); ++s) {
        const size_t index = run.sources.size();
        run.sources.push_back(std::move(account->sources[s]));
        for (auto& [key, lines] : account->totals[s]) totals[{key.first, key.second, index}] = std::move(lines);
      }
    }
  }
  for (auto& [key, lines] : totals)
    for (TotalLine& line : lines) run.totals.push_back(std::move(line));
  return run;
}

}  // namespace halvaro::db
