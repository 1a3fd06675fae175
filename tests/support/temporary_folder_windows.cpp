#include "tests/support/temporary_folder.h"

#include <windows.h>

#include "tests/support/wide_text_windows.h"

#include <cstdlib>

namespace halvaro::test {

using windows::wide;
using windows::utf8;

namespace {

// Sets (or with `value` null, removes) a variable both in the process's environment,
// which GetTempPathW reads, and in the C runtime's copy, which getenv reads.
void set_variable(const std::wstring& name, const std::wstring* value) {
  ::SetEnvironmentVariableW(name.c_str(), value != nullptr ? value->c_str() : nullptr);
  const std::wstring assignment = name + L"=" + (value != nullptr ? *value : std::wstring());
  ::_wputenv(assignment.c_str());
}

}  // namespace

TemporaryFolderSetting::TemporaryFolderSetting(const std::filesystem::path& folder) {
  const std::wstring value = folder.wstring();
  for (const wchar_t* name : {L"TMP", L"TEMP"}) {
    Saved s{utf8(name), false, {}};
    const DWORD n = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (n > 0) {
      std::wstring before(n, L'\0');
      const DWORD got = ::GetEnvironmentVariableW(name, before.data(), n);
      before.resize(got);
      s.was_set = true;
      s.value = utf8(before);
    }
    saved_.push_back(std::move(s));
    set_variable(name, &value);
  }
}

TemporaryFolderSetting::~TemporaryFolderSetting() {
  for (const Saved& s : saved_) {
    const std::wstring value = wide(s.value);
    set_variable(wide(s.name), s.was_set ? &value : nullptr);
  }
}

std::filesystem::path missing_folder() { return "C:\\nonexistent-halvaro-folder"; }

}  // namespace halvaro::test
