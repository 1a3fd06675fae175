#include "db/item_view.h"

#include <exception>
#include <string_view>
#include <vector>

#include "sql/text_fold.h"

namespace halvaro::db {

std::string item_view_statement(const DetailCopy& detail) {
  std::vector<std::string_view> wanted;
  auto want = [&](std::string_view name) {
    for (std::string_view known : wanted)
      if (sql::compare_folded(known, name) == 0) return;
    wanted.push_back(name);
  };
  for (std::string_view name : detail.view.key) want(name);
  for (std::string_view name : detail.view.summed) want(name);
  for (const QueryPiece& piece : detail.query)
    if (piece.is_value) want(piece.item_column);
  std::string columns_query = "Select ";
  for (size_t i = 0; i < wanted.size(); ++i) columns_query += (i ? ", " : "") + std::string(wanted[i]);
  columns_query += " from " + std::string(detail.view.name);
  return columns_query;
}

SourceRead read_item_view(const DetailCopy& detail, Store& source) {
  const std::string columns_query = item_view_statement(detail);
  try {
    return {source.select(columns_query), {}};
  } catch (const std::exception&) {
  }
  try {
    return {source.select("Select * from " + std::string(detail.view.name)), {}};
  } catch (const std::exception& error) {
    return {nullptr, error.what()};
  }
}

}  // namespace halvaro::db
