#pragma once
// The tables and saved queries of an opened database file, as a TableSource.

#include <memory>

#include "jet/catalog/database.h"
#include "sql/table_source.h"

namespace halvaro::sql {

class JetSource : public TableSource {
 public:
  explicit JetSource(std::shared_ptr<const jet::Database> database) : database_(std::move(database)) {}

  std::optional<SourceTable> find_table(std::string_view name) const override;
  std::optional<SavedQuery> find_query(std::string_view name) const override;
  void scan(const SourceTable& table,
            const std::function<void(std::span<const FieldValue> values)>& visit) const override;

 private:
  std::shared_ptr<const jet::Database> database_;
};

}  // namespace halvaro::sql
