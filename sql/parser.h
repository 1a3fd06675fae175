#pragma once
// Reads Access SQL into a syntax tree.

#include <stdexcept>
#include <string_view>

#include "sql/ast.h"
#include "sql/lexer.h"

namespace halvaro::sql {

// Parses one SELECT statement (an optional ';' may end it). Throws SyntaxError.
ast::Query parse_select(std::string_view text);
// The same, from the statement's tokens (tokenize(), ending with the End token).
ast::Query parse_select(std::vector<Token> tokens);

// True when the text is a bare table or query name ("tblInvoiceMtr", "[tbl x]").
bool is_bare_name(std::string_view text, std::string& name);

}  // namespace halvaro::sql
