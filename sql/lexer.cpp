#include "sql/lexer.h"

#include <cctype>

namespace halvaro::sql {

namespace {

bool word_start(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || (static_cast<unsigned char>(c) & 0x80);
}
bool word_part(char c) { return word_start(c) || std::isdigit(static_cast<unsigned char>(c)); }

}  // namespace

std::vector<Token> tokenize(std::string_view sql, LexOptions options) {
  std::vector<Token> tokens;
  tokenize_into(sql, tokens, options);
  return tokens;
}

void tokenize_into(std::string_view sql, std::vector<Token>& tokens, LexOptions options) {
  using Problem = LexError::Problem;
  tokens.clear();
  tokens.reserve(sql.size() / 5 + 2);  // about one token per five characters: no regrowth for most statements
  size_t i = 0;
  auto fail = [&](const std::string& what, Problem problem, size_t at) {
    throw LexError(what + " at character " + std::to_string(at + 1), problem, at);
  };
  while (i < sql.size()) {
    char c = sql[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    if (options.line_comments && sql.substr(i, 2) == "--") {
      while (i < sql.size() && sql[i] != '\n') ++i;
      continue;
    }
    Token token;
    token.offset = i;
    if (c == '[' || c == '`') {
      char close = c == '[' ? ']' : '`';
      size_t end = sql.find(close, i + 1);
      if (end == std::string_view::npos) fail("unterminated name", Problem::UnclosedName, i);
      token.type = Token::Type::Name;
      token.text = sql.substr(i + 1, end - i - 1);
      i = end + 1;
    } else if (c == '\'' || c == '"') {
      token.type = Token::Type::Text;
      size_t j = i + 1;
      for (;;) {
        if (j >= sql.size()) fail("unterminated text literal", Problem::UnclosedText, i);
        if (sql[j] == c) {
          if (j + 1 < sql.size() && sql[j + 1] == c) {
            token.text += c;
            j += 2;
            continue;
          }
          break;
        }
        token.text += sql[j++];
      }
      i = j + 1;
    } else if (c == '#') {
      size_t end = sql.find('#', i + 1);
      if (end == std::string_view::npos) fail("unterminated #date#", Problem::UnclosedDate, i);
      token.type = Token::Type::Date;
      token.text = sql.substr(i + 1, end - i - 1);
      i = end + 1;
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && i + 1 < sql.size() && std::isdigit(static_cast<unsigned char>(sql[i + 1])) &&
                (tokens.empty() || tokens.back().type == Token::Type::Symbol))) {
      size_t j = i;
      while (j < sql.size() && std::isdigit(static_cast<unsigned char>(sql[j]))) ++j;
      if (j < sql.size() && sql[j] == '.') {
        ++j;
        while (j < sql.size() && std::isdigit(static_cast<unsigned char>(sql[j]))) ++j;
      }
      if (j < sql.size() && (sql[j] == 'e' || sql[j] == 'E')) {
        size_t k = j + 1;
        if (k < sql.size() && (sql[k] == '+' || sql[k] == '-')) ++k;
        if (k < sql.size() && std::isdigit(static_cast<unsigned char>(sql[k]))) {
          while (k < sql.size() && std::isdigit(static_cast<unsigned char>(sql[k]))) ++k;
          j = k;
        }
      }
      token.type = Token::Type::Number;
      token.text = sql.substr(i, j - i);
      i = j;
    } else if (word_start(c)) {
      size_t j = i;
      while (j < sql.size() && word_part(sql[j])) ++j;
      token.type = Token::Type::Word;
      token.text = sql.substr(i, j - i);
      i = j;
    } else {
      static const char* const kTwo[] = {"<=", ">=", "<>"};
      token.type = Token::Type::Symbol;
      for (const char* two : kTwo) {
        if (sql.substr(i, 2) == two) token.text = two;
      }
      if (token.text.empty()) {
        if (std::string_view("=<>+-*/\\^&(),.!;").find(c) == std::string_view::npos) {
          fail(std::string("unexpected character '") + c + "'", Problem::StrayCharacter, i);
        }
        token.text = std::string(1, c);
      }
      i += token.text.size();
    }
    token.end = i;
    tokens.push_back(std::move(token));
  }
  Token end;
  end.offset = end.end = sql.size();
  tokens.push_back(end);
}

}  // namespace halvaro::sql
