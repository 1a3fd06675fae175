#pragma once
// Evaluates a column's DefaultValue property text (as Access stores it: "NIL", 'x',
// 0, -1, 12.5, True, #2024-01-31#, Now(), Date(), Time(), optionally with a leading
// "=") into a value of the column's kind. Unknown expressions give null.

#include <optional>
#include <string_view>

#include "jet/catalog/database.h"
#include "jet/base/field_value.h"

namespace halvaro::jet {

FieldValue evaluate_default(std::string_view expression, ColumnType type);

// Converts a literal value (text, number, boolean, date) to the kind the column
// stores; nullopt when it has no sensible form there.
std::optional<FieldValue> convert_for_column(const FieldValue& value, ColumnType type);

}  // namespace halvaro::jet
