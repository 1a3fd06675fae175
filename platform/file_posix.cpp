#include "platform/file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

namespace halvaro::platform {
namespace {

std::error_code last_error() { return {errno, std::generic_category()}; }

int fd_of(intptr_t handle) { return static_cast<int>(handle); }

// The file's status, or an empty one with `error` set.
struct stat status_of(intptr_t handle, std::error_code& error) {
  struct stat info {};
  error.clear();
  if (::fstat(fd_of(handle), &info) != 0) error = last_error();
  return info;
}

int flags_of(File::Mode mode) {
  switch (mode) {
    case File::Mode::read:
    case File::Mode::peek: return O_RDONLY;
    case File::Mode::read_write: return O_RDWR;
    case File::Mode::create_or_open: return O_RDWR | O_CREAT;
    case File::Mode::create_new: return O_RDWR | O_CREAT | O_EXCL;
  }
  return O_RDONLY;
}

}  // namespace

File File::open(const std::filesystem::path& path, Mode mode, std::error_code& error) {
  error.clear();
  int fd;
  do fd = ::open(path.c_str(), flags_of(mode) | O_CLOEXEC, 0644);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error = last_error();
    return File();
  }
  File file(fd);
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    error = std::make_error_code(std::errc::is_a_directory);
    return File();
  }
  return file;
}

File File::temporary(const std::filesystem::path& folder, std::string_view stem, std::error_code& error) {
  error.clear();
  std::string path = (folder / (std::string(stem) + "-XXXXXX")).string();
  const int fd = ::mkostemp(path.data(), O_CLOEXEC);
  if (fd < 0) {
    error = last_error();
    return File();
  }
  ::unlink(path.c_str());
  return File(fd);
}

void File::close() {
  if (handle_ == kClosed) return;
  ::close(fd_of(handle_));
  handle_ = kClosed;
}

bool File::lock_for_writing(std::error_code& error) {
  error.clear();
  if (::flock(fd_of(handle_), LOCK_EX | LOCK_NB) == 0) return true;
  error = errno == EWOULDBLOCK ? std::make_error_code(std::errc::device_or_resource_busy) : last_error();
  return false;
}

size_t File::read_at(void* data, size_t size, uint64_t offset, std::error_code& error) const {
  error.clear();
  auto* at = static_cast<unsigned char*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd_of(handle_), at + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = last_error();
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

bool File::write_at(const void* data, size_t size, uint64_t offset, std::error_code& error) {
  error.clear();
  const auto* at = static_cast<const unsigned char*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd_of(handle_), at + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? last_error() : std::make_error_code(std::errc::io_error);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool File::write_gathered(std::span<const std::span<const uint8_t>> parts, uint64_t offset, std::error_code& error) {
  error.clear();
  std::vector<iovec> vectors;
  vectors.reserve(parts.size());
  for (const auto& part : parts)
    vectors.push_back({const_cast<uint8_t*>(part.data()), part.size()});
  size_t index = 0;
  while (index < vectors.size()) {
    const int count = static_cast<int>(std::min<size_t>(vectors.size() - index, IOV_MAX));
    const ssize_t n = ::pwritev(fd_of(handle_), vectors.data() + index, count, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? last_error() : std::make_error_code(std::errc::io_error);
      return false;
    }
    offset += static_cast<uint64_t>(n);
    // Past the parts written whole; a part written in part goes on from where it stopped.
    auto left = static_cast<size_t>(n);
    while (index < vectors.size() && left >= vectors[index].iov_len) left -= vectors[index++].iov_len;
    if (left > 0) {
      vectors[index].iov_base = static_cast<uint8_t*>(vectors[index].iov_base) + left;
      vectors[index].iov_len -= left;
    }
  }
  return true;
}

uint64_t File::size(std::error_code& error) const {
  const struct stat info = status_of(handle_, error);
  return error ? 0 : static_cast<uint64_t>(info.st_size);
}

bool File::truncate(uint64_t size, std::error_code& error) {
  error.clear();
  if (::ftruncate(fd_of(handle_), static_cast<off_t>(size)) == 0) return true;
  error = last_error();
  return false;
}

bool File::is_regular(std::error_code& error) const {
  const struct stat info = status_of(handle_, error);
  return !error && S_ISREG(info.st_mode);
}

bool File::identity(FileIdentity& out, std::error_code& error) const {
  const struct stat info = status_of(handle_, error);
  if (error) return false;
  out = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
  return true;
}

bool File::sync_data(std::error_code& error) {
  error.clear();
  if (::fdatasync(fd_of(handle_)) == 0) return true;
  error = last_error();
  return false;
}

bool File::sync_all(std::error_code& error) {
  error.clear();
  if (::fsync(fd_of(handle_)) == 0) return true;
  error = last_error();
  return false;
}

}  // namespace halvaro::platform
