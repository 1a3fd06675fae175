#pragma once
// Translates an Access SQL syntax tree into SQLite SQL over the tables the engine
// loaded, following Jet's rules: text compares without regard to case, a date or
// number compared with quoted text compares as a date or number, & joins texts,
// the VBA functions run as registered SQLite functions (functions.h).
//
// Inside SQLite every table and view is named t<n>/q<n> with columns c0, c1, ...;
// the Relation records the Access names and the kind of each column. Values are
// held as: Text TEXT, Long INTEGER, Currency INTEGER in ten-thousandths, Date REAL
// days, Bool INTEGER -1/0, Single/Double/Decimal REAL, Guid/Binary BLOB.

#include <string>
#include <string_view>
#include <vector>

#include "sql/ast.h"
#include "sql/kind.h"

namespace halvaro::sql {

struct RelationColumn {
  std::string name;
  Kind kind = Kind::Variant;
  uint8_t scale = 0;  // Decimal
};

struct Relation {
  std::string sqlite_name;
  std::vector<RelationColumn> columns;  // column i is "c<i>" in SQLite
};

class RelationResolver {
 public:
  virtual ~RelationResolver() = default;
  // The table or saved query of that name, loaded; throws QueryError if there is none.
  virtual const Relation& relation(std::string_view name) = 0;
};

// An index that would answer the statement's equality tests on one table:
// CREATE INDEX ... ON table(terms...).
struct IndexHint {
  std::string table;
  std::vector<std::string> terms;
  // For the inner table of an outer join: the other columns the statement reads from
  // it (by the relation's column names, c0, c1, ...). An index that holds them answers
  // each lookup without reading the table's row.
  std::vector<std::string> covered;
};

struct Translation {
  std::string sql;
  std::vector<RelationColumn> columns;
  std::vector<IndexHint> index_hints;
  // Asked for and possible (one table or saved query read row by row: no join, union,
  // grouping or DISTINCT), the relation whose row id follows `columns` in every row.
  std::string origin;
};

// Throws QueryError (without naming the statement; the caller adds that).
//
// With text_parameters, each quoted text literal is emitted as the placeholder
// ?<n> (n = Expr::parameter) instead of its value, so that one prepared statement
// serves every statement of that shape; throws ValueDependent when the emitted
// SQL would depend on such a value (a quoted text compared with a date or number).
//
// With with_origin, a statement that reads one relation row by row also returns each
// row's row id there, after its columns (see Translation::origin).
Translation translate(const ast::Query& query, RelationResolver& resolver, bool text_parameters = false,
                      bool with_origin = false);

// SQLite's declared type for a column of a kind.
std::string_view sqlite_declaration(Kind kind);

}  // namespace halvaro::sql
