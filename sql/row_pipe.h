#pragma once
// A table's rows decoded on a helper thread and handed over a batch at a time: while
// the caller inserts one batch into the scratch database, the next is being decoded.

#include <cstddef>
#include <functional>
#include <span>

#include "jet/base/field_value.h"

namespace halvaro::sql {

using RowVisitor = std::function<void(std::span<const FieldValue> values)>;
// One or more rows, one after another, each `columns` values long; the values stay
// valid until the call returns.
using RowsVisitor = std::function<void(std::span<const FieldValue> values)>;

// Calls `produce` on a helper thread; the rows it gives its visitor reach `consume` on
// this thread, in order and a batch at a time, each as exactly `columns` values (a
// shorter row ends in nulls). An exception on either side stops both and is rethrown
// here, after the helper has finished.
void pipe_rows(size_t columns, const std::function<void(const RowVisitor&)>& produce, const RowsVisitor& consume);

}  // namespace halvaro::sql
