#include "sql/query_definition_writer.h"

#include <algorithm>

#include "sql/script_tokens.h"

namespace halvaro::sql::script {

using namespace jet;

namespace {

// A FROM item while it is parsed: the tables it holds (their join keys: alias or
// name) and, for a join, its row.
struct FromItem {
  std::vector<std::string> keys;
};

class SelectSplitter : public TokenCursor {
 public:
  explicit SelectSplitter(std::string_view text) : TokenCursor(tokenize(text)), text_(text) {}

  std::vector<QueryRow> rows() {
    expect_word("SELECT");
    int flags = 0;
    std::optional<std::string> top;
    if (accept_word("DISTINCT")) flags |= select_flag::kDistinct;
    else if (accept_word("DISTINCTROW")) flags |= select_flag::kDistinctRow;
    if (accept_word("TOP")) {
      if (peek().kind != TokenKind::Number) fail("a row count after TOP");
      top = next().text;
      flags |= select_flag::kTop;
      if (accept_word("PERCENT")) flags |= select_flag::kPercent;
    }
    std::vector<QueryRow> columns;
    for (const auto& [begin, end] : split_commas(until_clause())) {
      if (end - begin == 1 && tokens_[begin].kind == TokenKind::Symbol && tokens_[begin].text == "*") {
        flags |= select_flag::kStar;
        continue;
      }
      QueryRow column = make(QueryAttribute::Column);
      size_t expression_end = end;
      if (end - begin >= 3 && is_word(tokens_[end - 2], "AS")) {
        column.name1 = tokens_[end - 1].text;
        expression_end = end - 2;
      }
      column.expression = slice(begin, expression_end);
      columns.push_back(std::move(column));
    }

    std::vector<QueryRow> tables, joins;
    if (accept_word("FROM")) {
      do from_item(tables, joins);
      while (accept_symbol(","));
    }
    std::vector<QueryRow> out;
    out.push_back(make(QueryAttribute::Start));
    QueryRow type = make(QueryAttribute::Type);
    type.flag = static_cast<int>(QueryType::Select);
    out.push_back(type);
    QueryRow flag_row = make(QueryAttribute::Flags);
    flag_row.flag = flags;
    flag_row.name1 = top;
    out.push_back(flag_row);
    out.insert(out.end(), tables.begin(), tables.end());
    out.insert(out.end(), columns.begin(), columns.end());
    out.insert(out.end(), joins.begin(), joins.end());

    if (accept_word("WHERE")) out.push_back(clause(QueryAttribute::Where));
    if (accept_word("GROUP")) {
      expect_word("BY");
      for (const auto& [b, e] : split_commas(until_clause())) {
        QueryRow r = make(QueryAttribute::GroupBy);
        r.expression = slice(b, e);
        out.push_back(r);
      }
    }
    if (accept_word("HAVING")) out.push_back(clause(QueryAttribute::Having));
    if (accept_word("ORDER")) order_by(out);
    accept_symbol(";");
    if (peek().kind != TokenKind::End) fail("the end of the query");
    out.push_back(make(QueryAttribute::End));
    return out;
  }

  // Positions of the UNION keywords outside parentheses.
  std::vector<size_t> top_level_unions() const {
    std::vector<size_t> found;
    int depth = 0;
    for (size_t i = 0; i < tokens_.size(); ++i) {
      const Token& t = tokens_[i];
      if (t.kind == TokenKind::Symbol && t.text == "(") ++depth;
      if (t.kind == TokenKind::Symbol && t.text == ")") --depth;
      if (depth == 0 && is_word(t, "UNION")) found.push_back(i);
    }
    return found;
  }

  // "a UNION b UNION c [ORDER BY ..]" as Access stores it: two table rows holding
  // the texts of "a UNION b" and "c", the ordering of the whole as ORDER BY rows.
  std::vector<QueryRow> union_rows(size_t last_union) {
    pos_ = last_union + 1;
    const bool all = accept_word("ALL");
    const size_t right_begin = pos_;
    int depth = 0;
    while (peek().kind != TokenKind::End && !(peek().kind == TokenKind::Symbol && peek().text == ";") &&
           !(depth == 0 && is_word(peek(), "ORDER"))) {
      if (peek().kind == TokenKind::Symbol && peek().text == "(") ++depth;
      if (peek().kind == TokenKind::Symbol && peek().text == ")") --depth;
      ++pos_;
    }
    const std::string left = slice(0, last_union);
    const std::string right = slice(right_begin, pos_);
    // Each side must be a query of its own; this also gives its errors.
    query_rows_for_select(left);
    SelectSplitter(right).rows();

    std::vector<QueryRow> out{make(QueryAttribute::Start)};
    QueryRow type = make(QueryAttribute::Type);
    type.flag = static_cast<int>(QueryType::Union);
    out.push_back(type);
    QueryRow flag_row = make(QueryAttribute::Flags);
    flag_row.flag = all ? union_flag::kUnionAll : union_flag::kUnion;
    out.push_back(flag_row);
    int part = 0;
    for (const std::string& text : {left, right}) {
      QueryRow table = make(QueryAttribute::Table);
      table.name2 = "X7YZ_____" + std::to_string(++part);  // Access's names for the two sides
      table.expression = text;
      out.push_back(table);
    }
    if (accept_word("ORDER")) order_by(out);
    accept_symbol(";");
    if (peek().kind != TokenKind::End) fail("the end of the query");
    out.push_back(make(QueryAttribute::End));
    return out;
  }

 private:
  using Range = std::pair<size_t, size_t>;

