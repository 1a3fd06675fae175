#pragma once
// Which rows of the tables a source's views read none of those views delivers, and why.
// A view leaves a row of its table out when its WHERE clause does not hold for it or an
// inner join finds no partner for it; a row that every view reading its table leaves
// out never reaches a transfer, however the views are written. The views are read as
// the file defines them.
//
// A view reads a table row by row when the table is in its FROM clause on a side that
// keeps its rows: not the inner side of an outer join, nor a subquery, which only look
// rows up. Tables that a transfer reads whole have an account of their own.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "jet/base/field_value.h"

namespace halvaro::sql {

class QueryEngine;

struct BaseTable {
  std::string name;  // as the source spells it
  std::vector<std::string> columns;
  uint64_t rows = 0;
  std::vector<std::string> views;  // that read it row by row, in the order asked
  // For each of `views`: its columns that are a column of this table unchanged, as
  // (view column, table column).
  std::vector<std::vector<std::pair<std::string, std::string>>> view_columns;
};

class BaseRowVisitor {
 public:
  virtual ~BaseRowVisitor() = default;
  // A table the views read, before its rows that none of them delivers.
  virtual void table(const BaseTable& table) = 0;
  // A row of that table that no view delivers: its values (by the table's columns) and
  // why, e.g. "InvoiceType 'X' is none of P, D, S, C".
  virtual void unread(const std::vector<FieldValue>& row, const std::string& reason) = 0;
};

// `read`: the names the transfers read whole, tables and views. The tables that its
// views read are told to `visitor` in the order the views name them, each with its
// unread rows in the table's order. Throws QueryError.
void account_base_rows(QueryEngine& engine, const std::vector<std::string>& read, BaseRowVisitor& visitor);

}  // namespace halvaro::sql
