#pragma once
// The syntax tree of an Access SQL SELECT statement.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jet/base/field_value.h"

namespace halvaro::sql::ast {

struct Query;

struct Expr {
  enum class Type {
    Literal,   // value
    Column,    // qualifier (may be empty) . name
    Star,      // qualifier.* or *, only as a select item or inside Count(*)
    Unary,     // op args[0]: "-", "+", "not"
    Binary,    // args[0] op args[1]: arithmetic, "&", comparisons, "and", "or", "xor", "eqv", "imp", "like"
    Call,      // name(args)
    Between,   // args[0] [not] between args[1] and args[2]
    In,        // args[0] [not] in (args[1..]) or in (subquery)
    IsNull,    // args[0] is [not] null
    Exists,    // exists (subquery)
    Subquery,  // (subquery) as a value
    // The number of the current row in the table that qualifier names (from 1, in the
    // file's order). Never parsed: the account of the tables a view reads builds it to
    // tell which of their rows the view delivers.
    RowNumber,
  };
  Type type = Type::Literal;
  FieldValue value;               // Literal
  bool text_literal = false;      // Literal written in quotes
  int parameter = 0;              // text Literal: which of the statement's quoted texts (from 1)
  std::string qualifier;          // Column, Star
  std::string name;               // Column, Call
  std::string op;                 // Unary, Binary (lower case)
  bool negated = false;           // Between, In, IsNull, Like (not like)
  std::vector<std::unique_ptr<Expr>> args;
  std::unique_ptr<Query> subquery;
};
using ExprPtr = std::unique_ptr<Expr>;

struct SelectItem {
  ExprPtr expr;
  std::string alias;  // empty when none
};

struct FromItem {
  enum class Type { Named, Join, Subquery };
  Type type = Type::Named;
  std::string name;   // Named
  std::string alias;  // Named, Subquery
  std::string join;   // Join: "inner", "left", "right", "cross" (a comma)
  std::unique_ptr<FromItem> left, right;
  ExprPtr on;
  std::unique_ptr<Query> subquery;
};

struct OrderItem {
  ExprPtr expr;
  bool descending = false;
};

struct Select {
  bool distinct = false;
  bool distinct_row = false;
  std::optional<int64_t> top;
  bool top_percent = false;
  std::vector<SelectItem> items;
  std::unique_ptr<FromItem> from;  // null when the statement has no FROM
  ExprPtr where;
  std::vector<ExprPtr> group_by;
  ExprPtr having;
};

// One or more SELECTs joined by UNION [ALL], with the ordering of the whole.
struct Query {
  std::vector<Select> selects;
  std::vector<bool> union_all;  // between selects[i] and selects[i + 1]
  std::vector<OrderItem> order_by;
};

}  // namespace halvaro::sql::ast
