#include "app/transfer_run.h"

#include <optional>

#include "app/preflight.h"
#include "app/run_guard.h"
#include "app/run_result.h"
#include "app/stage_needs.h"
#include "db/connection.h"
#include "db/copy_procedure.h"
#include "db/errors.h"
#include "db/jet_store.h"
#include "db/recordset.h"
#include "platform/file_system.h"
#include "transfers/transfers.h"

namespace halvaro::app {
namespace {

constexpr const char* kFileErrorTitle = "Halvaro: File Error";

// Hands the transfers' reports on to the window or the command line.
class SinkReporter final : public db::TransferReporter {
 public:
  explicit SinkReporter(MessageSink& sink) : sink_(sink) {}
  void error(const std::string& description) override { sink_.show({description, MessageStyle::Plain, {}, {}}); }
  void busy() override { sink_.busy(); }
  // Passed on when a stage starts, at each whole percent and at its last row, so the
  // window repaints a hundred times per group at most.
  void progress(std::string_view stage, size_t done, size_t total) override {
    size_t percent = total > 0 ? done * 100 / total : 0;
    if (stage == stage_ && percent == percent_ && done != total && done != 0) return;
    stage_ = stage;
    percent_ = percent;
    sink_.progress({std::string(stage), static_cast<long long>(done), static_cast<long long>(total)});
  }

