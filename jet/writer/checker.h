#pragma once
// Consistency check of a database file: for every user table, that its usage maps
// agree with the pages it owns, that its rows decode and match its row count, and
// for every index of a Jet 4 table that the entries are in order, the tree is well
// formed, each entry points at a live row with that key and each row has its entry.

#include <cstddef>
#include <string>
#include <vector>

#include "jet/catalog/database.h"

namespace halvaro::jet {

struct CheckReport {
  std::vector<std::string> problems;
  size_t tables = 0;
  size_t rows = 0;
  size_t index_entries = 0;
  bool ok() const { return problems.empty(); }
};

CheckReport check_database(const Database& database);

}  // namespace halvaro::jet
