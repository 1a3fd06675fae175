#pragma once
// The value kind of a column or of a query's result column: which FieldValue
// alternative its values take, and how they are held inside the evaluator.

#include <cstdint>
#include <string_view>

#include "jet/catalog/database.h"

namespace halvaro::sql {

enum class Kind : uint8_t {
  Text,      // std::string (Text and Memo columns)
  Long,      // int64_t (Byte, Integer, Long, autonumber)
  Single,    // double, shown with 7 significant digits
  Double,    // double
  Currency,  // Currency, exact
  Date,      // DateTime
  Bool,      // bool
  Decimal,   // Decimal (scale kept per column)
  Guid,      // Guid
  Binary,    // Binary (Binary and OLE columns)
  Variant,   // anything: the kind of an expression whose type is not fixed
};

std::string_view kind_name(Kind kind);
Kind kind_of(jet::ColumnType type);

}  // namespace halvaro::sql
