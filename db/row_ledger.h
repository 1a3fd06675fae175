#pragma once
// What became of each source row while the transfers ran. The copy procedure tells the
// ledger which master and item rows it appended, which it could not store and where a
// group stopped; the account of the run is worked out from it afterwards. When a stage's
// item view was read as the stage opened, each item is matched to its row of the view
// as it is found, and an item query's rows are dropped once the next one opens.

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "db/row_index.h"
#include "db/store.h"

namespace halvaro::db {

struct Group;
struct Stage;

enum class RowFate {
  Appended,
  Refused,          // the database did not store the row (its description is the reason)
  MasterNotStored,  // an item whose master row was not stored, so it was not appended
};

struct RowEvent {
  RowFate fate = RowFate::Appended;
  std::string reason;
  std::vector<FieldValue> stored;  // appended: the summed columns as the destination holds them
};

// One master row's item query and what became of the rows it found.
struct ItemVisit {
  size_t master_row = 0;
  bool master_stored = false;
  std::vector<FieldValue> key;  // the values the query compared, in the order of its pieces
  std::shared_ptr<const ResultView> items;  // with an item view: only while this is the latest visit
  std::vector<std::pair<size_t, RowEvent>> events;  // by row of `items`
  std::vector<std::optional<size_t>> view_rows;     // with an item view: the view's row of each event
};

// A source read whole: its rows, or why it could not be read.
struct SourceRead {
  std::shared_ptr<const ResultView> rows;  // null: not read
  std::string error;
};

struct StageLedger {
  std::shared_ptr<const ResultView> masters;
  std::vector<std::vector<RowEvent>> master_events;  // by master row
  std::vector<ItemVisit> visits;
  bool stopped = false;  // the group stopped while this stage ran
  std::string stop_reason;
  std::optional<SourceRead> item_view;     // read when the stage opened
  std::unique_ptr<ViewMatcher> item_rows;  // over item_view's rows
};

class RowLedger {
 public:
  void stage_opened(const Stage& stage, std::shared_ptr<const ResultView> masters);
  // The stage's item view, read as it opened: item events are matched to its rows at once.
  void item_view_read(const Stage& stage, SourceRead view);
  void master_event(const Stage& stage, size_t row, RowEvent event);
  void items_opened(const Stage& stage, size_t master_row, bool master_stored, std::vector<FieldValue> key,
                    std::shared_ptr<const ResultView> items);
  // An event of the item rows found by the latest items_opened of the stage.
  void item_event(const Stage& stage, size_t row, RowEvent event);
  // The group stopped; `current` is the stage it was in (null: before its first stage).
  void group_stopped(const Group& group, const Stage* current, const std::string& description);

  const StageLedger* stage(const Stage& stage) const;
  bool stopped(const Group& group) const { return stopped_groups_.count(&group) > 0; }

 private:
  std::map<const Stage*, StageLedger> stages_;
  std::set<const Group*> stopped_groups_;
};

}  // namespace halvaro::db
