#include "db/jet_store.h"

#include <map>

#include "db/errors.h"
#include "jet/catalog/verify.h"
#include "jet/writer/database_writer.h"
#include "sql/query_engine.h"
#include "sql/text_fold.h"

namespace halvaro::db {
namespace {

// A query result as the query layer hands it over, kept without copying; a large one
// waits in a temporary file and is read back a block of rows at a time.
class QueryResult final : public ResultView {
 public:
  explicit QueryResult(sql::StoredResult result) : result_(std::move(result)) {}
  size_t column_count() const override { return result_.columns.size(); }
  const std::string& column_name(size_t column) const override { return result_.columns[column].name; }
  size_t row_count() const override { return result_.rows.size(); }
  const FieldValue& value(size_t row, size_t column) const override { return result_.rows.row(row)[column]; }
  std::string_view origin() const override { return result_.origin; }
  std::optional<size_t> origin_row(size_t row) const override {
    auto position = result_.origins.of(row);  // none without an origin: no rows were added
    return position ? std::optional<size_t>(static_cast<size_t>(*position)) : std::nullopt;
  }

 private:
  sql::StoredResult result_;
};

// Runs a statement, turning the engine's failures into the layer's errors.
std::shared_ptr<const ResultView> run_query(sql::QueryEngine& engine, const std::string& text) {
  try {
    return std::make_shared<QueryResult>(engine.execute_stored(text));
  } catch (const sql::QueryError& error) {
    throw DbError(ErrorCode::QueryFailed, error.what());
  } catch (const jet::JetError& error) {
    throw DbError(ErrorCode::Unspecified, error.what());
  } catch (const std::runtime_error& error) {  // the temporary file of a large result
    throw DbError(ErrorCode::Unspecified, error.what());
  }
}

DbError no_such_table(std::string_view name) {
  return DbError(ErrorCode::NoSuchTable,
                 "The Microsoft Jet database engine cannot find the input table or query '" + std::string(name) + "'.");
}

bool has_table_or_query(const jet::Database& database, std::string_view name) {
  if (database.find_table(name)) return true;
  for (const std::string& query : database.query_names())
    if (sql::compare_folded(query, name) == 0) return true;
  return false;
}

class SourceStore final : public Store {
 public:
  SourceStore(std::shared_ptr<const jet::Database> database, const sql::ScratchLimits& limits)
      : database_(database), engine_(std::move(database), limits) {}
  // A statement over a whole table or query that the file lacks fails as missing, not
  // as bad SQL, so a check of the file can tell the two apart. That is asked only once
  // the statement has failed: the per-row item queries of a run then pay nothing for it.
  std::shared_ptr<const ResultView> select(const std::string& sql) override {
    try {
      return run_query(engine_, sql);
    } catch (const DbError&) {
      if (auto name = sql::QueryEngine::whole_table(sql); name && !has_table_or_query(*database_, *name))
        throw no_such_table(*name);
      throw;
    }
  }
  AppendTable& table(std::string_view) override {
    throw DbError(ErrorCode::ReadOnly, "Cannot update. Database or object is read-only.");
  }
  void close() override {}
  void while_busy(std::function<void()> tick) override { engine_.while_busy(std::move(tick)); }
  uint64_t rows_read() const override { return engine_.rows_read(); }
  void verify(const std::function<void(uint64_t, uint64_t)>& progress) override {
    try {
      jet::verify_tables(*database_, progress);
    } catch (const jet::JetError& error) {
      throw DbError(ErrorCode::Unspecified, error.what());
    }
  }

 private:
  std::shared_ptr<const jet::Database> database_;
  sql::QueryEngine engine_;  // one for the whole run: views are materialised once
};

class WriterTable final : public AppendTable {
 public:
  WriterTable(jet::DatabaseWriter& writer, const jet::TableDef& def) : writer_(writer), def_(def) {}
  const jet::TableDef& definition() const override { return def_; }
  // The definition was read when the file was opened; rows appended since add to it.
  uint64_t row_count() const override { return uint64_t{def_.row_count} + appended_; }
  std::vector<FieldValue> new_row() override { return writer_.new_row(def_); }
  void append(const std::vector<FieldValue>& row) override {
    try {
      writer_.append(def_, row);
    } catch (const jet::ValueError& error) {
      throw value_not_stored(error.what());
    } catch (const jet::ConstraintError& error) {
      throw DbError(ErrorCode::IntegrityViolation, error.what());
    } catch (const jet::JetError& error) {
      throw DbError(ErrorCode::Unspecified, error.what());
    }
    ++appended_;
  }

 private:
  jet::DatabaseWriter& writer_;
  const jet::TableDef& def_;
  uint64_t appended_ = 0;
};

class DestinationStore final : public Store {
 public:
  DestinationStore(std::unique_ptr<jet::DatabaseWriter> writer, const sql::ScratchLimits& limits)
      : writer_(std::move(writer)), limits_(limits) {}

  // Each statement sees the file as written so far, appends included.
  std::shared_ptr<const ResultView> select(const std::string& sql) override {
    std::shared_ptr<const jet::Database> view(std::shared_ptr<void>(), &writer_->database());
    std::shared_ptr<const ResultView> result;
    {
      sql::QueryEngine engine(view, limits_);
      result = run_query(engine, sql);
    }
    // Reading the table brought its pages into the writer; a commit (a no-op for the file
    // when nothing is pending) lets go of them.
    try {
      writer_->commit();
    } catch (const jet::JetError& error) {
      throw DbError(ErrorCode::Unspecified, error.what());
    }
    return result;
  }

  AppendTable& table(std::string_view name) override {
    std::string key = sql::fold_case(name);
    if (auto found = tables_.find(key); found != tables_.end()) return *found->second;
    const jet::TableDef* def = writer_->database().find_table(name);
    if (!def) throw no_such_table(name);
    auto table = std::make_unique<WriterTable>(*writer_, *def);
    return *tables_.emplace(key, std::move(table)).first->second;
  }

  void commit() override {
    try {
      writer_->commit();
    } catch (const jet::JetError& error) {
      throw DbError(ErrorCode::Unspecified, error.what());
    }
  }

  void close() override {
    try {
      writer_->close();
    } catch (const jet::JetError& error) {
      throw DbError(ErrorCode::Unspecified, error.what());
    }
  }

  uint64_t commits() const override { return writer_->commits(); }
  uint64_t rollbacks() const override { return writer_->rollbacks(); }

 private:
  std::unique_ptr<jet::DatabaseWriter> writer_;
  sql::ScratchLimits limits_;
  std::map<std::string, std::unique_ptr<WriterTable>> tables_;
};

}  // namespace

StoreOpener jet_store_opener(const StoreLimits& limits) {
  return [limits](const std::string& path, Access access) -> std::unique_ptr<Store> {
    try {
      if (access == Access::ReadOnly) {
        // The run verifies the whole file (Store::verify) before it writes anything.
        return std::make_unique<SourceStore>(jet::Database::open(path), limits.scratch);
      }
      return std::make_unique<DestinationStore>(jet::DatabaseWriter::open(path, limits.writer), limits.scratch);
    } catch (const jet::JetError& error) {
      throw DbError(ErrorCode::Unspecified, error.what());
    } catch (const std::exception& error) {
      throw DbError(ErrorCode::Unspecified, path + ": " + error.what());
    }
  };
}

}  // namespace halvaro::db
