#pragma once
// Layer jet/builder, the top of the engine: new database files from table specs,
// index specs and saved-query rows, never from SQL text. It owns the system catalog's
// initial rows, table definition pages and the bytes of a new file. It may use every
// layer below it.
//
// Builds a new Jet 4 (Access 2000 format) database file: the header page, the global
// usage map, the system catalog Jet creates for every database (MSysObjects, MSysACEs,
// MSysQueries, MSysRelationships with their container, database and permission
// rows), and the user tables and saved queries added to the builder. Tables are
// created empty; rows are appended afterwards with DatabaseWriter.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "jet/base/field_value.h"
#include "jet/catalog/saved_query.h"
#include "jet/builder/table_spec.h"

namespace halvaro::jet {

struct QuerySpec {
  std::string name;
  std::vector<QueryRow> rows;
};

class DatabaseBuilder {
 public:
  // `created` is stamped on the header and on every catalog row.
  explicit DatabaseBuilder(DateTime created);

  // Adds a user table; throws JetError when its definition is invalid or an object
  // of that name exists.
  void add_table(TableSpec table);
  // Adds an index to a table added before; throws JetError as add_table does.
  void add_index(const std::string& table, IndexSpec index);
  // Adds a saved select query (stored in MSysObjects with type 5 and MSysQueries).
  // Rows without an Order are numbered in turn within their attribute.
  void add_query(QuerySpec query);

  const TableSpec* find_table(const std::string& name) const;  // case-blind
  bool has_object(const std::string& name) const;
  size_t table_count() const { return tables_.size(); }
  size_t query_count() const { return queries_.size(); }

  // Writes the database to a new file; refuses to replace an existing one.
  void write(const std::filesystem::path& path) const;

 private:
  DateTime created_;
  std::vector<TableSpec> tables_;
  std::vector<QuerySpec> queries_;
};


}  // namespace halvaro::jet
