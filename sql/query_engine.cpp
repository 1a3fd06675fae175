#include "sql/query_engine.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "platform/file_system.h"
#include "sql/functions.h"
#include "sql/jet_source.h"
#include "sql/parser.h"
#include "sql/row_pipe.h"
#include "sql/sql_value.h"
#include "sql/statement_shape.h"
#include "sql/text_fold.h"
#include "sql/translator.h"

namespace halvaro::sql {

int ResultSet::find_column(std::string_view name) const {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (compare_folded(columns[i].name, name) == 0) return static_cast<int>(i);
  }
  return -1;
}

namespace {

std::string shorten(std::string_view sql) {
  std::string text(sql);
  if (text.size() > 200) text = text.substr(0, 200) + "...";
  return text;
}

// SQLite's last failure on `db` as the engine reports it. The only files SQLite writes
// are the scratch database's, so a full disk or a failed read or write is theirs.
QueryError failure_of(sqlite3* db, const std::string& message) {
  const int code = sqlite3_errcode(db) & 0xFF;
  if (code != SQLITE_FULL && code != SQLITE_IOERR && code != SQLITE_CANTOPEN) return QueryError(message);
  const std::string folder = platform::sqlite_temporary_folder();
  return QueryError("the scratch file in the temporary folder " + (folder.empty() ? "" : folder + " ") +
                        "could not be written or read (" + message +
                        "); make room there, or set TMPDIR to a folder with room",
                    true);
}
QueryError failure_of(sqlite3* db) { return failure_of(db, sqlite3_errmsg(db)); }

class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql) {
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &statement_, nullptr) != SQLITE_OK) {
      QueryError failure = failure_of(db);
      sqlite3_finalize(statement_);
      throw failure;
    }
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  sqlite3_stmt* get() const { return statement_; }
  // True while there is a row.
  bool step() {
    int status = sqlite3_step(statement_);
    if (status == SQLITE_ROW) return true;
    if (status == SQLITE_DONE) return false;
    throw failure_of(sqlite3_db_handle(statement_));
  }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

