#include "platform/file.h"

#include <algorithm>
#include <atomic>
#include <string>

#include "platform/windows_support.h"

namespace halvaro::platform {
namespace {

using windows::last_error;

HANDLE handle_of(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
intptr_t value_of(HANDLE handle) { return reinterpret_cast<intptr_t>(handle); }

// One call moves at most this much, so that the length fits a DWORD.
constexpr size_t kMostPerCall = size_t{1} << 30;

OVERLAPPED at_offset(uint64_t offset) {
  OVERLAPPED where{};
  where.Offset = static_cast<DWORD>(offset);
  where.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return where;
}

}  // namespace

File File::open(const std::filesystem::path& path, Mode mode, std::error_code& error) {
  error.clear();
  DWORD access = GENERIC_READ | GENERIC_WRITE;
  // The writer lets others read only; a reader lets others read only too, so that
  // nobody writes to a file while it is read.
  DWORD share = FILE_SHARE_READ;
  DWORD disposition = OPEN_EXISTING;
  switch (mode) {
    case Mode::read: access = GENERIC_READ; break;
    case Mode::peek:
      access = GENERIC_READ;
      share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
      break;
    case Mode::read_write: break;
    case Mode::create_or_open: disposition = OPEN_ALWAYS; break;
    case Mode::create_new: disposition = CREATE_NEW; break;
  }
  const std::wstring name = windows::extended_path(path);
  HANDLE handle = ::CreateFileW(name.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    // A folder cannot be opened as a file: say so rather than "access denied".
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      error = std::make_error_code(std::errc::is_a_directory);
    else
      error = windows::error_from(code);
    return File();
  }
  return File(value_of(handle));
}

File File::temporary(const std::filesystem::path& folder, std::string_view stem, std::error_code& error) {
  error.clear();
  static std::atomic<uint32_t> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring name =
        std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L"-" +
        std::to_wstring(::GetTickCount64() & 0xFFFFFF) + L".tmp";
    const std::wstring path = windows::extended_path(folder / (std::filesystem::path(stem).native() + L"-" + name));
    // Deleted when the handle closes, however the process ends; never shared.
    HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return File(value_of(handle));
    if (::GetLastError() != ERROR_FILE_EXISTS) {
      error = last_error();
      return File();
    }
  }
  error = std::make_error_code(std::errc::file_exists);
  return File();
}

void File::close() {
  if (handle_ == kClosed) return;
  ::CloseHandle(handle_of(handle_));
  handle_ = kClosed;
}

// The share mode read_write opens with lets no other program write, so the open was
// the lock.
bool File::lock_for_writing(std::error_code& error) {
  error.clear();
  return true;
}

size_t File::read_at(void* data, size_t size, uint64_t offset, std::error_code& error) const {
  error.clear();
  auto* at = static_cast<unsigned char*>(data);
  size_t done = 0;
  while (done < size) {
    OVERLAPPED where = at_offset(offset + done);
    DWORD n = 0;
    if (!::ReadFile(handle_of(handle_), at + done, static_cast<DWORD>(std::min(size - done, kMostPerCall)), &n,
                    &where)) {
      if (::GetLastError() != ERROR_HANDLE_EOF) error = last_error();
      break;
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

bool File::write_at(const void* data, size_t size, uint64_t offset, std::error_code& error) {
  error.clear();
  const auto* at = static_cast<const unsigned char*>(data);
  size_t done = 0;
  while (done < size) {
    OVERLAPPED where = at_offset(offset + done);
    DWORD n = 0;
    if (!::WriteFile(handle_of(handle_), at + done, static_cast<DWORD>(std::min(size - done, kMostPerCall)), &n,
                     &where)) {
      error = last_error();
      return false;
    }
    if (n == 0) {
      error = std::make_error_code(std::errc::io_error);
      return false;
    }
    done += n;
  }
  return true;
}

// WriteFileGather wants unbuffered, page-aligned writes: each part is written on its own.
bool File::write_gathered(std::span<const std::span<const uint8_t>> parts, uint64_t offset, std::error_code& error) {
  for (const auto& part : parts) {
    if (!write_at(part.data(), part.size(), offset, error)) return false;
    offset += part.size();
  }
  error.clear();
  return true;
}

uint64_t File::size(std::error_code& error) const {
  error.clear();
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(handle_of(handle_), &size)) {
    error = last_error();
    return 0;
  }
  return static_cast<uint64_t>(size.QuadPart);
}

bool File::truncate(uint64_t size, std::error_code& error) {
  error.clear();
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  if (::SetFileInformationByHandle(handle_of(handle_), FileEndOfFileInfo, &end, sizeof end)) return true;
  error = last_error();
  return false;
}

bool File::is_regular(std::error_code& error) const {
  error.clear();
  const DWORD type = ::GetFileType(handle_of(handle_));
  if (type == FILE_TYPE_UNKNOWN && ::GetLastError() != NO_ERROR) {
    error = last_error();
    return false;
  }
  return type == FILE_TYPE_DISK;
}

bool File::identity(FileIdentity& out, std::error_code& error) const {
  error.clear();
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle_of(handle_), &info)) {
    error = last_error();
    return false;
  }
  out = {info.dwVolumeSerialNumber, uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow};
  return true;
}

bool File::sync_data(std::error_code& error) { return sync_all(error); }

bool File::sync_all(std::error_code& error) {
  error.clear();
  if (::FlushFileBuffers(handle_of(handle_))) return true;
  error = last_error();
  return false;
}

}  // namespace halvaro::platform
