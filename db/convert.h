#pragma once
// Turns a value into the kind its destination column stores, the way the database
// layer converts on a field write: the whole number 0 becomes the text "0" in a text
// column and day zero in a date column, text is read as a number or a regional date,
// currency stays exact. A value that does not fit or does not convert raises the
// "value not stored" error with the reason.

#include "jet/catalog/database.h"
#include "jet/base/field_value.h"

namespace halvaro::db {

FieldValue to_column(const FieldValue& value, const jet::Column& column);
// The same, taking the value's own text when no conversion is needed.
FieldValue to_column(FieldValue&& value, const jet::Column& column);

}  // namespace halvaro::db
