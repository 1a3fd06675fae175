#include "app/file_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace halvaro::app {

std::string copy_into(const std::filesystem::path& from, int to) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return "cannot read " + from.string() + ": " + std::strerror(errno);
  std::vector<char> buffer(1 << 20);
  std::string failure;
  while (failure.empty()) {
    ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) failure = "cannot read " + from.string() + ": " + std::strerror(errno);
    if (got <= 0) break;
    for (ssize_t done = 0; done < got && failure.empty();) {
      ssize_t put = ::write(to, buffer.data() + done, size_t(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) failure = std::strerror(errno);
      else done += put;
    }
  }
  ::close(in);
  if (failure.empty() && ::fsync(to) != 0) failure = std::strerror(errno);
  return failure;
}

}  // namespace halvaro::app
