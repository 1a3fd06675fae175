#pragma once
// The text of an item query: a master/detail stage's pieces filled in with one master
// row's values. The copy builds it from the current rows; the read-ahead builds the same
// text for the masters still to come, and the source gives a result only for the very
// text asked for.

#include <string>
#include <utility>
#include <vector>

#include "db/copy_procedure.h"
#include "db/value_text.h"

namespace halvaro::db {

// Turns the condition that ends `text` ("... X = '") into one that a null master value
// satisfies: items whose column is null or empty text. False when `text` does not end
// in the piece's condition, and the value then enters as empty text.
bool open_condition_for_null(std::string& text, const QueryPiece& piece);

// The item query of one master row, its values given by `value_of` (piece to value).
// `values`, when given, receives the values read, in the order of the pieces.
template <class ValueOf>
std::string item_query_text(const std::vector<QueryPiece>& pieces, ValueOf value_of, std::vector<FieldValue>* values) {
  std::string text;
  bool closing_quote_written = false;  // by a condition rewritten for a null value
  for (const QueryPiece& piece : pieces) {
    if (!piece.is_value) {
      std::string_view literal = piece.text;
      if (closing_quote_written && !literal.empty() && literal.front() == '\'') literal.remove_prefix(1);
      closing_quote_written = false;
      text += literal;
      continue;
    }
    FieldValue value = value_of(piece);
    if (value.is_null() && open_condition_for_null(text, piece))
      closing_quote_written = true;
    else
      text += quote_inner(text_form(value));
    if (values) values->push_back(std::move(value));
  }
  return text;
}

}  // namespace halvaro::db
