#pragma once
// A file mapped read-only into memory, whole.

#include <cstddef>
#include <cstdint>
#include <system_error>

#include "platform/file.h"

namespace halvaro::platform {

class ReadOnlyMapping {
 public:
  ReadOnlyMapping() = default;
  // The first `size` bytes of `file` (size > 0). The mapping does not need the file to
  // stay open, but a caller keeps it open for the hold its mode has on the file.
  static ReadOnlyMapping map(const File& file, size_t size, std::error_code& error);
  ~ReadOnlyMapping();
  ReadOnlyMapping(ReadOnlyMapping&& other) noexcept;
  ReadOnlyMapping& operator=(ReadOnlyMapping&& other) noexcept;
  ReadOnlyMapping(const ReadOnlyMapping&) = delete;
  ReadOnlyMapping& operator=(const ReadOnlyMapping&) = delete;

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

  // Lets go of the memory that holds `length` bytes from `offset` (widened to whole
  // system pages). Nothing is lost: the mapping is read-only, so pointers stay valid
  // and read the same bytes, brought back from the file when next touched.
  void let_go(size_t offset, size_t length) const;

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  [[maybe_unused]] intptr_t section_ = 0;  // Windows: the file-mapping object
};

}  // namespace halvaro::platform
