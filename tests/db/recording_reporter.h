#pragma once

#include <string>
#include <vector>

#include "db/transfer_state.h"

namespace halvaro::test {

// Keeps the error messages a transfer shows.
struct RecordingReporter : db::TransferReporter {
  std::vector<std::string> errors;
  void error(const std::string& description) override { errors.push_back(description); }
};

}  // namespace halvaro::test
