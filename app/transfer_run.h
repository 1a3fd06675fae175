#pragma once

#include <cstdint>
#include <string>

#include "app/account_report.h"
#include "app/messages.h"
#include "db/store.h"

namespace halvaro::app {

// One press of "Transfer Data": refuses a destination that is the source, opens both
// databases (the source read-only), runs the six table transfers in their fixed order
// and reports the outcome through the sink. The window and the command line both drive
// the run through this class.
class TransferRun {
 public:
  enum class Outcome {
    Refused,      // source and destination are the same file; nothing was opened
    OpenFailed,   // a database could not be opened; no transfer ran
    AllMoved,     // "All data moved successfully...!"
    SomeMissing,  // "Some data missing...!" (a group stopped, or values were not stored)
  };

  // Runs over our Access engine.
  explicit TransferRun(MessageSink& sink);
  // Runs over the stores the opener gives (tests).
  TransferRun(MessageSink& sink, db::StoreOpener opener);
  ~TransferRun();
  TransferRun(const TransferRun&) = delete;
  TransferRun& operator=(const TransferRun&) = delete;

  Outcome run(const std::string& source_path, const std::string& destination_path);

  // Groups that finished less groups that stopped on an error, for the last run (6: all).
  int16_t SuccessCount() const { return success_count_; }

  // Where a run saves its whole account ("" for nowhere): JSON for a name ending in
  // ".json", text otherwise.
  void set_report_path(std::string path) { report_path_ = std::move(path); }
  // The account of the last run that reached its transfers, and whether saving it failed.
  const RunReport& report() const { return report_; }
  bool report_failed() const { return report_failed_; }

 private:
  MessageSink& sink_;
  db::StoreOpener opener_;
  int16_t success_count_ = 0;
  std::string report_path_;
  RunReport report_;
  bool report_failed_ = false;
};

// Whether two paths name one file (the same device and inode, links followed).
bool same_file(const std::string& a, const std::string& b);

}  // namespace halvaro::app
