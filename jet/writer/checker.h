#pragma once
// Consistency check of a database file: for every table, system tables included,
// that its usage maps agree with the pages it owns, that its rows decode and match
// its row count, and for every index of a Jet 4 table that the entries are in order,
// the tree is well formed, each entry points at a live row with that key, each row
// has its entry and no two rows share the key of a unique index. Then that the
// catalog agrees with itself: every saved query has its rows in MSysQueries, which
// rebuild to a statement, and every MSysQueries row belongs to a saved query.

#include <cstddef>
#include <string>
#include <vector>

#include "jet/catalog/database.h"

namespace halvaro::jet {

// The counts are those of user tables; system tables are checked as well but not
// counted, so the figures describe the data the user put in.
struct CheckReport {
  std::vector<std::string> problems;
  size_t tables = 0;
  size_t rows = 0;
  size_t index_entries = 0;
  size_t system_tables = 0;
  // Entries whose key the engine cannot compute (a character without sort codes):
  // neither confirmed nor reported as wrong.
  size_t unverified_entries = 0;
  bool ok() const { return problems.empty(); }
};

CheckReport check_database(const Database& database);

}  // namespace halvaro::jet
