#include "jet/catalog/saved_query.h"

#include <algorithm>
#include <array>
#include <memory>
#include <utility>
#include <vector>

#include "jet/catalog/database.h"

namespace halvaro::jet {

namespace {

struct TypeName {
  int code;
  const char* name;
};

// Data type codes of PARAMETERS declarations and their names in Access SQL.
constexpr std::array<TypeName, 13> kParameterTypes{{
    {0, "Value"},
    {1, "Bit"},
    {2, "Byte"},
    {3, "Short"},
    {4, "Long"},
    {5, "Currency"},
    {6, "IEEESingle"},
    {7, "IEEEDouble"},
    {8, "DateTime"},
    {9, "Binary"},
    {10, "Text"},
    {11, "LongBinary"},
    {15, "Guid"},
}};

constexpr std::array<TypeName, 3> kJoinTypes{{
    {1, " INNER JOIN "},
    {2, " LEFT JOIN "},
    {3, " RIGHT JOIN "},
}};

template <size_t N>
const char* name_of(const std::array<TypeName, N>& names, int code) {
  for (const auto& entry : names)
    if (entry.code == code) return entry.name;
  return nullptr;
}

bool same_name(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    return fold(x) == fold(y);
  });
}

bool is_word_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool is_bracketed(std::string_view name) {
  return name.size() >= 2 && name.front() == '[' && name.back() == ']';
}

std::string bracketed(std::string_view name) {
  return is_bracketed(name) ? std::string(name) : "[" + std::string(name) + "]";
}

// A table name or alias as it must appear in the text: bracketed unless it is a plain
// word, so that blanks and punctuation survive parsing.
std::string identifier(std::string_view name) {
  bool plain = !name.empty() && !(name.front() >= '0' && name.front() <= '9') &&
               std::all_of(name.begin(), name.end(), is_word_char);
  return plain ? std::string(name) : bracketed(name);
}

class Rebuilder {
 public:
  // Storage order need not be the query's order (Access stores a row added later
  // after the others); Order says where each row belongs among its attribute's rows.
  Rebuilder(std::span<const QueryRow> rows, std::string_view query_name)
      : rows_(rows.begin(), rows.end()), query_name_(query_name) {
    std::stable_sort(rows_.begin(), rows_.end(),
                     [](const QueryRow& a, const QueryRow& b) { return a.order < b.order; });
  }

  std::string sql() {
    switch (query_type()) {
      case QueryType::Select: return parameters() + select_statement();
      case QueryType::MakeTable: return parameters() + select_statement(" INTO " + target_table());
      case QueryType::Append: return parameters() + append_statement();
      case QueryType::Update: return parameters() + update_statement();
      case QueryType::Delete: return parameters() + delete_statement();
      case QueryType::CrossTab: return parameters() + crosstab_statement();
      case QueryType::Union: return union_statement();
      case QueryType::DataDefinition:
      case QueryType::PassThrough: return stored_text();
    }
    fail("unknown query type");
  }

 private:
  // A FROM item: one table, or a join of two items.
  struct Source {
    std::string table;  // the table's text; empty for a join
    std::string key;    // what joins call the table: its alias, else its name
    std::unique_ptr<Source> left, right;
    int join_type = 0;
    std::vector<std::string> conditions;

    bool contains(std::string_view name) const {
      if (!left) return same_name(key, name);
      return left->contains(name) || right->contains(name);
    }
  };

  [[noreturn]] void fail(const std::string& what) const {
    std::string where = query_name_.empty() ? std::string("saved query")
                                            : "saved query '" + std::string(query_name_) + "'";
    throw JetError(where + ": " + what);
  }

  std::vector<const QueryRow*> rows_of(QueryAttribute attribute) const {
    std::vector<const QueryRow*> found;
    for (const auto& row : rows_)
      if (row.attribute == attribute) found.push_back(&row);
    return found;
  }

  const QueryRow* unique_row(QueryAttribute attribute, const char* what) const {
    auto found = rows_of(attribute);
    if (found.size() > 1) fail(std::string("more than one ") + what + " row");
    return found.empty() ? nullptr : found.front();
  }

