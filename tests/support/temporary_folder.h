#pragma once
// Pointing the program's temporary folder elsewhere for a while, in a test.

#include <filesystem>
#include <string>
#include <vector>

namespace halvaro::test {

// While the object lives, the folder the system names for temporary files (the one
// platform::temporary_folder returns) is `folder`: $TMPDIR on POSIX; %TMP% and %TEMP%
// on Windows, which GetTempPathW reads. The settings before are put back at its end.
// `folder` need not exist.
class TemporaryFolderSetting {
 public:
  explicit TemporaryFolderSetting(const std::filesystem::path& folder);
  ~TemporaryFolderSetting();
  TemporaryFolderSetting(const TemporaryFolderSetting&) = delete;
  TemporaryFolderSetting& operator=(const TemporaryFolderSetting&) = delete;

 private:
  struct Saved {
    std::string name;
    bool was_set = false;
    std::string value;
  };
  std::vector<Saved> saved_;
};

// A folder's name that is sure not to exist, absolute on this system.
std::filesystem::path missing_folder();

}  // namespace halvaro::test
