#pragma once
// What became of each source row while the transfers ran. The copy procedure tells the
// ledger which master and item rows it appended, which it could not store and where a
// group stopped. Each item is matched to its row of the stage's item view as it is
// found, and each row keeps only a small mark; when the next stage opens, the stage
// that ended is accounted for and all it held is let go, so memory follows the stage in
// flight and not the file.

#include <cstddef>
#include <cstdint>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/master_keys.h"
#include "db/row_index.h"
#include "db/source_account.h"
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

// What became of one source row, in eight bytes. A row appended once with every summed
// value as the source holds it needs nothing more.
struct RowMark {
  uint32_t first_master = 0;  // the master row of its first append (items: whose query found it)
  uint16_t appended = 0;      // times (stops counting at its limit)
  bool refused : 1 = false;
  bool master_not_stored : 1 = false;
  bool lost : 1 = false;  // an append a failed write undid
};

// The little more a few rows need.
struct RowNotes {
  std::string refused;                           // the first refusal's description
  std::vector<size_t> appended_by;               // master rows of every append, once there are two
  std::vector<std::vector<FieldValue>> changed;  // summed values of appends that differ from the source
  std::string lost;                              // what undid an append
};

// The marks of one source's rows.
struct RowMarks {
  std::vector<RowMark> marks;  // by source row
  std::unordered_map<size_t, RowNotes> notes;
  // `as_source`: every stored summed value equals the source row's.
  void record(size_t row, size_t master_row, const RowEvent& event, bool as_source);
  // Takes back the latest append of `row` (`as_source` as it was recorded with): the file
  // lost it, for `why`.
  void take_back(size_t row, bool as_source, const std::string& why);
};

// A source read whole: its rows, or why it could not be read.
struct SourceRead {
  std::shared_ptr<const ResultView> rows;  // null: not read
  std::string error;
};

struct StageLedger {
  std::shared_ptr<const ResultView> masters;
  std::vector<std::optional<size_t>> master_summed;  // each summed column among the masters' columns
  RowMarks master_rows;
  bool stopped = false;  // the group stopped while this stage ran
  std::string stop_reason;

  std::optional<SourceRead> item_view;     // read when the stage opened
  std::unique_ptr<ViewMatcher> matcher;    // over item_view's rows
  std::unique_ptr<MasterKeys> master_keys;  // of every item query, to explain items none found
  RowMarks item_rows;                      // by row of item_view
  size_t visits = 0;                       // item queries opened
  // The latest item query: its master row, its rows and where the summed columns are in them.
  size_t visit_master_row = 0;
  std::shared_ptr<const ResultView> items;
  std::vector<std::optional<size_t>> items_summed;
};

class RowLedger {
 public:
  // Opening a stage accounts for the one that ran before it.
  void stage_opened(const Stage& stage, std::shared_ptr<const ResultView> masters);
  // The stage's item view, read as it opened: item events are matched to its rows at once.
  void item_view_read(const Stage& stage, SourceRead view);
  void master_event(const Stage& stage, size_t row, RowEvent event);
  // Returns the stage's previous item rows, which the ledger no longer needs.
  [[nodiscard]] std::shared_ptr<const ResultView> items_opened(const Stage& stage, size_t master_row,
                                                               const std::vector<FieldValue>& key,
                                                               std::shared_ptr<const ResultView> items);
  // An event of the item rows found by the latest items_opened of the stage.
  void item_event(const Stage& stage, size_t row, RowEvent event);
  // The group stopped; `current` is the stage it was in (null: before its first stage).
  void group_stopped(const Group& group, const Stage* current, const std::string& description);
  // The destination holds every row appended so far. A stage opens only after a commit.
  void committed() { uncommitted_.clear(); }
  bool has_uncommitted() const { return !uncommitted_.empty(); }
  // A failed write undid every row appended since the last commit: they did not move.
  void rolled_back(const std::string& description);

  // The stage still running (its ledger), or null once it has been accounted for.
  const StageLedger* stage(const Stage& stage) const;

  // Waits for the accounts of stages that ended (each begins, beside the run, as the
  // next stage opens).
  void settle();
  // Accounts for the stage still open, if any. `source` is what stages are read from.
  void finish(Store& source);
  // The account of a stage that ran, taken out of the ledger once (nullopt: it never opened).
  std::optional<StageAccount> take_account(const Stage& stage);

 private:
  StageLedger& ledger_of(const Stage& stage);
  void close_open_stage(Store* source);
  void account_aside(const Stage& stage, StageLedger ledger);
  void keep_account(const Stage& stage, StageAccount account);

  // Stands for the source where a stage that ran had everything it needs already.
  class Unreadable final : public Store {
    std::shared_ptr<const ResultView> select(const std::string&) override;
    AppendTable& table(std::string_view) override;
    void close() override {}
  };

  const Stage* open_ = nullptr;
  StageLedger ledger_;  // of open_
  // The appends of open_ since the last commit, in order.
  struct Uncommitted {
    uint32_t row;  // master row, or row of the item view
    bool item;
    bool as_source;
  };
  std::vector<Uncommitted> uncommitted_;
  std::map<const Stage*, StageAccount> accounted_;
  std::map<const Stage*, StageLedger> pending_;  // ran without reading its rows: accounted at the end
  Unreadable unreadable_;
  // Stages that ran with everything read are accounted for on a thread of their own
  // while the next stage opens: the account needs nothing but what the stage held.
  // Last, so that its threads are waited for before what they use goes.
  std::map<const Stage*, std::future<StageAccount>> accounting_;
};

}  // namespace halvaro::db
