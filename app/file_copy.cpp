#include "app/file_copy.h"

#include <charconv>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/process.h"

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

std::string name_of(const std::filesystem::path& path) { return platform::utf8_of(path); }

// The process id of a temporary's name, or 0 when the name is no temporary's.
uint64_t temporary_owner(std::string_view name) {
  if (name.size() <= kTemporaryEnd.size() || !name.ends_with(kTemporaryEnd)) return 0;
  name.remove_suffix(kTemporaryEnd.size());
  const size_t tag = name.rfind(kTemporaryTag);
  if (tag == std::string_view::npos || tag == 0) return 0;
  std::string_view digits = name.substr(tag + kTemporaryTag.size());
  uint64_t pid = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
  if (error != std::errc() || end != digits.data() + digits.size()) return 0;
  return pid;
}

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

std::string copy_into(const std::filesystem::path& from, platform::File& to, const CopyProgress& progress,
                      uint64_t* digest) {
  std::error_code error;
  // A peek: the destination copied for a backup is open in this process's writer too.
  const platform::File in = platform::File::open(from, platform::File::Mode::peek, error);
  if (!in.is_open()) return "cannot read " + name_of(from) + ": " + error.message();
  const uint64_t size = progress ? in.size(error) : 0;
  std::vector<char> buffer(1 << 20);
  uint64_t copied = 0;
  ContentDigest read;
  std::string failure;
  for (;;) {
    const size_t got = in.read_at(buffer.data(), buffer.size(), copied, error);
    if (error) {
      failure = "cannot read " + name_of(from) + ": " + error.message();
      break;
    }
    if (got == 0) break;
    if (digest) read.add(buffer.data(), got);
    if (!to.write_at(buffer.data(), got, copied, error)) {
      failure = error.message();
      break;
    }
    copied += got;
    if (progress) progress(copied, size);
  }
  if (failure.empty() && !to.sync_all(error)) failure = error.message();
  if (digest) *digest = read.value();
  return failure;
}

std::optional<uint64_t> file_digest(const std::filesystem::path& file) {
  std::error_code error;
  const platform::File in = platform::File::open(file, platform::File::Mode::peek, error);
  if (!in.is_open()) return std::nullopt;
  std::vector<char> buffer(1 << 20);
  ContentDigest digest;
  for (uint64_t offset = 0;;) {
    const size_t got = in.read_at(buffer.data(), buffer.size(), offset, error);
    if (error) return std::nullopt;
    if (got == 0) break;
    digest.add(buffer.data(), got);
    offset += got;
  }
  return digest.value();
}

FileBuffer::FileBuffer(platform::File& file) : file_(file), buffer_(64 * 1024) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

FileBuffer::~FileBuffer() { drain(); }

bool FileBuffer::drain() {
  const size_t pending = static_cast<size_t>(pptr() - pbase());
  if (pending > 0 && !error_) {
    if (file_.write_at(pbase(), pending, offset_, error_)) offset_ += pending;
  }
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  return !error_;
}

FileBuffer::int_type FileBuffer::overflow(int_type c) {
  if (!drain()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

int FileBuffer::sync() { return drain() ? 0 : -1; }

std::filesystem::path temporary_name(const std::filesystem::path& final_name, uint64_t pid) {
  std::filesystem::path name = final_name;
  name += std::string(kTemporaryTag) + std::to_string(pid) + std::string(kTemporaryEnd);
  return name;
}

void remove_stale_temporaries(const std::filesystem::path& folder) {
  std::error_code error;
  const std::filesystem::path at = folder.empty() ? std::filesystem::path(".") : folder;
  bool removed = false;
  for (std::filesystem::directory_iterator entry(at, error), end; !error && entry != end; entry.increment(error)) {
    const uint64_t pid = temporary_owner(platform::utf8_of(entry->path().filename()));
    if (pid == 0 || pid == platform::process_id() || platform::process_runs(pid)) continue;
    std::error_code ignored;
    removed |= std::filesystem::remove(entry->path(), ignored);
  }
  if (removed) platform::sync_folder(at);
}

WholeFile::WholeFile(const std::filesystem::path& final_name)
    : temporary_(temporary_name(final_name, platform::process_id())) {
  remove_stale_temporaries(final_name.parent_path());
  // One of ours left by an earlier attempt of this very process would be a bug; any
  // other file of that name is not ours to remove.
  std::error_code error;
  file_ = platform::File::open(temporary_, platform::File::Mode::create_new, error);
  if (!file_.is_open()) throw std::runtime_error("cannot create " + name_of(temporary_) + ": " + error.message());
}

WholeFile::~WholeFile() {
  file_.close();
  std::error_code ignored;
  if (!published_) std::filesystem::remove(temporary_, ignored);
}

bool WholeFile::publish(const std::filesystem::path& name) {
  if (published_) throw std::logic_error("a whole file is published once");
  std::error_code error;
  if (file_.is_open()) {
    if (!file_.sync_all(error)) throw std::runtime_error("cannot write " + name_of(temporary_) + ": " + error.message());
    // Closed before it is named: Windows renames no file that is open without sharing.
    file_.close();
  }
  if (!platform::rename_without_replacing(temporary_, name, error)) {
    if (error == std::errc::file_exists) return false;
    throw std::runtime_error("cannot name " + name_of(temporary_) + " " + name_of(name) + ": " + error.message());
  }
  published_ = true;
  if (!platform::sync_folder(name.parent_path()))
    throw std::runtime_error("cannot write the folder of " + name_of(name));
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
