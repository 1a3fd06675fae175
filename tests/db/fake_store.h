#pragma once
// In-memory databases for testing the access layer and the transfers without files:
// tables with types, sizes, required columns and a primary key; canned query results
// matched by their exact text; every statement and open recorded.

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "db/errors.h"
#include "db/store.h"
#include "sql/query_engine.h"

namespace halvaro::test {

inline std::string folded(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

struct FakeColumn {
  std::string name;
  jet::ColumnType type = jet::ColumnType::Text;
  int chars = 50;  // Text: characters the column holds
  bool required = false;
};

class FakeTable final : public db::AppendTable {
 public:
  FakeTable(std::string name, std::vector<FakeColumn> columns, std::vector<std::string> key = {}) {
    def_.name = std::move(name);
    for (size_t i = 0; i < columns.size(); ++i) {
      jet::Column column;
      column.name = columns[i].name;
      column.type = columns[i].type;
      column.size = uint16_t(columns[i].type == jet::ColumnType::Text ? columns[i].chars * 2 : 8);
      column.required = columns[i].required;
      column.position = uint16_t(i);
      def_.columns.push_back(column);
    }
    if (!key.empty()) {
      jet::Index index;
      index.name = "PrimaryKey";
      index.primary = index.unique = true;
      for (const auto& key_column : key) index.columns.push_back({uint16_t(column_index(key_column)), true});
      def_.indexes.push_back(index);
    }
  }

  const jet::TableDef& definition() const override { return def_; }
  uint64_t row_count() const override { return rows.size(); }
  std::vector<FieldValue> new_row() override { return std::vector<FieldValue>(def_.columns.size()); }
  void append(const std::vector<FieldValue>& row) override {
    if (fail_append) fail_append(row);
    for (const auto& column : def_.columns) {
      if (column.required && row[column.position].is_null())
        throw db::DbError(db::ErrorCode::IntegrityViolation,
                          "The field '" + def_.name + "." + column.name + "' cannot contain a Null value.");
    }
    for (const auto& index : def_.indexes) {
      std::vector<FieldValue> key;
      for (const auto& c : index.columns) key.push_back(row[c.column]);
      for (const auto& existing : rows) {
        std::vector<FieldValue> other;
        for (const auto& c : index.columns) other.push_back(existing[c.column]);
        if (other == key)
          throw db::DbError(db::ErrorCode::IntegrityViolation,
                            "The changes you requested to the table were not successful because they would "
                            "create duplicate values in the index, primary key, or relationship.");
      }
    }
    rows.push_back(row);
  }

  size_t column_index(std::string_view name) const {
    for (size_t i = 0; i < def_.columns.size(); ++i)
      if (folded(def_.columns[i].name) == folded(name)) return i;
    throw std::out_of_range("no column " + std::string(name));
  }
  const FieldValue& at(size_t row, std::string_view column) const { return rows.at(row).at(column_index(column)); }

  std::vector<std::vector<FieldValue>> rows;
  std::function<void(const std::vector<FieldValue>&)> fail_append;

 private:
  jet::TableDef def_;
};

// One file: tables to append to (destination) and canned results (source).
struct FakeFile {
  std::map<std::string, std::shared_ptr<FakeTable>> tables;  // by folded name
  std::map<std::string, std::shared_ptr<db::ResultTable>> results;  // by exact text
  std::map<std::string, std::string> failures;  // text -> description of its QueryFailed error
  std::vector<std::string> statements;   // every select, in order
  bool reads_ahead = false;
  std::vector<std::string> ahead;        // every text queued to read ahead, in order
  std::vector<size_t> ahead_at;          // for each, how many selects came before it
  std::vector<std::string> table_opens;  // every table opened for appending, in order
  int opens = 0, closes = 0;
  std::optional<db::ErrorCode> close_error;  // raised by close number close_error_at
  int close_error_at = 1;
  int commits = 0;
  std::optional<db::ErrorCode> commit_error;  // raised by every commit
  int rollbacks = 0;  // failures that undid the rows since the last commit (a test's hook counts them)

  FakeTable& add_table(FakeTable table) {
    auto shared = std::make_shared<FakeTable>(std::move(table));
    tables[folded(shared->definition().name)] = shared;
    return *shared;
  }
  void add_result(const std::string& text, std::vector<std::string> columns,
                  std::vector<std::vector<FieldValue>> rows) {
    results[text] = std::make_shared<db::ResultTable>(std::move(columns), std::move(rows));
  }
  FakeTable& table(std::string_view name) { return *tables.at(folded(name)); }
};

class FakeStore final : public db::Store {
 public:
  FakeStore(FakeFile& file, db::Access access) : file_(file), access_(access) { ++file_.opens; }
  std::shared_ptr<const db::ResultView> select(const std::string& sql) override {
    file_.statements.push_back(sql);
    if (auto failure = file_.failures.find(sql); failure != file_.failures.end())
      throw db::DbError(db::ErrorCode::QueryFailed, failure->second);
    if (auto found = file_.results.find(sql); found != file_.results.end()) return found->second;
    // "Select * from [T]" of a table: its rows.
    std::string name = sql;
    if (name.rfind("Select * from [", 0) == 0) name = name.substr(15, name.size() - 16);
    if (auto table = file_.tables.find(folded(name)); table != file_.tables.end()) {
      std::vector<std::string> columns;
      for (const auto& c : table->second->definition().columns) columns.push_back(c.name);
      return std::make_shared<db::ResultTable>(columns, table->second->rows);
    }
    if (auto whole = sql::QueryEngine::whole_table(sql))
      throw db::DbError(db::ErrorCode::NoSuchTable, "The Microsoft Jet database engine cannot find the input "
                                                    "table or query '" + *whole + "'.");
    throw db::DbError(db::ErrorCode::QueryFailed, "Syntax error in query expression '" + sql + "'.");
  }
  bool reads_ahead() const override { return file_.reads_ahead; }
  void read_ahead(std::vector<std::string> texts) override {
    for (std::string& text : texts) {
      file_.ahead.push_back(std::move(text));
      file_.ahead_at.push_back(file_.statements.size());
    }
  }
  db::AppendTable& table(std::string_view name) override {
    if (access_ == db::Access::ReadOnly)
      throw db::DbError(db::ErrorCode::ReadOnly, "Cannot update. Database or object is read-only.");
    file_.table_opens.emplace_back(name);
    auto found = file_.tables.find(folded(name));
    if (found == file_.tables.end())
      throw db::DbError(db::ErrorCode::NoSuchTable, "The Microsoft Jet database engine cannot find the input "
                                                    "table or query '" + std::string(name) + "'.");
    return *found->second;
  }
  void commit() override {
    ++file_.commits;
    if (file_.commit_error) throw db::DbError(*file_.commit_error, "Disk full while committing.");
  }
  uint64_t commits() const override { return uint64_t(file_.commits); }
  uint64_t rollbacks() const override { return uint64_t(file_.rollbacks); }
  void close() override {
    ++file_.closes;
    if (file_.close_error && file_.closes == file_.close_error_at)
      throw db::DbError(*file_.close_error, "Disk full while committing.");
  }

 private:
  FakeFile& file_;
  db::Access access_;
};

// Files by path; opening a path that is not there fails as a missing file does.
struct FakeFiles {
  std::map<std::string, FakeFile> files;
  std::vector<std::pair<std::string, db::Access>> opened;

  db::StoreOpener opener() {
    return [this](const std::string& path, db::Access access) -> std::unique_ptr<db::Store> {
      auto found = files.find(path);
      if (found == files.end())
        throw db::DbError(db::ErrorCode::Unspecified, "Could not find file '" + path + "'.");
      opened.emplace_back(path, access);
      return std::make_unique<FakeStore>(found->second, access);
    };
  }
};

}  // namespace halvaro::test