// Texts and bytes are bound without a copy: `value` must stay as it is until the
// statement has been stepped.
void bind(sqlite3_stmt* statement, int index, const FieldValue& value, Kind kind) {
  const auto& v = value.value;
  if (std::holds_alternative<std::monostate>(v)) {
    sqlite3_bind_null(statement, index);
  } else if (auto text = std::get_if<std::string>(&v)) {
    sqlite3_bind_text(statement, index, text->data(), static_cast<int>(text->size()), SQLITE_STATIC);
  } else if (auto whole = std::get_if<int64_t>(&v)) {
    sqlite3_bind_int64(statement, index, kind == Kind::Currency ? *whole * 10000 : *whole);
  } else if (auto number = std::get_if<double>(&v)) {
    if (kind == Kind::Currency) sqlite3_bind_int64(statement, index, std::llround(*number * 10000));
    else sqlite3_bind_double(statement, index, *number);
  } else if (auto money = std::get_if<Currency>(&v)) {
    sqlite3_bind_int64(statement, index, money->scaled);
  } else if (auto when = std::get_if<DateTime>(&v)) {
    sqlite3_bind_double(statement, index, when->days);
  } else if (auto flag = std::get_if<bool>(&v)) {
    sqlite3_bind_int(statement, index, *flag ? -1 : 0);
  } else if (auto exact = std::get_if<Decimal>(&v)) {
    sqlite3_bind_double(statement, index, std::stod(to_string(*exact)));
  } else if (auto id = std::get_if<Guid>(&v)) {
    sqlite3_bind_blob(statement, index, id->bytes.data(), 16, SQLITE_STATIC);
  } else {
    const auto& bytes = std::get<Binary>(v);
    sqlite3_bind_blob(statement, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
  }
}

void add_row(ResultSet& result, std::vector<FieldValue> row) { result.rows.push_back(std::move(row)); }
void add_row(StoredResult& result, std::vector<FieldValue> row) { result.rows.append(std::move(row)); }

// A row's position in the relation it was read from: its row id less one (SQLite
// numbers the rows of a table filled by one INSERT from 1, in insertion order).
void set_origin(ResultSet&, const std::string&) {}
void set_origin(StoredResult& result, const std::string& origin) { result.origin = origin; }
void add_origin(ResultSet&, sqlite3_stmt*, int) {}
void add_origin(StoredResult& result, sqlite3_stmt* statement, int column) {
  result.origins.add(static_cast<uint64_t>(sqlite3_column_int64(statement, column) - 1));
}

template <class Result>
Result empty_result(const ScratchLimits&) {
  return Result();
}
template <>
StoredResult empty_result<StoredResult>(const ScratchLimits& limits) {
  return StoredResult{{}, RowSpool(limits.result_memory_rows), {}, {}};
}

// Reads every row of a statement that is ready to step. `origin` (empty: none) names
// the relation whose row id follows the columns.
template <class Result>
Result read_rows(sqlite3_stmt* statement, const std::vector<RelationColumn>& columns, const std::string& origin,
                 const ScratchLimits& limits) {
  Result result = empty_result<Result>(limits);
  if (!origin.empty()) set_origin(result, origin);
  result.columns.reserve(columns.size());
  for (const auto& column : columns) result.columns.push_back({column.name, column.kind});
  for (;;) {
    int status = sqlite3_step(statement);
    if (status == SQLITE_DONE) break;
    if (status != SQLITE_ROW) throw failure_of(sqlite3_db_handle(statement));
    std::vector<FieldValue> row;
    row.reserve(columns.size());
    for (size_t i = 0; i < columns.size(); ++i) {
      row.push_back(from_sqlite(statement, static_cast<int>(i), columns[i].kind, columns[i].scale));
    }
    if (!origin.empty()) add_origin(result, statement, static_cast<int>(columns.size()));
    add_row(result, std::move(row));
  }
  return result;
}

// A statement shape prepared once; statement is null when the shape's translation
// depends on its texts' values, so each statement of it is translated on its own.
struct PreparedShape {
  sqlite3_stmt* statement = nullptr;
  std::vector<RelationColumn> columns;
  std::string origin;
  PreparedShape() = default;
  PreparedShape(const PreparedShape&) = delete;
  PreparedShape& operator=(const PreparedShape&) = delete;
  ~PreparedShape() { sqlite3_finalize(statement); }
};

// Puts the statement back to its start, its parameters unbound, whatever happened while stepping.
class ResetWhenDone {
 public:
  explicit ResetWhenDone(sqlite3_stmt* statement) : statement_(statement) {}
  ~ResetWhenDone() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  ResetWhenDone(const ResetWhenDone&) = delete;
  ResetWhenDone& operator=(const ResetWhenDone&) = delete;

 private:
  sqlite3_stmt* statement_;
};

// `temporary` puts the table in SQLite's temporary database, which has a cache of its own.
std::string create_table_sql(const std::string& name, const std::vector<RelationColumn>& columns,
                             bool temporary = false) {
  std::string sql = (temporary ? "CREATE TEMP TABLE " : "CREATE TABLE ") + name + " (";
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) sql += ", ";
    sql += "c" + std::to_string(i) + " " + std::string(sqlite_declaration(columns[i].kind));
  }
  return sql + ")";
}

// An INSERT of `rows` rows of `columns` parameters each.
std::string insert_sql(const std::string& name, size_t columns, size_t rows) {
  std::string row = "(";
  for (size_t i = 0; i < columns; ++i) row += i == 0 ? "?" : ", ?";
  row += ")";
  std::string sql = "INSERT INTO " + name + " VALUES ";
  for (size_t r = 0; r < rows; ++r) sql += (r == 0 ? "" : ", ") + row;
  return sql;
}

}  // namespace

