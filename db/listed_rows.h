#pragma once
// The rows of one list of a run's account (rows not moved, moved more than once, moved
// with a changed value). A list can hold every row of a source: a group stopped early
// lists each row it did not reach, millions in a large file. The first rows are held
// as they are; past them the rows go to a temporary file, so memory stays bounded
// however long the list, and the report still names every row.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace halvaro::sql {
class RowSpool;
}

namespace halvaro::db {

// One source row named by its key columns, with what became of it.
struct ListedRow {
  std::vector<std::pair<std::string, std::string>> key;  // column, text of its value
  std::string reason;
  size_t times = 0;  // how often it was appended
  std::string key_text() const;  // "InvoiceNo TI-0099, ItemSerialNo 1"
};

class ListedRows {
 public:
  // Rows held in memory before the list moves to its file.
  static constexpr size_t kMemoryRows = 256;

  void push_back(const ListedRow& row);
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  // Row i (i < size()). Should the temporary file fail (a full disk), the count stays
  // exact and the rows from the first one not kept read as one row that says so.
  ListedRow operator[](size_t i) const;
  ListedRow at(size_t i) const;
  // Every row in order (the rows not kept, if any, as that one row).
  void for_each(const std::function<void(const ListedRow&)>& visit) const;

 private:
  // Shared by copies of an account: the list is complete once accounted for.
  std::shared_ptr<sql::RowSpool> spool_;
  size_t count_ = 0;
  size_t stored_ = 0;      // rows the spool holds
  std::string lost_why_;   // why rows past stored_ could not be kept
};

}  // namespace halvaro::db
