#pragma once
// Readable values in failure messages of the query layer's tests.

#include <ostream>

#include "jet/base/field_value.h"
#include "sql/regional.h"

namespace halvaro {
inline void PrintTo(const FieldValue& value, std::ostream* out) {
  *out << (value.is_null() ? "Null" : sql::text_form(value)) << " (alternative " << value.value.index() << ")";
}
}  // namespace halvaro
