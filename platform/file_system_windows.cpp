#include "platform/file_system.h"

#include <cstdlib>

#include "platform/file.h"
#include "platform/windows_support.h"

namespace halvaro::platform {
namespace {

std::wstring temp_path() {
  wchar_t buffer[MAX_PATH + 2];
  const DWORD length = ::GetTempPathW(MAX_PATH + 2, buffer);
  if (length == 0 || length > MAX_PATH + 1) return {};
  return std::wstring(buffer, length);
}

std::string environment(const wchar_t* name) {
  const wchar_t* value = ::_wgetenv(name);
  return value ? windows::utf8_of(value) : std::string();
}

}  // namespace

std::filesystem::path path_from_utf8(std::string_view text) {
  const std::u8string units(reinterpret_cast<const char8_t*>(text.data()), text.size());
  return std::filesystem::path(units);
}

std::string utf8_of(const std::filesystem::path& path) { return windows::utf8_of(path.native()); }

std::filesystem::path temporary_folder(std::error_code& error) {
  std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  if (error) return {};
  return folder;
}

std::string temporary_folder_setting() {
  for (const wchar_t* name : {L"TMP", L"TEMP"}) {
    const std::string value = environment(name);
    if (!value.empty()) return value;
  }
  return windows::utf8_of(temp_path());
}

std::string sqlite_temporary_folder() { return windows::utf8_of(temp_path()); }

// The read-only attribute of a file; for a folder (whose read-only attribute Windows
// ignores) and for permissions, an attempt: opening the file for writing, creating a
// file in the folder. Another program's hold on the file is not a lack of permission.
bool is_writable(const std::filesystem::path& path) {
  const std::wstring name = windows::extended_path(path);
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return false;
    HANDLE handle = ::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_SHARING_VIOLATION;
    ::CloseHandle(handle);
    return true;
  }
  std::error_code error;
  const File probe = File::temporary(path, "halvaro-probe", error);
  return probe.is_open();
}

// NTFS keeps names in its own log: there is no folder to sync.
bool sync_folder(const std::filesystem::path&) { return true; }

bool rename_without_replacing(const std::filesystem::path& from, const std::filesystem::path& to,
                              std::error_code& error) {
  error.clear();
  // Without MOVEFILE_REPLACE_EXISTING a name that is taken fails the move.
  if (::MoveFileExW(windows::extended_path(from).c_str(), windows::extended_path(to).c_str(), MOVEFILE_WRITE_THROUGH))
    return true;
  error = windows::last_error();
  return false;
}

bool replace_by_rename(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& error) {
  error.clear();
  if (::MoveFileExW(windows::extended_path(from).c_str(), windows::extended_path(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  error = windows::last_error();
  return false;
}

bool held_open_elsewhere(const std::filesystem::path& path) {
  HANDLE handle = ::CreateFileW(windows::extended_path(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    ::CloseHandle(handle);
    return false;
  }
  return ::GetLastError() == ERROR_SHARING_VIOLATION;
}

bool same_file(const std::filesystem::path& a, const std::filesystem::path& b) {
  auto identity = [](const std::filesystem::path& path, BY_HANDLE_FILE_INFORMATION& info) {
    // No access asked and every share allowed: this works while others hold the file.
    HANDLE handle =
        ::CreateFileW(windows::extended_path(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool known = ::GetFileInformationByHandle(handle, &info) != 0;
    ::CloseHandle(handle);
    return known;
  };
  BY_HANDLE_FILE_INFORMATION first{}, second{};
  return identity(a, first) && identity(b, second) && first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

}  // namespace halvaro::platform
