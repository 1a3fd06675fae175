#include "db/listed_rows.h"

#include <stdexcept>

#include "sql/row_spool.h"

namespace halvaro::db {
namespace {

// A row as spool values: times, reason, then column and value of each key part.
std::vector<FieldValue> encode(const ListedRow& row) {
  std::vector<FieldValue> values;
  values.reserve(2 + 2 * row.key.size());
  values.emplace_back(static_cast<int64_t>(row.times));
  values.emplace_back(row.reason);
  for (const auto& [column, value] : row.key) {
    values.emplace_back(column);
    values.emplace_back(value);
  }
  return values;
}

ListedRow decode(const std::vector<FieldValue>& values) {
  ListedRow row;
  row.times = static_cast<size_t>(values.at(0).as<int64_t>());
  row.reason = values.at(1).as<std::string>();
  for (size_t i = 2; i + 1 < values.size(); i += 2)
    row.key.emplace_back(values[i].as<std::string>(), values[i + 1].as<std::string>());
  return row;
}

}  // namespace

std::string ListedRow::key_text() const {
  std::string out;
  for (const auto& [column, value] : key) out += (out.empty() ? "" : ", ") + column + " " + value;
  return out;
}

void ListedRows::push_back(const ListedRow& row) {
  ++count_;
  if (!lost_why_.empty()) return;
  try {
    if (!spool_) spool_ = std::make_shared<sql::RowSpool>(kMemoryRows);
    spool_->append(encode(row));
    ++stored_;
  } catch (const std::exception& error) {
    // The count stays exact; the report says which rows it cannot name and why.
    lost_why_ = error.what();
  }
}

ListedRow ListedRows::operator[](size_t i) const {
  if (i < stored_) return decode(spool_->row(i));
  ListedRow lost;
  lost.reason = std::to_string(count_ - stored_) + " rows from here on are not named: their list could not be kept (" +
                lost_why_ + ")";
  return lost;
}

ListedRow ListedRows::at(size_t i) const {
  if (i >= count_) throw std::out_of_range("listed row " + std::to_string(i) + " of " + std::to_string(count_));
  return (*this)[i];
}

void ListedRows::for_each(const std::function<void(const ListedRow&)>& visit) const {
  for (size_t i = 0; i < stored_; ++i) visit(decode(spool_->row(i)));
  if (stored_ < count_) visit((*this)[stored_]);  // one row stands for those not kept
}

}  // namespace halvaro::db