struct QueryEngine::Impl : RelationResolver {
  std::shared_ptr<const TableSource> source;
  sqlite3* db = nullptr;
  std::map<std::string, Relation> relations;  // by folded name
  std::set<std::string> loading;              // saved queries being translated (cycle check)
  std::set<std::string> indexes;
  int next_table = 0;
  // By StatementShape::key. Kept small: a caller writing numbers into its statements
  // makes a shape of each.
  std::unordered_map<std::string, std::unique_ptr<PreparedShape>> shapes;
  static constexpr size_t kMaxShapes = 256;
  std::vector<Token> statement_tokens;
  StatementShape statement_shape;
  ScratchLimits limits;
  bool share = true;
  std::function<void()> tick;
  uint64_t rows_read = 0;
  // Tells this engine's relations from another's in a result's origin.
  const std::string origin_prefix = "e" + std::to_string(next_engine()) + ".";
  static uint64_t next_engine() {
    static std::atomic<uint64_t> engines{0};
    return ++engines;
  }
  // Rows read between two ticks while loading tables, and SQLite steps between two
  // ticks while evaluating.
  static constexpr size_t kRowsPerTick = 4096;
  // Rows a table's loading inserts with one statement: a step per row cost about as
  // much as the row's own insert.
  static constexpr size_t kRowsPerInsert = 16;
  static constexpr int kStepsPerTick = 1 << 20;

  // The evaluated saved queries live in SQLite's temporary database, which has a pager
  // and a page cache of its own. An INSERT ... SELECT holds every page it writes dirty
  // in the cache until it ends, and SQLite makes room among the clean pages first: with
  // both in one cache, the written pages pushed out the index that the query's join
  // looks up row after row (at a million invoices, the master views read the file
  // 270,000 times instead of 19,000). The cache's budget is split between the two
  // databases: while tables and queries are loaded, the larger part goes to the tables
  // read and the join indexes; while statements are answered, to the evaluated queries
  // and their indexes.
  enum class CacheUse { Unset, Loading, Answering };
  CacheUse cache_use = CacheUse::Unset;
  bool temporary_opened = false;
  void use_cache_for(CacheUse use) {
    if (use == cache_use) return;
    cache_use = use;
    split_cache();
  }
  void split_cache() {
    const int total = std::max(limits.cache_kib, 4);
    const int smaller = total / 4;
    const int main_kib = cache_use == CacheUse::Loading ? total - smaller : smaller;
    exec("PRAGMA main.cache_size = -" + std::to_string(main_kib));
    if (temporary_opened) exec("PRAGMA temp.cache_size = -" + std::to_string(total - main_kib));
  }
  // After the first table in the temporary database: it opened with SQLite's defaults.
  void temporary_database_opened() {
    if (temporary_opened) return;
    temporary_opened = true;
    exec("PRAGMA temp.journal_mode = OFF");
    split_cache();
  }

  void set_tick(std::function<void()> to) {
    tick = std::move(to);
    sqlite3_progress_handler(db, tick ? kStepsPerTick : 0, tick ? &on_progress : nullptr, this);
  }
  static int on_progress(void* self) {
    static_cast<Impl*>(self)->tick();
    return 0;  // go on
  }

