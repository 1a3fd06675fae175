#pragma once
// The transfer's safety tests: a folder for the files and a temporary folder of the
// program's own, to see what a run leaves in each.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temporary_folder.h"
#include "tests/support/fixtures.h"

namespace halvaro::test {

struct TransferSafety : ::testing::Test {
  TempDir dir, temp;

  // `halvaro transfer OPTIONS... SOURCE DESTINATION` with `temp` (or `temporary`) as its
  // temporary folder, its messages merged into its output.
  CommandResult transfer(const std::vector<std::string>& options, const std::filesystem::path& source,
                         const std::filesystem::path& destination) const {
    return transfer_in(temp.path(), options, source, destination);
  }
  static CommandResult transfer_in(const std::filesystem::path& temporary, std::vector<std::string> options,
                                   const std::filesystem::path& source, const std::filesystem::path& destination) {
    const TemporaryFolderSetting folder(temporary);
    options.insert(options.begin(), "transfer");
    options.push_back(source.string());
    options.push_back(destination.string());
    return run_halvaro(options, ErrorOutput::merged);
  }

  static std::vector<std::string> names_in(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

}  // namespace halvaro::test
