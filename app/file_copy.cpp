#include "app/file_copy.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "platform/file.h"

namespace halvaro::app {
namespace {

constexpr uint64_t kMiB = 1 << 20;
constexpr uint64_t kShownFrom = 16 * kMiB;
constexpr uint64_t kMix = 0x9e3779b97f4a7c15ULL;
constexpr size_t kHeaderPage = 4096;
constexpr std::string_view kTemporaryTag = ".halvaro-";
constexpr std::string_view kTemporaryEnd = ".part";

long long mebibytes_begun(uint64_t bytes) { return static_cast<long long>((bytes + kMiB - 1) / kMiB); }

uint64_t mixed(uint64_t state, uint64_t word) {
  state = (state ^ word) * kMix;
  return state ^ (state >> 29);
}

std::string reason() { return std::strerror(errno); }

// Makes a name given or removed in `folder` survive a crash.
bool sync_folder(const std::filesystem::path& folder) {
  int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return false;
  const bool synced = ::fsync(dir) == 0;
  ::close(dir);
  return synced;
}

// The process id of a temporary's name, or 0 when the name is no temporary's.
long temporary_owner(std::string_view name) {
  if (name.size() <= kTemporaryEnd.size() || !name.ends_with(kTemporaryEnd)) return 0;
  name.remove_suffix(kTemporaryEnd.size());
  const size_t tag = name.rfind(kTemporaryTag);
  if (tag == std::string_view::npos || tag == 0) return 0;
  std::string_view digits = name.substr(tag + kTemporaryTag.size());
  long pid = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
  if (error != std::errc() || end != digits.data() + digits.size() || pid <= 0) return 0;
  return pid;
}

bool runs(long pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH; }

}  // namespace

void ContentDigest::add(const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  length_ += size;
  // Whole words in the order of the bytes, so that the digest does not depend on how
  // the bytes were split between calls: a word begun waits in `pending_`.
  auto take = [this](uint8_t byte) {
    pending_ |= uint64_t{byte} << (8 * pending_bytes_);
    if (++pending_bytes_ < 8) return;
    state_ = mixed(state_, pending_);
    pending_ = 0;
    pending_bytes_ = 0;
  };
  for (; size > 0 && pending_bytes_ != 0; --size) take(*bytes++);
  for (; size >= 8; size -= 8, bytes += 8) {
    uint64_t word = 0;
    for (int i = 0; i < 8; ++i) word |= uint64_t{bytes[i]} << (8 * i);
    state_ = mixed(state_, word);
  }
  for (; size > 0; --size) take(*bytes++);
}

uint64_t ContentDigest::value() const { return mixed(mixed(state_, pending_), length_); }

CopyProgress shown_copy_progress(MessageSink& sink, std::string what) {
  return [&sink, what = std::move(what)](uint64_t copied, uint64_t size) {
    if (size < kShownFrom) return;
    sink.progress({what, mebibytes_begun(copied), mebibytes_begun(size), Progress::Work::CopyingFile});
  };
}

std::string copy_into(const std::filesystem::path& from, int to, const CopyProgress& progress, uint64_t* digest) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return "cannot read " + from.string() + ": " + reason();
  struct stat size{};
  if (progress && ::fstat(in, &size) != 0) size.st_size = 0;
  std::vector<char> buffer(1 << 20);
  uint64_t copied = 0;
  ContentDigest read;
  std::string failure;
  while (failure.empty()) {
    ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) failure = "cannot read " + from.string() + ": " + reason();
    if (got <= 0) break;
    if (digest) read.add(buffer.data(), static_cast<size_t>(got));
    for (ssize_t done = 0; done < got && failure.empty();) {
      ssize_t put = ::write(to, buffer.data() + done, size_t(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) failure = reason();
      else done += put;
    }
    copied += static_cast<uint64_t>(got);
    if (progress && failure.empty()) progress(copied, static_cast<uint64_t>(size.st_size));
  }
  ::close(in);
  if (failure.empty() && ::fsync(to) != 0) failure = reason();
  if (digest) *digest = read.value();
  return failure;
}

