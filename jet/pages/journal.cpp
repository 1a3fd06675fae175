#include "jet/pages/journal.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "jet/base/errors.h"
#include "jet/pages/page_bytes.h"
#include "platform/file_system.h"
#include "platform/process.h"

namespace halvaro::jet {

namespace {

// JournalHeader: magic, page size, old page count, record count, salt, the file's
// identity (device and inode, or volume serial number and file index), digests of its header page before and after the commit, its page
// count after the commit, and the header's checksum. Journals of the first layout ("...1") carry no identity.
constexpr char kMagic[8] = {'H', 'L', 'V', 'J', 'R', 'N', 'L', '2'};
constexpr char kMagicWithoutIdentity[8] = {'H', 'L', 'V', 'J', 'R', 'N', 'L', '1'};
constexpr size_t kHeaderSize = 60;
constexpr size_t kHeaderSizeWithoutIdentity = 32;

// FNV-1a over the bytes, seeded with the salt so that records of an earlier commit
// left behind in the file never pass as records of a later one.
constexpr uint64_t kFnvOffsetBasis = 1469598103934665603ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;
uint32_t fold(uint64_t h) { return static_cast<uint32_t>(h ^ (h >> 32)); }

uint32_t checksum(uint64_t salt, const uint8_t* data, size_t size) {
  uint64_t h = kFnvOffsetBasis ^ salt;
  for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * kFnvPrime;
  return fold(h);
}

// The checksums of `count` records `stride` bytes apart, each over its first `size`
// bytes and stored right after them. Each is checksum() on its own; four are worked
// out side by side because a byte's step waits on the step before it, and four
// independent chains keep the processor busy while each waits.
void put_checksums(uint64_t salt, uint8_t* first, size_t count, size_t stride, size_t size) {
  constexpr size_t kWays = 4;
  size_t i = 0;
  for (; i + kWays <= count; i += kWays) {
    const uint8_t* data[kWays];
    uint64_t h[kWays];
    for (size_t k = 0; k < kWays; ++k) {
      data[k] = first + (i + k) * stride;
      h[k] = kFnvOffsetBasis ^ salt;
    }
    for (size_t b = 0; b < size; ++b)
      for (size_t k = 0; k < kWays; ++k) h[k] = (h[k] ^ data[k][b]) * kFnvPrime;
    for (size_t k = 0; k < kWays; ++k) bytes::put32(first + (i + k) * stride + size, fold(h[k]));
  }
  for (; i < count; ++i) bytes::put32(first + i * stride + size, checksum(salt, first + i * stride, size));
}

void put64(uint8_t* at, uint64_t value) {
  bytes::put32(at, static_cast<uint32_t>(value));
  bytes::put32(at + 4, static_cast<uint32_t>(value >> 32));
}
uint64_t get64(const uint8_t* at) { return bytes::get32(at) | static_cast<uint64_t>(bytes::get32(at + 4)) << 32; }

std::string describe(const std::filesystem::path& path, const char* what, const std::error_code& error) {
  return path.string() + ": " + what + ": " + error.message();
}

void write_or_throw(platform::File& file, const uint8_t* data, size_t size, uint64_t offset,
                    const std::filesystem::path& path) {
  std::error_code error;
  if (!file.write_at(data, size, offset, error)) throw JetError(describe(path, "cannot write", error));
}

void sync(platform::File& file, const std::filesystem::path& path) {
  std::error_code error;
  if (!file.sync_data(error)) throw JetError(describe(path, "cannot sync", error));
}

// Reads `size` bytes whole; false when the file ends first or on an error.
bool read_whole(const platform::File& file, uint8_t* data, size_t size, uint64_t offset, std::error_code& error) {
  return file.read_at(data, size, offset, error) == size;
}
bool read_whole(const platform::File& file, uint8_t* data, size_t size, uint64_t offset) {
  std::error_code ignored;
  return read_whole(file, data, size, offset, ignored);
}

struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint32_t header_digest = 0;
  uint64_t size = 0;
};

// The identity of the open file: the system's (device and inode, or volume and file
// index), its length and a digest of its first page.
std::optional<FileIdentity> identity_of(const platform::File& db, uint32_t page_size, std::error_code& error) {
  platform::FileIdentity system{};
  if (!db.identity(system, error)) return std::nullopt;
  const uint64_t size = db.size(error);
  if (error) return std::nullopt;
  std::vector<uint8_t> header(page_size);
  if (!read_whole(db, header.data(), page_size, 0, error)) return std::nullopt;
  return FileIdentity{system.volume, system.index, checksum(0, header.data(), page_size), size};
}
std::optional<FileIdentity> identity_of(const platform::File& db, uint32_t page_size) {
  std::error_code ignored;
  return identity_of(db, page_size, ignored);
}

struct JournalHeader {
  uint32_t page_size = 0;
  uint32_t old_page_count = 0;
  uint32_t records = 0;
  uint64_t salt = 0;
  size_t size = kHeaderSize;  // where the records start
  bool has_identity = true;
  uint64_t device = 0;
  uint64_t inode = 0;
  uint32_t digest_before = 0;
  uint32_t digest_after = 0;
  uint32_t new_page_count = 0;

