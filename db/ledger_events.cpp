#include "db/ledger_events.h"

#include "db/item_view.h"

namespace halvaro::db {

namespace {

bool same_column(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  return true;
}

// The destination columns that receive the summed source columns, in their order.
std::vector<std::string_view> summed_destinations(const std::vector<FieldEntry>& mapping, const SourceFacts& facts) {
  std::vector<std::string_view> out;
  for (std::string_view column : facts.summed) {
    for (const FieldEntry& entry : mapping)
      if (same_column(entry.source, column)) out.push_back(entry.destination);
  }
  return out;
}

}  // namespace

LedgerEvents::LedgerEvents(const Group& group, TransferState& state) : group_(group), state_(state) {
  for (const Stage& stage : group.stages)
    summed_[&stage] = {summed_destinations(stage.mapping, stage.facts),
                       stage.detail ? summed_destinations(stage.detail->mapping, stage.detail->view)
                                    : std::vector<std::string_view>{}};
}

void LedgerEvents::stage_opened(const Stage& stage, Recordset& masters) {
  state_.ledger.stage_opened(stage, masters.snapshot());
  if (stage.detail) state_.ledger.item_view_read(stage, read_item_view(*stage.detail, state_.Con_Source.store()));
}

void LedgerEvents::items_opened(const Stage& stage, const std::vector<FieldValue>& key, Recordset& items) {
  state_.Con_Source.store().let_go(
      state_.ledger.items_opened(stage, state_.rsSourceMtr.AbsolutePosition(), key, items.snapshot()));
}

void LedgerEvents::appended(const Stage* stage, bool master, Recordset& destination) {
  RowEvent appended;
  const auto& summed = summed_[stage];
  for (std::string_view column : master ? summed.first : summed.second)
    appended.stored.push_back(destination.Fields(column).Value());
  event(stage, master, std::move(appended));
}

void LedgerEvents::refused(const Stage* stage, bool master, const std::string& reason) {
  event(stage, master, {RowFate::Refused, reason, {}});
}

void LedgerEvents::items_not_moved(const Stage& stage, size_t items) {
  for (size_t row = 0; row < items; ++row) state_.ledger.item_event(stage, row, {RowFate::MasterNotStored, {}, {}});
}

void LedgerEvents::group_stopped(const Stage* current, const std::string& description) {
  state_.ledger.group_stopped(group_, current, description);
}

void LedgerEvents::event(const Stage* stage, bool master, RowEvent event) {
  if (!stage) return;
  if (master)
    state_.ledger.master_event(*stage, state_.rsSourceMtr.AbsolutePosition(), std::move(event));
  else
    state_.ledger.item_event(*stage, state_.rsSourceDet.AbsolutePosition(), std::move(event));
}

}  // namespace halvaro::db
