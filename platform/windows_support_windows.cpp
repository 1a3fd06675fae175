#include "platform/windows_support.h"

namespace halvaro::platform::windows {

std::wstring extended_path(const std::filesystem::path& path) {
  std::wstring text = std::filesystem::path(path).make_preferred().native();
  if (text.rfind(L"\\\\?\\", 0) == 0 || text.rfind(L"\\\\.\\", 0) == 0) return text;
  // The prefix turns off the system's reading of "." and "..", so they are resolved
  // first (std::filesystem::absolute keeps them).
  const DWORD size = ::GetFullPathNameW(text.c_str(), 0, nullptr, nullptr);
  if (size > 0) {
    std::wstring full(size, L'\0');
    const DWORD length = ::GetFullPathNameW(text.c_str(), size, full.data(), nullptr);
    if (length > 0 && length < size) text.assign(full.data(), length);
  }
  if (text.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + text.substr(2);
  return L"\\\\?\\" + text;
}

std::error_code error_from(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME: return std::make_error_code(std::errc::no_such_file_or_directory);
    case ERROR_ACCESS_DENIED:
    case ERROR_NETWORK_ACCESS_DENIED: return std::make_error_code(std::errc::permission_denied);
    case ERROR_WRITE_PROTECT: return std::make_error_code(std::errc::read_only_file_system);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE: return std::make_error_code(std::errc::device_or_resource_busy);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return std::make_error_code(std::errc::file_exists);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return std::make_error_code(std::errc::no_space_on_device);
    case ERROR_DIRECTORY: return std::make_error_code(std::errc::not_a_directory);
    case ERROR_DIR_NOT_EMPTY: return std::make_error_code(std::errc::directory_not_empty);
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW: return std::make_error_code(std::errc::filename_too_long);
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
    case ERROR_NEGATIVE_SEEK: return std::make_error_code(std::errc::invalid_argument);
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return std::make_error_code(std::errc::not_enough_memory);
    case ERROR_TOO_MANY_OPEN_FILES: return std::make_error_code(std::errc::too_many_files_open);
    case ERROR_NOT_READY: return std::make_error_code(std::errc::no_such_device);
    case ERROR_NOT_SAME_DEVICE: return std::make_error_code(std::errc::cross_device_link);
    case ERROR_INVALID_HANDLE: return std::make_error_code(std::errc::bad_file_descriptor);
    case ERROR_NOT_SUPPORTED: return std::make_error_code(std::errc::not_supported);
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE: return std::make_error_code(std::errc::io_error);
    default: return {static_cast<int>(code), std::system_category()};
  }
}

std::string utf8_of(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace halvaro::platform::windows