  static QueryRow make(QueryAttribute a) {
    QueryRow r;
    r.attribute = a;
    return r;
  }
  [[noreturn]] void fail(const std::string& expected) const override {
    const Token& t = peek();
    throw JetError("in the view's SELECT: expected " + expected + " but found " +
                   (t.kind == TokenKind::End ? std::string("the end") : "'" + t.text + "'"));
  }

  // The source text of tokens [begin, end), as written.
  std::string slice(size_t begin, size_t end) const {
    if (begin >= end) fail("an expression");
    return std::string(text_.substr(tokens_[begin].begin, tokens_[end - 1].end - tokens_[begin].begin));
  }

  static bool ends_clause(const Token& t) {
    for (const char* w : {"FROM", "WHERE", "GROUP", "HAVING", "ORDER"})
      if (is_word(t, w)) return true;
    return t.kind == TokenKind::End || (t.kind == TokenKind::Symbol && t.text == ";");
  }
  static bool starts_join(const Token& t) {
    for (const char* w : {"INNER", "LEFT", "RIGHT", "JOIN"})
      if (is_word(t, w)) return true;
    return false;
  }

  // Advances over tokens up to the next clause keyword outside parentheses (or, with
  // `in_from`, a join keyword, a comma or an unmatched ')'); returns their range.
  Range until_clause(bool in_from = false) {
    size_t begin = pos_;
    int depth = 0;
    while (true) {
      const Token& t = peek();
      if (t.kind == TokenKind::End) break;
      if (depth == 0 && ends_clause(t)) break;
      if (t.kind == TokenKind::Symbol && t.text == "(") ++depth;
      if (t.kind == TokenKind::Symbol && t.text == ")") {
        if (depth == 0) break;
        --depth;
      }
      if (in_from && depth == 0 && (starts_join(t) || (t.kind == TokenKind::Symbol && t.text == ",")))
        break;
      ++pos_;
    }
    return {begin, pos_};
  }

  std::vector<Range> split_commas(Range range) const {
    std::vector<Range> parts;
    int depth = 0;
    size_t begin = range.first;
    for (size_t i = range.first; i < range.second; ++i) {
      const Token& t = tokens_[i];
      if (t.kind == TokenKind::Symbol && t.text == "(") ++depth;
      if (t.kind == TokenKind::Symbol && t.text == ")") --depth;
      if (depth == 0 && t.kind == TokenKind::Symbol && t.text == ",") {
        parts.push_back({begin, i});
        begin = i + 1;
      }
    }
    parts.push_back({begin, range.second});
    for (const Range& r : parts)
      if (r.first >= r.second) fail("an expression between commas");
    return parts;
  }

  void order_by(std::vector<QueryRow>& out) {
    expect_word("BY");
    for (auto [b, e] : split_commas(until_clause())) {
      QueryRow r = make(QueryAttribute::OrderBy);
      if (e - b >= 2 && is_word(tokens_[e - 1], "DESC")) {
        r.name1 = "D";
        --e;
      } else if (e - b >= 2 && is_word(tokens_[e - 1], "ASC")) {
        --e;
      }
      r.expression = slice(b, e);
      out.push_back(r);
    }
  }

  QueryRow clause(QueryAttribute a) {
    QueryRow r = make(a);
    Range range = until_clause();
    r.expression = slice(range.first, range.second);
    return r;
  }

  // table [AS alias] | '(' item ')', followed by any joins.
  FromItem from_item(std::vector<QueryRow>& tables, std::vector<QueryRow>& joins) {
    FromItem left = from_primary(tables, joins);
    while (starts_join(peek())) {
      int type = 1;
      if (accept_word("LEFT")) type = 2;
      else if (accept_word("RIGHT")) type = 3;
      else accept_word("INNER");
      accept_word("OUTER");
      expect_word("JOIN");
      FromItem right = from_primary(tables, joins);
      expect_word("ON");
      Range on = until_clause(true);
      std::string condition = slice(on.first, on.second);
      QueryRow join = make(QueryAttribute::Join);
      join.name1 = key_in(left, on);
      join.name2 = key_in(right, on);
      join.expression = condition;
      join.flag = type;
      joins.push_back(join);
      left.keys.insert(left.keys.end(), right.keys.begin(), right.keys.end());
    }
    return left;
  }

  FromItem from_primary(std::vector<QueryRow>& tables, std::vector<QueryRow>& joins) {
    if (accept_symbol("(")) {
      FromItem inner = from_item(tables, joins);
      if (!accept_symbol(")")) fail("')'");
      return inner;
    }
    if (peek().kind != TokenKind::Word && peek().kind != TokenKind::Name) fail("a table name");
    QueryRow table = make(QueryAttribute::Table);
    table.name1 = next().text;
    if (accept_word("AS") || peek().kind == TokenKind::Name ||
        (peek().kind == TokenKind::Word && !starts_join(peek()) && !ends_clause(peek()) && !is_word(peek(), "ON")))
      table.name2 = next().text;
    tables.push_back(table);
    return {{table.name2.value_or(*table.name1)}};
  }

  // The table of `item` that the ON condition names (the first one if none).
  std::string key_in(const FromItem& item, Range on) const {
    for (const std::string& key : item.keys)
      for (size_t i = on.first; i + 1 < on.second; ++i)
        if ((tokens_[i].kind == TokenKind::Word || tokens_[i].kind == TokenKind::Name) &&
            same_name(tokens_[i].text, key) && tokens_[i + 1].text == ".")
          return key;
    return item.keys.front();
  }

  std::string_view text_;
};

}  // namespace

std::vector<QueryRow> query_rows_for_select(std::string_view select) {
  SelectSplitter splitter(select);
  const auto unions = splitter.top_level_unions();
  return unions.empty() ? splitter.rows() : splitter.union_rows(unions.back());
}

}  // namespace halvaro::sql::script
