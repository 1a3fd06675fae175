#pragma once
// Turns the literal values of an INSERT statement into values of the target
// columns' kinds, as Access converts them on insert.

#include "jet/catalog/database.h"
#include "jet/base/field_value.h"

namespace halvaro::jet {

// Throws JetError naming the column when the literal cannot become a value of it
// (text for a number column, a fraction for a whole number, more than four decimals
// for Currency, ...). Range and length checks are left to the writer.
FieldValue value_for_column(const Column& column, const FieldValue& literal);

}  // namespace halvaro::jet
