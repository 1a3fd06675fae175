#include "db/item_query.h"

namespace halvaro::db {

bool open_condition_for_null(std::string& text, const QueryPiece& piece) {
  if (piece.compared.empty()) return false;
  size_t at = text.rfind(piece.compared);
  if (at == std::string::npos) return false;
  size_t i = at + piece.compared.size();
  auto blanks = [&] {
    while (i < text.size() && text[i] == ' ') ++i;
  };
  blanks();
  if (i >= text.size() || text[i] != '=') return false;
  ++i;
  blanks();
  if (i + 1 != text.size() || text[i] != '\'') return false;
  text.resize(at);
  text += "(";
  text += piece.item_column;
  text += " Is Null Or ";
  text += piece.compared;
  text += " = '')";
  return true;
}

}  // namespace halvaro::db
