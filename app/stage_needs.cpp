#include "app/stage_needs.h"

#include <cctype>

#include "sql/query_engine.h"
#include "sql/text_fold.h"

namespace halvaro::app {
namespace {

bool is_name_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The names of an Access SQL text outside its quoted literals, each with whether a
// '(' follows it (a function call such as cstr).
struct Word {
  std::string text;
  bool called = false;
};

std::vector<Word> words_of(std::string_view sql) {
  std::vector<Word> words;
  size_t i = 0;
  while (i < sql.size()) {
    char c = sql[i];
    if (c == '\'') {
      size_t end = sql.find('\'', i + 1);
      i = end == std::string_view::npos ? sql.size() : end + 1;
    } else if (c == '[') {
      size_t end = sql.find(']', i + 1);
      if (end == std::string_view::npos) end = sql.size();
      words.push_back({std::string(sql.substr(i + 1, end - i - 1))});
      i = end + 1;
    } else if (is_name_char(c)) {
      size_t start = i;
      while (i < sql.size() && is_name_char(sql[i])) ++i;
      words.push_back({std::string(sql.substr(start, i - start))});
    } else {
      if (c == '(' && !words.empty()) words.back().called = true;
      if (!std::isspace(static_cast<unsigned char>(c))) words.push_back({});  // ends a "name (" pair
      ++i;
    }
  }
  std::vector<Word> named;
  for (Word& word : words)
    if (!word.text.empty()) named.push_back(std::move(word));
  return named;
}

bool is_keyword(std::string_view word) {
  for (std::string_view keyword : {"select", "from", "where", "and", "or", "not", "like", "is", "null"})
    if (same_name(word, keyword)) return true;
  return false;
}

}  // namespace

bool same_name(std::string_view a, std::string_view b) { return sql::compare_folded(a, b) == 0; }

void add_name(std::vector<std::string>& names, std::string_view name) {
  for (const std::string& known : names)
    if (same_name(known, name)) return;
  names.emplace_back(name);
}

std::vector<const db::Stage*> stages_of(const std::vector<const db::Group*>& groups) {
  std::vector<const db::Stage*> stages;
  for (const db::Group* group : groups)
    for (const db::Stage& stage : group->stages) stages.push_back(&stage);
  return stages;
}

std::string destination_table(const db::DestinationOpen& open) {
  std::string_view text = open.reopen.empty() ? open.first : open.reopen;
  std::string name = whole_table_name(text);
  return name.empty() ? std::string(text) : name;
}

std::string whole_table_name(std::string_view select_text) {
  return sql::QueryEngine::whole_table(select_text).value_or(std::string());
}

std::string item_query_for_empty_values(const std::vector<db::QueryPiece>& pieces) {
  std::string text;
  for (const db::QueryPiece& piece : pieces)
    if (!piece.is_value) text += piece.text;
  return text;
}

ItemQueryNeeds item_query_needs(const std::vector<db::QueryPiece>& pieces) {
  // The query for empty values holds every name of the query, and no value's words.
  std::string text = item_query_for_empty_values(pieces);
  ItemQueryNeeds needs;
  bool after_from = false;
  for (const Word& word : words_of(text)) {
    if (after_from) {
      needs.view = word.text;
      after_from = false;
    } else if (same_name(word.text, "from")) {
      after_from = true;
    } else if (!word.called && !is_keyword(word.text)) {
      add_name(needs.columns, word.text);
    }
  }
  return needs;
}

std::vector<std::string> master_columns_read(const db::Stage& stage) {
  std::vector<std::string> columns;
  for (const db::FieldEntry& entry : stage.mapping)
    if (!entry.source.empty()) add_name(columns, entry.source);
  if (stage.detail)
    for (const db::QueryPiece& piece : stage.detail->query)
      if (piece.is_value && piece.from == db::RowOf::SourceMaster) add_name(columns, piece.text);
  return columns;
}

std::vector<std::string> saved_columns_read(const db::Stage& stage) {
  std::vector<std::string> columns;
  if (stage.detail)
    for (const db::QueryPiece& piece : stage.detail->query)
      if (piece.is_value && piece.from == db::RowOf::DestinationMaster) add_name(columns, piece.text);
  return columns;
}

}  // namespace halvaro::app
