#include "db/step_failures.h"

#include <utility>

#include "db/value_text.h"

namespace halvaro::db {

StepFailures::StepFailures(SkippedValues& list) : list_(list), first_unkeyed_(list.size()) {
  list_.settle(first_unkeyed_);
}

void StepFailures::row_complete(Recordset& row) {
  std::string key;
  bool known = false;
  for (size_t i = first_unkeyed_; i < list_.size(); ++i) {
    if (!known) key = row.new_row_key(), known = true;
    list_.unsettled(i).key = key;
  }
  first_unkeyed_ = list_.size();
  list_.settle(first_unkeyed_);
}

void StepFailures::value_skipped(std::string stage, std::string table, std::string_view column,
                                 const FieldValue& value, const std::string& reason) {
  SkippedValue skipped{std::move(stage), std::move(table), {}, std::string(column), text_form(value), reason};
  if (value.is<std::string>()) skipped.value = "\"" + skipped.value + "\"";
  add(std::move(skipped), false);
}

void StepFailures::row_not_stored(std::string stage, std::string table, std::string key, const std::string& reason) {
  add({std::move(stage), std::move(table), std::move(key), {}, {}, "row not stored: " + reason,
       SkippedValue::Kind::Row},
      true);
}

void StepFailures::step_skipped(std::string stage, std::string table, const std::string& reason) {
  add({std::move(stage), std::move(table), {}, {}, {}, "step skipped: " + reason, SkippedValue::Kind::Step}, true);
}

void StepFailures::stopped(SkippedValue stop) {
  for (size_t i = first_unkeyed_; i < list_.size(); ++i) list_.unsettled(i).key = stop.key;
  list_.push_back(std::move(stop));
  list_.settle(list_.size());
}

void StepFailures::not_moved(std::string stage, const std::string& why) {
  list_.push_back({std::move(stage), {}, {}, {}, {}, "not moved: " + why});
  list_.settle(list_.size());
}

// An entry that is not a value of the row being built ends that row's unkeyed values.
void StepFailures::add(SkippedValue entry, bool ends_row) {
  list_.push_back(std::move(entry));
  if (ends_row) first_unkeyed_ = list_.size();
  list_.settle(first_unkeyed_);
}

}  // namespace halvaro::db
