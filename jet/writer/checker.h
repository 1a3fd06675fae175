#pragma once
// Consistency check of a database file. For every user table: its usage maps agree
// with the pages it owns and its rows match its row count. For every table, system
// tables included: its rows decode, and each index of a Jet 4 table is in order, its
// tree well formed, each entry points at a live row with that key, each row has its
// entry and no two rows share the key of a unique index. Then the catalog agrees
// with itself: every saved query has rows in MSysQueries that rebuild to a
// statement, and every MSysQueries row belongs to a saved query.

#include <cstddef>
#include <string>
#include <vector>

#include "jet/catalog/database.h"
#include "jet/catalog/verify.h"

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

// `progress` hears, every few thousand rows read or index entries met, the rows read
// so far and the rows the user tables' definitions record; it may throw to stop the
// check (an exception not derived from std::exception goes through to the caller), and
// may be called from any of the check's threads, one call at a time.
// `workers`: the threads that share the work (0: one per core, at most two; a page
// source that cannot be read from two threads at once gets one). The report is the
// same for any number.
CheckReport check_database(const Database& database, const VerifyProgress& progress = {}, unsigned workers = 0);

}  // namespace halvaro::jet