  Impl(std::shared_ptr<const TableSource> from, const ScratchLimits& limits_)
      : source(std::move(from)), limits(limits_) {
    // Each engine's database is used by one thread at a time: no locking, and no
    // global memory statistics (which take a lock on every allocation).
    static const bool configured = [] {
      sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
      return true;
    }();
    (void)configured;
    // The empty name makes SQLite keep the database in a temporary file of its own,
    // deleted when the connection closes (on Unix at once, so no exit leaves it behind),
    // and pages beyond the cache go to that file: memory follows the cache, not the source.
    const char* name = limits.on_disk ? "" : ":memory:";
    if (sqlite3_open_v2(name, &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
      sqlite3_close(db);
      throw QueryError("cannot start the query evaluator");
    }
    register_jet_functions(db);
    // A scratch database: a table that fails to load is dropped whole (discard), so
    // no rollback journal is needed, and nothing needs to survive a crash.
    exec("PRAGMA journal_mode = OFF");
    exec("PRAGMA synchronous = OFF");
    use_cache_for(CacheUse::Loading);
    // Sorts and temporary indexes of large statements spill to files as well.
    exec(limits.on_disk ? "PRAGMA temp_store = FILE" : "PRAGMA temp_store = MEMORY");
    // A helper thread sorts a large CREATE INDEX's runs while the statement reads on:
    // the item views' indexes then use the second core.
    exec("PRAGMA threads = 1");
  }
  ~Impl() override {
    shapes.clear();  // their statements must be finalized before the database closes
    sqlite3_close(db);
  }

  void exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      std::string message = error ? error : "unknown error";
      sqlite3_free(error);
      throw failure_of(db, message);
    }
  }

  // Drops a table whose loading failed. Without a journal there is no rollback:
  // what was inserted is committed and the table dropped.
  void discard(const std::string& sqlite_name) {
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_exec(db, ("DROP TABLE IF EXISTS " + sqlite_name).c_str(), nullptr, nullptr, nullptr);
  }

  const Relation& relation(std::string_view name) override {
    std::string key = fold_case(name);
    if (auto found = relations.find(key); found != relations.end()) return found->second;
    if (auto table = source->find_table(name)) return load_table(key, *table);
    if (auto query = source->find_query(name)) return load_query(key, *query);
    throw QueryError("there is no table or saved query named '" + std::string(name) + "'");
  }

  const Relation& load_table(const std::string& key, const SourceTable& table) {
    Relation relation;
    use_cache_for(CacheUse::Loading);
    relation.sqlite_name = "t" + std::to_string(++next_table);
    for (const auto& column : table.columns) relation.columns.push_back({column.name, column.kind, column.scale});
    exec(create_table_sql(relation.sqlite_name, relation.columns));
    const size_t columns = table.columns.size();
    // As many rows a statement as its parameters may number (a build of SQLite may
    // allow fewer than the usual 32,766).
    const auto parameters = static_cast<size_t>(std::max(sqlite3_limit(db, SQLITE_LIMIT_VARIABLE_NUMBER, -1), 0));
    const size_t rows_per_insert = columns == 0 ? 1 : std::clamp<size_t>(parameters / columns, 1, kRowsPerInsert);
    exec("BEGIN");
    try {
      Statement one(db, insert_sql(relation.sqlite_name, columns, 1));
      std::optional<Statement> many;
      try {
        if (rows_per_insert > 1) many.emplace(db, insert_sql(relation.sqlite_name, columns, rows_per_insert));
      } catch (const QueryError&) {
        // A build that refuses the longer statement takes one row a statement.
      }
      // The rows' own values are bound (no copy), and they outlive the step.
      auto insert = [&](Statement& statement, std::span<const FieldValue> values) {
        sqlite3_reset(statement.get());
        int parameter = 0;
        for (size_t row = 0; row < values.size(); row += columns)
          for (size_t i = 0; i < columns; ++i)
            bind(statement.get(), ++parameter, values[row + i], table.columns[i].kind);
        statement.step();
      };
      // The file's pages are decoded on a helper thread while this one inserts.
      auto decode = [&](const RowVisitor& visit) { source->scan(table, visit); };
      pipe_rows(columns, decode, [&](std::span<const FieldValue> values) {
        const size_t rows = columns == 0 ? 0 : values.size() / columns;
        size_t row = 0;
        for (; many && row + rows_per_insert <= rows; row += rows_per_insert)
          insert(*many, values.subspan(row * columns, rows_per_insert * columns));
        for (; row < rows; ++row) insert(one, values.subspan(row * columns, columns));
        const uint64_t before = rows_read;
        rows_read += rows;
        if (tick && before / kRowsPerTick != rows_read / kRowsPerTick) tick();
      });
      exec("COMMIT");
    } catch (const QueryError&) {
      discard(relation.sqlite_name);
      throw;
    } catch (const std::exception& e) {
      discard(relation.sqlite_name);
      throw QueryError("reading table " + table.name + ": " + e.what());
    }
    return relations[key] = std::move(relation);
  }

  // A saved query is evaluated once, into a table: the source never changes while
  // it is open, and the item queries that run once per master row then read a
  // table that an index can serve.
  const Relation& load_query(const std::string& key, const SavedQuery& query) {
    if (loading.count(key)) throw QueryError("saved query " + query.name + " refers to itself");
    loading.insert(key);
    try {
      Translation translation = sql::translate(parse_select(query.sql), *this);
      Relation relation;
      relation.sqlite_name = "q" + std::to_string(++next_table);
      relation.columns = translation.columns;
      use_cache_for(CacheUse::Loading);
      exec(create_table_sql(relation.sqlite_name, relation.columns, true));
      temporary_database_opened();
      create_indexes(translation.index_hints);
      exec("INSERT INTO " + relation.sqlite_name + " " + translation.sql);
      loading.erase(key);
      return relations[key] = std::move(relation);
    } catch (const SyntaxError& e) {
      loading.erase(key);
      throw QueryError("saved query " + query.name + ": " + e.what());
    } catch (const QueryError& e) {
      loading.erase(key);
      if (std::string_view(e.what()).starts_with("saved query ")) throw;
      throw QueryError("saved query " + query.name + ": ", e);
    }
  }

  // Rows sampled to choose an index's terms.
  static constexpr int kSampleRows = 512;

  // A statement giving about kSampleRows rows spread evenly over a loaded table (its
  // rows are numbered from 1 as they were inserted, and none is ever deleted), so that
  // a table whose first rows are alike is not judged by them.
  std::string sample_of(const std::string& table) {
    int64_t last = 0;
    {
      Statement statement(db, "SELECT max(rowid) FROM " + table);
      if (statement.step()) last = sqlite3_column_int64(statement.get(), 0);
    }
    if (last <= kSampleRows) return "SELECT * FROM " + table;
    std::string rows;
    for (int64_t i = 0; i < kSampleRows; ++i) rows += (i ? "," : "") + std::to_string(1 + last * i / kSampleRows);
    return "SELECT * FROM " + table + " WHERE rowid IN (" + rows + ")";
  }

  // What a term gives a sampled row, as a key that equal values share: a text compared
  // case-blind is folded and loses its trailing blanks, as the JET collation compares.
  // (Numbers of two storage classes that are equal get two keys; choosing an index's
  // terms needs no more.)
  static std::string sample_key(sqlite3_stmt* statement, int column, bool compared_case_blind) {
    const int type = sqlite3_column_type(statement, column);
    std::string key(1, static_cast<char>('0' + type));
    if (type == SQLITE_NULL) return key;
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, column));
    std::string_view value(bytes ? bytes : "", static_cast<size_t>(sqlite3_column_bytes(statement, column)));
    if (type != SQLITE_TEXT || !compared_case_blind) return key.append(value);
    return key + fold_case(without_trailing_blanks(value));
  }

  // The terms an index on the hint's equality tests takes. Every term is an equality
  // test of the statement, so an index on any of them, in any order, answers it with
  // the same rows in the same order (rows of equal keys stay in row id order, and the
  // tests the index leaves out are applied to its rows). So the terms with the most
  // distinct values among the sampled rows come first (ties keep the statement's
  // order): item views repeat their registration number and period over thousands of
  // rows. And the index stops at the first terms that tell the sampled rows apart as
  // well as all of them do: the others would only make it larger and slower to build.
  // Values the leading terms share more widely than the sample shows are rare, so a
  // lookup still reads few rows more than it returns.
  std::vector<std::string> index_terms(const IndexHint& hint) {
    const size_t n = hint.terms.size();
    if (n < 2) return hint.terms;
    std::vector<std::vector<std::string>> rows;  // each sampled row's keys, term by term
    std::vector<bool> case_blind;
    for (const auto& term : hint.terms)
      case_blind.push_back(term.ends_with(" COLLATE JET"));
    try {
      std::string list;
      for (const auto& term : hint.terms) list += (list.empty() ? "" : ", ") + term;
      Statement statement(db, "SELECT " + list + " FROM (" + sample_of(hint.table) + ")");
      while (statement.step()) {
        auto& row = rows.emplace_back();
        for (size_t i = 0; i < n; ++i) row.push_back(sample_key(statement.get(), static_cast<int>(i), case_blind[i]));
      }
    } catch (const QueryError&) {
      return hint.terms;  // the whole key in the statement's order serves as well, only slower
    }
    auto distinct = [&](const std::vector<size_t>& columns) {
      std::unordered_set<std::string> keys;
      std::string key;
      for (const auto& row : rows) {
        key.clear();
        for (size_t column : columns) {
          const auto size = static_cast<uint32_t>(row[column].size());
          key.append(reinterpret_cast<const char*>(&size), sizeof size).append(row[column]);
        }
        keys.insert(key);
      }
      return keys.size();
    };
    std::vector<size_t> order(n), counts(n);
    for (size_t i = 0; i < n; ++i) {
      order[i] = i;
      counts[i] = distinct({i});
    }
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return counts[a] > counts[b]; });
    const size_t all = distinct(order);
    size_t used = 1;
    while (used < n && distinct({order.begin(), order.begin() + static_cast<long>(used)}) < all) ++used;
    std::vector<std::string> terms;
    for (size_t k = 0; k < used; ++k) terms.push_back(hint.terms[order[k]]);
    return terms;
  }

  void create_indexes(const std::vector<IndexHint>& hints) {
    for (const auto& hint : hints) {
      if (!indexes.insert(hint.table + "(" + listed(hint.terms) + ")" + listed(hint.covered)).second) continue;
      const std::string name = "i" + std::to_string(indexes.size());
      const std::vector<std::string> terms = index_terms(hint);
      if (!hint.covered.empty() && create_covering_index(name, hint, terms)) continue;
      exec("CREATE INDEX " + name + " ON " + hint.table + "(" + listed(terms) + ")");
    }
  }

  static std::string listed(const std::vector<std::string>& terms) {
    std::string list;
    for (const auto& term : terms) list += (list.empty() ? "" : ", ") + term;
    return list;
  }

  // An outer join's index holds every test of the join and the other columns the
  // statement reads from its inner table, so that a lookup never reads the table's row
  // (at a million invoices the rows of the partner table no longer stay in the cache
  // while the items stream past). Only where no two rows of the inner table pass the
  // same tests: rows that did would come in the order of the columns added, where the
  // smaller index gives them in the table's order. Returns whether it was made.
  bool create_covering_index(const std::string& name, const IndexHint& hint, const std::vector<std::string>& leading) {
    std::vector<std::string> tests = leading;
    for (const auto& term : hint.terms)
      if (std::find(tests.begin(), tests.end(), term) == tests.end()) tests.push_back(term);
    std::vector<std::string> columns = tests;
    columns.insert(columns.end(), hint.covered.begin(), hint.covered.end());
    exec("CREATE INDEX " + name + " ON " + hint.table + "(" + listed(columns) + ")");
    bool repeated = false;
    {
      Statement statement(db, "SELECT 1 FROM " + hint.table + " GROUP BY " + listed(tests) +
                                  " HAVING count(*) > 1 LIMIT 1");
      repeated = statement.step();
    }
    if (repeated) exec("DROP INDEX " + name);
    return !repeated;
  }

  template <class Result>
  Result execute(std::string_view access_sql) {
    if (!share) return execute_translated<Result>(access_sql, translate_statement(access_sql, true));
    // The tokens and shape of the previous statement make room for this one's (the
    // engine never runs a statement while evaluating another).
    std::vector<Token>& tokens = statement_tokens;
    StatementShape& shape = statement_shape;
    try {
      tokenize_into(access_sql, tokens);
    } catch (const SyntaxError&) {
      return execute_translated<Result>(access_sql, translate_statement(access_sql, true));  // reports the error
    }
    std::string name;
    if (tokens.size() == 2 && is_bare_name(access_sql, name)) tokenize_into("SELECT * FROM [" + name + "]", tokens);
    shape_into(tokens, shape);
    auto found = shapes.find(shape.key);
    if (found == shapes.end()) {
      Translation translation = translate_statement(access_sql, true);
      create_indexes(translation.index_hints);
      if (shapes.size() >= kMaxShapes) shapes.clear();
      found = shapes.emplace(shape.key, prepare_shape(tokens, shape.texts, translation.sql)).first;
      if (!found->second->statement) return execute_translated<Result>(access_sql, translation);
    }
    const PreparedShape& prepared = *found->second;
    if (!prepared.statement) return execute_translated<Result>(access_sql, translate_statement(access_sql, true));
    ResetWhenDone reset(prepared.statement);
    for (size_t i = 0; i < shape.texts.size(); ++i) {
      const std::string& text = shape.texts[i];
      sqlite3_bind_text(prepared.statement, static_cast<int>(i + 1), text.data(), static_cast<int>(text.size()),
                        SQLITE_STATIC);
    }
    try {
      use_cache_for(CacheUse::Answering);
      return read_rows<Result>(prepared.statement, prepared.columns, origin_of(prepared.origin), limits);
    } catch (const QueryError& e) {
      throw QueryError("query \"" + shorten(access_sql) + "\": ", e);
    }
  }

  template <class Result>
  Result execute_translated(std::string_view access_sql, const Translation& translation) {
    try {
      create_indexes(translation.index_hints);
      Statement statement(db, translation.sql);
      use_cache_for(CacheUse::Answering);
      return read_rows<Result>(statement.get(), translation.columns, origin_of(translation.origin), limits);
    } catch (const QueryError& e) {
      throw QueryError("query \"" + shorten(access_sql) + "\": ", e);
    }
  }

  // Translates a statement's shape with its quoted texts as parameters and prepares
  // it, when that translation is the statement's own (inline_sql) with the texts put
  // back: the texts are then only compared or passed on as texts, and any other
  // texts give what their own translation would.
  std::unique_ptr<PreparedShape> prepare_shape(std::vector<Token> tokens, const std::vector<std::string>& texts,
                                               const std::string& inline_sql) {
    auto prepared = std::make_unique<PreparedShape>();
    try {
      Translation translation = sql::translate(parse_select(std::move(tokens)), *this, true, true);
      if (inline_texts(translation.sql, texts) != inline_sql) return prepared;
      if (sqlite3_prepare_v2(db, translation.sql.c_str(), static_cast<int>(translation.sql.size()),
                             &prepared->statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(prepared->statement);
        prepared->statement = nullptr;
        return prepared;
      }
      prepared->columns = std::move(translation.columns);
      prepared->origin = std::move(translation.origin);
    } catch (const std::exception&) {  // ValueDependent, or anything the shared form cannot express
    }
    return prepared;
  }

  std::string origin_of(const std::string& relation) const {
    return relation.empty() ? relation : origin_prefix + relation;
  }

  Translation translate_statement(std::string_view access_sql, bool with_origin = false) {
    std::string name;
    std::string text = is_bare_name(access_sql, name) ? "SELECT * FROM [" + name + "]" : std::string(access_sql);
    try {
      return sql::translate(parse_select(text), *this, false, with_origin);
    } catch (const SyntaxError& e) {
      throw QueryError("query \"" + shorten(access_sql) + "\": " + e.what());
    } catch (const QueryError& e) {
      throw QueryError("query \"" + shorten(access_sql) + "\": ", e);
    }
  }
};

