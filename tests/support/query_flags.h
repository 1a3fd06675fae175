#pragma once

#include <string_view>

#include "jet/catalog/database.h"

namespace halvaro::test {

// The Flag of a saved query's Flags row (MSysQueries, Attribute 3) as the file holds
// it, read without rebuilding the query; -1 unless the query has exactly one such row.
inline int stored_query_flags(const jet::Database& db, std::string_view query) {
  int found = -1, rows = 0;
  for (const jet::QueryRow& row : db.query_rows(query)) {
    if (row.attribute != jet::QueryAttribute::Flags) continue;
    found = row.flag;
    ++rows;
  }
  return rows == 1 ? found : -1;
}

}  // namespace halvaro::test
