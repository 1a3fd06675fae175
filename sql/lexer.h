#pragma once
// Splits Access SQL text into tokens.

#include <string>
#include <string_view>
#include <vector>

namespace halvaro::sql {

struct Token {
  enum class Type { Word, Name, Text, Number, Date, Symbol, End };
  Type type = Type::End;
  std::string text;  // Word and Symbol as written; Name, Text and Date without their delimiters
  size_t offset = 0;
};

// Throws SyntaxError for an unterminated string, [name] or #date#, or a stray character.
std::vector<Token> tokenize(std::string_view sql);

}  // namespace halvaro::sql
