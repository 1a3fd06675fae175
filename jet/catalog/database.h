#pragma once
// Layer jet/catalog: a whole database for reading. It owns the system catalog
// (MSysObjects), saved queries (MSysQueries, rebuilt as SQL text), property blobs
// (LvProp) and Database, which ties them to the tables. It may use every layer below
// it (indexes, tables, pages, base).
//
// Public face of the Access file engine's reading half: open a Jet 3 or Jet 4
// file, list its tables and saved queries, read table definitions and rows.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jet/catalog/catalog.h"
#include "jet/catalog/saved_query.h"
#include "jet/base/errors.h"
#include "jet/base/field_value.h"
#include "jet/base/format.h"
#include "jet/pages/header.h"
#include "jet/pages/page_source.h"
#include "jet/tables/table_definition.h"

namespace halvaro::jet {

// A read-only view of one .mdb file. The file is never written or locked.
// Not safe for concurrent use from several threads.
class Database {
 public:
  // Throws JetError naming the file when it cannot be read as a Jet 3/Jet 4
  // database, is password-protected or encrypted.
  static std::unique_ptr<Database> open(const std::filesystem::path& path,
                                        Sharing sharing = Sharing::writers_kept_out);
  // Reads through another page store (e.g. a writer's journal); `path` names the
  // file in messages.
  static std::unique_ptr<Database> open(std::shared_ptr<const PageSource> pages,
                                        const std::filesystem::path& path);
  virtual ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  Format format() const;
  const std::filesystem::path& path() const;
  const Header& header() const;
  const PageSource& pages() const;
  const std::vector<CatalogEntry>& catalog() const;

  std::vector<std::string> table_names() const;  // user tables, catalog order
  std::vector<std::string> query_names() const;  // saved queries
  // Case-blind; finds system tables (MSysObjects, MSysQueries, ...) too.
  const TableDef* find_table(std::string_view name) const;  // nullptr if none
  const TableDef& table(std::string_view name) const;      // throws JetError
  // Catalog id of a table or saved query (MSysQueries.ObjectId refers to it).
  std::optional<int32_t> object_id(std::string_view name) const;

  // Calls visit once per live row, in storage order; values[i] is columns[i]'s value.
  // visit returns false to stop early. The span is only valid during the call.
  void scan(const TableDef& table,
            const std::function<bool(std::span<const FieldValue> values)>& visit) const;
  // The same, with each row's location.
  void scan_with_location(
      const TableDef& table,
      const std::function<bool(std::span<const FieldValue> values, RowLocation at)>& visit) const;
  // The same, with only the columns whose position `wanted` marks decoded (the others'
  // values are left null); every row is still checked whole and throws as scan does.
  void scan_columns_with_location(
      const TableDef& table, const std::vector<bool>& wanted,
      const std::function<bool(std::span<const FieldValue> values, RowLocation at)>& visit) const;
  // Reads every live row as scan does and throws the same errors, without building the
  // rows' values; row_checked (may be empty) is called after each row.
  void check_rows(const TableDef& table, const std::function<void()>& row_checked) const;
  // The values of the row at `at` (following overflow pointers).
  std::vector<FieldValue> read_row(const TableDef& table, RowLocation at) const;

  // The SELECT text of a saved query, rebuilt from the catalog; throws JetError
  // when there is no such query.
  std::string query_sql(std::string_view name) const;
  // The MSysQueries rows of a saved query, in storage order, as query_sql reads them.
  std::vector<QueryRow> query_rows(std::string_view name) const;

 private:
  struct State;
  explicit Database(std::unique_ptr<State> state);
  // Decodes each live row into *values (checks it only when values is null; decodes only
  // the columns `wanted` marks when it is not null), then visits it.
  void each_row(const TableDef& table, std::vector<FieldValue>* values, const std::vector<bool>* wanted,
                const std::function<bool(RowLocation at)>& visit) const;
  std::unique_ptr<State> state_;
};

}  // namespace halvaro::jet
