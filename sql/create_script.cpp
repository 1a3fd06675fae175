#include "sql/create_script.h"

#include <fstream>
#include <sstream>

#include "jet/writer/database_writer.h"
#include "jet/writer/insert_values.h"
#include "sql/query_definition_writer.h"
#include "sql/script_tokens.h"

namespace halvaro::sql::script {

using namespace jet;

namespace {

// Access SQL type names and the column types they make.
struct TypeName {
  const char* name;
  ColumnType type;
  bool autonumber;
};
constexpr TypeName kTypeNames[] = {
    {"TEXT", ColumnType::Text, false},        {"VARCHAR", ColumnType::Text, false},
    {"CHAR", ColumnType::Text, false},        {"STRING", ColumnType::Text, false},
    {"MEMO", ColumnType::Memo, false},        {"LONGTEXT", ColumnType::Memo, false},
    {"BYTE", ColumnType::Byte, false},        {"TINYINT", ColumnType::Byte, false},
    {"SHORT", ColumnType::Integer, false},    {"SMALLINT", ColumnType::Integer, false},
    {"LONG", ColumnType::Long, false},        {"INTEGER", ColumnType::Long, false},
    {"INT", ColumnType::Long, false},         {"COUNTER", ColumnType::Long, true},
    {"AUTOINCREMENT", ColumnType::Long, true}, {"SINGLE", ColumnType::Single, false},
    {"REAL", ColumnType::Single, false},      {"DOUBLE", ColumnType::Double, false},
    {"FLOAT", ColumnType::Double, false},     {"CURRENCY", ColumnType::Currency, false},
    {"MONEY", ColumnType::Currency, false},   {"DATETIME", ColumnType::DateTime, false},
    {"DATE", ColumnType::DateTime, false},    {"TIME", ColumnType::DateTime, false},
    {"BIT", ColumnType::Boolean, false},      {"YESNO", ColumnType::Boolean, false},
    {"LOGICAL", ColumnType::Boolean, false},  {"BINARY", ColumnType::Binary, false},
    {"VARBINARY", ColumnType::Binary, false}, {"LONGBINARY", ColumnType::Ole, false},
    {"OLEOBJECT", ColumnType::Ole, false},    {"GUID", ColumnType::Guid, false},
    {"UNIQUEIDENTIFIER", ColumnType::Guid, false}, {"DECIMAL", ColumnType::Numeric, false},
    {"NUMERIC", ColumnType::Numeric, false},
};

class Parser : public TokenCursor {
 public:
  Parser(std::string_view text, CreateScript& into) : TokenCursor(tokenize(text)), text_(text), into_(into) {}

  void run() {
    while (peek().kind != TokenKind::End) {
      if (accept_symbol(";")) continue;
      statement();
      if (peek().kind != TokenKind::End) expect_symbol(";");
    }
  }

 private:

  [[noreturn]] void fail(const std::string& expected) const override {
    const Token& t = peek();
    std::string found = t.kind == TokenKind::End ? "the end of the script" : "'" + t.text + "'";
    throw JetError("line " + std::to_string(t.line) + ": expected " + expected + " but found " + found);
  }

  std::string name(const char* what) {
    if (peek().kind != TokenKind::Word && peek().kind != TokenKind::Name) fail(what);
    return next().text;
  }
  int small_number(const char* what) {
    if (peek().kind != TokenKind::Number || peek().text.find('.') != std::string::npos) fail(what);
    return std::stoi(next().text);
  }

  void statement() {
    if (accept_word("CREATE")) {
      bool unique = accept_word("UNIQUE");
      if (!unique && accept_word("TABLE")) return create_table();
      if (accept_word("INDEX")) return create_index(unique);
      if (!unique && accept_word("VIEW")) return create_view();
      fail(unique ? "INDEX" : "TABLE, INDEX or VIEW");
    }
    if (accept_word("INSERT")) return insert();
    fail("CREATE or INSERT");
  }

  void create_table() {
    TableSpec table;
    table.name = name("a table name");
    expect_symbol("(");
    do {
      if (is_word(peek(), "CONSTRAINT") || is_word(peek(), "PRIMARY") || is_word(peek(), "UNIQUE"))
        table_constraint(table);
      else
        column(table);
    } while (accept_symbol(","));
    expect_symbol(")");
    into_.builder.add_table(std::move(table));
  }

