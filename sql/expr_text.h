#pragma once
// An expression of a statement written back as Access SQL text, for messages that name
// a test of a view ("tblBillOfEntry.betype <> 'X'").

#include <string>

#include "sql/ast.h"

namespace halvaro::sql {

// Operators keep their Access spelling, texts their quotes and dates their # marks; a
// subquery is shown as (...). Parentheses go where the tree nests a looser operator
// inside a tighter one.
std::string expr_text(const ast::Expr& expr);

// A value as a message shows it: a text in quotes ('X'), null as Null, any other value
// in its text form.
std::string value_text(const FieldValue& value);

}  // namespace halvaro::sql
