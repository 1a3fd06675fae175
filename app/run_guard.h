#pragma once
// What a run does between opening both files and its first write: the check of both
// files, the search for rows it would append again, and the backup of the destination.

#include <string>
#include <vector>

#include "app/messages.h"
#include "app/preflight.h"
#include "app/transfer_run.h"
#include "db/transfer_state.h"

namespace halvaro::app {

struct Guard {
  bool proceed = false;                   // false: refused, the reason already shown
  std::vector<std::string> result_lines;  // for the result's details
};

// `check` is the check of both files (check_files), made before.
Guard guard_first_write(db::TransferState& state, const FileCheck& check, MessageSink& sink, const RunSafety& safety,
                        const std::string& source_path, const std::string& destination_path);

}  // namespace halvaro::app
