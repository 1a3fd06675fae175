#pragma once
// The account of a run: every row of every source query the transfers read, each found
// moved once, moved more than once (and why) or not moved (and why), and the money and
// quantity totals per claimant and tax period, source against what was appended.

#include <string>
#include <utility>
#include <vector>

#include "db/copy_procedure.h"
#include "db/exact_number.h"
#include "db/row_ledger.h"

namespace halvaro::db {

// One source row named by its key columns, with what became of it.
struct ListedRow {
  std::vector<std::pair<std::string, std::string>> key;  // column, text of its value
  std::string reason;
  size_t times = 0;  // how often it was appended
  std::string key_text() const;  // "InvoiceNo TI-0099, ItemSerialNo 1"
};

struct SourceAccount {
  std::string name;   // e.g. "VwPurchaseDebit"
  std::string group;  // the stage's label, e.g. "Purchase and debit-note invoices"
  bool read = true;   // false: the source could not be read, its rows are unknown
  std::string read_error{};
  size_t rows = 0;
  size_t moved = 0;  // exactly once
  std::vector<ListedRow> more_than_once{};
  std::vector<ListedRow> not_moved{};
  std::vector<ListedRow> changed{};  // moved once, but a summed value arrived different
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

struct RunAccount {
  std::vector<SourceAccount> sources;
  std::vector<TotalLine> totals;
  // Every source was read and every row of it moved exactly once, every summed value intact.
  bool every_row_moved_once() const;
  // One line per listed row and per unreadable source, for the result's list.
  std::vector<std::string> lines() const;
};

// Works the account out from the ledger, reading each source query again where the run
// did not (item views whole, masters of stages that never opened).
RunAccount account_run(const std::vector<const Group*>& groups, const RowLedger& ledger, Store& source);

}  // namespace halvaro::db
