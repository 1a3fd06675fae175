#include "platform/mapping.h"

#include <algorithm>
#include <utility>

#include "platform/windows_support.h"

namespace halvaro::platform {
namespace {

void unmap(const uint8_t* data, intptr_t section) {
  if (data != nullptr) ::UnmapViewOfFile(data);
  if (section != 0) ::CloseHandle(reinterpret_cast<HANDLE>(section));
}

}  // namespace

ReadOnlyMapping ReadOnlyMapping::map(const File& file, size_t size, std::error_code& error) {
  error.clear();
  ReadOnlyMapping mapping;
  const auto wide = static_cast<uint64_t>(size);
  HANDLE section = ::CreateFileMappingW(reinterpret_cast<HANDLE>(file.native()), nullptr, PAGE_READONLY,
                                        static_cast<DWORD>(wide >> 32), static_cast<DWORD>(wide), nullptr);
  if (section == nullptr) {
    error = windows::last_error();
    return mapping;
  }
  const void* view = ::MapViewOfFile(section, FILE_MAP_READ, 0, 0, size);
  if (view == nullptr) {
    error = windows::last_error();
    ::CloseHandle(section);
    return mapping;
  }
  mapping.data_ = static_cast<const uint8_t*>(view);
  mapping.size_ = size;
  mapping.section_ = reinterpret_cast<intptr_t>(section);
  return mapping;
}

ReadOnlyMapping::~ReadOnlyMapping() { unmap(data_, section_); }

ReadOnlyMapping::ReadOnlyMapping(ReadOnlyMapping&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      section_(std::exchange(other.section_, 0)) {}

ReadOnlyMapping& ReadOnlyMapping::operator=(ReadOnlyMapping&& other) noexcept {
  if (this != &other) {
    unmap(data_, section_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    section_ = std::exchange(other.section_, 0);
  }
  return *this;
}

// VirtualUnlock on pages that are not locked takes them out of the process's working
// set, which is what MADV_DONTNEED does for a read-only mapping (it then reports
// ERROR_NOT_LOCKED, which is expected).
void ReadOnlyMapping::let_go(size_t offset, size_t length) const {
  if (data_ == nullptr || offset >= size_) return;
  static const size_t system_page = [] {
    SYSTEM_INFO info{};
    ::GetSystemInfo(&info);
    return static_cast<size_t>(info.dwPageSize);
  }();
  const size_t start = offset - offset % system_page;
  const size_t end = std::min(size_, offset + length);
  ::VirtualUnlock(const_cast<uint8_t*>(data_) + start, end - start);
}

}  // namespace halvaro::platform
