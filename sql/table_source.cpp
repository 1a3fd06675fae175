#include "sql/table_source.h"

#include <stdexcept>

#include "sql/text_fold.h"

namespace halvaro::sql {

void MemorySource::add_table(SourceTable table, std::vector<std::vector<FieldValue>> rows) {
  std::string key = fold_case(table.name);
  tables_[key] = Table{std::move(table), std::move(rows)};
}

void MemorySource::add_rows(std::string_view table, std::vector<std::vector<FieldValue>> rows) {
  auto found = tables_.find(fold_case(table));
  if (found == tables_.end()) throw std::invalid_argument("no table " + std::string(table));
  for (auto& row : rows) found->second.rows.push_back(std::move(row));
}

void MemorySource::add_query(std::string name, std::string sql) {
  std::string key = fold_case(name);
  queries_[key] = SavedQuery{std::move(name), std::move(sql)};
}

int MemorySource::scans(std::string_view table) const {
  auto found = tables_.find(fold_case(table));
  return found == tables_.end() ? 0 : found->second.scans;
}

std::optional<SourceTable> MemorySource::find_table(std::string_view name) const {
  auto found = tables_.find(fold_case(name));
  if (found == tables_.end()) return std::nullopt;
  return found->second.def;
}

std::optional<SavedQuery> MemorySource::find_query(std::string_view name) const {
  auto found = queries_.find(fold_case(name));
  if (found == queries_.end()) return std::nullopt;
  return found->second;
}

void MemorySource::scan(const SourceTable& table,
                        const std::function<void(std::span<const FieldValue>)>& visit) const {
  auto found = tables_.find(fold_case(table.name));
  if (found == tables_.end()) throw std::invalid_argument("no table " + table.name);
  ++found->second.scans;
  for (const auto& row : found->second.rows) visit(row);
}

}  // namespace halvaro::sql
