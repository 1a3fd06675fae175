#pragma once

#include <string>

#include "app/transfer_run.h"

namespace halvaro::app {

// The whole run against a scratch copy of the destination in the temporary folder: the
// same messages (the destination named as given), the same outcome, and before writing,
// what the destination already holds that the run would append again. The destination
// itself is only read; the scratch copy is removed however the run ends. A report path
// saves the run's account as a real run would; report_failed tells whether that failed.
TransferRun::Outcome dry_run(MessageSink& sink, const std::string& source_path, const std::string& destination_path,
                             const std::string& report_path = {}, bool* report_failed = nullptr);

}  // namespace halvaro::app
