#pragma once
// The account of a run: every row of every source query the transfers read, each found
// moved once, moved more than once (and why) or not moved (and why), and the money and
// quantity totals per claimant and tax period, source against what was appended.

#include <string>
#include <utility>
#include <vector>

#include "db/base_account.h"
#include "db/copy_procedure.h"
#include "db/row_ledger.h"
#include "db/source_account.h"

namespace halvaro::db {

struct RunAccount {
  std::vector<SourceAccount> sources;
  std::vector<TotalLine> totals;
  BaseAccount base;  // the tables behind the views
  // Every source was read and every row of it moved exactly once, every summed value
  // intact, and every row of the tables behind the views was read by one of them.
  bool every_row_moved_once() const;
  // Takes in the account of the tables behind the views, its totals among the others.
  void add_base(BaseAccount account);
  // One line per unreadable source and per listed row, for the result's list: at most
  // kRowsShown rows, then a line per list telling how many more it holds (the report
  // names every one).
  static constexpr size_t kRowsShown = 1000;
  std::vector<std::string> lines() const;
  bool all_rows_shown() const;
};

// The account of one stage from what its ledger holds, reading from `source` what the run
// did not read (the master rows and item view of a stage that never opened). `stopped`:
// the group stopped before or during the stage.
StageAccount account_stage(const Stage& stage, StageLedger* entry, bool stopped, Store& source);

// The account of the whole run: the stages the ledger accounted for as they ended, and
// every other stage read now.
RunAccount account_run(const std::vector<const Group*>& groups, RowLedger& ledger, Store& source);

}  // namespace halvaro::db
