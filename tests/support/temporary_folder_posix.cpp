#include "tests/support/temporary_folder.h"

#include <stdlib.h>

namespace halvaro::test {

TemporaryFolderSetting::TemporaryFolderSetting(const std::filesystem::path& folder) {
  const char* before = ::getenv("TMPDIR");
  saved_.push_back({"TMPDIR", before != nullptr, before != nullptr ? before : ""});
  ::setenv("TMPDIR", folder.c_str(), 1);
}

TemporaryFolderSetting::~TemporaryFolderSetting() {
  for (const Saved& s : saved_) {
    if (s.was_set)
      ::setenv(s.name.c_str(), s.value.c_str(), 1);
    else
      ::unsetenv(s.name.c_str());
  }
}

std::filesystem::path missing_folder() { return "/nonexistent-halvaro-folder"; }

}  // namespace halvaro::test
