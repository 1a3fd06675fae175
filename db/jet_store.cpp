#include "db/jet_store.h"

#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "db/background_verify.h"
#include "db/errors.h"
#include "db/read_ahead.h"
#include "jet/catalog/verify.h"
#include "jet/writer/checker.h"
#include "jet/writer/database_writer.h"
#include "sql/base_rows.h"
#include "platform/file_system.h"
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

// Runs work of the query engine, turning its failures into the layer's errors.
template <typename Work>
auto with_layer_errors(Work&& work) {
  try {
    return work();
  } catch (const sql::QueryError& error) {
    // Out of room in the temporary folder is the engine's failure, not the statement's.
    throw DbError(error.scratch_failed() ? ErrorCode::Unspecified : ErrorCode::QueryFailed, error.what());
  } catch (const jet::JetError& error) {
    throw DbError(ErrorCode::Unspecified, error.what());
  } catch (const std::runtime_error& error) {  // the temporary file of a large result
    throw DbError(ErrorCode::Unspecified, error.what());
  }
}

std::shared_ptr<const ResultView> run_query(sql::QueryEngine& engine, const std::string& text) {
  return with_layer_errors(
      [&]() -> std::shared_ptr<const ResultView> { return std::make_shared<QueryResult>(engine.execute_stored(text)); });
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
  SourceStore(std::shared_ptr<const jet::Database> database, const sql::ScratchLimits& limits, bool read_ahead)
      : database_(database), engine_(std::move(database), limits), reads_ahead_(read_ahead) {}
  // A statement over a whole table or query that the file lacks fails as missing, not
  // as bad SQL, so a check of the file can tell the two apart. That is asked only once
  // the statement has failed: the per-row item queries of a run then pay nothing for it.
  std::shared_ptr<const ResultView> select(const std::string& sql) override {
    if (auto found = kept_.find(sql); found != kept_.end()) {
      std::shared_ptr<const ResultView> rows = std::move(found->second);
      kept_.erase(found);
      return rows;
    }
    if (read_ahead_)
      if (auto result = read_ahead_->take(sql, waiting_tick_)) return result;
    std::lock_guard lock(engine_mutex_);
    try {
      return run_query(engine_, sql);
    } catch (const DbError&) {
      if (auto name = sql::QueryEngine::whole_table(sql); name && !has_table_or_query(*database_, *name))
        throw no_such_table(*name);
      throw;
    }
  }
  // The file never changes while it is open, so a statement evaluated ahead gives the
  // very rows the caller's own select would.
  bool reads_ahead() const override { return reads_ahead_; }
  void read_ahead(std::vector<std::string> texts) override {
    if (!reads_ahead_) return;
    std::erase_if(texts, [this](const std::string& text) { return kept_.count(text) > 0; });
    if (!read_ahead_)
      read_ahead_ = std::make_unique<ReadAhead>([this](const std::string& text) {
        std::lock_guard lock(engine_mutex_);
        return run_query(engine_, text);
      });
    read_ahead_->add(std::move(texts));
  }
  void keep(std::string text, std::shared_ptr<const ResultView> rows) override {
    if (rows) kept_.insert_or_assign(std::move(text), std::move(rows));
  }
  void let_go(std::shared_ptr<const ResultView> result) override {
    if (read_ahead_) read_ahead_->let_go(std::move(result));
  }
  AppendTable& table(std::string_view) override {
    throw DbError(ErrorCode::ReadOnly, "Cannot update. Database or object is read-only.");
  }
  void close() override {}
  // The tick belongs to the caller's thread (a window's event loop): statements
  // evaluated ahead on the helper thread do not call it.
  void while_busy(std::function<void()> tick) override {
    std::lock_guard lock(engine_mutex_);
    // Called back from the caller's own evaluation, or while it waits for a statement
    // the helper is evaluating for it.
    waiting_tick_ = tick;
    if (!tick) {
      engine_.while_busy(nullptr);
      return;
    }
    engine_.while_busy([tick = std::move(tick), owner = std::this_thread::get_id()] {
      if (std::this_thread::get_id() == owner) tick();
    });
  }
  void account_base_rows(const std::vector<std::string>& read, sql::BaseRowVisitor& visitor) override {
    std::lock_guard lock(engine_mutex_);
    with_layer_errors([&] { sql::account_base_rows(engine_, read, visitor); });
  }
  uint64_t rows_read() const override {
    std::lock_guard lock(engine_mutex_);
    return engine_.rows_read();
  }
  void begin_verify() override {
    if (verifying_) return;
    try {
      verifying_ = std::make_unique<BackgroundVerify>(database_);
    } catch (const std::system_error&) {
      // No helper thread: verify reads the file itself.
    }
  }
  void verify(const std::function<void(uint64_t, uint64_t)>& progress) override {
    try {
      if (verifying_) {
        verifying_->wait(progress);
      } else {
        std::lock_guard lock(engine_mutex_);
        jet::verify_tables(*database_, progress);
      }
    } catch (const jet::JetError& error) {
      throw DbError(ErrorCode::Unspecified, error.what());
    }
    // A run verifies once its tables are read, and reads the file no more: what the
    // reading left mapped in (up to 32 MiB) would otherwise stay resident to the end.
    database_->pages().let_go_of_read_pages();
  }

 private:
  std::shared_ptr<const jet::Database> database_;
  // The engine and the file under it serve one statement at a time: the caller's, or
  // the helper's evaluating ahead. Recursive: the caller's tick, called from inside its
  // own select, asks for rows_read.
  mutable std::recursive_mutex engine_mutex_;
  sql::QueryEngine engine_;  // one for the whole run: views are materialised once
  const bool reads_ahead_;
  std::function<void()> waiting_tick_;  // the caller's; used on the caller's thread only
  std::unordered_map<std::string, std::shared_ptr<const ResultView>> kept_;  // the caller's thread only
  std::unique_ptr<ReadAhead> read_ahead_;  // stops before the engine goes
  std::unique_ptr<BackgroundVerify> verifying_;  // stopped first when the store goes
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

// The damage the check of a whole destination found, one line per fault.
struct DestinationDamage {
  std::vector<std::string> problems;
};

// The destination is checked as `halvaro check` checks a file.
void check_destination(const jet::Database& database, const jet::VerifyProgress& progress) {
  jet::CheckReport report = jet::check_database(database, progress);
  if (!report.ok()) throw DestinationDamage{std::move(report.problems)};
}

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

  // Appending through a damaged usage map or index could overwrite live pages, so the
  // run checks the whole destination before its first write. The check reads the file
  // as it stands on the disk through a reader of its own (nothing is appended before it
  // ends), beside the run's reading of its source, and does not fill the writer's pages.
  // A second reader of the file the writer holds (on Windows one that lets the writer
  // write, which the writer's hold requires).
  std::shared_ptr<const jet::Database> own_file() const {
    return jet::Database::open(writer_->database().path(), jet::Sharing::beside_own_writer);
  }
  void begin_verify() override {
    if (verifying_) return;
    try {
      verifying_ = std::make_unique<BackgroundVerify>(own_file(), check_destination);
    } catch (const std::exception&) {
      // No helper thread, or no second reader: verify checks the file itself.
    }
  }
  void verify(const std::function<void(uint64_t, uint64_t)>& progress) override {
    try {
      if (verifying_)
        verifying_->wait(progress);
      else
        check_destination(*own_file(), progress);
    } catch (const DestinationDamage& damage) {
      std::string lines;
      for (const std::string& problem : damage.problems) lines += (lines.empty() ? "" : "\n") + problem;
      throw DbError(ErrorCode::Unspecified, lines);
    } catch (const std::exception& error) {
      throw DbError(ErrorCode::Unspecified, error.what());
    }
    // Its reader and the digests it kept go now, before the first write.
    verifying_.reset();
  }

 private:
  std::unique_ptr<jet::DatabaseWriter> writer_;
  sql::ScratchLimits limits_;
  std::map<std::string, std::unique_ptr<WriterTable>> tables_;
  std::unique_ptr<BackgroundVerify> verifying_;  // stopped first when the store goes
};

}  // namespace

StoreOpener jet_store_opener(const StoreLimits& limits) {
  return [limits](const std::string& path, Access access) -> std::unique_ptr<Store> {
    try {
      if (access == Access::ReadOnly) {
        // The run verifies the whole file (Store::begin_verify, Store::verify) before it
        // writes anything.
        return std::make_unique<SourceStore>(jet::Database::open(platform::path_from_utf8(path)), limits.scratch, limits.read_ahead);
      }
      return std::make_unique<DestinationStore>(jet::DatabaseWriter::open(platform::path_from_utf8(path), limits.writer), limits.scratch);
    } catch (const jet::JetError& error) {
      throw DbError(ErrorCode::Unspecified, error.what());
    } catch (const std::exception& error) {
      throw DbError(ErrorCode::Unspecified, path + ": " + error.what());
    }
  };
}

}  // namespace halvaro::db
