#pragma once
// Whole reads and writes at an offset: pread and pwrite may move fewer bytes than asked
// or be interrupted by a signal, and every caller wants all or an error.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace halvaro::jet {

// False on an error (errno tells which) or when the file ends first (errno is then 0).
bool read_all(int fd, void* data, size_t size, uint64_t offset);
// False on an error; errno tells which.
bool write_all(int fd, const void* data, size_t size, uint64_t offset);

// A new file in the temporary folder ($TMPDIR, else /tmp), named from `stem`, open for
// reading and writing and already unlinked: nothing is left behind however the process
// ends. Throws std::runtime_error naming the folder when it is missing or not writable.
int open_temporary_file(std::string_view stem);

}  // namespace halvaro::jet
