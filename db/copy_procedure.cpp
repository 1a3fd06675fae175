#include "db/copy_procedure.h"

#include <exception>

#include "db/errors.h"
#include "db/interruption.h"
#include "db/value_text.h"

namespace halvaro::db {

FieldValue ValueOrDefault(const FieldValue& v, const FieldValue& d) {
  if (v.is_null()) return d;
  if (v.is<std::string>() && v.as<std::string>().empty()) return d;
  return v;
}

void CloseRecordSet(TransferState& state) {
  if (state.Con_Destination.State() == 1) state.Con_Destination.Close();
  state.Con_Destination.Open("", "", "", adOptionUnspecified);
  for (Recordset* rs : {&state.rsSourceMtr, &state.rsSourceDet, &state.rsDestinationMtr, &state.rsDestinationDet}) {
    if (rs->State() == 1) rs->Close();
  }
}

std::string BuildItemQuery(const std::vector<QueryPiece>& pieces, TransferState& state) {
  std::string text;
  for (const QueryPiece& piece : pieces) {
    if (!piece.is_value) {
      text += piece.text;
      continue;
    }
    Recordset& row = piece.from == RowOf::SourceMaster ? state.rsSourceMtr : state.rsDestinationMtr;
    text += quote_inner(text_form(row.Fields(piece.text).Value()));
  }
  return text;
}

std::string SkippedValue::line() const {
  std::string out = group;
  if (!table.empty()) out += ": " + table;
  if (!key.empty()) out += " [" + key + "]";
  if (!column.empty()) out += " " + column + " = " + value;
  return out + ": " + reason;
}

namespace {

enum class Rs { SourceMtr, DestinationMtr, SourceDet, DestinationDet };

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

class Program {
 public:
  explicit Program(const Group& group) {
    if (!group.stages.empty()) group_label_ = group.stages.front().label;
    for (const Stage& stage : group.stages) {
      if (group.recycle_before_each_stage) emit({Op::Recycle});
      add_stage(stage);
    }
    if (group.recycle_at_end) emit({Op::Recycle});
    emit({Op::Succeed});
  }

  void run(TransferState& state) {
    state_ = &state;
    first_unkeyed_ = state.skipped.size();
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
          record_skip(step, error.reason().empty() ? error.what() : error.reason());
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
      add_destination_open(Rs::DestinationDet, detail.destination);
      emit({Op::MoveFirst, Rs::SourceDet});
      size_t item_loop = emit({Op::WhileNotEof, Rs::SourceDet});
      add_copy(Rs::DestinationDet, detail.mapping, stage);
      emit({Op::MoveNext, Rs::SourceDet});
      Instruction back{Op::Goto};
      back.target = item_loop;
      emit(back);
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
        CloseRecordSet(*state_);
        return next;
      case Op::OpenSource:
        current_stage_ = step.stage;
        done_ = 0;
        rs.Open(std::string(step.text), state_->Con_Source, adOpenStatic, adLockOptimistic, adOptionUnspecified);
        state_->reporter.progress(step.stage->label, 0, rs.RecordCount());
        return next;
      case Op::BuildItemQuery:
        item_query_ = BuildItemQuery(*step.pieces, *state_);
        return next;
      case Op::OpenItems:
        rs.Open(item_query_, state_->Con_Source, adOpenStatic, adLockOptimistic, adOptionUnspecified);
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
        rs.AddNew();
        return next;
      case Op::Copy:
        copy_field(*step.entry, step.rs == Rs::DestinationMtr ? state_->rsSourceMtr : state_->rsSourceDet, rs);
        return next;
      case Op::Update:
        settle_keys(rs);
        rs.Update();
        return next;
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
        ++state_->SuccessCount;
        return next;
    }
    return next;
  }

  void copy_field(const FieldEntry& entry, Recordset& source, Recordset& destination) {
    attempted_column_ = entry.destination;
    attempted_ = FieldValue{};
    FieldValue value = entry.value;
    if (!entry.source.empty()) {
      FieldValue read = source.Fields(entry.source).Value();
      bool empty = read.is_null() || (read.is<std::string>() && read.as<std::string>().empty());
      value = ValueOrDefault(read, entry.value);
      if (!empty && !entry.date_pattern.empty()) value = sql::format(read, entry.date_pattern);
    }
    attempted_ = value;
    destination.Fields(entry.destination).SetValue(value);
  }

  // Values skipped in the row being built get the row's key once the row is complete.
  void settle_keys(Recordset& rs) {
    std::string key;
    bool known = false;
    for (size_t i = first_unkeyed_; i < state_->skipped.size(); ++i) {
      if (!known) key = rs.new_row_key(), known = true;
      state_->skipped[i].key = key;
    }
    first_unkeyed_ = state_->skipped.size();
  }

  // Before its first stage opens (a failing CloseRecordSet), a group goes by its first stage's name.
  std::string stage_label() const {
    return std::string(current_stage_ ? current_stage_->label : group_label_);
  }

  void record_skip(const Instruction& step, const std::string& reason) {
    Recordset& rs = recordset(step.rs);
    SkippedValue skipped{stage_label(), rs.target_name(), {}, {}, {}, reason};
    if (step.op == Op::Copy) {
      skipped.column = std::string(attempted_column_);
      skipped.value = text_form(attempted_);
      if (attempted_.is<std::string>()) skipped.value = "\"" + skipped.value + "\"";
    } else if (step.op == Op::Update) {
      skipped.key = rs.new_row_key();
      skipped.reason = "row not stored: " + reason;
    } else {
      skipped.reason = "step skipped: " + reason;
    }
    state_->skipped.push_back(std::move(skipped));
    if (step.op != Op::Copy) first_unkeyed_ = state_->skipped.size();
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
    state_->skipped.push_back({stage_label(), {}, {}, {}, {}, "not moved: " + why});
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
    if (step.op == Op::Update || step.op == Op::Copy) stopped.key = rs.new_row_key();
    for (size_t i = first_unkeyed_; i < state_->skipped.size(); ++i) state_->skipped[i].key = stopped.key;
    state_->skipped.push_back(std::move(stopped));
  }

  std::vector<Instruction> code_;
  TransferState* state_ = nullptr;
  const Stage* current_stage_ = nullptr;
  std::string_view group_label_;
  std::string item_query_;
  std::string_view attempted_column_;
  FieldValue attempted_;
  size_t first_unkeyed_ = 0;
  size_t done_ = 0;
};

}  // namespace

void RunTransfer(const Group& group, TransferState& state) {
  Program program(group);
  program.run(state);
}

}  // namespace halvaro::db
