#include "jet/builder/sql_tokens.h"

#include <cctype>

#include "jet/catalog/database.h"

namespace halvaro::jet::script {

namespace {

bool word_char(char c) {
  auto u = static_cast<unsigned char>(c);
  return std::isalnum(u) || c == '_' || u >= 0x80;
}

[[noreturn]] void fail(int line, const std::string& what) {
  throw JetError("line " + std::to_string(line) + ": " + what);
}

}  // namespace

bool is_word(const Token& t, std::string_view keyword) {
  if (t.kind != TokenKind::Word || t.text.size() != keyword.size()) return false;
  for (size_t i = 0; i < keyword.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(t.text[i])) != std::toupper(static_cast<unsigned char>(keyword[i])))
      return false;
  return true;
}

std::vector<Token> tokenize(std::string_view s) {
  std::vector<Token> out;
  int line = 1;
  size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    if (c == '\n') { ++line; ++i; continue; }
    if (std::isspace(static_cast<unsigned char>(c))) { ++i; continue; }
    if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      while (i < s.size() && s[i] != '\n') ++i;
      continue;
    }
    Token t;
    t.begin = i;
    t.line = line;
    if (c == '\'' || c == '"') {
      t.kind = TokenKind::Text;
      ++i;
      while (true) {
        if (i >= s.size()) fail(t.line, "text literal is not closed");
        if (s[i] == c) {
          if (i + 1 < s.size() && s[i + 1] == c) { t.text += c; i += 2; continue; }
          ++i;
          break;
        }
        if (s[i] == '\n') ++line;
        t.text += s[i++];
      }
    } else if (c == '[') {
      t.kind = TokenKind::Name;
      size_t close = s.find(']', i);
      if (close == std::string_view::npos) fail(line, "name in brackets is not closed");
      t.text = std::string(s.substr(i + 1, close - i - 1));
      i = close + 1;
    } else if (c == '#') {
      t.kind = TokenKind::Date;
      size_t close = s.find('#', i + 1);
      if (close == std::string_view::npos) fail(line, "date literal is not closed with #");
      t.text = std::string(s.substr(i + 1, close - i - 1));
      i = close + 1;
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      t.kind = TokenKind::Number;
      while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.')) t.text += s[i++];
    } else if (word_char(c)) {
      t.kind = TokenKind::Word;
      while (i < s.size() && word_char(s[i])) t.text += s[i++];
    } else {
      t.kind = TokenKind::Symbol;
      static const char* two[] = {"<>", "<=", ">="};
      t.text = std::string(1, c);
      for (const char* op : two)
        if (s.substr(i, 2) == op) t.text = op;
      if (std::string_view("(),;.*=<>+-/&!").find(c) == std::string_view::npos)
        fail(line, std::string("unexpected character '") + c + "'");
      i += t.text.size();
    }
    t.end = i;
    out.push_back(std::move(t));
  }
  Token end;
  end.begin = end.end = s.size();
  end.line = line;
  out.push_back(end);
  return out;
}

}  // namespace halvaro::jet::script
