#pragma once
// Rollback journal beside a database file ("<file>-journal"). Before a commit
// overwrites pages of the database, their previous contents are saved here and
// synced; once the database itself is synced the journal is emptied. A journal found
// holding a complete record set on open means a commit died half way: putting the
// saved pages back (and cutting the file to its old length) restores the last
// committed state.

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace halvaro::jet {

std::filesystem::path journal_path(const std::filesystem::path& database);

// True when a journal with saved pages sits beside `database`: the file may hold a
// half-finished commit until a writer opens it and rolls it back.
bool has_hot_journal(const std::filesystem::path& database);

struct SavedPage {
  uint32_t number = 0;
  const uint8_t* bytes = nullptr;
};

class Journal {
 public:
  // Opens (creating if needed) the journal of `database`.
  Journal(const std::filesystem::path& database, uint32_t page_size);
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // Writes the pages' old contents and the file's old length, then syncs.
  void save(uint32_t old_page_count, std::span<const SavedPage> pages);
  // Marks the journal empty (after the database has been synced).
  void clear();

  // Restores the database from a journal left by a crashed writer; `db_fd` is the
  // open database. Returns the number of pages put back (0: nothing to do).
  static size_t roll_back(const std::filesystem::path& database, int db_fd, uint32_t page_size);

  // Removes the journal file (on a clean close).
  void remove();

  uint64_t bytes_written() const { return bytes_written_; }

 private:
  std::filesystem::path path_;
  uint32_t page_size_;
  int fd_ = -1;
  uint64_t salt_ = 0;
  uint64_t bytes_written_ = 0;
  std::vector<uint8_t> buffer_;
};

}  // namespace halvaro::jet
