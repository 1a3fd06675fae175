#pragma once
// A tokenizer for the Access SQL that `halvaro create` scripts use.

#include <string>
#include <string_view>
#include <vector>

namespace halvaro::jet::script {

enum class TokenKind { Word, Name, Text, Number, Date, Symbol, End };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;   // Word/Symbol as written; Name without brackets; Text unquoted
  size_t begin = 0;   // byte offsets into the script
  size_t end = 0;
  int line = 1;
};

// Splits a script into tokens; `--` starts a comment to the end of the line.
// Throws JetError on an unterminated literal or a stray character.
std::vector<Token> tokenize(std::string_view text);

// Case-blind comparison of a Word token with a keyword.
bool is_word(const Token& t, std::string_view keyword);

}  // namespace halvaro::jet::script
