#include "jet/base/file_io.h"

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace halvaro::jet {

bool read_all(int fd, void* data, size_t size, uint64_t offset) {
  auto* at = static_cast<unsigned char*>(data);
  while (size > 0) {
    const ssize_t n = ::pread(fd, at, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = 0;
    if (n <= 0) return false;
    at += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

bool write_all(int fd, const void* data, size_t size, uint64_t offset) {
  const auto* at = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, at, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

int open_temporary_file(std::string_view stem) {
  std::error_code no_folder;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(no_folder);
  if (no_folder) {
    const char* named = std::getenv("TMPDIR");
    throw std::runtime_error("cannot make a temporary file: the temporary folder " +
                             std::string(named ? named : "/tmp") + " is missing or not a folder");
  }
  std::string path = (folder / (std::string(stem) + "-XXXXXX")).string();
  const int fd = ::mkostemp(path.data(), O_CLOEXEC);
  if (fd < 0)
    throw std::runtime_error("cannot make a temporary file in " + folder.string() + ": " +
                             std::generic_category().message(errno));
  ::unlink(path.c_str());
  return fd;
}

}  // namespace halvaro::jet
