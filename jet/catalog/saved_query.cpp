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

constexpr std::array<TypeName, 9> kQueryTypes{{
    {1, "a select"},
    {2, "a make-table"},
    {3, "an append"},
    {4, "an update"},
    {5, "a delete"},
    {6, "a crosstab"},
    {7, "a data-definition"},
    {8, "a pass-through"},
    {9, "a union"},
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
  Rebuilder(std::span<const QueryRow> rows, std::string_view query_name)
      : rows_(rows), query_name_(query_name) {}

  std::string sql() {
    check_type();
    std::string text = parameters();
    text += "SELECT ";
    text += select_modifiers();
    text += columns();
    std::string from = from_clause();
    if (!from.empty()) text += " FROM " + from;
    if (auto where = single_expression(QueryAttribute::Where, "WHERE")) text += " WHERE " + *where;
    text += list_clause(QueryAttribute::GroupBy, " GROUP BY ");
    if (auto having = single_expression(QueryAttribute::Having, "HAVING"))
      text += " HAVING " + *having;
    text += list_clause(QueryAttribute::OrderBy, " ORDER BY ");
    if (flags() & select_flag::kOwnerAccess) text += " WITH OWNERACCESS OPTION";
    return text;
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

  void check_type() const {
    const QueryRow* type = unique_row(QueryAttribute::Type, "query type");
    if (!type) fail("no query type row");
    if (type->flag == static_cast<int>(QueryType::Select)) return;
    const char* name = name_of(kQueryTypes, type->flag);
    if (name) fail(std::string(name) + " query, not a select query");
    fail("unknown query type " + std::to_string(type->flag));
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

  std::string columns() const {
    std::string text;
    for (const QueryRow* row : rows_of(QueryAttribute::Column)) {
      if (!text.empty()) text += ", ";
      text += expression_of(*row, "a column");
      if (row->name1 && !row->name1->empty()) text += " AS " + identifier(*row->name1);
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

  std::span<const QueryRow> rows_;
  std::string_view query_name_;
};

}  // namespace

std::string rebuild_query_sql(std::span<const QueryRow> rows, std::string_view query_name) {
  return Rebuilder(rows, query_name).sql();
}

}  // namespace halvaro::jet