  const std::string& expression_of(const QueryRow& row, const char* what) const {
    if (!row.expression || row.expression->empty()) fail(std::string(what) + " without an expression");
    return *row.expression;
  }

  QueryType query_type() const {
    const QueryRow* type = unique_row(QueryAttribute::Type, "query type");
    if (!type) fail("no query type row");
    if (type->flag < static_cast<int>(QueryType::Select) || type->flag > static_cast<int>(QueryType::Union))
      fail("unknown query type " + std::to_string(type->flag));
    return static_cast<QueryType>(type->flag);
  }

  const QueryRow& type_row() const { return *unique_row(QueryAttribute::Type, "query type"); }

  // SELECT [modifiers] columns[ INTO target] [FROM ..] [WHERE ..] [GROUP BY ..]
  // [HAVING ..] [ORDER BY ..] [WITH OWNERACCESS OPTION]
  std::string select_statement(const std::string& into = {}) const {
    std::string text = "SELECT " + select_modifiers() + columns() + into;
    text += from_and_where();
    text += list_clause(QueryAttribute::GroupBy, " GROUP BY ");
    if (auto having = single_expression(QueryAttribute::Having, "HAVING")) text += " HAVING " + *having;
    text += list_clause(QueryAttribute::OrderBy, " ORDER BY ");
    if (flags() & select_flag::kOwnerAccess) text += " WITH OWNERACCESS OPTION";
    return text;
  }

  std::string from_and_where() const {
    std::string text;
    std::string from = from_clause();
    if (!from.empty()) text += " FROM " + from;
    if (auto where = single_expression(QueryAttribute::Where, "WHERE")) text += " WHERE " + *where;
    return text;
  }

  // The table that an append or make-table query writes: the type row's Name1.
  std::string target_table() const {
    const QueryRow& type = type_row();
    if (!type.name1 || type.name1->empty()) fail("no table to write into");
    return identifier(*type.name1);
  }

  // Each column's Name2 is the target column it fills.
  std::string append_statement() const {
    std::string targets;
    for (const QueryRow* row : rows_of(QueryAttribute::Column)) {
      if (!row->name2 || row->name2->empty()) continue;
      targets += (targets.empty() ? "" : ", ") + identifier(*row->name2);
    }
    std::string text = "INSERT INTO " + target_table();
    if (!targets.empty()) text += " (" + targets + ")";
    return text + " " + select_statement();
  }

  // Each column is an assignment: Name2 the column set, Expression its new value.
  std::string update_statement() const {
    std::string text = "UPDATE " + from_clause() + " SET ";
    bool first = true;
    for (const QueryRow* row : rows_of(QueryAttribute::Column)) {
      if (!row->name2 || row->name2->empty()) fail("an update column without the column it sets");
      text += (first ? "" : ", ") + *row->name2 + " = " + expression_of(*row, "an update column");
      first = false;
    }
    if (first) fail("no columns");
    if (auto where = single_expression(QueryAttribute::Where, "WHERE")) text += " WHERE " + *where;
    return text;
  }

  std::string delete_statement() const {
    std::string text = "DELETE ";
    if (!rows_of(QueryAttribute::Column).empty() || (flags() & select_flag::kStar)) text += columns() + " ";
    std::string from = from_and_where();
    if (from.empty()) fail("a delete query without a table");
    return text + from.substr(1);
  }