 private:
  MessageSink& sink_;
  std::string stage_;
  size_t percent_ = 0;
};

void report_open_failure(MessageSink& sink, const char* role, const std::string& path, const std::string& reason) {
  sink.show({std::string("Could not open the ") + role + " file " + path + "...!", MessageStyle::Stop,
             kFileErrorTitle, {reason}});
}

// Waits for the check of the whole source begun when it was opened, showing how far
// it is; a damaged source is reported as one that could not be opened.
bool source_verified(db::TransferState& state, db::TransferReporter& reporter, MessageSink& sink,
                     const std::string& source_path) {
  try {
    state.Con_Source.store().verify([&reporter, &sink](uint64_t read, uint64_t recorded) {
      reporter.busy();
      sink.progress({kCheckingSource, static_cast<long long>(read), static_cast<long long>(recorded),
                     Progress::Work::ReadingSource});
    });
    return true;
  } catch (const db::DbError& error) {
    report_open_failure(sink, "source", source_path, error.what());
    return false;
  }
}

// The faults listed in the box at most; the rest are counted.
constexpr size_t kFaultsShown = 20;

Message damaged_destination_message(const std::string& destination_path, const std::string& faults) {
  std::string text = "The destination is damaged; nothing was written...!\nDestination " + destination_path + ":";
  size_t count = 0;
  for (size_t at = 0; at <= faults.size();) {
    size_t end = faults.find('\n', at);
    if (end == std::string::npos) end = faults.size();
    if (++count <= kFaultsShown) text += "\n  " + faults.substr(at, end - at);
    at = end + 1;
  }
  if (count > kFaultsShown) text += "\n  (" + std::to_string(count - kFaultsShown) + " more faults)";
  text += "\nRepair the file (in Access: Compact and Repair Database) or replace it with a sound copy, then run "
          "the transfer again.";
  return Message{text, MessageStyle::Stop, kFileErrorTitle, {}};
}

// Waits for the check of the whole destination begun when it was opened, showing how
// far it is; a damaged destination refuses the run before anything is written to it
// (appending through a damaged usage map or index could overwrite live pages).
bool destination_verified(db::TransferState& state, db::TransferReporter& reporter, MessageSink& sink,
                          const std::string& destination_path) {
  try {
    state.Con_Destination.store().verify([&reporter, &sink](uint64_t read, uint64_t recorded) {
      reporter.busy();
      sink.progress({kCheckingDestination, static_cast<long long>(read), static_cast<long long>(recorded),
                     Progress::Work::ReadingSource});
    });
    return true;
  } catch (const db::DbError& error) {
    sink.show(damaged_destination_message(destination_path, error.what()));
    return false;
  }
}

}  // namespace

bool same_file(const std::string& a, const std::string& b) {
  return platform::same_file(platform::path_from_utf8(a), platform::path_from_utf8(b));
}

TransferRun::TransferRun(MessageSink& sink) : TransferRun(sink, db::jet_store_opener()) {
  safety_.backup = backup_beside;
}
TransferRun::TransferRun(MessageSink& sink, db::StoreOpener opener) : sink_(sink), opener_(std::move(opener)) {}
TransferRun::~TransferRun() = default;

TransferRun::Outcome TransferRun::run(const std::string& source_path, const std::string& destination_path) {
  // Two texts for one file would have the source written to: refuse both alike.
  if (source_path == destination_path || same_file(source_path, destination_path)) {
    sink_.show({"Source And Destination file can not be same...!", MessageStyle::Stop, kFileErrorTitle, {}});
    return Outcome::Refused;
  }

  SinkReporter reporter(sink_);
  db::TransferState state(opener_, reporter);
  // Another program may write to the source while the run reads it: what tells that
  // is taken before it is opened and compared after the last group.
  const std::optional<FileState> source_before = file_state(platform::path_from_utf8(source_path));
  try {
    state.Con_Source.Open(db::connection_text_for(source_path), "", "", db::adOptionUnspecified);
    // Damage anywhere in the source refuses the run before anything is written (damage
    // found later, a table read again, stops its group like any other error). The whole
    // file is read for it beside the check of both files, which reads its tables too.
    state.Con_Source.store().begin_verify();
  } catch (const db::DbError& error) {
    if (state.Con_Source.State() == 1) state.Con_Source.Close();
    report_open_failure(sink_, "source", source_path, error.what());
    return Outcome::OpenFailed;
  }
  try {
    state.Con_Destination.Open(db::connection_text_for(destination_path), "", "", db::adOptionUnspecified);
    // Checked whole beside the reading of the source, as the source is.
    state.Con_Destination.store().begin_verify();
  } catch (const db::DbError& error) {
    // A damaged source is told first, as it would be were the files opened in turn.
    const bool source_whole = source_verified(state, reporter, sink_, source_path);
    state.Con_Source.Close();
    if (source_whole) report_open_failure(sink_, "destination", destination_path, error.what());
    return Outcome::OpenFailed;
  }
  // Before the first write the source's tables are read and its views evaluated, which
  // takes a while for a large file: the rows read so far are shown meanwhile.
  db::Store& source = state.Con_Source.store();
  source.while_busy([&reporter, &source, this] {
    reporter.busy();
    sink_.progress({kReadingSource, static_cast<long long>(source.rows_read()), 0, Progress::Work::ReadingSource});
  });
  const auto& groups = transfers::groups_in_run_order();
  FileCheck check = check_files(source, state.Con_Destination.store(), groups);
  source.while_busy([&reporter] { reporter.busy(); });

  // Nothing is written unless both files are whole, both fit the run and the backup is
  // made.
  const bool source_whole = source_verified(state, reporter, sink_, source_path);
  const bool destination_whole = source_whole && destination_verified(state, reporter, sink_, destination_path);
  Guard guard;
  if (destination_whole) guard = guard_first_write(state, check, sink_, safety_, source_path, destination_path);
  if (!guard.proceed) {
    state.Con_Source.Close();
    try {
      state.Con_Destination.Close();
    } catch (const db::DbError&) {
      // Nothing was appended, so there was nothing to commit.
    }
    return source_whole ? Outcome::Unfit : Outcome::OpenFailed;
  }

  // The master rows the check read are the rows each stage opens with: the run takes
  // them rather than evaluate the masters again, and holds each only until its stage.
  const std::vector<const db::Stage*> stages = stages_of(groups);
  for (size_t i = 0; i < stages.size() && i < check.masters.size(); ++i)
    source.keep(db::source_statement(stages[i]->source), std::move(check.masters[i]));

  state.SuccessCount = 0;
  state.run_order = groups;
  transfers::TransferClaimantInfo(state);
  transfers::TransferClaimantTaxPeriod(state);
  transfers::TransferSupplierBuyer(state);
  transfers::TransferInvoices(state);
  transfers::TransferBillOfEntry(state);
  transfers::TransferShippingBill(state);
  success_count_ = state.SuccessCount;
  const std::string source_change = source_before ? state_change(*source_before, file_state(platform::path_from_utf8(source_path))) : "";
  RunResult result(source_path, destination_path, state, std::move(check.base));

  // The destination is committed before the result is told, so a failure to make the
  // rows durable is never reported as success.
  bool committed = true;
  state.Con_Source.Close();
  try {
    if (state.Con_Destination.State() == 1) state.Con_Destination.Close();
  } catch (const db::DbError& error) {
    committed = false;
    sink_.show({error.what(), MessageStyle::Plain, {}, {}});
  }

  // Rows read from a file that changed meanwhile may not be the rows it holds now.
  bool all_moved = result.all_moved(success_count_ == 6 && committed && source_change.empty());
  // A report naming millions of rows takes a while to save: the window keeps painting
  // and shows how far it is.
  const ReportProgress saving = [this](uint64_t done, uint64_t total) {
    sink_.progress({kSavingReport, static_cast<long long>(done), static_cast<long long>(total),
                    Progress::Work::SavingReport});
  };
  if (!source_change.empty())
    result.warn("The old file changed while it was being read (" + source_change +
                "), so the account may not match it.");
  Message message = result.message(all_moved, report_path_, long_account_report_, saving);
  report_ = result.report();
  report_failed_ = result.report_failed();
  message.details.insert(message.details.end(), guard.result_lines.begin(), guard.result_lines.end());
  sink_.show(message);
  return all_moved ? Outcome::AllMoved : Outcome::SomeMissing;
}

}  // namespace halvaro::app
