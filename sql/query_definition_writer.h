#pragma once
// Stores a SELECT statement as a saved query: the rows of MSysQueries that Access
// writes for it (query type, flags, tables, output columns, joins, WHERE, GROUP BY,
// HAVING, ORDER BY).

#include <string_view>
#include <vector>

#include "jet/builder/database_builder.h"

namespace halvaro::sql::script {

// Throws JetError naming what it could not understand.
std::vector<jet::QueryRow> query_rows_for_select(std::string_view select);

}  // namespace halvaro::sql::script