  // A crosstab's columns are told apart by their Flag: the value (0), the pivot (1)
  // and the row headings (2); a GROUP BY row of the pivot is implied by PIVOT.
  std::string crosstab_statement() const {
    constexpr int kValue = 0, kPivot = 1, kRowHeading = 2;
    std::string value, pivot, headings;
    for (const QueryRow* row : rows_of(QueryAttribute::Column)) {
      std::string column = column_text(*row);
      if (row->flag == kValue) value += (value.empty() ? "" : ", ") + column;
      else if (row->flag == kPivot) pivot = expression_of(*row, "the pivot column");
      else if (row->flag == kRowHeading) headings += (headings.empty() ? "" : ", ") + column;
      else fail("a crosstab column of unknown kind " + std::to_string(row->flag));
    }
    if (value.empty() || pivot.empty() || headings.empty()) fail("a crosstab needs a value, a pivot and row headings");
    std::string text = "TRANSFORM " + value + " SELECT " + select_modifiers() + headings + from_and_where();
    std::string group_by;
    for (const QueryRow* row : rows_of(QueryAttribute::GroupBy))
      if (row->flag != kPivot) group_by += (group_by.empty() ? " GROUP BY " : ", ") + expression_of(*row, "GROUP BY");
    text += group_by;
    if (auto having = single_expression(QueryAttribute::Having, "HAVING")) text += " HAVING " + *having;
    text += list_clause(QueryAttribute::OrderBy, " ORDER BY ");
    return text + " PIVOT " + pivot;
  }

  // A union keeps the text of its two SELECTs (either may itself be a union) in its
  // table rows. Its flags hold the operator between them: Access writes 3 for UNION
  // and 1 for UNION ALL, so it is bit 0x02 that removes duplicates.
  std::string union_statement() const {
    auto parts = rows_of(QueryAttribute::Table);
    if (parts.size() != 2) fail("a union query needs two parts, not " + std::to_string(parts.size()));
    std::string text;
    for (const QueryRow* part : parts) {
      std::string select = trimmed(expression_of(*part, "a union part"));
      if (!text.empty()) text += (flags() & union_flag::kDistinct) ? " UNION " : " UNION ALL ";
      text += select;
    }
    return text + list_clause(QueryAttribute::OrderBy, " ORDER BY ");
  }

  // Data definition and pass-through queries keep their whole text in the type row.
  std::string stored_text() const {
    const QueryRow& type = type_row();
    if (!type.expression || type.expression->empty()) fail("no query text");
    return trimmed(*type.expression);
  }

