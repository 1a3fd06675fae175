#include "sql/expr_text.h"

#include "sql/regional.h"

namespace halvaro::sql {
namespace {

using ast::Expr;

// Looser operators bind less: "or" below "and" below "not" below comparisons below
// arithmetic.
int precedence(const Expr& e) {
  switch (e.type) {
    case Expr::Type::Binary:
      if (e.op == "imp") return 1;
      if (e.op == "eqv") return 2;
      if (e.op == "xor") return 3;
      if (e.op == "or") return 4;
      if (e.op == "and") return 5;
      if (e.op == "=" || e.op == "<>" || e.op == "<" || e.op == ">" || e.op == "<=" || e.op == ">=" || e.op == "like")
        return 7;
      if (e.op == "&") return 8;
      if (e.op == "+" || e.op == "-") return 9;
      return 10;
    case Expr::Type::Unary: return e.op == "not" ? 6 : 11;
    case Expr::Type::Between:
    case Expr::Type::In:
    case Expr::Type::IsNull: return 7;
    default: return 12;
  }
}

std::string operand(const Expr& e, int outer) {
  std::string text = expr_text(e);
  return precedence(e) < outer ? "(" + text + ")" : text;
}

std::string literal_text(const Expr& e) {
  if (e.value.is_null()) return "Null";
  if (e.text_literal || e.value.is<std::string>()) {
    std::string text = "'";
    for (char c : text_form(e.value)) text += c == '\'' ? std::string("''") : std::string(1, c);
    return text + "'";
  }
  if (e.value.is<DateTime>()) return "#" + text_form(e.value) + "#";
  return text_form(e.value);
}

std::string upper_word(const std::string& op) {
  if (op == "and") return "AND";
  if (op == "or") return "OR";
  if (op == "not") return "NOT";
  if (op == "like") return "LIKE";
  if (op == "xor") return "XOR";
  if (op == "eqv") return "EQV";
  if (op == "imp") return "IMP";
  if (op == "mod") return "MOD";
  return op;
}

}  // namespace

std::string value_text(const FieldValue& value) {
  if (value.is_null()) return "Null";
  if (value.is<std::string>()) return "'" + value.as<std::string>() + "'";
  return text_form(value);
}

std::string expr_text(const Expr& e) {
  const int own = precedence(e);
  switch (e.type) {
    case Expr::Type::Literal: return literal_text(e);
    case Expr::Type::Column: return e.qualifier.empty() ? e.name : e.qualifier + "." + e.name;
    case Expr::Type::Star: return e.qualifier.empty() ? "*" : e.qualifier + ".*";
    case Expr::Type::Unary:
      return e.op == "not" ? "NOT " + operand(*e.args[0], own) : e.op + operand(*e.args[0], own + 1);
    case Expr::Type::Binary: {
      const std::string op = e.op == "like" && e.negated ? "NOT LIKE" : upper_word(e.op);
      // Left-associative: a right operand of the same precedence keeps its parentheses.
      return operand(*e.args[0], own) + " " + op + " " + operand(*e.args[1], own + 1);
    }
    case Expr::Type::Call: {
      std::string text = e.name + "(";
      for (size_t i = 0; i < e.args.size(); ++i) text += (i ? ", " : "") + expr_text(*e.args[i]);
      return text + ")";
    }
    case Expr::Type::Between:
      return operand(*e.args[0], own + 1) + (e.negated ? " NOT BETWEEN " : " BETWEEN ") +
             operand(*e.args[1], own + 1) + " AND " + operand(*e.args[2], own + 1);
    case Expr::Type::In: {
      std::string text = operand(*e.args[0], own + 1) + (e.negated ? " NOT IN (" : " IN (");
      if (e.subquery) return text + "...)";
      for (size_t i = 1; i < e.args.size(); ++i) text += (i > 1 ? ", " : "") + expr_text(*e.args[i]);
      return text + ")";
    }
    case Expr::Type::IsNull: return operand(*e.args[0], own + 1) + (e.negated ? " IS NOT NULL" : " IS NULL");
    case Expr::Type::Exists: return "EXISTS (...)";
    case Expr::Type::Subquery: return "(...)";
    case Expr::Type::RowNumber: return "the row number in " + e.qualifier;
  }
  return "";
}

}  // namespace halvaro::sql
