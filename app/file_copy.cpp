#include "app/file_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace halvaro::app {
namespace {

constexpr uint64_t kMiB = 1 << 20;
constexpr uint64_t kShownFrom = 16 * kMiB;

long long mebibytes_begun(uint64_t bytes) { return static_cast<long long>((bytes + kMiB - 1) / kMiB); }

}  // namespace

CopyProgress shown_copy_progress(MessageSink& sink, std::string what) {
  return [&sink, what = std::move(what)](uint64_t copied, uint64_t size) {
    if (size < kShownFrom) return;
    sink.progress({what, mebibytes_begun(copied), mebibytes_begun(size), Progress::Work::CopyingFile});
  };
}

std::string copy_into(const std::filesystem::path& from, int to, const CopyProgress& progress) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return "cannot read " + from.string() + ": " + std::strerror(errno);
  struct stat size{};
  if (progress && ::fstat(in, &size) != 0) size.st_size = 0;
  std::vector<char> buffer(1 << 20);
  uint64_t copied = 0;
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
    copied += static_cast<uint64_t>(got);
    if (progress && failure.empty()) progress(copied, static_cast<uint64_t>(size.st_size));
  }
  ::close(in);
  if (failure.empty() && ::fsync(to) != 0) failure = std::strerror(errno);
  return failure;
}

}  // namespace halvaro::app
