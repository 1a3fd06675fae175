#pragma once

#include <cstdint>
#include <string>

#include "app/messages.h"

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

  explicit TransferRun(MessageSink& sink);
  ~TransferRun();
  TransferRun(const TransferRun&) = delete;
  TransferRun& operator=(const TransferRun&) = delete;

  Outcome run(const std::string& source_path, const std::string& destination_path);

  // Groups that finished less groups that stopped on an error, for the last run (6: all).
  int16_t SuccessCount() const { return success_count_; }

 private:
  MessageSink& sink_;
  int16_t success_count_ = 0;
};

}  // namespace halvaro::app
