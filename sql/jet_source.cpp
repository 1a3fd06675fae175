#include "sql/jet_source.h"

#include "sql/query_engine.h"
#include "sql/text_fold.h"

namespace halvaro::sql {

std::optional<SourceTable> JetSource::find_table(std::string_view name) const {
  const jet::TableDef* def = database_->find_table(name);
  if (!def) return std::nullopt;
  SourceTable table;
  table.name = def->name;
  for (const auto& column : def->columns) table.columns.push_back({column.name, kind_of(column.type), column.scale});
  return table;
}

std::optional<SavedQuery> JetSource::find_query(std::string_view name) const {
  for (const auto& query : database_->query_names()) {
    if (compare_folded(query, name) != 0) continue;
    try {
      return SavedQuery{query, database_->query_sql(query)};
    } catch (const jet::JetError& e) {
      throw QueryError(e.what());
    }
  }
  return std::nullopt;
}

void JetSource::scan(const SourceTable& table,
                     const std::function<void(std::span<const FieldValue> values)>& visit) const {
  database_->scan(database_->table(table.name), [&](std::span<const FieldValue> values) {
    visit(values);
    return true;
  });
}

}  // namespace halvaro::sql
