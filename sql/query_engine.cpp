#include "sql/query_engine.h"

#include "sql/text_fold.h"

namespace halvaro::sql {

int ResultSet::find_column(std::string_view name) const {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (compare_folded(columns[i].name, name) == 0) return static_cast<int>(i);
  }
  return -1;
}

struct QueryEngine::Impl {
  std::shared_ptr<const TableSource> source;
};

QueryEngine::QueryEngine(std::shared_ptr<const TableSource> source) : impl_(std::make_unique<Impl>()) {
  impl_->source = std::move(source);
}

QueryEngine::~QueryEngine() = default;

ResultSet QueryEngine::execute(std::string_view access_sql) {
  throw QueryError("the query engine is not built yet: " + std::string(access_sql));
}

std::string QueryEngine::translate(std::string_view access_sql) {
  throw QueryError("the query engine is not built yet: " + std::string(access_sql));
}

}  // namespace halvaro::sql
