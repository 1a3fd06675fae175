#pragma once
// The tokens of Access SQL scripts (`halvaro create`, `halvaro exec`): the query
// layer's lexer with `--` comments, each token knowing its line.

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace halvaro::sql::script {

enum class TokenKind { Word, Name, Text, Number, Date, Symbol, End };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;   // Word/Symbol as written; Name without brackets; Text unquoted
  size_t begin = 0;   // byte offsets into the script
  size_t end = 0;
  int line = 1;
};

// Splits a script into tokens; `--` starts a comment to the end of the line.
// Throws jet::JetError naming the line of an unterminated literal or a stray character.
std::vector<Token> tokenize(std::string_view text);

// Case-blind comparison of a Word token with a keyword.
bool is_word(const Token& t, std::string_view keyword);

// A position in a token list with the look-ahead and expectations both statement
// parsers use; each says in its own words where a parse error is.
class TokenCursor {
 public:
  explicit TokenCursor(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}
  virtual ~TokenCursor() = default;

 protected:
  [[noreturn]] virtual void fail(const std::string& expected) const = 0;

  const Token& peek(size_t ahead = 0) const {
    return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)];
  }
  const Token& next() {
    const Token& t = peek();
    if (t.kind != TokenKind::End) ++pos_;
    return t;
  }
  bool accept_word(std::string_view w) {
    if (!is_word(peek(), w)) return false;
    ++pos_;
    return true;
  }
  void expect_word(std::string_view w) {
    if (!accept_word(w)) fail(std::string(w));
  }
  bool accept_symbol(std::string_view symbol) {
    if (peek().kind != TokenKind::Symbol || peek().text != symbol) return false;
    ++pos_;
    return true;
  }
  void expect_symbol(std::string_view symbol) {
    if (!accept_symbol(symbol)) fail("'" + std::string(symbol) + "'");
  }

  std::vector<Token> tokens_;  // ends with an End token
  size_t pos_ = 0;
};

}  // namespace halvaro::sql::script
