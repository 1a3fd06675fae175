#pragma once
// While an object of StopSignals lives, SIGINT, SIGTERM and SIGHUP ask the transfer
// to stop at its next clean point instead of ending the process mid-run. A second
// signal of the same kind ends the process at once (the journal keeps the file whole).

namespace halvaro::cli {

class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;
};

}  // namespace halvaro::cli
