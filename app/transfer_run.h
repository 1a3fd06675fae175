#pragma once

#include <cstdint>
#include <string>

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

 private:
  MessageSink& sink_;
  db::StoreOpener opener_;
  int16_t success_count_ = 0;
};

// Whether two paths name one file (the same device and inode, links followed).
bool same_file(const std::string& a, const std::string& b);

}  // namespace halvaro::app
