#pragma once
// Layer jet/pages: the file as numbered pages. It owns the header page, reading
// pages (PageSource) and writing them under a rollback journal (PageStore, Journal),
// the page layouts shared by rows (data pages, row pages) and usage maps. It may use
// jet/base only.
//
// PageSource is a store of fixed-size pages. The reading code
// sees a database only through this interface, so a writer can put its own
// journaled store underneath and read back what it wrote.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "platform/file.h"
#include "platform/mapping.h"

namespace halvaro::jet {

class PageSource {
 public:
  virtual ~PageSource() = default;
  virtual uint32_t page_size() const = 0;
  virtual uint32_t page_count() const = 0;
  // The page_size() bytes of page n, valid until the source is changed or
  // destroyed. Throws CorruptData when n is not below page_count().
  virtual std::span<const uint8_t> page(uint32_t n) const = 0;
  // Lets go now of the memory that reading holds, for a caller done reading for a
  // while; the pages stay readable. A source that holds none does nothing.
  virtual void let_go_of_read_pages() const {}

 protected:
  [[noreturn]] void throw_out_of_range(uint32_t n) const;
};

// A database file mapped read-only: never written, never locked (on Windows it is held
// open so that no other program writes to it meanwhile). The pages read are
// let go of now and then (the mapping stays; a page read again comes back from the
// file), so reading a large file does not keep all of it resident.
// Whom a reader of a file lets write to it meanwhile.
enum class Sharing {
  // Nobody (on Windows; POSIX has no such hold): a file is read as it stands.
  writers_kept_out,
  // This process's own writer of the file, which a check reads beside.
  beside_own_writer,
};

class FilePageSource final : public PageSource {
 public:
  // Maps the file and takes the page size from its header. Throws JetError
  // (naming the file) when it cannot be opened or is not a Jet 3/Jet 4 file.
  static std::shared_ptr<FilePageSource> open(const std::filesystem::path& path,
                                              Sharing sharing = Sharing::writers_kept_out);
  ~FilePageSource() override;
  FilePageSource(const FilePageSource&) = delete;
  FilePageSource& operator=(const FilePageSource&) = delete;

  uint32_t page_size() const override { return page_size_; }
  uint32_t page_count() const override { return page_count_; }
  std::span<const uint8_t> page(uint32_t n) const override;
  void let_go_of_read_pages() const override;

 private:
  FilePageSource() = default;
  // The pages read since the last let-go (between the lowest and the highest).
  void let_go_of_recent_reads() const;

  // Page reads between two let-gos. A fault maps up to 64 KiB of the file around the
  // page read (the kernel's fault-around), so a table whose pages lie scattered among
  // others' keeps up to 16 file pages resident per read: at most 32 MiB in all.
  static constexpr uint32_t kReadsBetweenLetGos = 512;
  mutable std::atomic<uint32_t> reads_{0};
  mutable std::atomic<uint32_t> lowest_read_{UINT32_MAX};
  mutable std::atomic<uint32_t> highest_read_{0};
  platform::File file_;
  platform::ReadOnlyMapping mapping_;
  const uint8_t* data_ = nullptr;
  size_t mapped_size_ = 0;
  uint32_t page_size_ = 0;
  uint32_t page_count_ = 0;
};

// Pages held in memory: for tests and for callers that build pages themselves.
class MemoryPageSource final : public PageSource {
 public:
  // A trailing partial page is not counted.
  MemoryPageSource(std::vector<uint8_t> bytes, uint32_t page_size);
  uint32_t page_size() const override { return page_size_; }
  uint32_t page_count() const override { return static_cast<uint32_t>(bytes_.size() / page_size_); }
  std::span<const uint8_t> page(uint32_t n) const override;
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  uint32_t page_size_;
};

}  // namespace halvaro::jet
