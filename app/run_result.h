#pragma once

#include <string>
#include <utility>

#include "app/account_report.h"
#include "app/messages.h"
#include "db/transfer_state.h"

namespace halvaro::app {

// The end of a run: accounts for every source row (while the source is still open),
// decides the result message and, when asked, saves the report.
class RunResult {
 public:
  // `base`: the account of the tables behind the views, made before the run.
  RunResult(const std::string& source_path, const std::string& destination_path, db::TransferState& state,
            db::BaseAccount base = {});

  // "All data moved successfully...!" only when every group finished, the destination
  // was committed, nothing was skipped and every source row moved exactly once.
  bool all_moved(bool groups_finished_and_committed) const;

  // The result box: the message, then the values not stored and the rows listed (the
  // first of them when they are many), then where the report went. An empty
  // report_path saves none, unless the rows listed are too many to show: then the
  // report goes to long_account_report, if given. A long report's saving is told to
  // `saving` as it goes.
  Message message(bool all_moved, const std::string& report_path, const std::string& long_account_report = {},
                  const ReportProgress& saving = {});

  // A line shown first in the result box and in the saved report: what makes the
  // account less certain (the old file changed while it was read). Before message().
  void warn(std::string line) { report_.warnings.push_back(std::move(line)); }

  const RunReport& report() const { return report_; }
  bool report_failed() const { return report_failed_; }

 private:
  RunReport report_;
  bool skipped_ = false;
  bool report_failed_ = false;
};

}  // namespace halvaro::app
