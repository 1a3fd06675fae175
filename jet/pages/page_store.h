#pragma once
// The pages of a database file opened for writing. Pages are read when first needed
// and kept until release() (after a commit, so memory follows the pages changed
// between commits rather than the file), forget() (one unchanged page, whose
// contents a caller keeps in another form) or set_aside() (a changed one, which the
// caller writes back whole before the commit); changes stay in memory until commit(), which
// copies the old contents of every changed page from the file into the rollback
// journal, writes the new ones and syncs. A crash at
// any moment therefore leaves the file at its last commit, or recoverable to it on
// the next open. The file is locked for the writer's lifetime (on Windows no other program
// may write to it meanwhile either).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "jet/pages/journal.h"
#include "jet/pages/page_source.h"
#include "platform/file.h"

namespace halvaro::jet {

class PageStore final : public PageSource {
 public:
  // Checks that the file and its folder are writable, takes the writer's lock,
  // rolls back what a crashed writer left, and reads the page size from the header.
  static std::shared_ptr<PageStore> open(const std::filesystem::path& path);
  ~PageStore() override;
  PageStore(const PageStore&) = delete;
  PageStore& operator=(const PageStore&) = delete;

  const std::filesystem::path& path() const { return path_; }
  uint32_t page_size() const override { return page_size_; }
  uint32_t page_count() const override { return static_cast<uint32_t>(pages_.size()); }
  // For the reading code: the page as this writer has it now.
  std::span<const uint8_t> page(uint32_t n) const override;

  // The current contents of a page (this writer's changes included).
  const uint8_t* read(uint32_t page) const;
  // The page's bytes for changing; the page is written at the next commit.
  uint8_t* write(uint32_t page);
  // The page's bytes for replacing whole: like write(), but a page not held is not
  // read first (the buffer comes zero-filled).
  uint8_t* overwrite(uint32_t page);
  // Lets go of one page whose bytes match the file (read and not changed since the
  // last commit); nothing happens to a changed page. Pointers into it are invalid.
  void forget(uint32_t page);
  // Whether the page has changed since the last commit.
  bool changed(uint32_t page) const { return page < is_dirty_.size() && is_dirty_[page]; }
  // Lets go of the bytes of a changed page whose caller holds its contents in another
  // form and overwrites the page whole before the next commit. The page stays changed;
  // reads meanwhile see it as last committed (zero-filled if it is new since).
  void set_aside(uint32_t page);
  // A new zero-filled page at the end of the file. Throws JetError when the file holds
  // the most pages allowed already.
  uint32_t allocate();
  void limit_pages(uint32_t most) { max_pages_ = most; }
  // Whether `pages` more fit below the limit.
  bool has_room(uint64_t pages) const { return pages_.size() + pages <= max_pages_; }
  // Throws JetError, naming the file and its limit, unless `pages` more fit below it.
  void ensure_room(uint32_t pages) const;

  bool has_changes() const { return !dirty_.empty(); }
  // Pages whose bytes this store holds in memory.
  size_t pages_held() const { return held_; }
  // Writes the pages added since the last commit to the file ahead of it and lets go
  // of them: they are past the committed length, so nothing of the file as committed
  // changes, and the journal records that length first so that a crash or a rollback
  // cuts them off. They are read back from the file when next needed, and the commit
  // syncs them. Returns the pages written.
  size_t write_ahead();
  // Makes the changes durable. When a write fails (disk full, I/O error) the file is
  // rolled back to its last commit and the changes are discarded before JetError
  // reports it.
  void commit();
  // Drops the pages that match the file (after a commit, all of them); they are read
  // again when next needed. Spans and pointers handed out before are invalid.
  void release();
  // Page buffers let go of (dropped pages) are reused for
  // the next pages read or added, rather than freed and allocated again; this hands
  // all but `most` of them back to the heap.
  void keep_spare(size_t most);
  // Forgets every change since the last commit.
  void discard_changes();
  // Commits and removes the journal; the store is unusable afterwards.
  void close();

  uint64_t bytes_written() const;
  // For measurements: pages read from the file, pages written by commits, and commits.
  uint64_t pages_loaded() const { return pages_loaded_; }
  uint64_t pages_committed() const { return pages_committed_; }
  uint64_t commits() const { return commits_; }
  uint64_t pages_written_ahead() const { return pages_written_ahead_; }
  size_t pages_rolled_back_on_open() const { return rolled_back_; }

 private:
  PageStore() = default;
  void load(uint32_t page) const;
  std::unique_ptr<uint8_t[]> buffer() const;
  void recycle(std::unique_ptr<uint8_t[]> buf);
  void write_dirty_pages();
  void write_pages(const std::vector<uint32_t>& sorted_pages);
  void count_held();
  void note_held(uint32_t page) const;
  void drop_held(uint32_t page);
  [[noreturn]] void roll_back_failed_commit(const std::string& failure);

  std::filesystem::path path_;
  platform::File file_;
  uint32_t page_size_ = 4096;
  uint32_t committed_pages_ = 0;  // file length at the last commit, in pages
  uint32_t file_pages_ = 0;       // and now, with the pages written ahead of the next commit
  bool length_saved_ = false;     // the journal holds committed_pages_ for pages written ahead
  mutable std::vector<std::unique_ptr<uint8_t[]>> pages_;
  mutable size_t held_ = 0;  // pages_ that are not null
  mutable std::vector<uint32_t> held_pages_;  // their numbers, in no order
  mutable std::vector<uint32_t> held_at_;     // per page: its place in held_pages_
  mutable std::vector<std::unique_ptr<uint8_t[]>> spare_;  // buffers to reuse
  uint32_t max_pages_ = UINT32_MAX;
  std::vector<uint32_t> dirty_;
  std::vector<bool> is_dirty_;
  bool unusable_ = false;  // a failed commit could not be rolled back
  std::unique_ptr<Journal> journal_;
  uint64_t bytes_written_ = 0;
  size_t rolled_back_ = 0;
  mutable uint64_t pages_loaded_ = 0;
  uint64_t pages_committed_ = 0;
  uint64_t pages_written_ahead_ = 0;
  uint64_t commits_ = 0;
};

}  // namespace halvaro::jet
