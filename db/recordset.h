#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/store.h"

namespace halvaro::db {

class Connection;
class Recordset;

// Cursor and lock types and the options value as the callers pass them.
constexpr int adOpenStatic = 3;
constexpr int adLockPessimistic = 2;
constexpr int adLockOptimistic = 3;
constexpr int adOptionUnspecified = -1;

// The statement a recordset opened on `source` over a source connection selects: the
// text without the blanks around it.
std::string source_statement(std::string_view source);

// One field of a recordset's current row, found by name without regard to case.
class Field {
 public:
  FieldValue Value() const;
  // Stores a value into the pending new row, converted to the column's type.
  void SetValue(const FieldValue& value);
  // The same, taking the value's text rather than a copy of it; a value refused is left as it was.
  void SetValue(FieldValue&& value);

 private:
  friend class Recordset;
  Field(Recordset& recordset, size_t column) : recordset_(recordset), column_(column) {}
  // The field's column in the pending new row's table; throws when no new row is pending.
  const jet::Column& settable_column() const;
  Recordset& recordset_;
  size_t column_;
};

// A static recordset. Opened on a source text over a connection: a SELECT gives a
// snapshot of its rows; on a destination, a bare table name (or "Select * from" one
// table) gives a recordset that appends to that table without reading its rows, and a
// query on one table gives its rows and appends to that table.
class Recordset {
 public:
  Recordset() = default;
  ~Recordset();
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  void Open(const std::string& source, Connection& connection, int cursor_type, int lock_type, int options);
  void Close();
  int State() const { return connection_ ? 1 : 0; }

  bool Bof() const;
  bool Eof() const;
  void MoveFirst();
  void MoveNext();

  // Starts a new row with each column at the table's default; Update stores it, and it
  // stays the current row. A new row that was never stored is dropped by the next AddNew.
  void AddNew();
  void Update();
  // 2 while a new row is pending (AddNew without Update), else 0.
  int EditMode() const { return pending_ ? 2 : 0; }

  Field Fields(std::string_view name);

  // Where Fields finds `name`, and the field at such a place: a caller that asks for the
  // same names row after row keeps the places while layout() stays the same, and skips
  // the search. The layout differs between the stored rows and a new row, and changes
  // when the recordset is opened on other columns.
  size_t FieldPosition(std::string_view name);
  Field FieldAt(size_t position);
  uint64_t layout() const { return on_new_row_ ? table_layout_ * 2 + 1 : rows_layout_ * 2; }

  // Rows the recordset had when opened (for progress).
  size_t RecordCount() const { return count_; }
  // The current row's place among them, from 0.
  size_t AbsolutePosition() const { return position_; }
  // The rows as opened, shared (a source recordset's snapshot outlives the recordset).
  std::shared_ptr<const ResultView> snapshot();
  // The table new rows go to ("" when the recordset cannot append).
  std::string target_name() const;
  // The key columns' values of the current new row, e.g. "0301234500017 / 202311".
  std::string new_row_key() const;

  // The columns a recordset's known field names were found among. Opened again on
  // columns of the same names in the same order (the next master's items, their
  // table), it keeps the names instead of searching again.
  struct KnownColumns {
    bool set = false;
    std::vector<std::string> names;
  };

 private:
  friend class Field;
  friend class Connection;
  void end();  // closes without the checks of Close (the connection is going away)
  const ResultView& rows();
  void require_open() const;
  // Open, and on a new row or a stored one: where a field can be read or set.
  void require_field_row() const;
  size_t column_of(std::string_view name);

  Connection* connection_ = nullptr;
  std::shared_ptr<const ResultView> rows_;
  std::string lazy_select_;                   // loads rows_ when a stored row is first read
  AppendTable* target_ = nullptr;
  // Names already looked up (as spelled): the callers pass the same names row after row.
  struct KnownName {
    std::string name;
    bool new_row;
    size_t column;
  };
  std::vector<KnownName> known_names_;
  size_t next_guess_ = 0;  // fields are mostly asked for in the same order every row
  KnownColumns known_row_columns_;
  KnownColumns known_table_columns_;
  uint64_t rows_layout_ = 0;   // counts the times the stored rows' columns changed
  uint64_t table_layout_ = 0;  // and the new rows' table
  void keep_known_names(const ResultView* rows, const AppendTable* target);
  size_t count_ = 0;
  size_t position_ = 0;
  std::vector<FieldValue> new_row_;
  bool on_new_row_ = false;  // the current row is the added one
  bool pending_ = false;     // AddNew done, Update not yet
};

}  // namespace halvaro::db
