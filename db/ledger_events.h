#pragma once
// What the copy procedure tells the run's ledger (db/row_ledger) as it goes, in the
// copy's own terms: a stage opened, a master's items found, a row appended to the
// destination's master or item recordset or refused by it, a group stopped. The ledger
// is told which source row each event belongs to and, for an append, the summed columns
// as the destination holds them.

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/copy_procedure.h"

namespace halvaro::db {

class LedgerEvents {
 public:
  LedgerEvents(const Group& group, TransferState& state);

  // The stage's master query opened on `masters`: the ledger accounts for the stage
  // before it and reads this stage's item view, so that each item is accounted for as
  // it is found.
  void stage_opened(const Stage& stage, Recordset& masters);
  // The current master's item query opened on `items`, its values `key`. The previous
  // master's item rows are freed off this thread.
  void items_opened(const Stage& stage, const std::vector<FieldValue>& key, Recordset& items);
  // The new row of the destination's master (or item) recordset was stored. `stage`
  // null: between stages, nothing is accounted.
  void appended(const Stage* stage, bool master, Recordset& destination);
  // The database did not store the row being built, for `reason`.
  void refused(const Stage* stage, bool master, const std::string& reason);
  // The items found for a master that was not stored: none of them is appended.
  void items_not_moved(const Stage& stage, size_t items);
  // The group stopped in `current` (null: before its first stage).
  void group_stopped(const Stage* current, const std::string& description);

 private:
  void event(const Stage* stage, bool master, RowEvent event);

  const Group& group_;
  TransferState& state_;
  // Per stage: the destination columns of the summed master and item columns.
  std::map<const Stage*, std::pair<std::vector<std::string_view>, std::vector<std::string_view>>> summed_;
};

}  // namespace halvaro::db
