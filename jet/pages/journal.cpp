#include "jet/pages/journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "jet/base/errors.h"
#include "jet/pages/page_bytes.h"

namespace halvaro::jet {

namespace {

// JournalHeader: magic, page size, old page count, record count, salt, header checksum.
constexpr char kMagic[8] = {'H', 'L', 'V', 'J', 'R', 'N', 'L', '1'};
constexpr size_t kHeaderSize = 32;

// FNV-1a over the bytes, seeded with the salt so that records of an earlier commit
// left behind in the file never pass as records of a later one.
uint32_t checksum(uint64_t salt, const uint8_t* data, size_t size) {
  uint64_t h = 1469598103934665603ull ^ salt;
  for (size_t i = 0; i < size; ++i) {
    h ^= data[i];
    h *= 1099511628211ull;
  }
  return static_cast<uint32_t>(h ^ (h >> 32));
}

std::string describe_errno(const std::filesystem::path& path, const char* what) {
  return path.string() + ": " + what + ": " + std::strerror(errno);
}

void write_all(int fd, const uint8_t* data, size_t size, off_t offset,
               const std::filesystem::path& path) {
  while (size > 0) {
    ssize_t n = ::pwrite(fd, data, size, offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw JetError(describe_errno(path, "cannot write"));
    }
    data += n;
    size -= static_cast<size_t>(n);
    offset += n;
  }
}

bool read_all(int fd, uint8_t* data, size_t size, off_t offset) {
  while (size > 0) {
    ssize_t n = ::pread(fd, data, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
    offset += n;
  }
  return true;
}

void sync(int fd, const std::filesystem::path& path) {
  if (::fdatasync(fd) != 0) throw JetError(describe_errno(path, "cannot sync"));
}

struct JournalHeader {
  uint32_t page_size = 0;
  uint32_t old_page_count = 0;
  uint32_t records = 0;
  uint64_t salt = 0;
};

bool read_header(int fd, JournalHeader& header) {
  uint8_t raw[kHeaderSize];
  if (!read_all(fd, raw, kHeaderSize, 0)) return false;
  if (std::memcmp(raw, kMagic, sizeof kMagic) != 0) return false;
  header.page_size = bytes::get32(raw + 8);
  header.old_page_count = bytes::get32(raw + 12);
  header.records = bytes::get32(raw + 16);
  header.salt = bytes::get32(raw + 20) | static_cast<uint64_t>(bytes::get32(raw + 24)) << 32;
  return bytes::get32(raw + 28) == checksum(header.salt, raw, 28) && header.records > 0;
}

}  // namespace

std::filesystem::path journal_path(const std::filesystem::path& database) {
  std::filesystem::path p = database;
  p += "-journal";
  return p;
}

bool has_hot_journal(const std::filesystem::path& database) {
  int fd = ::open(journal_path(database).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  JournalHeader header;
  bool hot = read_header(fd, header);
  ::close(fd);
  return hot;
}

Journal::Journal(const std::filesystem::path& database, uint32_t page_size)
    : path_(journal_path(database)), page_size_(page_size) {
  fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) throw JetError(describe_errno(path_, "cannot create the journal"));
  // The journal's name must survive a crash as surely as its contents.
  int dir = ::open(path_.parent_path().empty() ? "." : path_.parent_path().c_str(),
                   O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  salt_ = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
          (static_cast<uint64_t>(::getpid()) << 40);
}

Journal::~Journal() {
  if (fd_ >= 0) ::close(fd_);
}

void Journal::save(uint32_t old_page_count, std::span<const SavedPage> pages) {
  ++salt_;
  const size_t record = 4 + page_size_ + 4;
  buffer_.resize(kHeaderSize + record * pages.size());
  uint8_t* out = buffer_.data();
  std::memcpy(out, kMagic, sizeof kMagic);
  bytes::put32(out + 8, page_size_);
  bytes::put32(out + 12, old_page_count);
  bytes::put32(out + 16, static_cast<uint32_t>(pages.size()));
  bytes::put32(out + 20, static_cast<uint32_t>(salt_));
  bytes::put32(out + 24, static_cast<uint32_t>(salt_ >> 32));
  bytes::put32(out + 28, checksum(salt_, out, 28));
  uint8_t* r = out + kHeaderSize;
  for (const SavedPage& page : pages) {
    bytes::put32(r, page.number);
    std::memcpy(r + 4, page.bytes, page_size_);
    bytes::put32(r + 4 + page_size_, checksum(salt_, r, 4 + page_size_));
    r += record;
  }
  // One write and one sync: records whose bytes did not reach the disk fail their
  // checksum and are skipped, which is harmless because the database is only
  // touched after this sync has returned.
  write_all(fd_, buffer_.data(), buffer_.size(), 0, path_);
  sync(fd_, path_);
  bytes_written_ += buffer_.size();
}

void Journal::clear() {
  static const uint8_t zeros[kHeaderSize] = {};
  write_all(fd_, zeros, kHeaderSize, 0, path_);
  sync(fd_, path_);
  bytes_written_ += kHeaderSize;
}

void Journal::remove() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
}

size_t Journal::roll_back(const std::filesystem::path& database, int db_fd, uint32_t page_size) {
  const std::filesystem::path path = journal_path(database);
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return 0;
  JournalHeader header;
  size_t restored = 0;
  if (read_header(fd, header) && header.page_size == page_size) {
    const size_t record = 4 + page_size + 4;
    std::vector<uint8_t> buf(record);
    for (uint32_t i = 0; i < header.records; ++i) {
      if (!read_all(fd, buf.data(), record, static_cast<off_t>(kHeaderSize + i * record))) break;
      if (bytes::get32(buf.data() + 4 + page_size) != checksum(header.salt, buf.data(), 4 + page_size))
        continue;
      uint32_t number = bytes::get32(buf.data());
      write_all(db_fd, buf.data() + 4, page_size, static_cast<off_t>(number) * page_size, database);
      ++restored;
    }
    if (::ftruncate(db_fd, static_cast<off_t>(header.old_page_count) * page_size) != 0)
      throw JetError(describe_errno(database, "cannot restore the file's length"));
    if (::fsync(db_fd) != 0) throw JetError(describe_errno(database, "cannot sync"));
    static const uint8_t zeros[kHeaderSize] = {};
    write_all(fd, zeros, kHeaderSize, 0, path);
    ::fdatasync(fd);
  }
  ::close(fd);
  return restored;
}

}  // namespace halvaro::jet
