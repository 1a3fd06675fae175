#include "sql/statement_shape.h"

#include <cctype>

#include "sql/sql_value.h"

namespace halvaro::sql {

StatementShape shape_of(const std::vector<Token>& tokens) {
  StatementShape shape;
  shape_into(tokens, shape);
  return shape;
}

void shape_into(const std::vector<Token>& tokens, StatementShape& shape) {
  shape.key.clear();
  shape.texts.clear();
  for (const Token& token : tokens) {
    // Type, then text: a separator that no token's text holds keeps "a b" apart from "ab".
    shape.key += static_cast<char>('0' + static_cast<int>(token.type));
    if (token.type == Token::Type::Text) {
      shape.texts.push_back(token.text);
    } else {
      shape.key += token.text;
    }
    shape.key += '\0';
  }
}

std::optional<std::string> inline_texts(std::string_view sql, const std::vector<std::string>& texts) {
  std::string out;
  std::vector<bool> used(texts.size(), false);
  for (size_t i = 0; i < sql.size();) {
    char c = sql[i];
    if (c == '\'') {  // a text the translator wrote itself, copied whole ('' inside is two quotes)
      size_t end = sql.find('\'', i + 1);
      if (end == std::string_view::npos) return std::nullopt;
      out.append(sql.substr(i, end + 1 - i));
      i = end + 1;
    } else if (c == '?' && i + 1 < sql.size() && std::isdigit(static_cast<unsigned char>(sql[i + 1]))) {
      size_t j = i + 1;
      size_t n = 0;
      while (j < sql.size() && std::isdigit(static_cast<unsigned char>(sql[j]))) {
        n = n * 10 + static_cast<size_t>(sql[j++] - '0');
        if (n > texts.size()) return std::nullopt;
      }
      if (n == 0) return std::nullopt;
      out += emit::quote_text(texts[n - 1]);
      used[n - 1] = true;
      i = j;
    } else {
      out += c;
      ++i;
    }
  }
  for (bool u : used) {
    if (!u) return std::nullopt;
  }
  return out;
}

}  // namespace halvaro::sql
