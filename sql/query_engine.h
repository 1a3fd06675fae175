#pragma once
// Evaluates Access SQL SELECT statements over a database, as Jet does for a static
// cursor: the result is a snapshot of the rows, each value with its column's type.
//
// Tables are loaded into a scratch SQLite database the first time a statement
// refers to them; saved queries become views translated from their Access SQL.

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "jet/base/field_value.h"
#include "sql/kind.h"
#include "sql/row_origins.h"
#include "sql/row_spool.h"
#include "sql/table_source.h"

namespace halvaro::jet {
class Database;
}

namespace halvaro::sql {

namespace ast {
struct Query;
}

// Bad or unsupported SQL, an unknown table, query or column, a value that does not
// convert; the message names the statement or saved query and what is wrong.
class QueryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  // A failure of the scratch files in the temporary folder (no room left, a write or
  // read refused) rather than of the statement: with room to work in, it may succeed.
  QueryError(const std::string& what, bool scratch_failed) : std::runtime_error(what), scratch_failed_(scratch_failed) {}
  // The same failure, its message led by what was being done.
  QueryError(const std::string& context, const QueryError& cause)
      : std::runtime_error(context + cause.what()), scratch_failed_(cause.scratch_failed_) {}
  bool scratch_failed() const { return scratch_failed_; }

 private:
  bool scratch_failed_ = false;
};

struct ResultColumn {
  std::string name;
  Kind kind = Kind::Variant;
};

struct ResultSet {
  std::vector<ResultColumn> columns;
  std::vector<std::vector<FieldValue>> rows;
  // Position of a column by name, matched without regard to case; -1 if none.
  int find_column(std::string_view name) const;
};

// Where the engine keeps the source's tables, its evaluated saved queries and large
// results, and how much of them it holds in memory.
struct ScratchLimits {
  // The scratch database in a temporary file (deleted when the engine closes) whose
  // pages beyond the cache wait on disk; false keeps it all in memory.
  bool on_disk = true;
  // The page cache of the tables read and of the evaluated saved queries together.
  int cache_kib = 16 * 1024;
  // Rows of a stored result kept as values before the rest go to a temporary file.
  size_t result_memory_rows = RowSpool::kDefaultMemoryRows;
};

// A result of any size: its rows past the first few thousand wait in a temporary file.
struct StoredResult {
  std::vector<ResultColumn> columns;
  RowSpool rows;
  // For a statement that reads one table or saved query row by row: that relation (a
  // name no other relation of the process shares) and each row's position in it. Two
  // results of the same origin can tell which of their rows are the same row.
  std::string origin;
  RowOrigins origins;
};

class QueryEngine {
 public:
  explicit QueryEngine(std::shared_ptr<const TableSource> source, const ScratchLimits& limits = {});
  // Reads the tables and saved queries of an opened database file.
  explicit QueryEngine(std::shared_ptr<const jet::Database> database, const ScratchLimits& limits = {});
  ~QueryEngine();
  QueryEngine(const QueryEngine&) = delete;
  QueryEngine& operator=(const QueryEngine&) = delete;

  // Runs a SELECT statement (or a bare table or query name, meaning all its rows).
  // Throws QueryError.
  ResultSet execute(std::string_view access_sql);
  // The same, for results that may not fit in memory (a transfer's master rows).
  StoredResult execute_stored(std::string_view access_sql);

  // A statement built as a syntax tree rather than written (it may number a table's
  // rows with ast::Expr::Type::RowNumber).
  StoredResult execute_stored(const ast::Query& query);
  // A saved query as the source defines it, and a table of the source, by name
  // (matched without regard to case); nullopt when the source has none.
  std::optional<SavedQuery> saved_query(std::string_view name) const;
  std::optional<SourceTable> source_table(std::string_view name) const;

  // Statements that differ only in their quoted texts share one translation and one
  // prepared statement, the texts bound as its parameters (the per-row item queries
  // of a transfer cost a few microseconds instead of a translation each). Off, every
  // statement is translated on its own: the reference for comparisons.
  void share_statements(bool on);

  // Calls tick now and then while tables are read and statements evaluated (a window
  // keeps painting with it). tick must not throw.
  void while_busy(std::function<void()> tick);
  // Rows read from the source's tables so far (for progress).
  uint64_t rows_read() const;

  // The SQLite text a statement is translated into (for diagnostics and tests).
  std::string translate(std::string_view access_sql);

  // The engine reads each table once, at its first use, and answers later statements
  // from that snapshot. After rows were written to the file, forget the snapshot so
  // the next statement reads the tables again.
  void forget_loaded();

  // The table or query name when the statement stands for all rows of it unchanged
  // (a bare name, or "Select * from name" without any other clause): a caller that
  // only needs to know whether a table is empty can then ask the file for its row
  // count instead of loading it. nullopt otherwise, or when the text is not valid.
  static std::optional<std::string> whole_table(std::string_view access_sql);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace halvaro::sql
