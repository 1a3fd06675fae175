#pragma once
// What the account of a run says of one source query: how many of its rows moved, and
// each row that did not move exactly once (or moved with a changed value), with why.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "db/exact_number.h"
#include "db/listed_rows.h"

namespace halvaro::db {

struct SourceAccount {
  std::string name;   // e.g. "VwPurchaseDebit"
  std::string group;  // the stage's label, e.g. "Purchase and debit-note invoices"
  bool read = true;   // false: the source could not be read, its rows are unknown
  std::string read_error{};
  size_t rows = 0;
  size_t moved = 0;  // exactly once
  ListedRows more_than_once{};
  ListedRows not_moved{};
  ListedRows changed{};  // moved once, but a summed value arrived different
};

// One money or quantity column of one source, for one claimant and tax period.
struct TotalLine {
  std::string claimant;
  std::string period;
  std::string source;
  std::string column;
  ExactNumber source_total;
  ExactNumber appended;
  ExactNumber listed;  // what the listed rows account for: appended less source, row by row
  ExactNumber difference() const { return appended - source_total; }
};

// The totals of one source: per claimant and tax period, a line per summed column.
using SourceTotals = std::map<std::pair<std::string, std::string>, std::vector<TotalLine>>;

// The account of one stage: its master query and, for a master/detail stage, its item view.
struct StageAccount {
  std::vector<SourceAccount> sources;
  std::vector<SourceTotals> totals;  // by source
};

}  // namespace halvaro::db
