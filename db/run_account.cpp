#include "db/run_account.h"

#include <cmath>
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

// What happened to one source row: its events, each with the master row whose item
// query found it (items). Nearly every row has one event, kept without an allocation.
struct RowTrail {
  struct Step {
    const RowEvent* event = nullptr;
    size_t master_row = 0;
  };
  Step first;
  std::vector<Step> more;

  void add(const RowEvent* event, size_t master_row) {
    if (!first.event)
      first = {event, master_row};
    else
      more.push_back({event, master_row});
  }
  template <class F>
  void each(F&& f) const {
    if (first.event) f(first);
    for (const Step& step : more) f(step);
  }
};

bool empty_or_null(const FieldValue& v) { return v.is_null() || (v.is<std::string>() && v.as<std::string>().empty()); }

// Whether an item's value passes the condition a master's value put into its item query.
bool passes(const FieldValue& item, const FieldValue& master) {
  if (master.is_null()) return empty_or_null(item);
  if (item.is_null()) return false;
  return sql::compare_folded(text_form(item), text_form(master)) == 0;
}

std::optional<DateTime> date_of(const FieldValue& v) {
  if (v.is<DateTime>()) return v.as<DateTime>();
  if (v.is<std::string>()) return parse_date(v.as<std::string>());
  return std::nullopt;
}

