#pragma once
// Settings of this process's environment, which the programs a test starts inherit, for
// as long as an object lives.

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

namespace halvaro::test {

// One variable set to `value`, and set back (or removed) when the object dies.
class EnvironmentSetting {
 public:
  EnvironmentSetting(std::string name, const std::string& value) : name_(std::move(name)) {
    if (const char* before = std::getenv(name_.c_str())) before_ = before;
    put(name_ + "=" + value);
  }
  ~EnvironmentSetting() {
    if (before_) {
      put(name_ + "=" + *before_);
      return;
    }
    // Windows' C runtime removes a variable given no value; glibc sets it to the empty
    // text and removes one named without "=" instead.
    put(name_ + "=");
    if (std::getenv(name_.c_str()) != nullptr) put(name_);
  }
  EnvironmentSetting(const EnvironmentSetting&) = delete;
  EnvironmentSetting& operator=(const EnvironmentSetting&) = delete;

 private:
  // putenv is the call both C libraries have; Windows' also sets the environment that
  // CreateProcess hands on. POSIX keeps the very text in the environment, so every text
  // given stays allocated.
  static void put(std::string entry) {
    static std::deque<std::string> entries;
    entries.push_back(std::move(entry));
    ::putenv(entries.back().data());
  }

  std::string name_;
  std::optional<std::string> before_;
};

// The temporary folder of the programs started while the object lives: $TMPDIR on
// POSIX, %TMP% (which Windows' GetTempPathW reads first) and %TEMP% on Windows.
class TemporaryFolderOfPrograms {
 public:
  explicit TemporaryFolderOfPrograms(const std::filesystem::path& folder)
      : tmpdir_("TMPDIR", folder.string()), tmp_("TMP", folder.string()), temp_("TEMP", folder.string()) {}

 private:
  EnvironmentSetting tmpdir_, tmp_, temp_;
};

}  // namespace halvaro::test
