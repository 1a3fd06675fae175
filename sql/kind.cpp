#include "sql/kind.h"

namespace halvaro::sql {

std::string_view kind_name(Kind kind) {
  switch (kind) {
    case Kind::Text: return "Text";
    case Kind::Long: return "Long";
    case Kind::Single: return "Single";
    case Kind::Double: return "Double";
    case Kind::Currency: return "Currency";
    case Kind::Date: return "Date";
    case Kind::Bool: return "Boolean";
    case Kind::Decimal: return "Decimal";
    case Kind::Guid: return "Guid";
    case Kind::Binary: return "Binary";
    case Kind::Variant: return "Variant";
  }
  return "?";
}

Kind kind_of(jet::ColumnType type) {
  using T = jet::ColumnType;
  switch (type) {
    case T::Boolean: return Kind::Bool;
    case T::Byte:
    case T::Integer:
    case T::Long: return Kind::Long;
    case T::Currency: return Kind::Currency;
    case T::Single: return Kind::Single;
    case T::Double: return Kind::Double;
    case T::DateTime: return Kind::Date;
    case T::Binary:
    case T::Ole: return Kind::Binary;
    case T::Text:
    case T::Memo: return Kind::Text;
    case T::Guid: return Kind::Guid;
    case T::Numeric: return Kind::Decimal;
  }
  return Kind::Variant;
}

}  // namespace halvaro::sql
