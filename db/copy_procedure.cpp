// The table copy procedure: the value rules, CloseRecordSet, the item query of a master
// row, and each group run as a short program of steps under the error policy. What the
// steps tell the run's account, which rows are durable, what was not stored and what
// is read ahead are units of their own (ledger_events, commit_watch, step_failures,
// statements_ahead), called from the steps below.

#include "db/copy_procedure.h"

#include <cstdint>
#include <exception>
#include <optional>

#include "db/commit_watch.h"
#include "db/convert.h"
#include "db/errors.h"
#include "db/interruption.h"
#include "db/item_query.h"
#include "db/ledger_events.h"
#include "db/statements_ahead.h"
#include "db/step_failures.h"
#include "db/value_text.h"
#include "sql/text_fold.h"

namespace halvaro::db {

namespace {

// A source value for which a copy step writes its entry's default.
bool empty_source(const FieldValue& value) {
  return value.is_null() || (value.is<std::string>() && value.as<std::string>().empty());
}

}  // namespace

FieldValue ValueOrDefault(const FieldValue& v, const FieldValue& d) { return empty_source(v) ? d : v; }

FieldValue value_written(const FieldEntry& entry, const FieldValue* read) {
  if (!read || empty_source(*read)) return entry.value;
  if (!entry.date_pattern.empty()) return sql::format(*read, entry.date_pattern);
  return *read;
}

std::optional<FieldValue> value_stored(const FieldEntry& entry, const FieldValue* read, const jet::Column& column) {
  try {
    return to_column(value_written(entry, read), column);
  } catch (const DbError&) {
    return std::nullopt;
  }
}

const FieldEntry* entry_writing(const std::vector<FieldEntry>& mapping, std::string_view destination_column) {
  for (const FieldEntry& entry : mapping)
    if (sql::compare_folded(entry.destination, destination_column) == 0) return &entry;
  return nullptr;
}

void CloseRecordSet(TransferState& state) {
  if (state.Con_Destination.State() == 1) state.Con_Destination.Close();
  state.Con_Destination.Open("", "", "", adOptionUnspecified);
  for (Recordset* rs : {&state.rsSourceMtr, &state.rsSourceDet, &state.rsDestinationMtr, &state.rsDestinationDet}) {
    if (rs->State() == 1) rs->Close();
  }
}

std::string BuildItemQuery(const std::vector<QueryPiece>& pieces, TransferState& state,
                           std::vector<FieldValue>* values) {
  auto value_of = [&state](const QueryPiece& piece) {
    Recordset& row = piece.from == RowOf::SourceMaster ? state.rsSourceMtr : state.rsDestinationMtr;
    return row.Fields(piece.text).Value();
  };
  return item_query_text(pieces, value_of, values);
}

namespace {

enum class Rs { SourceMtr, DestinationMtr, SourceDet, DestinationDet };

const FieldValue kNothingAttempted;

// The steps of a transfer, one instruction each, so that a skipped step resumes at the
// very next one.
enum class Op {
  Recycle,          // CloseRecordSet
  OpenSource,       // open rs on a fixed text over Con_Source
  BuildItemQuery,   // item query of the current master row
  OpenItems,        // open rs on the item query over Con_Source
  IfEmpty,          // BOF and EOF: go to target
  OpenDestination,  // open rs on a text over Con_Destination
  IfNoRows,         // closed, or BOF and EOF: go to target
  IfClosed,         // State is not 1: go to target
  Close,
  MoveFirst,
  WhileNotEof,      // at EOF: go to target
  AddNew,
  Copy,             // one field entry
  Update,
  MoveNext,
  Goto,
  Succeed,          // the group's rows made durable, then SuccessCount + 1
  IfMasterNotStored,  // the master row's Update failed: go to target
  ListItemsNotMoved,  // the items found are not appended: their master is missing
};

struct Instruction {
  Op op;
  Rs rs = Rs::SourceMtr;
  std::string_view text{};
  int lock = adLockOptimistic;
  const FieldEntry* entry = nullptr;
  const std::vector<QueryPiece>* pieces = nullptr;
  const Stage* stage = nullptr;
  size_t target = 0;
};

// Where a column was last found in a recordset, kept while the recordset's layout stays
// the same: a Copy step then reads and writes its fields without searching for them.
struct Place {
  uint64_t layout = UINT64_MAX;
  size_t position = 0;
  size_t in(Recordset& rs, std::string_view name) {
    if (rs.layout() != layout) {
      position = rs.FieldPosition(name);
      layout = rs.layout();
    }
    return position;
  }
};
struct EntryPlaces {
  Place source;
  Place destination;
  // For an entry with a date pattern, the value last formatted and its text: the items
  // of one invoice repeat its date, and many invoices share theirs.
  FieldValue formatted_from;
  std::optional<FieldValue> formatted;
};

class Program {
 public:
  Program(const Group& group, TransferState& state)
      : state_(&state), account_(group, state), ahead_(group, state),
        commits_(state.Con_Destination, state.ledger), failures_(state.skipped) {
    if (!group.stages.empty()) group_label_ = group.stages.front().label;
    for (const Stage& stage : group.stages) {
      if (group.recycle_before_each_stage) emit({Op::Recycle});
      add_stage(stage);
    }
    if (group.recycle_at_end) emit({Op::Recycle});
    emit({Op::Succeed});
    places_.resize(code_.size());
  }

