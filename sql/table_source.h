#pragma once
// Where the query engine reads tables and saved queries from: an opened database
// file (jet_source.h) or, for tests and benchmarks, tables held in memory.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jet/base/field_value.h"
#include "sql/kind.h"

namespace halvaro::sql {

struct SourceColumn {
  std::string name;
  Kind kind = Kind::Text;
  uint8_t scale = 0;  // Decimal columns
};

struct SourceTable {
  std::string name;  // as the source spells it
  std::vector<SourceColumn> columns;
};

struct SavedQuery {
  std::string name;  // as the source spells it
  std::string sql;   // its Access SQL
};

class TableSource {
 public:
  virtual ~TableSource() = default;
  // Names are matched without regard to case; nullopt when there is no such table or query.
  virtual std::optional<SourceTable> find_table(std::string_view name) const = 0;
  virtual std::optional<SavedQuery> find_query(std::string_view name) const = 0;
  // Calls visit once per row, values[i] being columns[i]'s value.
  virtual void scan(const SourceTable& table,
                    const std::function<void(std::span<const FieldValue> values)>& visit) const = 0;
};

// Tables and saved queries held in memory.
class MemorySource : public TableSource {
 public:
  void add_table(SourceTable table, std::vector<std::vector<FieldValue>> rows = {});
  void add_rows(std::string_view table, std::vector<std::vector<FieldValue>> rows);
  void add_query(std::string name, std::string sql);
  // How many times scan was called for a table (tests check lazy loading with it).
  int scans(std::string_view table) const;

  std::optional<SourceTable> find_table(std::string_view name) const override;
  std::optional<SavedQuery> find_query(std::string_view name) const override;
  void scan(const SourceTable& table,
            const std::function<void(std::span<const FieldValue> values)>& visit) const override;

 private:
  struct Table {
    SourceTable def;
    std::vector<std::vector<FieldValue>> rows;
    mutable int scans = 0;
  };
  std::map<std::string, Table> tables_;        // by folded name
  std::map<std::string, SavedQuery> queries_;  // by folded name
};

}  // namespace halvaro::sql
