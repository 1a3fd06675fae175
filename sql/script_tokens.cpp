#include "sql/script_tokens.h"

#include <cctype>

#include "jet/base/errors.h"
#include "sql/lexer.h"

namespace halvaro::sql::script {

namespace {

TokenKind kind_of(sql::Token::Type type) {
  using Type = sql::Token::Type;
  switch (type) {
    case Type::Word: return TokenKind::Word;
    case Type::Name: return TokenKind::Name;
    case Type::Text: return TokenKind::Text;
    case Type::Number: return TokenKind::Number;
    case Type::Date: return TokenKind::Date;
    case Type::Symbol: return TokenKind::Symbol;
    case Type::End: break;
  }
  return TokenKind::End;
}

// Counts lines forward only, so numbering a whole script stays linear.
class LineCounter {
 public:
  explicit LineCounter(std::string_view text) : text_(text) {}
  int line_at(size_t offset) {
    for (; scanned_ < offset && scanned_ < text_.size(); ++scanned_)
      if (text_[scanned_] == '\n') ++line_;
    return line_;
  }

 private:
  std::string_view text_;
  size_t scanned_ = 0;
  int line_ = 1;
};

// The script's own wording for what the lexer could not read.
std::string describe(const LexError& e, std::string_view text) {
  switch (e.problem) {
    case LexError::Problem::UnclosedText: return "text literal is not closed";
    case LexError::Problem::UnclosedName: return "name in brackets is not closed";
    case LexError::Problem::UnclosedDate: return "date literal is not closed with #";
    case LexError::Problem::StrayCharacter: break;
  }
  return std::string("unexpected character '") + text[e.offset] + "'";
}

}  // namespace

bool is_word(const Token& t, std::string_view keyword) {
  if (t.kind != TokenKind::Word || t.text.size() != keyword.size()) return false;
  for (size_t i = 0; i < keyword.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(t.text[i])) != std::toupper(static_cast<unsigned char>(keyword[i])))
      return false;
  return true;
}

std::vector<Token> tokenize(std::string_view text) {
  std::vector<sql::Token> lexed;
  try {
    lexed = sql::tokenize(text, LexOptions{.line_comments = true});
  } catch (const LexError& e) {
    throw jet::JetError("line " + std::to_string(LineCounter(text).line_at(e.offset)) + ": " + describe(e, text));
  }
  std::vector<Token> out;
  out.reserve(lexed.size());
  LineCounter lines(text);
  for (sql::Token& t : lexed) {
    Token token;
    token.kind = kind_of(t.type);
    token.text = std::move(t.text);
    token.begin = t.offset;
    token.end = t.end;
    token.line = lines.line_at(t.type == sql::Token::Type::End ? text.size() : t.offset);
    out.push_back(std::move(token));
  }
  return out;
}

}  // namespace halvaro::sql::script
