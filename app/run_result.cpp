#include "app/run_result.h"

#include <algorithm>
#include <exception>

#include "transfers/transfers.h"

namespace halvaro::app {

RunResult::RunResult(const std::string& source_path, const std::string& destination_path,
                     db::TransferState& state, db::BaseAccount base) {
  report_.source_path = source_path;
  report_.destination_path = destination_path;
  report_.account = db::account_run(transfers::groups_in_run_order(), state.ledger, state.Con_Source.store());
  report_.account.add_base(std::move(base));
  skipped_ = !state.skipped.empty();
  // A refused row is listed with its source row in the account.
  state.skipped.for_each([&](const db::SkippedValue& skipped) {
    if (skipped.kind != db::SkippedValue::Kind::Row) report_.not_stored.push_back(skipped.line());
  });
}

bool RunResult::all_moved(bool groups_finished_and_committed) const {
  return groups_finished_and_committed && !skipped_ && report_.account.every_row_moved_once();
}

Message RunResult::message(bool all_moved, const std::string& report_path, const std::string& long_account_report,
                           const ReportProgress& saving) {
  report_.result = all_moved ? "All data moved successfully...!" : "Some data missing...!";
  Message result{report_.result, MessageStyle::Information, {}, {}};
  result.details = report_.warnings;
  const size_t shown = std::min(report_.not_stored.size(), db::RunAccount::kRowsShown);
  for (size_t i = 0; i < shown; ++i) result.details.push_back(report_.not_stored[i]);
  const size_t not_shown = report_.not_stored.size() - shown;
  if (not_shown > 0) result.details.push_back(std::to_string(not_shown) + " more values not stored are not shown here");
  for (std::string& line : report_.account.lines()) result.details.push_back(std::move(line));
  const bool cut = not_shown > 0 || !report_.account.all_rows_shown();
  const std::string& path = report_path.empty() && cut ? long_account_report : report_path;
  if (cut && path.empty())
    result.details.push_back("Only the first " + std::to_string(db::RunAccount::kRowsShown) +
                             " listed rows and values are shown; a saved report names every one.");
  if (!path.empty()) {
    try {
      write_report(path, report_, saving);
      result.details.push_back("The account of this run is saved in " + path);
    } catch (const std::exception& error) {
      report_failed_ = true;
      result.details.push_back(error.what());
    }
  }
  return result;
}

}  // namespace halvaro::app