  void column(TableSpec& table) {
    ColumnSpec c;
    c.name = name("a column name");
    std::string type = name("a column type");
    const TypeName* found = nullptr;
    for (const TypeName& t : kTypeNames)
      if (is_word(Token{TokenKind::Word, type}, t.name)) found = &t;
    if (!found) throw JetError("line " + std::to_string(peek().line) + ": unknown column type " + type);
    c.type = found->type;
    c.autonumber = found->autonumber;
    if (c.type == ColumnType::Text) c.length = 255;
    if (c.type == ColumnType::Binary) c.length = 255;
    if (accept_symbol("(")) {
      int size = small_number("a size");
      if (c.type == ColumnType::Numeric) {
        c.precision = static_cast<uint8_t>(size);
        if (accept_symbol(",")) c.scale = static_cast<uint8_t>(small_number("a scale"));
      } else if (c.type == ColumnType::Text || c.type == ColumnType::Binary) {
        if (size < 1 || size > 255)
          throw JetError("line " + std::to_string(peek().line) + ": size of " + c.name + " must be 1 to 255");
        c.length = static_cast<uint16_t>(size);
      }
      expect_symbol(")");
    }
    while (true) {
      if (accept_word("NOT")) {
        expect_word("NULL");
        c.required = true;
      } else if (accept_word("NULL")) {
      } else if (is_word(peek(), "PRIMARY") || is_word(peek(), "UNIQUE") || is_word(peek(), "CONSTRAINT")) {
        std::string constraint_name;
        if (accept_word("CONSTRAINT")) constraint_name = name("a constraint name");
        add_key(table, constraint_name, {{c.name, true}});
      } else {
        break;
      }
    }
    table.columns.push_back(std::move(c));
  }

  // PRIMARY KEY or UNIQUE, then (for a table constraint) the column list.
  void add_key(TableSpec& table, std::string constraint_name, std::vector<IndexColumnSpec> columns) {
    IndexSpec index;
    if (accept_word("PRIMARY")) {
      expect_word("KEY");
      index.primary = index.unique = index.required = true;
      index.name = constraint_name.empty() ? "PrimaryKey" : constraint_name;
    } else {
      expect_word("UNIQUE");
      index.unique = true;
      index.name = constraint_name;
    }
    if (columns.empty()) columns = column_list();
    if (index.name.empty())
      for (const auto& c : columns) index.name += (index.name.empty() ? "" : "_") + c.column;
    index.columns = std::move(columns);
    table.indexes.push_back(std::move(index));
  }

  void table_constraint(TableSpec& table) {
    std::string constraint_name;
    if (accept_word("CONSTRAINT")) constraint_name = name("a constraint name");
    add_key(table, constraint_name, {});
  }

  std::vector<IndexColumnSpec> column_list() {
    std::vector<IndexColumnSpec> columns;
    expect_symbol("(");
    do {
      IndexColumnSpec c;
      c.column = name("a column name");
      if (accept_word("DESC")) c.ascending = false;
      else accept_word("ASC");
      columns.push_back(std::move(c));
    } while (accept_symbol(","));
    expect_symbol(")");
    return columns;
  }

  void create_index(bool unique) {
    IndexSpec index;
    index.name = name("an index name");
    expect_word("ON");
    std::string table_name = name("a table name");
    index.columns = column_list();
    index.unique = unique;
    if (accept_word("WITH")) {
      do {
        if (accept_word("PRIMARY")) index.primary = index.unique = index.required = true;
        else if (accept_word("DISALLOW")) { expect_word("NULL"); index.required = true; }
        else if (accept_word("IGNORE")) { expect_word("NULL"); index.ignore_nulls = true; }
        else fail("PRIMARY, DISALLOW NULL or IGNORE NULL");
      } while ((is_word(peek(), "PRIMARY") || is_word(peek(), "DISALLOW") || is_word(peek(), "IGNORE")));
    }
    into_.builder.add_index(table_name, std::move(index));
  }

  void create_view() {
    std::string view = name("a view name");
    expect_word("AS");
    size_t begin = peek().begin;
    size_t end = begin;
    while (peek().kind != TokenKind::End && !(peek().kind == TokenKind::Symbol && peek().text == ";"))
      end = next().end;
    std::string select(text_.substr(begin, end - begin));
    into_.builder.add_query({view, query_rows_for_select(select)});
  }

  void insert() {
    InsertStatement row;
    row.line = peek().line;
    expect_word("INTO");
    row.table = name("a table name");
    if (accept_symbol("(")) {
      do row.columns.push_back(name("a column name"));
      while (accept_symbol(","));
      expect_symbol(")");
    }
    expect_word("VALUES");
    expect_symbol("(");
    do row.values.push_back(literal());
    while (accept_symbol(","));
    expect_symbol(")");
    into_.inserts.push_back(std::move(row));
  }

