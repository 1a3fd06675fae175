#pragma once
// What the Windows implementation files share; included by them alone.

#include <windows.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace halvaro::platform::windows {

// `path` for the wide-character calls: absolute, with backslashes, and marked with the
// prefix \\?\ (\\?\UNC\ for a share) so that it may be longer than MAX_PATH.
std::wstring extended_path(const std::filesystem::path& path);

// A Windows error as the std::errc of the same meaning where there is one (so that its
// message reads as on POSIX), else as itself in the system category.
std::error_code error_from(DWORD code);
inline std::error_code last_error() { return error_from(::GetLastError()); }

std::string utf8_of(const std::wstring& text);

}  // namespace halvaro::platform::windows