  static std::string trimmed(std::string text) {
    // Access ends a stored statement with ";" and often a NUL after it.
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\r' ||
                             text.back() == '\t' || text.back() == ';' || text.back() == '\0'))
      text.pop_back();
    return text;
  }

  int flags() const {
    const QueryRow* row = unique_row(QueryAttribute::Flags, "flags");
    return row ? row->flag : 0;
  }

  std::string parameters() const {
    auto rows = rows_of(QueryAttribute::Parameter);
    if (rows.empty()) return {};
    std::string text = "PARAMETERS ";
    for (size_t i = 0; i < rows.size(); ++i) {
      const QueryRow& row = *rows[i];
      if (!row.name1 || row.name1->empty()) fail("a parameter without a name");
      const char* type = name_of(kParameterTypes, row.flag);
      if (!type) fail("parameter " + *row.name1 + " has unknown type " + std::to_string(row.flag));
      if (i > 0) text += ", ";
      text += identifier(*row.name1) + " " + type;
      if (row.flag == 10 && row.extra && *row.extra > 0) text += "(" + std::to_string(*row.extra) + ")";
    }
    return text + "; ";
  }

  std::string select_modifiers() const {
    int bits = flags();
    std::string text;
    if (bits & select_flag::kDistinct) {
      text += "DISTINCT ";
    } else if (bits & select_flag::kDistinctRow) {
      text += "DISTINCTROW ";
    }
    if (bits & select_flag::kTop) {
      const QueryRow* row = unique_row(QueryAttribute::Flags, "flags");
      if (!row->name1 || row->name1->empty()) fail("TOP without a row count");
      text += "TOP " + *row->name1 + ((bits & select_flag::kPercent) ? " PERCENT " : " ");
    }
    return text;
  }

  std::string column_text(const QueryRow& row) const {
    std::string text = expression_of(row, "a column");
    if (row.name1 && !row.name1->empty()) text += " AS " + identifier(*row.name1);
    return text;
  }

  std::string columns() const {
    std::string text;
    for (const QueryRow* row : rows_of(QueryAttribute::Column)) {
      if (!text.empty()) text += ", ";
      text += column_text(*row);
    }
    if (flags() & select_flag::kStar) text += text.empty() ? "*" : ", *";
    if (text.empty()) fail("no columns");
    return text;
  }

  std::unique_ptr<Source> take_source(std::vector<std::unique_ptr<Source>>& sources,
                                      std::string_view name) const {
    for (auto it = sources.begin(); it != sources.end(); ++it) {
      if ((*it)->contains(name)) {
        auto found = std::move(*it);
        sources.erase(it);
        return found;
      }
    }
    fail("a join names " + std::string(name) + ", which is not among its tables");
  }

  // Each join row combines the two items holding its tables into a new item at the
  // end of the list; a further condition between tables already joined the same way
  // is ANDed onto that join.
  void apply_join(std::vector<std::unique_ptr<Source>>& sources, const QueryRow& row) const {
    if (!row.name1 || !row.name2) fail("a join without its two tables");
    if (!name_of(kJoinTypes, row.flag)) fail("unknown join type " + std::to_string(row.flag));
    const std::string& condition = expression_of(row, "a join");

    for (auto& source : sources) {
      if (source->contains(*row.name1) && source->contains(*row.name2)) {
        if (!source->left || source->join_type != row.flag)
          fail("inconsistent joins between " + *row.name1 + " and " + *row.name2);
        source->conditions.push_back(condition);
        return;
      }
    }
    auto join = std::make_unique<Source>();
    join->left = take_source(sources, *row.name1);
    join->right = take_source(sources, *row.name2);
    join->join_type = row.flag;
    join->conditions.push_back(condition);
    sources.push_back(std::move(join));
  }

  static void render(const Source& source, bool top_level, std::string& out) {
    if (!source.left) {
      out += source.table;
      return;
    }
    if (!top_level) out += "(";
    render(*source.left, false, out);
    out += name_of(kJoinTypes, source.join_type);
    render(*source.right, false, out);
    out += " ON ";
    if (source.conditions.size() == 1) {
      out += source.conditions.front();
    } else {
      for (size_t i = 0; i < source.conditions.size(); ++i)
        out += (i == 0 ? "(" : " AND (") + source.conditions[i] + ")";
    }
    if (!top_level) out += ")";
  }

  std::string from_clause() const {
    std::vector<std::unique_ptr<Source>> sources;
    for (const QueryRow* row : rows_of(QueryAttribute::Table)) {
      auto table = std::make_unique<Source>();
      // A table of another database or a subquery is "[source].name".
      if (row->expression) table->table = bracketed(*row->expression) + ".";
      if (row->name1) table->table += identifier(*row->name1);
      if (row->name2) table->table += " AS " + identifier(*row->name2);
      table->key = row->name2 ? *row->name2 : row->name1.value_or("");
      if (table->key.empty()) fail("a table without a name");
      sources.push_back(std::move(table));
    }
    for (const QueryRow* row : rows_of(QueryAttribute::Join)) apply_join(sources, *row);

    std::string text;
    for (const auto& source : sources) {
      if (!text.empty()) text += ", ";
      render(*source, true, text);
    }
    if (const QueryRow* remote = unique_row(QueryAttribute::RemoteDb, "remote database")) {
      text += " IN '" + remote->name1.value_or("") + "'";
      if (remote->expression) text += " [" + *remote->expression + "]";
    }
    return text;
  }

  std::optional<std::string> single_expression(QueryAttribute attribute, const char* what) const {
    const QueryRow* row = unique_row(attribute, what);
    if (!row) return std::nullopt;
    return expression_of(*row, what);
  }

  std::string list_clause(QueryAttribute attribute, const char* keyword) const {
    std::string text;
    for (const QueryRow* row : rows_of(attribute)) {
      text += text.empty() ? keyword : ", ";
      text += expression_of(*row, keyword + 1);
      bool descending = row->name1 && same_name(*row->name1, "D");
      if (attribute == QueryAttribute::OrderBy && descending) text += " DESC";
    }
    return text;
  }

  std::vector<QueryRow> rows_;
  std::string_view query_name_;
};

}  // namespace

std::string rebuild_query_sql(std::span<const QueryRow> rows, std::string_view query_name) {
  return Rebuilder(rows, query_name).sql();
}

}  // namespace halvaro::jet