QueryEngine::QueryEngine(std::shared_ptr<const TableSource> source, const ScratchLimits& limits)
    : impl_(std::make_unique<Impl>(std::move(source), limits)) {}

QueryEngine::QueryEngine(std::shared_ptr<const jet::Database> database, const ScratchLimits& limits)
    : QueryEngine(std::make_shared<JetSource>(std::move(database)), limits) {}

QueryEngine::~QueryEngine() = default;

ResultSet QueryEngine::execute(std::string_view access_sql) { return impl_->execute<ResultSet>(access_sql); }

StoredResult QueryEngine::execute_stored(std::string_view access_sql) {
  return impl_->execute<StoredResult>(access_sql);
}

StoredResult QueryEngine::execute_stored(const ast::Query& query) {
  Translation translation;
  try {
    translation = sql::translate(query, *impl_);
  } catch (const QueryError& e) {
    throw QueryError("a statement of the account of the views' tables: ", e);
  }
  return impl_->execute_translated<StoredResult>("a statement of the account of the views' tables", translation);
}

std::optional<SavedQuery> QueryEngine::saved_query(std::string_view name) const {
  return impl_->source->find_query(name);
}
std::optional<SourceTable> QueryEngine::source_table(std::string_view name) const {
  return impl_->source->find_table(name);
}

