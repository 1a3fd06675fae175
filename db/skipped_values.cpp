#include "db/skipped_values.h"

#include <algorithm>
#include <stdexcept>

#include "sql/row_spool.h"

namespace halvaro::db {
namespace {

constexpr size_t kSpoolMemoryRows = 64;

std::vector<FieldValue> encode(const SkippedValue& v) {
  return {FieldValue(static_cast<int64_t>(v.kind)), v.group, v.table, v.key, v.column, v.value, v.reason};
}

SkippedValue decode(const std::vector<FieldValue>& values) {
  SkippedValue v;
  v.kind = static_cast<SkippedValue::Kind>(values.at(0).as<int64_t>());
  v.group = values.at(1).as<std::string>();
  v.table = values.at(2).as<std::string>();
  v.key = values.at(3).as<std::string>();
  v.column = values.at(4).as<std::string>();
  v.value = values.at(5).as<std::string>();
  v.reason = values.at(6).as<std::string>();
  return v;
}

std::string not_kept(size_t count, const std::string& why) {
  return std::to_string(count) + " more entries are not listed: their list could not be kept (" + why + ")";
}

}  // namespace

std::string SkippedValue::line() const {
  std::string out = group;
  if (!table.empty()) out += ": " + table;
  if (!key.empty()) out += " [" + key + "]";
  if (!column.empty()) out += " " + column + " = " + value;
  return out + ": " + reason;
}

void SkippedValues::push_back(SkippedValue value) {
  if (head_.size() < kHeld && spilled_ == 0 && lost_ == 0 && tail_.empty())
    head_.push_back(std::move(value));
  else
    tail_.push_back(std::move(value));
}

SkippedValue SkippedValues::operator[](size_t i) const {
  if (i < head_.size()) return head_[i];
  i -= head_.size();
  if (i < spilled_) return decode(spool_->row(i));
  i -= spilled_;
  if (i < lost_) return {{}, {}, {}, {}, {}, not_kept(lost_, lost_why_), SkippedValue::Kind::Stop};
  i -= lost_;
  if (i < tail_.size()) return tail_[i];
  throw std::out_of_range("skipped value " + std::to_string(i) + " is past the list");
}

SkippedValue& SkippedValues::unsettled(size_t i) {
  if (i < settled_) throw std::logic_error("a settled skipped value cannot change");
  if (i < head_.size()) return head_[i];
  i -= head_.size() + spilled_ + lost_;
  return tail_.at(i);
}

void SkippedValues::settle(size_t upto) {
  settled_ = std::max(settled_, std::min(upto, size()));
  const size_t held = head_.size() + spilled_ + lost_;
  size_t complete = settled_ > held ? std::min(settled_ - held, tail_.size()) : 0;
  for (size_t k = 0; k < complete; ++k) {
    if (lost_why_.empty()) {
      try {
        if (!spool_) spool_ = std::make_shared<sql::RowSpool>(kSpoolMemoryRows);
        spool_->append(encode(tail_[k]));
        ++spilled_;
        continue;
      } catch (const std::exception& error) {
        lost_why_ = error.what();
      }
    }
    ++lost_;
  }
  tail_.erase(tail_.begin(), tail_.begin() + static_cast<long>(complete));
}

void SkippedValues::for_each(const std::function<void(const SkippedValue&)>& visit) const {
  for (const SkippedValue& v : head_) visit(v);
  for (size_t i = 0; i < spilled_; ++i) visit(decode(spool_->row(i)));
  if (lost_ > 0) visit({{}, {}, {}, {}, {}, not_kept(lost_, lost_why_), SkippedValue::Kind::Stop});
  for (const SkippedValue& v : tail_) visit(v);
}

TextLines::TextLines(std::initializer_list<std::string> lines) {
  for (const std::string& line : lines) push_back(line);
}

void TextLines::push_back(const std::string& line) {
  ++count_;
  if (head_.size() < kHeld) {
    head_.push_back(line);
    ++stored_;
    return;
  }
  if (!lost_why_.empty()) return;
  try {
    if (!spool_) spool_ = std::make_shared<sql::RowSpool>(kSpoolMemoryRows);
    spool_->append({FieldValue(line)});
    ++stored_;
  } catch (const std::exception& error) {
    lost_why_ = error.what();
  }
}

void TextLines::for_each(const std::function<void(const std::string&)>& visit) const {
  for (const std::string& line : head_) visit(line);
  const size_t spilled = stored_ - head_.size();
  for (size_t i = 0; i < spilled; ++i) visit(spool_->row(i).at(0).as<std::string>());
  if (stored_ < count_) visit(not_kept(count_ - stored_, lost_why_));
}

}  // namespace halvaro::db
