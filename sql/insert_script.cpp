#include "sql/insert_script.h"

#include <cmath>

#include "sql/create_script.h"
#include "jet/writer/default_value.h"

namespace halvaro::sql::script {

using namespace jet;

namespace {

// Script literals arrive as text, whole numbers, Decimal (numbers with a point),
// dates, booleans or null; the column decides what they become.
FieldValue to_column(const FieldValue& literal, const Column& column, const std::string& where) {
  if (literal.is<Decimal>()) {
    const Decimal& d = literal.as<Decimal>();
    switch (column.type) {
      case ColumnType::Numeric: return literal;
      case ColumnType::Currency: {
        Int128 scaled = d.unscaled;
        for (int s = d.scale; s < 4; ++s) scaled *= 10;
        for (int s = d.scale; s > 4; --s) scaled /= 10;
        return FieldValue(Currency{static_cast<int64_t>(scaled)});
      }
      default: {
        double value = static_cast<double>(d.unscaled);
        for (int s = 0; s < d.scale; ++s) value /= 10;
        auto converted = convert_for_column(FieldValue(value), column.type);
        if (converted) return *converted;
      }
    }
  } else if (auto converted = convert_for_column(literal, column.type)) {
    return *converted;
  }
  throw ValueError(where + ": column " + column.name + " cannot hold the value given for it");
}

}  // namespace

InsertSummary run_insert_script(DatabaseWriter& writer, std::string_view text) {
  CreateScript script;
  parse_create_script(text, script);
  if (script.builder.table_count() || script.builder.query_count())
    throw JetError("the script may hold INSERT statements only");
  InsertSummary summary;
  for (const InsertStatement& insert : script.inserts) {
    const std::string where = "line " + std::to_string(insert.line) + ": table " + insert.table;
    const TableDef& table = writer.table(insert.table);
    std::vector<const Column*> targets;
    if (insert.columns.empty()) {
      for (const Column& c : table.columns) targets.push_back(&c);
    } else {
      for (const std::string& name : insert.columns) {
        const Column* c = table.find_column(name);
        if (!c) throw JetError(where + " has no column " + name);
        targets.push_back(c);
      }
    }
    if (targets.size() != insert.values.size())
      throw JetError(where + ": " + std::to_string(targets.size()) + " columns but " +
                     std::to_string(insert.values.size()) + " values");
    try {
      auto row = writer.new_row(table);
      for (size_t i = 0; i < targets.size(); ++i)
        row.at(targets[i]->position) = to_column(insert.values[i], *targets[i], "table " + table.name);
      writer.append(table, std::move(row));
      ++summary.rows;
    } catch (const ValueError& e) {
      summary.refusal = e.what();
    } catch (const ConstraintError& e) {
      summary.refusal = e.what();
    }
    if (!summary.refusal.empty()) {
      summary.refused_line = insert.line;
      break;
    }
  }
  return summary;
}

}  // namespace halvaro::sql::script
