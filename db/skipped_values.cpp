#include "db/skipped_values.h"

#include <algorithm>
#include <stdexcept>

namespace halvaro::db {

std::string SkippedValue::line() const {
  std::string out = group;
  if (!table.empty()) out += ": " + table;
  if (!key.empty()) out += " [" + key + "]";
  if (!column.empty()) out += " " + column + " = " + value;
  return out + ": " + reason;
}

std::vector<FieldValue> SpoolCodec<SkippedValue>::encode(const SkippedValue& v) {
  return {FieldValue(static_cast<int64_t>(v.kind)), v.group, v.table, v.key, v.column, v.value, v.reason};
}

SkippedValue SpoolCodec<SkippedValue>::decode(const std::vector<FieldValue>& values) {
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

SkippedValue SpoolCodec<SkippedValue>::not_kept(size_t count, const std::string& why) {
  return {{}, {}, {}, {}, {}, not_kept_text(count, why), SkippedValue::Kind::Stop};
}

void SkippedValues::push_back(SkippedValue value) {
  if (head_.size() < kHeld && complete_.empty() && tail_.empty())
    head_.push_back(std::move(value));
  else
    tail_.push_back(std::move(value));
}

SkippedValue SkippedValues::operator[](size_t i) const {
  if (i < head_.size()) return head_[i];
  i -= head_.size();
  if (i < complete_.size()) return complete_[i];
  return tail_.at(i - complete_.size());
}

SkippedValue& SkippedValues::unsettled(size_t i) {
  if (i < settled_) throw std::logic_error("a settled skipped value cannot change");
  if (i < head_.size()) return head_[i];
  return tail_.at(i - head_.size() - complete_.size());
}

void SkippedValues::settle(size_t upto) {
  settled_ = std::max(settled_, std::min(upto, size()));
  const size_t before_tail = head_.size() + complete_.size();
  const size_t complete = settled_ > before_tail ? std::min(settled_ - before_tail, tail_.size()) : 0;
  for (size_t k = 0; k < complete; ++k) complete_.push_back(tail_[k]);
  tail_.erase(tail_.begin(), tail_.begin() + static_cast<long>(complete));
}

void SkippedValues::for_each(const std::function<void(const SkippedValue&)>& visit) const {
  for (const SkippedValue& v : head_) visit(v);
  complete_.for_each(visit);
  for (const SkippedValue& v : tail_) visit(v);
}

}  // namespace halvaro::db