  // The error policy: a value that cannot be stored abandons only the step that failed;
  // any other error, or a stop asked for from outside, ends the group.
  void run() {
    size_t pc = 0;
    while (pc < code_.size()) {
      const Instruction& step = code_[pc];
      if (const int signal_number = interruption_signal(); signal_number != 0) {
        interrupted(step, pc, signal_number);
        return;
      }
      try {
        pc = execute(step, pc);
      } catch (const DbError& error) {
        if (error.value_not_stored()) {
          skip(step, error.reason().empty() ? error.what() : error.reason());
          ++pc;
          continue;
        }
        stop(step, error.what());
        return;
      } catch (const std::exception& error) {
        stop(step, error.what());
        return;
      }
    }
  }

 private:
  size_t emit(Instruction instruction) {
    code_.push_back(instruction);
    return code_.size() - 1;
  }
  size_t here() const { return code_.size(); }

  // Opens a destination on its first text and, when that shows rows, on its second.
  void add_destination_open(Rs rs, const DestinationOpen& open) {
    emit({Op::OpenDestination, rs, open.first, open.first_lock});
    if (open.reopen.empty()) return;
    size_t if_no_rows = emit({Op::IfNoRows, rs});
    size_t if_closed = emit({Op::IfClosed, rs});
    emit({Op::Close, rs});
    code_[if_closed].target = here();
    emit({Op::OpenDestination, rs, open.reopen, adLockOptimistic});
    code_[if_no_rows].target = here();
  }

  void add_copy(Rs destination, const std::vector<FieldEntry>& mapping, const Stage& stage) {
    emit({Op::AddNew, destination});
    for (const FieldEntry& entry : mapping) {
      Instruction copy{Op::Copy, destination};
      copy.entry = &entry;
      copy.stage = &stage;
      emit(copy);
    }
    Instruction update{Op::Update, destination};
    update.stage = &stage;
    emit(update);
  }

  void add_close_if_open(Rs rs) {
    size_t test = emit({Op::IfClosed, rs});
    emit({Op::Close, rs});
    code_[test].target = here();
  }

  // Open the master query; an empty source skips the stage and opens nothing on the
  // destination. Otherwise open the destination and append one row per master row;
  // a master/detail stage then copies the items of the row just stored the same way.
  void add_stage(const Stage& stage) {
    Instruction open_source{Op::OpenSource, Rs::SourceMtr, stage.source};
    open_source.stage = &stage;
    emit(open_source);
    size_t if_empty = emit({Op::IfEmpty, Rs::SourceMtr});
    add_destination_open(Rs::DestinationMtr, stage.destination);
    emit({Op::MoveFirst, Rs::SourceMtr});
    size_t loop = emit({Op::WhileNotEof, Rs::SourceMtr});
    add_copy(Rs::DestinationMtr, stage.mapping, stage);
    if (stage.detail) {
      const DetailCopy& detail = *stage.detail;
      add_close_if_open(Rs::SourceDet);
      add_close_if_open(Rs::DestinationDet);
      Instruction build{Op::BuildItemQuery};
      build.pieces = &detail.query;
      emit(build);
      emit({Op::OpenItems, Rs::SourceDet});
      size_t no_items = emit({Op::IfEmpty, Rs::SourceDet});
      // Items of a master that was not stored would be left without it: they are listed
      // instead of appended.
      size_t unstored = emit({Op::IfMasterNotStored});
      add_destination_open(Rs::DestinationDet, detail.destination);
      emit({Op::MoveFirst, Rs::SourceDet});
      size_t item_loop = emit({Op::WhileNotEof, Rs::SourceDet});
      add_copy(Rs::DestinationDet, detail.mapping, stage);
      emit({Op::MoveNext, Rs::SourceDet});
      Instruction back{Op::Goto};
      back.target = item_loop;
      emit(back);
      code_[unstored].target = emit({Op::ListItemsNotMoved, Rs::SourceDet});
      code_[no_items].target = code_[item_loop].target = here();
    }
    Instruction next{Op::MoveNext, Rs::SourceMtr};
    next.stage = &stage;
    emit(next);
    Instruction back{Op::Goto};
    back.target = loop;
    emit(back);
    code_[if_empty].target = code_[loop].target = here();
  }

