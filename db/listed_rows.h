#pragma once
// The rows of one list of a run's account (rows not moved, moved more than once, moved
// with a changed value). A list can hold every row of a source: a group stopped early
// lists each row it did not reach.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "db/spooled_list.h"

namespace halvaro::db {

// One source row named by its key columns, with what became of it.
struct ListedRow {
  std::vector<std::pair<std::string, std::string>> key;  // column, text of its value
  std::string reason;
  size_t times = 0;  // how often it was appended
  std::string key_text() const;  // "InvoiceNo TI-0099, ItemSerialNo 1"
};

template <>
struct SpoolCodec<ListedRow> {
  // Times, reason, then column and value of each key part.
  static std::vector<FieldValue> encode(const ListedRow& row);
  static ListedRow decode(const std::vector<FieldValue>& values);
  static ListedRow not_kept(size_t count, const std::string& why);
};

using ListedRows = SpooledList<ListedRow>;

}  // namespace halvaro::db
