#pragma once
// Statements that differ only in their quoted texts ("... where InvoiceNo = 'N1'",
// "... where InvoiceNo = 'N2'") have one shape: the engine translates and prepares a
// shape once and binds the texts of each statement as its parameters.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sql/lexer.h"

namespace halvaro::sql {

struct StatementShape {
  std::string key;                 // the tokens, each quoted text replaced by a placeholder
  std::vector<std::string> texts;  // the quoted texts in order: parameter n is texts[n - 1]
};

StatementShape shape_of(const std::vector<Token>& tokens);
// The same into `shape`, keeping the room its key and texts already have.
void shape_into(const std::vector<Token>& tokens, StatementShape& shape);

// The SQL of a translation made with text parameters, each placeholder ?<n> replaced by
// quoted text n as the translator writes it inline. nullopt when a placeholder has no
// text or a text has no placeholder (the text then went into the translation some
// other way, as a column alias does, and the shape cannot be shared).
std::optional<std::string> inline_texts(std::string_view sql, const std::vector<std::string>& texts);

}  // namespace halvaro::sql
