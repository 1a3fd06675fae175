#include "db/base_account.h"

#include <map>
#include <optional>

#include "db/errors.h"
#include "db/exact_number.h"
#include "db/value_text.h"
#include "sql/base_rows.h"
#include "sql/text_fold.h"

namespace halvaro::db {
namespace {

constexpr const char* kNotRead = "not read by any view: ";

// The facts of the source (master query or item view) named `name`.
const SourceFacts* facts_named(const std::vector<const Group*>& groups, std::string_view name) {
  for (const Group* group : groups)
    for (const Stage& stage : group->stages) {
      if (sql::compare_folded(stage.facts.name, name) == 0) return &stage.facts;
      if (stage.detail && sql::compare_folded(stage.detail->view.name, name) == 0) return &stage.detail->view;
    }
  return nullptr;
}

class Collector final : public sql::BaseRowVisitor {
 public:
  Collector(const std::vector<const Group*>& groups, BaseAccount& out) : groups_(groups), out_(out) {}

  void table(const sql::BaseTable& table) override {
    BaseTableAccount& account = out_.tables.emplace_back();
    account.name = table.name;
    account.views = table.views;
    account.rows = table.rows;
    account.read_by_views = table.rows;
    // The rows are named and summed as the first view reading the table names its columns.
    key_.clear();
    summed_.clear();
    claimant_.reset();
    period_.reset();
    const SourceFacts* facts = table.views.empty() ? nullptr : facts_named(groups_, table.views[0]);
    const auto& mapped = table.view_columns.empty() ? decltype(table.view_columns)::value_type{} : table.view_columns[0];
    auto column_of = [&](std::string_view view_column) -> std::optional<size_t> {
      for (const auto& [view_name, table_name] : mapped) {
        if (sql::compare_folded(view_name, view_column) != 0) continue;
        for (size_t c = 0; c < table.columns.size(); ++c)
          if (table.columns[c] == table_name) return c;
      }
      return std::nullopt;
    };
    if (facts) {
      for (std::string_view name : facts->key)
        if (auto c = column_of(name)) key_.emplace_back(std::string(name), *c);
      for (std::string_view name : facts->summed)
        if (auto c = column_of(name)) summed_.emplace_back(std::string(name), *c);
    }
    if (key_.empty())
      for (size_t c = 0; c < table.columns.size() && c < 3; ++c) key_.emplace_back(table.columns[c], c);
    claimant_ = column_of("StRegNo");
    period_ = column_of("TaxPeriod");
  }

  void unread(const std::vector<FieldValue>& row, const std::string& reason) override {
    BaseTableAccount& account = out_.tables.back();
    --account.read_by_views;
    ListedRow listed;
    for (const auto& [name, column] : key_) listed.key.emplace_back(name, text_form(row[column]));
    listed.reason = kNotRead + reason;
    account.not_read.push_back(listed);
    if (summed_.empty() || !claimant_ || !period_) return;
    auto [at, added] = lines_.try_emplace({text_form(row[*claimant_]), text_form(row[*period_]), account.name});
    if (added)
      for (const auto& [name, column] : summed_)
        at->second.push_back({at->first.claimant, at->first.period, account.name, name, {}, {}, {}});
    for (size_t k = 0; k < summed_.size(); ++k) {
      const ExactNumber value = exact_number(row[summed_[k].second]).value_or(ExactNumber{});
      TotalLine& line = at->second[k];
      line.source_total = line.source_total + value;
      line.listed = line.listed - value;
    }
  }

  void finish() {
    for (auto& [key, lines] : lines_)
      for (TotalLine& line : lines) out_.totals.push_back(std::move(line));
  }

 private:
  struct LineKey {
    std::string claimant, period, table;
    auto operator<=>(const LineKey&) const = default;
  };
  const std::vector<const Group*>& groups_;
  BaseAccount& out_;
  std::vector<std::pair<std::string, size_t>> key_, summed_;
  std::optional<size_t> claimant_, period_;
  std::map<LineKey, std::vector<TotalLine>> lines_;
};

}  // namespace

size_t BaseAccount::not_read() const {
  size_t count = 0;
  for (const BaseTableAccount& table : tables) count += table.not_read.size();
  return count;
}

void BaseAccount::lines(std::vector<std::string>& out, size_t& shown, size_t limit) const {
  if (!error.empty()) out.push_back("The rows of the views' tables could not be accounted for: " + error);
  for (const BaseTableAccount& table : tables) {
    size_t i = 0;
    for (; i < table.not_read.size() && shown < limit; ++i, ++shown) {
      const ListedRow row = table.not_read[i];
      out.push_back(table.name + " [" + row.key_text() + "]: " + row.reason);
    }
    if (i < table.not_read.size())
      out.push_back(table.name + ": " + std::to_string(table.not_read.size() - i) +
                    " more rows not read by any view are not shown here");
  }
}

BaseAccount account_base_tables(const std::vector<const Group*>& groups, Store& source) {
  std::vector<std::string> read;
  for (const Group* group : groups)
    for (const Stage& stage : group->stages) {
      read.emplace_back(stage.facts.name);
      if (stage.detail) read.emplace_back(stage.detail->view.name);
    }
  BaseAccount account;
  Collector collector(groups, account);
  try {
    source.account_base_rows(read, collector);
  } catch (const DbError& error) {
    account = BaseAccount{};
    account.error = error.what();
    return account;
  }
  collector.finish();
  return account;
}

}  // namespace halvaro::db
