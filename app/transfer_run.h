#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/account_report.h"
#include "app/file_copy.h"
#include "app/messages.h"
#include "db/store.h"

namespace halvaro::app {

// What a run does to keep the destination safe, besides checking both files first.
struct RunSafety {
  // Copies the destination before the first write, telling `progress` how far it is,
  // and returns the copy's path; throws std::exception when it cannot, which refuses
  // the run. Empty: no copy is kept.
  std::function<std::string(const std::string& destination, const CopyProgress& progress)> backup;
  // Tells before writing which rows the destination already holds that the run would
  // append again (a dry run); otherwise they are listed with the result.
  bool announce_repeats = false;
};

// One press of "Transfer Data": refuses a destination that is the source, opens both
// databases (the source read-only), checks both whole for damage and that both hold
// what the run uses, keeps a backup of the destination, runs the six table transfers in
// their fixed order and reports the outcome through the sink (a source that changed
// while it was read cannot end in success). The window and the command line both drive
// the run through this class.
class TransferRun {
 public:
  enum class Outcome {
    Refused,      // source and destination are the same file; nothing was opened
    OpenFailed,   // a database could not be opened; no transfer ran
    Unfit,        // a file lacks what the run uses, the destination is damaged, or no backup could be
                  // made; nothing was written
    AllMoved,     // "All data moved successfully...!"
    SomeMissing,  // "Some data missing...!" (a group stopped, or values were not stored)
  };

  // Runs over our Access engine, keeping a backup beside the destination.
  explicit TransferRun(MessageSink& sink);
  // Runs over the stores the opener gives, without a backup unless set_safety asks.
  TransferRun(MessageSink& sink, db::StoreOpener opener);
  ~TransferRun();
  TransferRun(const TransferRun&) = delete;
  TransferRun& operator=(const TransferRun&) = delete;

  void set_safety(RunSafety safety) { safety_ = std::move(safety); }

  Outcome run(const std::string& source_path, const std::string& destination_path);

  // Groups that finished less groups that stopped on an error, for the last run (6: all).
  int16_t SuccessCount() const { return success_count_; }

  // Where a run saves its whole account ("" for nowhere): JSON for a name ending in
  // ".json", text otherwise.
  void set_report_path(std::string path) { report_path_ = std::move(path); }
  // Where a run without a report path saves its account when it lists more rows or
  // values than the result shows ("" for nowhere).
  void set_long_account_report(std::string path) { long_account_report_ = std::move(path); }
  // The account of the last run that reached its transfers, and whether saving it failed.
  const RunReport& report() const { return report_; }
  bool report_failed() const { return report_failed_; }

 private:
  MessageSink& sink_;
  db::StoreOpener opener_;
  RunSafety safety_;
  int16_t success_count_ = 0;
  std::string report_path_;
  std::string long_account_report_;
  RunReport report_;
  bool report_failed_ = false;
};

// The backup a real run keeps: a copy beside the destination named with the time.
std::string backup_beside(const std::string& destination, const CopyProgress& progress);

// Whether two paths name one file (the same device and inode, links followed).
bool same_file(const std::string& a, const std::string& b);

}  // namespace halvaro::app
