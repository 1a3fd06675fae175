#pragma once
// What a run could not store, as it goes: a value that does not fit, a row the database
// refused, a skipped step, a group that stopped. A source whose every row carries a
// value that does not fit adds one entry per row: the first entries are held as they
// are, later ones go to a spooled list once their row is complete.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "db/spooled_list.h"

namespace halvaro::db {

// Something a transfer could not store: a value (column set) or a whole row or the rest
// of a group (column empty).
struct SkippedValue {
  enum class Kind { Value, Row, Step, Stop };
  std::string group;   // e.g. "Suppliers and buyers"
  std::string table;   // destination table
  std::string key;     // the row's key values, e.g. "0301234500017 / 0502222200014 / B"
  std::string column;
  std::string value;
  std::string reason;
  Kind kind = Kind::Value;
  std::string line() const;
};

template <>
struct SpoolCodec<SkippedValue> {
  static std::vector<FieldValue> encode(const SkippedValue& v);
  static SkippedValue decode(const std::vector<FieldValue>& values);
  static SkippedValue not_kept(size_t count, const std::string& why);
};

class SkippedValues {
 public:
  // Entries held as they are before later ones are spooled.
  static constexpr size_t kHeld = 1000;

  void push_back(SkippedValue value);
  size_t size() const { return head_.size() + complete_.size() + tail_.size(); }
  bool empty() const { return size() == 0; }
  // Entry i, wherever it is.
  SkippedValue operator[](size_t i) const;
  // Entry i (not yet settled), to be completed: its row's key is known at the row's end.
  SkippedValue& unsettled(size_t i);
  // Entries before `upto` are complete; those past the held ones are spooled.
  void settle(size_t upto);
  // Every entry in order.
  void for_each(const std::function<void(const SkippedValue&)>& visit) const;

 private:
  std::vector<SkippedValue> head_;         // the first kHeld
  SpooledList<SkippedValue> complete_;     // complete entries after them
  std::vector<SkippedValue> tail_;         // entries after those, not yet complete
  size_t settled_ = 0;
};

}  // namespace halvaro::db