  // Whether the journal was written for the file open as `db`. The header page may
  // hold its old or its new contents, as the commit died before or after writing it,
  // and the file's length lies between its lengths before and after the commit (a
  // commit only appends pages).
  bool belongs_to(const platform::File& db) const {
    if (!has_identity) return true;  // written before journals recorded their file
    const auto identity = identity_of(db, page_size);
    return identity && identity->device == device && identity->inode == inode &&
           (identity->header_digest == digest_before || identity->header_digest == digest_after) &&
           identity->size >= uint64_t{old_page_count} * page_size &&
           identity->size <= uint64_t{new_page_count} * page_size;
  }
};

bool read_header(const platform::File& file, JournalHeader& header) {
  uint8_t raw[kHeaderSize];
  if (!read_whole(file, raw, kHeaderSizeWithoutIdentity, 0)) return false;
  if (std::memcmp(raw, kMagicWithoutIdentity, sizeof kMagic) == 0) {
    header.size = kHeaderSizeWithoutIdentity;
    header.has_identity = false;
  } else if (std::memcmp(raw, kMagic, sizeof kMagic) != 0 ||
             !read_whole(file, raw + kHeaderSizeWithoutIdentity, kHeaderSize - kHeaderSizeWithoutIdentity,
                         kHeaderSizeWithoutIdentity)) {
    return false;
  }
  header.page_size = bytes::get32(raw + 8);
  header.old_page_count = bytes::get32(raw + 12);
  header.records = bytes::get32(raw + 16);
  header.salt = get64(raw + 20);
  if (header.has_identity) {
    header.device = get64(raw + 28);
    header.inode = get64(raw + 36);
    header.digest_before = bytes::get32(raw + 44);
    header.digest_after = bytes::get32(raw + 48);
    header.new_page_count = bytes::get32(raw + 52);
  }
  const size_t sum_at = header.size - 4;
  // A journal without saved pages still cuts off the pages a writer added past the
  // committed length (written ahead of a commit, or by one that died).
  const bool grows = header.has_identity && header.new_page_count > header.old_page_count;
  return bytes::get32(raw + sum_at) == checksum(header.salt, raw, sum_at) && (header.records > 0 || grows) &&
         header.page_size > 0;
}

}  // namespace

std::filesystem::path journal_path(const std::filesystem::path& database) {
  // Links resolved: a file written through a link and reopened by its real name (or
  // through another link) must find the same journal.
  std::error_code error;
  std::filesystem::path p = std::filesystem::weakly_canonical(database, error);
  if (error) p = database;
  p += "-journal";
  return p;
}

JournalState journal_state(const std::filesystem::path& database) {
  // Both are only looked at: a writer may hold them open.
  std::error_code error;
  const platform::File journal = platform::File::open(journal_path(database), platform::File::Mode::peek, error);
  if (!journal.is_open()) return JournalState::None;
  JournalHeader header;
  if (!read_header(journal, header)) return JournalState::None;
  const platform::File file = platform::File::open(database, platform::File::Mode::peek, error);
  if (!file.is_open()) return JournalState::Foreign;
  return header.belongs_to(file) ? JournalState::Hot : JournalState::Foreign;
}

bool has_hot_journal(const std::filesystem::path& database) {
  return journal_state(database) == JournalState::Hot;
}

std::string foreign_journal_message(const std::filesystem::path& database) {
  return database.string() + ": the journal " + journal_path(database).string() +
         " beside it was written for another file (or for this file before it was replaced), so it "
         "was not rolled back and the file was not changed; move the journal away or delete it "
         "if it does not belong to this file";
}

Journal::Journal(const std::filesystem::path& database, platform::File& db, uint32_t page_size)
    : path_(journal_path(database)), page_size_(page_size), db_(db) {}

void Journal::create() {
  std::error_code error;
  file_ = platform::File::open(path_, platform::File::Mode::create_or_open, error);
  if (!file_.is_open()) throw JetError(describe(path_, "cannot create the journal", error));
  // The journal's name must survive a crash as surely as its contents.
  platform::sync_folder(path_.parent_path());
  salt_ = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
          (platform::process_id() << 40);
}