// Why no master's item query found an item: the first compared value, in the query's
// order, that no remaining master has.
std::string unreached_item_reason(const ResultView& view, size_t row, const std::vector<QueryPiece>& query,
                                  const std::vector<ItemVisit>& visits) {
  std::vector<const ItemVisit*> candidates;
  for (const ItemVisit& visit : visits) candidates.push_back(&visit);
  std::vector<std::string> matched;
  size_t piece_index = 0;
  for (const QueryPiece& piece : query) {
    if (!piece.is_value) continue;
    const size_t key = piece_index++;
    auto column = column_named(view, piece.item_column);
    if (!column) continue;
    const FieldValue& value = view.value(row, *column);
    std::vector<const ItemVisit*> next;
    for (const ItemVisit* visit : candidates)
      if (key < visit->key.size() && passes(value, visit->key[key])) next.push_back(visit);
    if (next.empty()) {
      std::string name(piece.item_column);
      if (auto day = date_of(value)) {
        for (const ItemVisit* visit : candidates) {
          auto other = key < visit->key.size() ? date_of(visit->key[key]) : std::nullopt;
          if (other && std::floor(other->days) == std::floor(day->days))
            return "no master reaches it: the time of day differs (" + name + " " + text_form(value) +
                   ", its master's " + text_form(visit->key[key]) + ")";
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

std::string row_numbers(const std::vector<size_t>& rows) {
  std::string out;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (i) out += i + 1 == rows.size() ? " and " : ", ";
    out += std::to_string(rows[i] + 1);
  }
  return out;
}

using TotalsKey = std::tuple<std::string, std::string, size_t>;  // claimant, period, source

class Accountant {
 public:
  Accountant(const RowLedger& ledger, Store& source) : ledger_(ledger), source_(source) {}

  void add_group(const Group& group) {
    bool stopped_before = false;
    for (const Stage& stage : group.stages) {
      const StageLedger* entry = ledger_.stage(stage);
      // A stage that never opened belongs to a group that stopped before it.
      const bool stopped = stopped_before || !entry || entry->stopped;
      stopped_before = stopped;
      add_masters(stage, entry, stopped);
      if (stage.detail) add_items(stage, entry, stopped);
    }
  }

  RunAccount finish() {
    for (auto& [key, lines] : totals_)
      for (TotalLine& line : lines) account_.totals.push_back(std::move(line));
    return std::move(account_);
  }

 private:
  std::shared_ptr<const ResultView> read(SourceAccount& out, const std::string& query) {
    try {
      return source_.select(query);
    } catch (const std::exception& error) {
      out.read = false;
      out.read_error = error.what();
      return nullptr;
    }
  }

  void add_masters(const Stage& stage, const StageLedger* entry, bool stopped) {
    SourceAccount out{std::string(stage.facts.name), std::string(stage.label)};
    std::shared_ptr<const ResultView> rows = entry && entry->masters ? entry->masters : read(out, std::string(stage.source));
    if (!rows) {
      account_.sources.push_back(std::move(out));
      return;
    }
    std::vector<RowTrail> trails(rows->row_count());
    if (entry && entry->masters) {
      for (size_t row = 0; row < trails.size() && row < entry->master_events.size(); ++row)
        for (const RowEvent& event : entry->master_events[row]) trails[row].add(&event, row);
    }
    account_rows(out, *rows, stage.facts, trails, [&](size_t) {
      return std::string(stopped ? kStoppedBefore : "not reached by the run");
    });
  }

  void add_items(const Stage& stage, const StageLedger* entry, bool stopped) {
    const DetailCopy& detail = *stage.detail;
    SourceAccount out{std::string(detail.view.name), std::string(stage.label)};
    const SourceRead view = entry && entry->item_view ? *entry->item_view : read_item_view(detail, source_);
    if (!view.rows) {
      out.read = false;
      out.read_error = view.error;
      account_.sources.push_back(std::move(out));
      return;
    }
    const ResultView& rows = *view.rows;
    std::vector<RowTrail> trails(rows.row_count());
    static const std::vector<ItemVisit> kNoVisits;
    const std::vector<ItemVisit>& visits = entry ? entry->visits : kNoVisits;
    if (entry && entry->item_rows) {
      // Matched while the run went on.
      for (const ItemVisit& visit : visits)
        for (size_t e = 0; e < visit.view_rows.size() && e < visit.events.size(); ++e)
          if (visit.view_rows[e]) trails[*visit.view_rows[e]].add(&visit.events[e].second, visit.master_row);
    } else if (!visits.empty()) {
      ViewMatcher matcher(rows);
      for (size_t v = 0; v < visits.size(); ++v) {
        const ItemVisit& visit = visits[v];
        if (!visit.items) continue;
        for (const auto& [item_row, event] : visit.events)
          if (auto target = matcher.match(v, *visit.items, item_row)) trails[*target].add(&event, visit.master_row);
      }
    }
    account_rows(out, rows, detail.view, trails, [&](size_t row) {
      return stopped ? std::string(kStoppedBefore) : unreached_item_reason(rows, row, detail.query, visits);
    });
  }

  void account_rows(SourceAccount& out, const ResultView& rows, const SourceFacts& facts,
                    const std::vector<RowTrail>& trails, const std::function<std::string(size_t)>& unreached) {
    const size_t source_index = account_.sources.size();
    std::vector<std::optional<size_t>> key_columns, summed_columns;
    for (std::string_view name : facts.key) key_columns.push_back(column_named(rows, name));
    for (std::string_view name : facts.summed) summed_columns.push_back(column_named(rows, name));
    const auto claimant = column_named(rows, "StRegNo");
    const auto period = column_named(rows, "TaxPeriod");

    out.rows = rows.row_count();
    std::vector<ExactNumber> source_values, appended_values;
    std::vector<TotalLine>* lines = nullptr;  // of the previous row's claimant and period
    size_t lines_row = 0;
    for (size_t row = 0; row < rows.row_count(); ++row) {
      const RowTrail& trail = trails[row];
      ListedRow listed;
      std::string refused, master_missing;
      std::vector<size_t> appended_by;  // master rows whose item query appended it
      trail.each([&](const RowTrail::Step& step) {
        const RowEvent& event = *step.event;
        if (event.fate == RowFate::Appended) ++listed.times;
        if (event.fate == RowFate::Appended && !trail.more.empty()) appended_by.push_back(step.master_row);
        if (event.fate == RowFate::Refused && refused.empty()) refused = "refused: " + event.reason;
        if (event.fate == RowFate::MasterNotStored) master_missing = "its master was not stored";
      });

      // Sums of this row: as the source holds them, and as appended (once per append).
      source_values.clear();
      appended_values.clear();
      std::string changed;
      for (size_t k = 0; k < summed_columns.size(); ++k) {
        static const FieldValue kNull;
        const FieldValue& source_value = summed_columns[k] ? rows.value(row, *summed_columns[k]) : kNull;
        ExactNumber from = exact_number(source_value).value_or(ExactNumber{}), to{};
        trail.each([&](const RowTrail::Step& step) {
          const RowEvent& event = *step.event;
          if (event.fate != RowFate::Appended || k >= event.stored.size()) return;
          // Most values arrive as they were: no second conversion then.
          to = to + (event.stored[k] == source_value ? from : exact_number(event.stored[k]).value_or(ExactNumber{}));
        });
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
        listed.reason = "moved " + std::to_string(listed.times) + " times: " + std::to_string(listed.times) +
                        " masters reached it (master rows " + row_numbers(appended_by) + ")";
        out.more_than_once.push_back(listed);
      } else {
        listed.reason = !refused.empty() ? refused : !master_missing.empty() ? master_missing : unreached(row);
        out.not_moved.push_back(listed);
      }

      if (summed_columns.empty() || !claimant || !period) continue;
      // Rows mostly come claimant by claimant and period by period.
      if (!lines || !(rows.value(row, *claimant) == rows.value(lines_row, *claimant)) ||
          !(rows.value(row, *period) == rows.value(lines_row, *period))) {
        TotalsKey totals_key{text_form(rows.value(row, *claimant)), text_form(rows.value(row, *period)), source_index};
        auto [at, added] = totals_.try_emplace(totals_key);
        lines = &at->second;
        if (added) {
          for (std::string_view column : facts.summed)
            lines->push_back(
                {std::get<0>(totals_key), std::get<1>(totals_key), out.name, std::string(column), {}, {}, {}});
        }
      }
      lines_row = row;
      for (size_t k = 0; k < summed_columns.size(); ++k) {
        TotalLine& line = (*lines)[k];
        line.source_total = line.source_total + source_values[k];
        line.appended = line.appended + appended_values[k];
        if (is_listed) line.listed = line.listed + (appended_values[k] - source_values[k]);
      }
    }
    account_.sources.push_back(std::move(out));
  }

  const RowLedger& ledger_;
  Store& source_;
  RunAccount account_;
  std::map<TotalsKey, std::vector<TotalLine>> totals_;
};

}  // namespace

std::string ListedRow::key_text() const {
  std::string out;
  for (const auto& [column, value] : key) out += (out.empty() ? "" : ", ") + column + " " + value;
  return out;
}

bool RunAccount::every_row_moved_once() const {
  for (const SourceAccount& source : sources)
    if (!source.read || source.moved != source.rows) return false;
  return true;
}

std::vector<std::string> RunAccount::lines() const {
  std::vector<std::string> out;
  for (const SourceAccount& source : sources) {
    std::string head = source.group + ": " + source.name;
    if (!source.read) out.push_back(head + ": could not be read: " + source.read_error);
    for (const auto* list : {&source.not_moved, &source.more_than_once, &source.changed}) {
      for (const ListedRow& row : *list) {
        std::string what = list == &source.not_moved ? "not moved: " : "";
        out.push_back(head + " [" + row.key_text() + "]: " + what + row.reason);
      }
    }
  }
  return out;
}

RunAccount account_run(const std::vector<const Group*>& groups, const RowLedger& ledger, Store& source) {
  Accountant accountant(ledger, source);
  for (const Group* group : groups) accountant.add_group(*group);
  return accountant.finish();
}

}  // namespace halvaro::db
