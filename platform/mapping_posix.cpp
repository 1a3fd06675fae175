#include "platform/mapping.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace halvaro::platform {

ReadOnlyMapping ReadOnlyMapping::map(const File& file, size_t size, std::error_code& error) {
  error.clear();
  ReadOnlyMapping mapping;
  void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, static_cast<int>(file.native()), 0);
  if (mapped == MAP_FAILED) {
    error = {errno, std::generic_category()};
    return mapping;
  }
  mapping.data_ = static_cast<const uint8_t*>(mapped);
  mapping.size_ = size;
  return mapping;
}

ReadOnlyMapping::~ReadOnlyMapping() {
  if (data_ != nullptr) ::munmap(const_cast<uint8_t*>(data_), size_);
}

ReadOnlyMapping::ReadOnlyMapping(ReadOnlyMapping&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

ReadOnlyMapping& ReadOnlyMapping::operator=(ReadOnlyMapping&& other) noexcept {
  if (this != &other) {
    if (data_ != nullptr) ::munmap(const_cast<uint8_t*>(data_), size_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

void ReadOnlyMapping::let_go(size_t offset, size_t length) const {
  if (data_ == nullptr || offset >= size_) return;
  static const auto system_page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  const size_t start = offset - offset % system_page;
  const size_t end = std::min(size_, offset + length);
  ::madvise(const_cast<uint8_t*>(data_) + start, end - start, MADV_DONTNEED);
}

}  // namespace halvaro::platform