  Recordset& recordset(Rs rs) {
    switch (rs) {
      case Rs::SourceMtr: return state_->rsSourceMtr;
      case Rs::DestinationMtr: return state_->rsDestinationMtr;
      case Rs::SourceDet: return state_->rsSourceDet;
      case Rs::DestinationDet: return state_->rsDestinationDet;
    }
    return state_->rsSourceMtr;
  }

  size_t execute(const Instruction& step, size_t pc) {
    const size_t next = pc + 1;
    Recordset& rs = recordset(step.rs);
    switch (step.op) {
      case Op::Recycle:
        current_stage_ = nullptr;  // between stages: a failure here belongs to none
        // Closing the destination commits it; when that fails, the rows appended since
        // the last commit are gone with it.
        commits_.close_destination();
        CloseRecordSet(*state_);
        commits_.durable();
        return next;
      case Op::OpenSource:
        current_stage_ = step.stage;
        done_ = 0;
        ahead_.stage_opened(*step.stage);
        // The stage has begun even while its master rows are still being evaluated.
        state_->reporter.progress(step.stage->label, 0, 0);
        // What the last stage appended is made durable first: a failed write later in
        // this stage can then only take back this stage's rows, which it accounts for.
        if (state_->Con_Destination.State() == 1 && state_->ledger.has_uncommitted())
          state_->Con_Destination.store().commit();
        commits_.durable();
        rs.Open(std::string(step.text), state_->Con_Source, adOpenStatic, adLockOptimistic, adOptionUnspecified);
        account_.stage_opened(*step.stage, rs);
        state_->reporter.progress(step.stage->label, 0, rs.RecordCount());
        // A stage without items or without masters queues none of its own: the next
        // stage's statements go in at once.
        if (!step.stage->detail || rs.RecordCount() == 0) ahead_.next_stage();
        return next;
      case Op::BuildItemQuery:
        item_key_.clear();
        item_query_ = BuildItemQuery(*step.pieces, *state_, &item_key_);
        ahead_.items_after_current(*step.pieces);
        return next;
      case Op::OpenItems:
        rs.Open(item_query_, state_->Con_Source, adOpenStatic, adLockOptimistic, adOptionUnspecified);
        account_.items_opened(*current_stage_, item_key_, rs);
        return next;
      case Op::IfMasterNotStored:
        return master_stored_ ? next : step.target;
      case Op::ListItemsNotMoved:
        account_.items_not_moved(*current_stage_, rs.RecordCount());
        return next;
      case Op::IfEmpty:
        return rs.Bof() && rs.Eof() ? step.target : next;
      case Op::OpenDestination:
        rs.Open(std::string(step.text), state_->Con_Destination, adOpenStatic, step.lock, adOptionUnspecified);
        return next;
      case Op::IfNoRows:
        return rs.State() != 1 || (rs.Bof() && rs.Eof()) ? step.target : next;
      case Op::IfClosed:
        return rs.State() != 1 ? step.target : next;
      case Op::Close:
        rs.Close();
        return next;
      case Op::MoveFirst:
        rs.MoveFirst();
        return next;
      case Op::WhileNotEof:
        return rs.Eof() ? step.target : next;
      case Op::AddNew:
        if (step.rs == Rs::DestinationMtr) master_stored_ = false;
        rs.AddNew();
        return next;
      case Op::Copy:
        copy_field(*step.entry, step.rs == Rs::DestinationMtr ? state_->rsSourceMtr : state_->rsSourceDet, rs,
                   places_[pc]);
        return next;
      case Op::Update: {
        failures_.row_complete(rs);
        const bool adding = rs.EditMode() == 2;
        rs.Update();
        if (adding) {
          if (is_master(step)) master_stored_ = true;
          account_.appended(current_stage_, is_master(step), rs);
        }
        commits_.note_commits();
        return next;
      }
      case Op::MoveNext:
        rs.MoveNext();
        if (step.rs == Rs::SourceMtr && step.stage)
          state_->reporter.progress(step.stage->label, ++done_, rs.RecordCount());
        return next;
      case Op::Goto:
        return step.target;
      case Op::Succeed:
        // A group counts as moved only once its rows are on disk: a write that fails
        // later must not take rows of a group already reported as moved.
        if (state_->Con_Destination.State() == 1) state_->Con_Destination.store().commit();
        commits_.durable();
        ++state_->SuccessCount;
        return next;
    }
    return next;
  }

