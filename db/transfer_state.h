#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/connection.h"
#include "db/recordset.h"
#include "db/row_ledger.h"
#include "db/skipped_values.h"

namespace halvaro::db {

// Receives what the transfers report while they run.
class TransferReporter {
 public:
  virtual ~TransferReporter() = default;
  // An error that stopped a transfer: its description, shown modally without icon or title.
  virtual void error(const std::string& description) = 0;
  // Rows of the current stage done so far, out of its source rows.
  virtual void progress(std::string_view /*stage*/, size_t /*done*/, size_t /*total*/) {}
  // Long work without rows to count (reading the source's tables) is still going on.
  virtual void busy() {}
};

struct Group;
struct Stage;

// The objects every transfer of a run shares: the two connections, the four recordsets,
// the success counter, the list of what was not stored and the ledger of every source row.
struct TransferState {
  TransferState(const StoreOpener& opener, TransferReporter& reporter_)
      : Con_Source(Access::ReadOnly, opener), Con_Destination(Access::Append, opener), reporter(reporter_) {}

  Connection Con_Source;
  Connection Con_Destination;
  Recordset rsSourceMtr;
  Recordset rsDestinationMtr;
  Recordset rsSourceDet;
  Recordset rsDestinationDet;
  int16_t SuccessCount = 0;
  TransferReporter& reporter;
  SkippedValues skipped;
  RowLedger ledger;
  // The groups the run goes through, in order, when known: while one stage writes its
  // last rows, the source of the stage after it is read ahead.
  std::vector<const Group*> run_order;
  // The stages whose master query (and item view) have gone to the source's read-ahead.
  std::vector<const Stage*> read_ahead_stages;
};

}  // namespace halvaro::db
