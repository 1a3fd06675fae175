#pragma once
// What a run could not store, as it goes: a value that does not fit, a row the database
// refused, a skipped step, a group that stopped. A source whose every row carries a
// value that does not fit adds one entry per row, millions in a large file: the first
// entries are held as they are, later ones go to a temporary file once their row is
// complete, so memory stays bounded and every entry is still listed.

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace halvaro::sql {
class RowSpool;
}

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

class SkippedValues {
 public:
  // Entries held in memory before later ones go to the file.
  static constexpr size_t kHeld = 1000;

  void push_back(SkippedValue value);
  size_t size() const { return head_.size() + spilled_ + lost_ + tail_.size(); }
  bool empty() const { return size() == 0; }
  // Entry i, whether held or in the file.
  SkippedValue operator[](size_t i) const;
  // Entry i (i >= settled()), to be completed: its row's key is only known at its end.
  SkippedValue& unsettled(size_t i);
  // Entries before `upto` are complete; those past the held ones may go to the file.
  void settle(size_t upto);
  size_t settled() const { return settled_; }
  // Every entry in order.
  void for_each(const std::function<void(const SkippedValue&)>& visit) const;

 private:
  std::vector<SkippedValue> head_;  // the first kHeld
  std::shared_ptr<sql::RowSpool> spool_;  // complete entries after head_
  size_t spilled_ = 0;
  std::vector<SkippedValue> tail_;  // entries after those, not yet complete
  size_t settled_ = 0;
  std::string lost_why_;  // the file could not be written: entries past it are counted only
  size_t lost_ = 0;
};

// Lines of text held the same way: the first in memory, the rest in a temporary file.
class TextLines {
 public:
  static constexpr size_t kHeld = 1000;
  TextLines() = default;
  TextLines(std::initializer_list<std::string> lines);

  void push_back(const std::string& line);
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  // The first kHeld lines.
  const std::vector<std::string>& held() const { return head_; }
  void for_each(const std::function<void(const std::string&)>& visit) const;

 private:
  std::vector<std::string> head_;
  std::shared_ptr<sql::RowSpool> spool_;
  size_t count_ = 0;
  size_t stored_ = 0;  // lines in head_ and the spool
  std::string lost_why_;
};

}  // namespace halvaro::db
