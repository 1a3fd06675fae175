#pragma once
// What the access layer needs from an open database file. The production store sits
// on our Access engine and query layer; tests use small in-memory stores.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/catalog/database.h"
#include "jet/base/field_value.h"

namespace halvaro::sql {
class BaseRowVisitor;
}

namespace halvaro::db {

// How a connection uses its file: the source is only read, the destination is appended to.
enum class Access { ReadOnly, Append };

// A static snapshot of a query's result, taken when the query is opened.
class ResultView {
 public:
  virtual ~ResultView() = default;
  virtual size_t column_count() const = 0;
  virtual const std::string& column_name(size_t column) const = 0;
  virtual size_t row_count() const = 0;
  // Valid until the next call of value() on this view.
  virtual const FieldValue& value(size_t row, size_t column) const = 0;
  // For a result that reads one table or saved query row by row: that relation (empty
  // when unknown) and a row's position in it, so that two results of the same origin
  // can tell which of their rows are the same row.
  virtual std::string_view origin() const { return {}; }
  virtual std::optional<size_t> origin_row(size_t /*row*/) const { return std::nullopt; }
};

// A result held in memory, row by row.
class ResultTable final : public ResultView {
 public:
  ResultTable() = default;
  ResultTable(std::vector<std::string> columns, std::vector<std::vector<FieldValue>> rows)
      : columns_(std::move(columns)), rows_(std::move(rows)) {}
  size_t column_count() const override { return columns_.size(); }
  const std::string& column_name(size_t column) const override { return columns_[column]; }
  size_t row_count() const override { return rows_.size(); }
  const FieldValue& value(size_t row, size_t column) const override { return rows_[row][column]; }

 private:
  std::vector<std::string> columns_;
  std::vector<std::vector<FieldValue>> rows_;
};

// A destination table that rows are appended to.
class AppendTable {
 public:
  virtual ~AppendTable() = default;
  // Columns (types, sizes) and indexes; rows already in the table, appended ones included.
  virtual const jet::TableDef& definition() const = 0;
  virtual uint64_t row_count() const = 0;
  // A new row holding each column's table default.
  virtual std::vector<FieldValue> new_row() = 0;
  // Stores a row whose values already have their columns' kinds. Throws DbError: code
  // ErrorsOccurred for a value the column cannot hold, IntegrityViolation for a key or
  // required column, another code for anything else.
  virtual void append(const std::vector<FieldValue>& row) = 0;
};

class Store {
 public:
  virtual ~Store() = default;
  // Evaluates a SELECT (or a bare table or query name) as a static snapshot. Throws DbError.
  virtual std::shared_ptr<const ResultView> select(const std::string& sql) = 0;
  // A table to append to; throws DbError when there is none or the store is read-only.
  virtual AppendTable& table(std::string_view name) = 0;
  // Makes every appended row durable. Throws DbError when they could not be written;
  // the file is then back at its last commit.
  virtual void commit() {}
  // Makes every appended row durable and releases the file. Throws DbError.
  virtual void close() = 0;
  // Commits so far (the store's own as well), and the failures that undid every row
  // appended since the last commit. A store that never loses appended rows keeps both at 0.
  virtual uint64_t commits() const { return 0; }
  virtual uint64_t rollbacks() const { return 0; }
  // Calls tick now and then during long work inside select (reading tables, evaluating
  // saved queries). tick must not throw.
  virtual void while_busy(std::function<void()> /*tick*/) {}
  // Statements the caller will select next, in this order: a store that reads ahead
  // evaluates them on a helper thread meanwhile. A select of a later one drops those
  // queued before it.
  virtual bool reads_ahead() const { return false; }
  virtual void read_ahead(std::vector<std::string> /*texts*/) {}
  // Rows already read for `text` (by a check made before the run): the next select of
  // that very text gets them, once, and a store that reads ahead does not evaluate it.
  virtual void keep(std::string /*text*/, std::shared_ptr<const ResultView> /*rows*/) {}
  // A result of select the caller is done with. A store that reads ahead frees it on its
  // helper thread; otherwise it goes here.
  virtual void let_go(std::shared_ptr<const ResultView> /*result*/) {}
  // Tells `visitor` the tables that the views among `read` (names the transfers read
  // whole) read row by row, with each row that none of those views delivers and why
  // (sql/base_rows.h). A store that cannot tell tells nothing. Throws DbError.
  virtual void account_base_rows(const std::vector<std::string>& /*read*/, sql::BaseRowVisitor& /*visitor*/) {}
  // Rows select has read from the file's tables so far (for progress).
  virtual uint64_t rows_read() const { return 0; }
  // Reads every row of the file once and throws DbError naming the table and the damage
  // at the first fault: for a run that must know its source is whole before it writes
  // anything on its account. A destination is checked further, as `halvaro check`
  // checks a file (usage maps, data pages, row bounds, and every index against its
  // rows), and its DbError names every fault found, one line each. `progress` hears the
  // rows read and the rows the file records now and then. begin_verify starts that
  // reading on a helper thread, beside the store's statements; verify then waits for it.
  virtual void begin_verify() {}
  virtual void verify(const std::function<void(uint64_t rows_read, uint64_t rows_recorded)>& /*progress*/) {}
};

// Opens the file a connection text names. Throws DbError naming the file and the reason.
using StoreOpener = std::function<std::unique_ptr<Store>(const std::string& path, Access access)>;

}  // namespace halvaro::db
