#pragma once
// Splits Access SQL text into tokens.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace halvaro::sql {

// What is wrong with a statement's text, or which construct it uses that is not supported.
class SyntaxError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Text the lexer cannot split; `offset` is where the offending literal or character starts.
class LexError : public SyntaxError {
 public:
  enum class Problem { UnclosedName, UnclosedText, UnclosedDate, StrayCharacter };
  LexError(const std::string& message, Problem what, size_t at)
      : SyntaxError(message), problem(what), offset(at) {}
  Problem problem;
  size_t offset;
};

struct Token {
  enum class Type { Word, Name, Text, Number, Date, Symbol, End };
  Type type = Type::End;
  std::string text;  // Word and Symbol as written; Name, Text and Date without their delimiters
  size_t offset = 0;
  size_t end = 0;  // one past the token's last character
};

struct LexOptions {
  bool line_comments = false;  // `--` starts a comment to the end of the line (scripts)
};

// Throws LexError for an unterminated string, [name] or #date#, or a stray character.
std::vector<Token> tokenize(std::string_view sql, LexOptions options = {});
// The same into `tokens` (emptied first), whose room a caller tokenizing statement
// after statement keeps.
void tokenize_into(std::string_view sql, std::vector<Token>& tokens, LexOptions options = {});

}  // namespace halvaro::sql
