#pragma once
// Queues on the source's read-ahead (db/read_ahead) the statements the copy will open
// next: the item queries of the masters after the current one and, behind the last of
// them, the master query and item view of the stage the run opens next. The source
// evaluates them on its helper thread while this thread writes rows. Reading ahead only
// saves time: whatever cannot be queued is evaluated when its turn comes.

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "db/copy_procedure.h"

namespace halvaro::db {

class StatementsAhead {
 public:
  StatementsAhead(const Group& group, TransferState& state) : group_(group), state_(state) {}

  // `stage` has begun: nothing of it is queued yet.
  void stage_opened(const Stage& stage);
  // The item query of the current master was built from `pieces`: the next masters'
  // queries go in, a batch at a time, and the next stage's once they are all in.
  void items_after_current(const std::vector<QueryPiece>& pieces);
  // The stage queues nothing of its own (no items, or no masters): the next stage's
  // statements go in at once.
  void next_stage();

 private:
  struct AheadValue;
  void queue_items(const std::vector<QueryPiece>& pieces);
  std::optional<AheadValue> stored_master_value(const ResultView& masters, std::string_view name) const;
  const Stage* stage_after(const Stage& stage) const;

  const Group& group_;
  TransferState& state_;
  const Stage* stage_ = nullptr;
  size_t items_queued_until_ = 0;   // master rows whose item queries went in
  bool next_stage_queued_ = false;  // the next stage's statements went in
};

}  // namespace halvaro::db
