#pragma once
// What the list of what was not stored (db/skipped_values) says of a group's steps that
// failed: a value its column refused, a row the database did not store, a step skipped,
// the group stopped or not begun. A value skipped in a row being built gets the row's
// key once the row is complete.

#include <cstddef>
#include <string>
#include <string_view>

#include "db/recordset.h"
#include "db/skipped_values.h"

namespace halvaro::db {

class StepFailures {
 public:
  // The group's entries begin after those already in `list`.
  explicit StepFailures(SkippedValues& list);

  // The row being built is about to be stored: the values skipped in it get its key.
  void row_complete(Recordset& row);
  // `value`, the one a field entry tried to write into `column`, was refused; the row goes on.
  void value_skipped(std::string stage, std::string table, std::string_view column, const FieldValue& value,
                     const std::string& reason);
  void row_not_stored(std::string stage, std::string table, std::string key, const std::string& reason);
  void step_skipped(std::string stage, std::string table, const std::string& reason);
  // The group stopped: the values skipped in the row being built get its key (`stop.key`).
  void stopped(SkippedValue stop);
  // The group was stopped from outside before it began.
  void not_moved(std::string stage, const std::string& why);

 private:
  void add(SkippedValue entry, bool ends_row);

  SkippedValues& list_;
  size_t first_unkeyed_;  // the entries from here on wait for their row's key
};

}  // namespace halvaro::db