std::optional<uint64_t> file_digest(const std::filesystem::path& file) {
  int in = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return std::nullopt;
  std::vector<char> buffer(1 << 20);
  ContentDigest digest;
  bool failed = false;
  for (;;) {
    ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    failed = got < 0;
    if (got <= 0) break;
    digest.add(buffer.data(), static_cast<size_t>(got));
  }
  ::close(in);
  if (failed) return std::nullopt;
  return digest.value();
}

std::filesystem::path temporary_name(const std::filesystem::path& final_name, long pid) {
  std::filesystem::path name = final_name;
  name += std::string(kTemporaryTag) + std::to_string(pid) + std::string(kTemporaryEnd);
  return name;
}

void remove_stale_temporaries(const std::filesystem::path& folder) {
  std::error_code error;
  const std::filesystem::path at = folder.empty() ? std::filesystem::path(".") : folder;
  bool removed = false;
  for (std::filesystem::directory_iterator entry(at, error), end; !error && entry != end; entry.increment(error)) {
    const long pid = temporary_owner(entry->path().filename().string());
    if (pid == 0 || pid == ::getpid() || runs(pid)) continue;
    removed |= ::unlink(entry->path().c_str()) == 0;
  }
  if (removed) sync_folder(at);
}

WholeFile::WholeFile(const std::filesystem::path& final_name, unsigned mode)
    : temporary_(temporary_name(final_name, ::getpid())) {
  remove_stale_temporaries(final_name.parent_path());
  // One of ours left by an earlier attempt of this very process would be a bug; any
  // other file of that name is not ours to remove.
  fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
  if (fd_ < 0) throw std::runtime_error("cannot create " + temporary_.string() + ": " + reason());
}

WholeFile::~WholeFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!published_) ::unlink(temporary_.c_str());
}

bool WholeFile::publish(const std::filesystem::path& name) {
  if (published_) throw std::logic_error("a whole file is published once");
  if (::fsync(fd_) != 0) throw std::runtime_error("cannot write " + temporary_.string() + ": " + reason());
  // link() fails rather than replace a file; a file system without hard links may
  // still rename without replacing.
  if (::link(temporary_.c_str(), name.c_str()) != 0) {
    if (errno == EEXIST) return false;
    const int link_error = errno;
    if (::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) != 0) {
      if (errno == EEXIST) return false;
      errno = link_error;
      throw std::runtime_error("cannot name " + temporary_.string() + " " + name.string() + ": " + reason());
    }
  } else {
    ::unlink(temporary_.c_str());
  }
  published_ = true;
  if (!sync_folder(name.parent_path()))
    throw std::runtime_error("cannot write the folder of " + name.string() + ": " + reason());
  return true;
}

std::optional<FileState> file_state(const std::filesystem::path& file) {
  // A peek, so that a program writing the file meanwhile is neither kept out nor a reason
  // to give no state.
  std::error_code error;
  platform::File in = platform::File::open(file, platform::File::Mode::peek, error);
  if (!in.is_open()) return std::nullopt;
  platform::FileIdentity identity;
  std::vector<char> header(kHeaderPage);
  FileState state;
  state.size = in.size(error);
  if (!error) in.identity(identity, error);
  if (!error) header.resize(in.read_at(header.data(), header.size(), 0, error));
  if (!error) state.modified_ns = std::filesystem::last_write_time(file, error).time_since_epoch().count();
  if (error) return std::nullopt;
  state.device = identity.volume;
  state.inode = identity.index;
  ContentDigest digest;
  digest.add(header.data(), header.size());
  state.header_digest = digest.value();
  return state;
}

std::string state_change(const FileState& before, const std::optional<FileState>& after) {
  if (!after) return "it can no longer be read";
  std::vector<std::string> changes;
  if (after->device != before.device || after->inode != before.inode) changes.emplace_back("its device and inode");
  if (after->size != before.size) changes.emplace_back("its size");
  if (after->modified_ns != before.modified_ns) changes.emplace_back("its modification time");
  if (after->header_digest != before.header_digest) changes.emplace_back("its header page");
  if (changes.empty()) return {};
  std::string text;
  for (size_t i = 0; i < changes.size(); ++i)
    text += (i == 0 ? "" : i + 1 == changes.size() ? " and " : ", ") + changes[i];
  return text + " changed";
}

}  // namespace halvaro::app
