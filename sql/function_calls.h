#pragma once
// Translation of function calls (CStr, IIf, Format, DateAdd, Sum, ...).

#include <string>
#include <vector>

#include "sql/sql_value.h"

namespace halvaro::sql::emit {

// The call of the function named `written_name` (as the statement spells it) on
// arguments already translated; Count(*) is the caller's. Throws QueryError for a
// function that is not supported or a wrong number of arguments.
Val translate_call(const std::string& written_name, const std::vector<Val>& args);

}  // namespace halvaro::sql::emit
