#pragma once
// Whole reads and writes at an offset: pread and pwrite may move fewer bytes than asked
// or be interrupted by a signal, and every caller wants all or an error.

#include <cstddef>
#include <cstdint>

namespace halvaro::jet {

// False on an error (errno tells which) or when the file ends first (errno is then 0).
bool read_all(int fd, void* data, size_t size, uint64_t offset);
// False on an error; errno tells which.
bool write_all(int fd, const void* data, size_t size, uint64_t offset);

}  // namespace halvaro::jet
