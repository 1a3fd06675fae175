#include "app/transfer_run.h"

namespace halvaro::app {

// Placeholder until the access layer lands: refuses equal paths, reports that the
// transfer itself is not available yet.
TransferRun::TransferRun(MessageSink& sink) : sink_(sink) {}
TransferRun::~TransferRun() = default;

TransferRun::Outcome TransferRun::run(const std::string& source_path,
                                      const std::string& destination_path) {
  if (source_path == destination_path) {
    sink_.show({"Source And Destination file can not be same...!", MessageStyle::Stop,
                "Halvaro: File Error", {}});
    return Outcome::Refused;
  }
  sink_.show({"The transfer is not built yet...!", MessageStyle::Stop, "Halvaro: File Error", {}});
  return Outcome::OpenFailed;
}

}  // namespace halvaro::app
