#include "app/preflight.h"

#include "app/stage_needs.h"
#include "db/convert.h"
#include "db/errors.h"
#include "db/value_text.h"

namespace halvaro::app {
namespace {

constexpr const char* kFileErrorTitle = "Halvaro: File Error";

void add_problem(std::vector<std::string>& problems, std::string problem) {
  for (const std::string& known : problems)
    if (known == problem) return;
  problems.push_back(std::move(problem));
}

std::string type_name(const jet::Column& column) {
  if (column.type == jet::ColumnType::Text) return "Text(" + std::to_string(column.size / 2) + ")";
  return jet::type_name(column.type);
}

std::string shown(const FieldValue& value) {
  std::string text = db::text_form(value);
  return value.is<std::string>() ? "\"" + text + "\"" : text;
}

const jet::Column* column_named(const jet::TableDef& table, std::string_view name) {
  for (const jet::Column& column : table.columns)
    if (same_name(column.name, name)) return &column;
  return nullptr;
}

bool has_column(const db::ResultView& rows, std::string_view name) {
  for (size_t i = 0; i < rows.column_count(); ++i)
    if (same_name(rows.column_name(i), name)) return true;
  return false;
}

// A destination table must have each mapped column, and each must take the entry's
// default (or constant) through the layer's own conversion: that value is written
// whenever the source is empty, so a column that refuses it would lose data on every
// such row. Copied values are judged row by row as the run stores them.
void check_destination_table(db::Store& destination, const std::string& name,
                             const std::vector<db::FieldEntry>& mapping, const std::vector<std::string>& read_back,
                             std::vector<std::string>& problems) {
  const jet::TableDef* table = nullptr;
  try {
    table = &destination.table(name).definition();
  } catch (const db::DbError& error) {
    add_problem(problems, error.code() == db::ErrorCode::NoSuchTable ? "table " + name + " is missing"
                                                                     : "table " + name + ": " + error.what());
    return;
  }
  for (const db::FieldEntry& entry : mapping) {
    const jet::Column* column = column_named(*table, entry.destination);
    if (!column) {
      add_problem(problems, "column " + name + "." + std::string(entry.destination) + " is missing");
      continue;
    }
    try {
      db::to_column(entry.value, *column);
    } catch (const db::DbError& error) {
      add_problem(problems, "column " + name + "." + column->name + " (" + type_name(*column) +
                                ") cannot hold the value " + shown(entry.value) + " written for empty sources: " +
                                error.reason());
    }
  }
  for (const std::string& column : read_back)
    if (!column_named(*table, column)) add_problem(problems, "column " + name + "." + column + " is missing");
}

// Notes a failed evaluation of a table or view of the source: a statement the engine
// could not answer (its tables, columns or SQL) apart from an engine that could not work.
void note_failure(const db::DbError& error, const std::string& name, FileCheck& check) {
  if (error.code() == db::ErrorCode::NoSuchTable)
    add_problem(check.source_problems, "table or view " + name + " is missing");
  else
    add_problem(error.code() == db::ErrorCode::Unspecified ? check.reading_problems : check.source_problems,
                name + " cannot be evaluated: " + error.what());
}

// Evaluates a whole table or view of the source; null when it fails (the problem noted).
std::shared_ptr<const db::ResultView> read_source(db::Store& source, const std::string& text,
                                                  const std::string& name, FileCheck& check) {
  try {
    return source.select(text);
  } catch (const db::DbError& error) {
    note_failure(error, name, check);
  }
  return nullptr;
}

void check_columns(const db::ResultView& rows, const std::string& name, const std::vector<std::string>& columns,
                   std::vector<std::string>& problems) {
  for (const std::string& column : columns)
    if (!has_column(rows, column)) add_problem(problems, "column " + name + "." + column + " is missing");
}

// The item query for empty values gives the view's columns without reading its rows;
// only when it fails is the whole view evaluated, to tell what is wrong.
void check_item_view(db::Store& source, const db::DetailCopy& detail, FileCheck& check) {
  std::vector<std::string>& problems = check.source_problems;
  ItemQueryNeeds needs = item_query_needs(detail.query);
  for (const db::FieldEntry& entry : detail.mapping)
    if (!entry.source.empty()) add_name(needs.columns, entry.source);
  std::string failure;
  bool engine_failed = false;  // rather than the statement
  try {
    check_columns(*source.select(item_query_for_empty_values(detail.query)), needs.view, needs.columns, problems);
    return;
  } catch (const db::DbError& error) {
    failure = error.what();
    engine_failed = error.code() == db::ErrorCode::Unspecified;
  }
  auto items = read_source(source, "Select * from [" + needs.view + "]", needs.view, check);
  if (!items) return;
  size_t known = problems.size();
  check_columns(*items, needs.view, needs.columns, problems);
  if (problems.size() == known)
    add_problem(engine_failed ? check.reading_problems : problems, needs.view + " cannot be evaluated: " + failure);
}

void append_section(std::string& text, const std::string& heading, const std::vector<std::string>& problems) {
  if (problems.empty()) return;
  text += "\n" + heading;
  for (const std::string& problem : problems) text += "\n  " + problem;
}

}  // namespace

FileCheck check_files(db::Store& source, db::Store& destination, const std::vector<const db::Group*>& groups) {
  FileCheck check;
  for (const db::Stage* stage : stages_of(groups)) {
    check_destination_table(destination, destination_table(stage->destination), stage->mapping,
                            saved_columns_read(*stage), check.destination_problems);

    std::string name = whole_table_name(stage->source);
    auto masters = read_source(source, std::string(stage->source), name, check);
    if (masters) check_columns(*masters, name, master_columns_read(*stage), check.source_problems);
    check.masters.push_back(std::move(masters));

    if (!stage->detail) continue;
    const db::DetailCopy& detail = *stage->detail;
    check_destination_table(destination, destination_table(detail.destination), detail.mapping, {},
                            check.destination_problems);
    check_item_view(source, detail, check);
  }
  // Views that could not be evaluated are problems of their own; the tables behind them
  // are accounted for once they can be.
  if (check.source_problems.empty() && check.reading_problems.empty())
    check.base = db::account_base_tables(groups, source);
  return check;
}

Message unfit_files_message(const FileCheck& check, const std::string& source_path,
                            const std::string& destination_path) {
  // Files that fit but could not be read (no room left for the scratch files, say) are
  // not told they do not fit.
  const bool only_unread = check.destination_problems.empty() && check.source_problems.empty();
  std::string text = only_unread ? "The source could not be read; nothing was written...!"
                                 : "These files do not fit the transfer; nothing was written...!";
  std::vector<std::string> source_problems = check.source_problems;
  source_problems.insert(source_problems.end(), check.reading_problems.begin(), check.reading_problems.end());
  append_section(text, "Destination " + destination_path + ":", check.destination_problems);
  append_section(text, "Source " + source_path + ":", source_problems);
  return Message{text, MessageStyle::Stop, kFileErrorTitle, {}};
}

}  // namespace halvaro::app