void QueryEngine::share_statements(bool on) { impl_->share = on; }

void QueryEngine::while_busy(std::function<void()> tick) { impl_->set_tick(std::move(tick)); }
uint64_t QueryEngine::rows_read() const { return impl_->rows_read; }

std::string QueryEngine::translate(std::string_view access_sql) {
  return impl_->translate_statement(access_sql).sql;
}

}  // namespace halvaro::sql

namespace halvaro::sql {

void QueryEngine::forget_loaded() {
  impl_->shapes.clear();  // their statements name the tables about to be dropped
  for (const auto& [key, relation] : impl_->relations) impl_->exec("DROP TABLE " + relation.sqlite_name);
  impl_->relations.clear();
  impl_->indexes.clear();
}

namespace {

// "where" is reserved, so the parser reads that word only as a WHERE clause, which a
// whole-table statement lacks: a statement with it is answered without parsing (the
// per-row item queries of a run all have one).
bool has_where_clause(const std::vector<Token>& tokens) {
  for (const Token& token : tokens)
    if (token.type == Token::Type::Word && token.text.size() == 5 && fold_case(token.text) == "where") return true;
  return false;
}

}  // namespace

std::optional<std::string> QueryEngine::whole_table(std::string_view access_sql) {
  std::vector<Token> tokens;
  try {
    tokens = tokenize(access_sql);
  } catch (const SyntaxError&) {
    return std::nullopt;
  }
  std::string name;
  if (tokens.size() == 2 && is_bare_name(access_sql, name)) return name;
  if (has_where_clause(tokens)) return std::nullopt;
  ast::Query query;
  try {
    query = parse_select(std::move(tokens));
  } catch (const SyntaxError&) {
    return std::nullopt;
  }
  if (query.selects.size() != 1 || !query.order_by.empty()) return std::nullopt;
  const ast::Select& select = query.selects[0];
  bool plain = !select.distinct && !select.distinct_row && !select.top && select.items.size() == 1 &&
               select.items[0].expr->type == ast::Expr::Type::Star && select.items[0].expr->qualifier.empty() &&
               select.from && select.from->type == ast::FromItem::Type::Named && !select.where &&
               select.group_by.empty() && !select.having;
  if (!plain) return std::nullopt;
  return select.from->name;
}

}  // namespace halvaro::sql
