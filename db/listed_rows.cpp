#include "db/listed_rows.h"

namespace halvaro::db {

std::string ListedRow::key_text() const {
  std::string out;
  for (const auto& [column, value] : key) out += (out.empty() ? "" : ", ") + column + " " + value;
  return out;
}

std::vector<FieldValue> SpoolCodec<ListedRow>::encode(const ListedRow& row) {
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

ListedRow SpoolCodec<ListedRow>::decode(const std::vector<FieldValue>& values) {
  ListedRow row;
  row.times = static_cast<size_t>(values.at(0).as<int64_t>());
  row.reason = values.at(1).as<std::string>();
  for (size_t i = 2; i + 1 < values.size(); i += 2)
    row.key.emplace_back(values[i].as<std::string>(), values[i + 1].as<std::string>());
  return row;
}

ListedRow SpoolCodec<ListedRow>::not_kept(size_t count, const std::string& why) {
  return {{}, not_kept_text(count, why), 0};
}

}  // namespace halvaro::db