  FieldValue literal() {
    bool negative = accept_symbol("-");
    const Token& t = peek();
    if (negative && t.kind != TokenKind::Number) fail("a number after '-'");
    switch (t.kind) {
      case TokenKind::Text: return FieldValue(next().text);
      case TokenKind::Number: {
        std::string digits = next().text;
        size_t point = digits.find('.');
        Decimal d;
        for (char ch : digits)
          if (ch != '.') d.unscaled = d.unscaled * 10 + (ch - '0');
        d.scale = static_cast<uint8_t>(point == std::string::npos ? 0 : digits.size() - point - 1);
        if (negative) d.unscaled = -d.unscaled;
        if (d.scale == 0 && d.unscaled <= INT64_MAX && d.unscaled >= INT64_MIN)
          return FieldValue(static_cast<int64_t>(d.unscaled));
        return FieldValue(d);
      }
      case TokenKind::Date: return FieldValue(parse_date(next()));
      case TokenKind::Word:
        if (accept_word("NULL")) return FieldValue();
        if (accept_word("TRUE") || accept_word("YES")) return FieldValue(true);
        if (accept_word("FALSE") || accept_word("NO")) return FieldValue(false);
        [[fallthrough]];
      default: fail("a literal value");
    }
  }

  // #yyyy-mm-dd[ hh:mm[:ss]]# or #mm/dd/yyyy[ hh:mm[:ss]]# (Access's own literal order).
  static DateTime parse_date(const Token& t) {
    CivilTime c;
    int n = 0;
    const char* s = t.text.c_str();
    char sep = 0;
    int a = 0, b = 0, y = 0;
    if (std::sscanf(s, "%d-%d-%d%n", &y, &a, &b, &n) == 3) {
      c.year = y, c.month = a, c.day = b;
    } else if (std::sscanf(s, "%d/%d/%d%n", &a, &b, &y, &n) == 3) {
      c.year = y, c.month = a, c.day = b;
    } else {
      throw JetError("line " + std::to_string(t.line) + ": cannot read date #" + t.text + "#");
    }
    (void)sep;
    std::sscanf(s + n, " %d:%d:%d", &c.hour, &c.minute, &c.second);
    if (c.month < 1 || c.month > 12 || c.day < 1 || c.day > 31 || c.hour > 23 || c.minute > 59 || c.second > 59)
      throw JetError("line " + std::to_string(t.line) + ": invalid date #" + t.text + "#");
    return from_civil(c);
  }

  std::string_view text_;
  CreateScript& into_;
};

// Appends the script's rows through the writer, so that every index, usage map and
// counter is kept exactly as for any other append.
int insert_rows(const std::filesystem::path& out, const std::vector<InsertStatement>& inserts) {
  if (inserts.empty()) return 0;
  auto writer = DatabaseWriter::open(out);
  for (const InsertStatement& insert : inserts) {
    const std::string where = "line " + std::to_string(insert.line) + ": ";
    const TableDef* table = writer->database().find_table(insert.table);
    if (!table) throw JetError(where + "no table named " + insert.table);
    std::vector<size_t> positions;
    if (insert.columns.empty()) {
      for (size_t i = 0; i < table->columns.size(); ++i) positions.push_back(i);
    } else {
      for (const std::string& name : insert.columns) {
        const Column* c = table->find_column(name);
        if (!c) throw JetError(where + "table " + table->name + " has no column " + name);
        positions.push_back(c->position);
      }
    }
    if (positions.size() != insert.values.size())
      throw JetError(where + std::to_string(insert.values.size()) + " values for " +
                     std::to_string(positions.size()) + " columns");
    std::vector<FieldValue> row = writer->new_row(*table);
    try {
      for (size_t k = 0; k < positions.size(); ++k)
        row[positions[k]] = value_for_column(table->columns[positions[k]], insert.values[k]);
    } catch (const JetError& e) {
      throw JetError(where + "table " + table->name + ": " + e.what());
    }
    try {
      writer->append(*table, std::move(row));
    } catch (const JetError& e) {
      throw JetError(where + e.what());  // the writer names the table
    }
  }
  writer->close();
  return static_cast<int>(inserts.size());
}

}  // namespace

void parse_create_script(std::string_view text, CreateScript& into) { Parser(text, into).run(); }

CreateSummary create_database(const std::filesystem::path& out, const std::filesystem::path& script_path) {
  if (std::filesystem::exists(out)) throw JetError(out.string() + " already exists; choose a new file name");
  std::ifstream in(script_path, std::ios::binary);
  if (!in) throw JetError(script_path.string() + ": cannot read the script");
  std::stringstream text;
  text << in.rdbuf();

  CreateScript script;
  script.builder = DatabaseBuilder(local_now());
  try {
    parse_create_script(text.str(), script);
  } catch (const JetError& e) {
    throw JetError(script_path.string() + ": " + e.what());
  }
  CreateSummary summary;
  summary.tables = static_cast<int>(script.builder.table_count());
  summary.views = static_cast<int>(script.builder.query_count());
  script.builder.write(out);
  try {
    summary.rows = insert_rows(out, script.inserts);
  } catch (const JetError& e) {
    // A half-filled database is no use: leave nothing behind.
    std::error_code ignored;
    std::filesystem::remove(out, ignored);
    std::filesystem::remove(out.string() + "-journal", ignored);
    throw JetError(script_path.string() + ": " + e.what());
  }
  return summary;
}

}  // namespace halvaro::sql::script