Journal::~Journal() = default;

void Journal::save(uint32_t old_page_count, uint32_t new_page_count, std::span<const uint32_t> pages,
                   const uint8_t* new_header) {
  const size_t count = pages.size();
  if (!file_.is_open()) create();
  std::error_code error;
  const auto identity = identity_of(db_, page_size_, error);
  if (!identity) throw JetError(describe(path_, "cannot read the identity of the file it protects", error));
  ++salt_;
  const size_t record = 4 + page_size_ + 4;
  // Written a stretch at a time, so the buffer stays small whatever the commit's size.
  constexpr size_t kRecordsPerWrite = 256;
  buffer_.resize(kHeaderSize + record * std::min(count, kRecordsPerWrite));
  uint8_t* out = buffer_.data();
  std::memcpy(out, kMagic, sizeof kMagic);
  bytes::put32(out + 8, page_size_);
  bytes::put32(out + 12, old_page_count);
  bytes::put32(out + 16, static_cast<uint32_t>(count));
  put64(out + 20, salt_);
  put64(out + 28, identity->device);
  put64(out + 36, identity->inode);
  bytes::put32(out + 44, identity->header_digest);
  bytes::put32(out + 48, new_header != nullptr ? checksum(0, new_header, page_size_) : identity->header_digest);
  bytes::put32(out + 52, new_page_count);
  bytes::put32(out + 56, checksum(salt_, out, 56));
  // Many writes and one sync: records whose bytes did not reach the disk fail their
  // checksum and are skipped, which is harmless because the database is only
  // touched after this sync has returned.
  size_t filled = kHeaderSize;
  size_t stretch_start = filled;  // where the records of this stretch begin
  uint64_t offset = 0;
  for (size_t i = 0; i < count; ++i) {
    uint8_t* r = out + filled;
    bytes::put32(r, pages[i]);
    if (!read_whole(db_, r + 4, page_size_, uint64_t{pages[i]} * page_size_, error))
      throw JetError(error ? describe(path_, "cannot read the page to save", error)
                           : path_.string() + ": the file it protects ends before page " + std::to_string(pages[i]));
    filled += record;
    if (filled + record > buffer_.size() || i + 1 == count) {
      put_checksums(salt_, out + stretch_start, (filled - stretch_start) / record, record, 4 + page_size_);
      write_or_throw(file_, out, filled, offset, path_);
      offset += filled;
      filled = stretch_start = 0;
    }
  }
  if (filled > 0) write_or_throw(file_, out, filled, offset, path_);  // no pages: the header
  sync(file_, path_);
  bytes_written_ += offset + filled;
}

void Journal::clear() {
  if (!file_.is_open()) return;
  static const uint8_t zeros[kHeaderSize] = {};
  write_or_throw(file_, zeros, kHeaderSize, 0, path_);
  sync(file_, path_);
  bytes_written_ += kHeaderSize;
}

void Journal::remove() {
  file_.close();
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
}

size_t Journal::roll_back(const std::filesystem::path& database, platform::File& db, uint32_t page_size,
                          bool own_commit) {
  const std::filesystem::path path = journal_path(database);
  std::error_code error;
  platform::File journal = platform::File::open(path, platform::File::Mode::read_write, error);
  if (!journal.is_open()) return 0;
  JournalHeader header;
  size_t restored = 0;
  if (read_header(journal, header) && header.page_size == page_size) {
    if (!own_commit && !header.belongs_to(db)) throw JetError(foreign_journal_message(database));
    const size_t record = 4 + page_size + 4;
    std::vector<uint8_t> buf(record);
    for (uint32_t i = 0; i < header.records; ++i) {
      if (!read_whole(journal, buf.data(), record, header.size + uint64_t{i} * record)) break;
      if (bytes::get32(buf.data() + 4 + page_size) != checksum(header.salt, buf.data(), 4 + page_size))
        continue;
      uint32_t number = bytes::get32(buf.data());
      write_or_throw(db, buf.data() + 4, page_size, uint64_t{number} * page_size, database);
      ++restored;
    }
    if (!db.truncate(uint64_t{header.old_page_count} * page_size, error))
      throw JetError(describe(database, "cannot restore the file's length", error));
    if (!db.sync_all(error)) throw JetError(describe(database, "cannot sync", error));
    static const uint8_t zeros[kHeaderSize] = {};
    write_or_throw(journal, zeros, kHeaderSize, 0, path);
    journal.sync_data(error);
  }
  return restored;
}

}  // namespace halvaro::jet
