#include "app/repeat_check.h"

#include <optional>
#include <set>

#include "app/stage_needs.h"
#include "db/convert.h"
#include "db/errors.h"
#include "db/value_text.h"
#include "sql/text_fold.h"

namespace halvaro::app {
namespace {

// Keys named in a line at most; the rest are counted.
constexpr size_t kKeysShown = 3;

// A value as a unique index compares it: text without regard to letter case.
std::string key_part(const FieldValue& value) {
  if (value.is_null()) return std::string("\x01", 1);
  if (value.is<std::string>()) return "t" + sql::fold_case(value.as<std::string>());
  return "v" + db::text_form(value);
}

struct Identity {
  std::vector<std::string> columns;  // destination columns
  bool keyed = false;                // a unique index: the group stops at a repeat
};

const jet::Index* unique_index(const jet::TableDef& table) {
  for (const jet::Index& index : table.indexes)
    if (index.primary) return &index;
  for (const jet::Index& index : table.indexes)
    if (index.unique) return &index;
  return nullptr;
}

// What tells one master row from another: the table's unique key, or else the master
// values its item query is built from (those decide which items it gets).
Identity identity_of(const db::Stage& stage, const jet::TableDef& table) {
  Identity identity;
  if (const jet::Index* key = unique_index(table)) {
    identity.keyed = true;
    for (const jet::IndexColumn& part : key->columns) identity.columns.push_back(table.columns[part.column].name);
    return identity;
  }
  if (!stage.detail) return identity;
  for (const db::QueryPiece& piece : stage.detail->query) {
    if (!piece.is_value) continue;
    if (piece.from == db::RowOf::DestinationMaster) {
      add_name(identity.columns, piece.text);
      continue;
    }
    for (const db::FieldEntry& entry : stage.mapping)
      if (same_name(entry.source, piece.text)) add_name(identity.columns, entry.destination);
  }
  return identity;
}

std::vector<int> positions(const db::ResultView& rows, const std::vector<std::string>& columns) {
  std::vector<int> found;
  for (const std::string& column : columns) {
    int at = -1;
    for (size_t i = 0; i < rows.column_count(); ++i)
      if (same_name(rows.column_name(i), column)) at = int(i);
    found.push_back(at);
  }
  return found;
}

// The key of every row of a destination table; none when it lacks one of the columns.
std::vector<std::string> row_keys(db::Store& destination, const std::string& table,
                                  const std::vector<std::string>& columns) {
  auto rows = destination.select("Select * from [" + table + "]");
  std::vector<int> at = positions(*rows, columns);
  std::vector<std::string> keys;
  for (int position : at)
    if (position < 0) return keys;
  for (size_t row = 0; row < rows->row_count(); ++row) {
    std::string key;
    for (int position : at) key += key_part(rows->value(row, size_t(position))) + '\x1f';
    keys.push_back(std::move(key));
  }
  return keys;
}

// The value the copy would store from a source row into `column`, as the column holds it.
std::optional<FieldValue> stored_value(const db::FieldEntry& entry, const db::ResultView& rows, size_t row,
                                       int source_position, const jet::Column& column) {
  if (entry.source.empty()) return db::value_stored(entry, nullptr, column);
  if (source_position < 0) return std::nullopt;
  // A value the column refuses is not stored: the row cannot collide through this column.
  return db::value_stored(entry, &rows.value(row, size_t(source_position)), column);
}

std::string repeat_line(const db::Stage& stage, const std::string& table, const Identity& identity, size_t repeats,
                        size_t total, const std::vector<std::string>& shown, const std::string& items) {
  std::string line = std::string(stage.label) + ": " + std::to_string(repeats) + " of " + std::to_string(total) +
                     " are already in " + table;
  if (identity.keyed) {
    std::string columns;
    for (const std::string& column : identity.columns) columns += (columns.empty() ? "" : ", ") + column;
    std::string keys;
    for (const std::string& key : shown) keys += (keys.empty() ? "" : "; ") + key;
    if (repeats > shown.size()) keys += "; ...";
    return line + " (same " + columns + ": " + keys + "); the group stops at the first of them";
  }
  return line + items + "; this run appends them again";
}

struct Repeat {
  std::string line;
  bool keyed = false;
};

std::optional<Repeat> repeats_of(const db::Stage& stage, const db::ResultView& masters, db::Store& destination) {
  const std::string table = destination_table(stage.destination);
  const jet::TableDef& def = destination.table(table).definition();
  Identity identity = identity_of(stage, def);
  if (identity.columns.empty()) return std::nullopt;

  std::vector<const db::FieldEntry*> entries;
  std::vector<const jet::Column*> columns;
  std::vector<std::string> sources;
  for (const std::string& name : identity.columns) {
    const db::FieldEntry* entry = db::entry_writing(stage.mapping, name);
    if (!entry) return std::nullopt;  // a column the copy leaves to the table: nothing to foresee
    const jet::Column* column = nullptr;
    for (const jet::Column& candidate : def.columns)
      if (same_name(candidate.name, name)) column = &candidate;
    if (!column) return std::nullopt;
    entries.push_back(entry);
    columns.push_back(column);
    sources.emplace_back(entry->source);
  }
  std::vector<int> source_at = positions(masters, sources);

  std::vector<std::string> stored = row_keys(destination, table, identity.columns);
  if (stored.empty()) return std::nullopt;  // a table without rows holds no repeats
  std::set<std::string> present(stored.begin(), stored.end());
  std::set<std::string> repeated;
  std::vector<std::string> shown;
  size_t repeats = 0;
  std::vector<FieldValue> values;
  for (size_t row = 0; row < masters.row_count(); ++row) {
    std::string key;
    values.clear();
    bool known = true;
    for (size_t i = 0; i < entries.size() && known; ++i) {
      auto value = stored_value(*entries[i], masters, row, source_at[i], *columns[i]);
      known = value.has_value();
      if (!known) break;
      key += key_part(*value) + '\x1f';
      values.push_back(std::move(*value));
    }
    if (!known || !present.count(key)) continue;
    ++repeats;
    repeated.insert(key);
    if (shown.size() >= kKeysShown) continue;
    std::string display;
    for (const FieldValue& value : values) display += (display.empty() ? "" : " / ") + db::text_form(value);
    shown.push_back(display);
  }
  if (repeats == 0) return std::nullopt;

  std::string items;
  if (!identity.keyed && stage.detail) {
    const std::string detail_table = destination_table(stage.detail->destination);
    size_t matching = 0;
    for (const std::string& key : row_keys(destination, detail_table, identity.columns))
      matching += repeated.count(key);
    items = ", with " + std::to_string(matching) + " items in " + detail_table;
  }
  return Repeat{repeat_line(stage, table, identity, repeats, masters.row_count(), shown, items), identity.keyed};
}

}  // namespace

std::vector<std::string> find_repeats(const FileCheck& check, db::Store& destination,
                                      const std::vector<const db::Group*>& groups) {
  std::vector<std::string> lines;
  size_t master = 0;
  for (const db::Group* group : groups) {
    // A group that stops at a repeat never reaches its later stages.
    bool stops = false;
    for (const db::Stage& stage : group->stages) {
      std::shared_ptr<const db::ResultView> rows = master < check.masters.size() ? check.masters[master] : nullptr;
      ++master;
      if (stops || !rows || rows->row_count() == 0) continue;
      try {
        if (auto repeat = repeats_of(stage, *rows, destination)) {
          lines.push_back(repeat->line);
          stops = repeat->keyed;
        }
      } catch (const db::DbError& error) {
        lines.push_back(std::string(stage.label) + ": could not compare with the destination: " + error.what());
      }
    }
  }
  return lines;
}

}  // namespace halvaro::app