  // The value written is value_written's, made here without copies: it is pointed to,
  // not copied, on its way to the destination, and a value read for this field is
  // handed over (a refused one stays, for the account of what was not stored).
  void copy_field(const FieldEntry& entry, Recordset& source, Recordset& destination, EntryPlaces& places) {
    attempted_column_ = entry.destination;
    attempted_ = &kNothingAttempted;
    FieldValue* read = nullptr;  // read_ or formatted_
    if (!entry.source.empty()) {
      read_ = source.FieldAt(places.source.in(source, entry.source)).Value();
      bool empty = empty_source(read_);
      if (!empty && !entry.date_pattern.empty()) {
        if (!places.formatted || !(places.formatted_from == read_)) {
          places.formatted = sql::format(read_, entry.date_pattern);
          places.formatted_from = read_;
        }
        formatted_ = *places.formatted;
        read = &formatted_;
      } else if (!empty) {
        read = &read_;
      }
    }
    attempted_ = read ? read : &entry.value;
    Field field = destination.FieldAt(places.destination.in(destination, entry.destination));
    if (read) field.SetValue(std::move(*read));
    else field.SetValue(entry.value);
  }

  bool is_master(const Instruction& step) const { return step.rs == Rs::DestinationMtr; }

  // Before its first stage opens (a failing CloseRecordSet), a group goes by its first stage's name.
  std::string stage_label() const {
    return std::string(current_stage_ ? current_stage_->label : group_label_);
  }

  void skip(const Instruction& step, const std::string& reason) {
    Recordset& rs = recordset(step.rs);
    if (step.op == Op::Copy) {
      failures_.value_skipped(stage_label(), rs.target_name(), attempted_column_, *attempted_, reason);
    } else if (step.op == Op::Update) {
      account_.refused(current_stage_, is_master(step), reason);
      failures_.row_not_stored(stage_label(), rs.target_name(), rs.new_row_key(), reason);
    } else {
      failures_.step_skipped(stage_label(), rs.target_name(), reason);
    }
  }

  // A stop asked for from outside: a group that had begun is reported like an error;
  // one that had not is only listed.
  void interrupted(const Instruction& step, size_t pc, int signal_number) {
    const std::string why = std::string("the run was ") + interruption_name(signal_number);
    if (pc > 0 && current_stage_ != nullptr) {
      stop(step, "The transfer stopped: " + why + ".");
      return;
    }
    --state_->SuccessCount;
    failures_.not_moved(stage_label(), why);
  }

  void stop(const Instruction& step, const std::string& description) {
    state_->reporter.error(description);
    --state_->SuccessCount;
    Recordset& rs = recordset(step.rs);
    const std::string reason = step.op == Op::Succeed
                                   ? "not stored in full, its rows since the last commit were lost: "
                                   : "stopped, the rest of this group was not moved: ";
    SkippedValue stopped{stage_label(), rs.State() == 1 ? rs.target_name() : std::string(), {}, {}, {},
                         reason + description};
    stopped.kind = SkippedValue::Kind::Stop;
    if (step.op == Op::Update || step.op == Op::Copy) stopped.key = rs.new_row_key();
    // The row being built when the group stopped was not stored.
    if ((step.op == Op::AddNew || step.op == Op::Copy || step.op == Op::Update) && step.rs != Rs::SourceMtr)
      account_.refused(current_stage_, is_master(step), description);
    commits_.group_stopped(description);
    account_.group_stopped(current_stage_, description);
    failures_.stopped(std::move(stopped));
  }

  TransferState* state_;
  LedgerEvents account_;
  StatementsAhead ahead_;
  CommitWatch commits_;
  StepFailures failures_;
  std::vector<FieldValue> item_key_;
  bool master_stored_ = false;
  std::vector<Instruction> code_;
  std::vector<EntryPlaces> places_;  // by instruction, for the Copy steps
  const Stage* current_stage_ = nullptr;
  std::string_view group_label_;
  std::string item_query_;
  std::string_view attempted_column_;
  const FieldValue* attempted_ = &kNothingAttempted;  // the value of the last Copy: read_, formatted_ or a default
  FieldValue read_;
  FieldValue formatted_;
  size_t done_ = 0;
};

}  // namespace

void RunTransfer(const Group& group, TransferState& state) {
  // An account begun beside this group's run reads the stage it accounts for: it ends
  // before the caller may let go of the groups.
  struct Settle {
    RowLedger& ledger;
    ~Settle() { ledger.settle(); }
  } settle{state.ledger};
  Program program(group, state);
  program.run();
}

}  // namespace halvaro::db
