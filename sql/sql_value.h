#pragma once
// An expression as the translator emits it: its SQLite text, the kind of value it
// gives, and the conversions between the representations translator.h describes.

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "jet/base/field_value.h"
#include "sql/kind.h"

namespace halvaro::sql {

struct RelationColumn;

namespace emit {

// An emitted expression: its SQLite text and what it holds.
struct Val {
  std::string sql;
  Kind kind = Kind::Variant;
  bool truth01 = false;     // a comparison's 1/0 rather than Jet's -1/0
  bool null = false;        // the literal Null
  bool aggregate = false;   // contains an aggregate
  std::optional<FieldValue> literal;
  bool text_literal = false;
  int parameter = 0;        // a quoted text emitted as the placeholder ?<parameter>
  bool one_column = false;  // a column, or a conversion of one (an index can hold it)
  uint8_t scale = 0;
  const RelationColumn* column = nullptr;  // a plain column reference
  std::string column_qualifier;
  std::string source_alias;  // the FROM source of a plain column (s<n>)
};

[[noreturn]] void fail(const std::string& what);  // throws QueryError

std::string quote_text(std::string_view text);  // 'it''s'
std::string real_literal(double value);         // always read back as REAL
// The kind a function is told its argument has.
std::string kind_code(Kind kind);
bool is_numeric(Kind kind);

// The value in its kind's representation (booleans as -1/0).
std::string value_sql(const Val& v);
// The value with nothing scaled: currency as a plain number.
std::string plain(const Val& v);
Val make(std::string sql, Kind kind, const Val* from = nullptr);
// A comparison or test: true is any non-zero value.
Val boolean(std::string sql, const Val* from = nullptr);

// Conversions as CStr, CDbl and CDate do them.
Val text(const Val& v);
Val number(const Val& v);
Val date(const Val& v);

// A quoted text compared with a typed value becomes a value of that type; throws
// QueryError (data type mismatch) when it is not one, and ValueDependent when the
// text is a placeholder (the emitted SQL would depend on its value).
Val literal_as(const Val& text_value, Kind kind);

// A statement's translation depends on the value of a quoted text that was meant
// to be bound as a parameter: the statement must be translated with its values.
class ValueDependent : public std::exception {
 public:
  const char* what() const noexcept override { return "the translation depends on a quoted text's value"; }
};

}  // namespace emit
}  // namespace halvaro::sql
