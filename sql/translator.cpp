#include "sql/translator.h"

#include <cmath>
#include <cstdio>
#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <tuple>
#include <utility>

#include "sql/function_calls.h"
#include "sql/query_engine.h"
#include "sql/sql_value.h"
#include "sql/regional.h"
#include "sql/text_fold.h"

namespace halvaro::sql {

namespace {

using ast::Expr;
using ast::FromItem;
using namespace emit;

struct Source {
  std::string name;       // what qualifiers match: the alias, or the table's own name
  std::string sql_alias;  // s<n>
  std::vector<RelationColumn> columns;
  std::string relation;   // its SQLite table; empty for a subquery in FROM, which has no row ids
};

struct Scope {
  std::vector<Source> sources;
  const Scope* parent = nullptr;
  // Output columns of the select, for ORDER BY and HAVING that name an alias.
  const std::vector<std::pair<std::string, Val>>* outputs = nullptr;
};

class Translator {
 public:
  Translator(RelationResolver& resolver, bool text_parameters, bool with_origin)
      : resolver_(resolver), text_parameters_(text_parameters), with_origin_(with_origin) {}

  Translation run(const ast::Query& query) {
    Translation result;
    result.sql = query_sql(query, nullptr, result.columns, true, &result.origin);
    for (auto& [hint, alias] : outer_join_hints_) cover(hints_[hint], alias);
    result.index_hints = std::move(hints_);
    return result;
  }

 private:
  RelationResolver& resolver_;
  bool text_parameters_;
  bool with_origin_;
  int next_alias_ = 0;
  std::vector<IndexHint> hints_;
  // The hints of outer joins' inner tables, with the table's alias in the statement.
  std::vector<std::pair<size_t, std::string>> outer_join_hints_;
  // The columns each alias's relation is read by, by number.
  std::map<std::string, std::set<size_t>> columns_read_;
  bool collect_hints_ = false;
  std::string hint_table_;

  // ---- Queries ----

  struct SelectOut {
    std::string head;  // SELECT [DISTINCT]
    std::vector<std::pair<std::string, Val>> items;
    std::string tail;  // FROM ... HAVING ...
    std::string limit;
    std::optional<int64_t> top;
    Scope scope;
  };

  std::string query_sql(const ast::Query& query, const Scope* parent, std::vector<RelationColumn>& columns,
                        bool top_level, std::string* origin = nullptr) {
    std::optional<HintsAside> aside;
    if (!top_level) aside.emplace(*this, HintState{});
    std::vector<SelectOut> selects;
    for (const auto& select : query.selects) {
      bool single = top_level && query.selects.size() == 1;
      selects.push_back(select_sql(select, parent, single));
    }
    size_t width = selects[0].items.size();
    for (const auto& s : selects) {
      if (s.items.size() != width) fail("the SELECTs of a UNION have different numbers of columns");
    }
    // The kind of each column, merged over the UNION's selects.
    columns.clear();
    for (size_t i = 0; i < width; ++i) {
      RelationColumn column;
      column.name = selects[0].items[i].first;
      column.kind = selects[0].items[i].second.kind;
      column.scale = selects[0].items[i].second.scale;
      for (const auto& s : selects) {
        if (s.items[i].second.kind != column.kind) column.kind = Kind::Variant;
      }
      columns.push_back(column);
    }
    dedupe_names(columns, selects[0]);
    std::string order;
    for (const auto& item : query.order_by) {
      if (!order.empty()) order += ", ";
      order += order_term(*item.expr, selects, columns) + (item.descending ? " DESC" : "");
    }
    std::vector<std::string> lists;
    for (auto& s : selects) {
      std::string list;
      for (size_t i = 0; i < width; ++i) {
        if (i > 0) list += ", ";
        Val& v = s.items[i].second;
        list += (columns[i].kind == Kind::Variant ? plain(v) : value_sql(v)) + " AS c" + std::to_string(i);
      }
      lists.push_back(std::move(list));
      if (selects.size() > 1 && !s.limit.empty()) fail("TOP inside a UNION is not supported");
    }
    const SelectOut& only = selects[0];
    if (origin && with_origin_ && row_by_row(query, only)) {
      const Source& source = only.scope.sources[0];
      lists[0] += ", \"" + source.sql_alias + "\".rowid";
      *origin = source.relation;
    }
    if (selects.size() == 1 && only.top && !order.empty() && only.head == "SELECT ") {
      // TOP n with an ordering keeps the rows that tie with the n-th, as Access does.
      std::string outer;
      for (size_t i = 0; i < width; ++i) outer += (i > 0 ? ", c" : "c") + std::to_string(i);
      return "SELECT " + outer + " FROM (" + only.head + lists[0] + ", RANK() OVER (ORDER BY " + order +
             ") AS jet_rank" + only.tail + ") WHERE jet_rank <= " + std::to_string(*only.top) + " ORDER BY jet_rank";
    }
    std::string sql;
    for (size_t n = 0; n < selects.size(); ++n) {
      if (n > 0) sql += query.union_all[n - 1] ? " UNION ALL " : " UNION ";
      sql += selects[n].head + lists[n] + selects[n].tail;
    }
    if (!order.empty()) sql += " ORDER BY " + order;
    if (selects.size() == 1 && only.top) sql += " LIMIT " + std::to_string(*only.top);
    return sql;
  }

  // Whether each row of the statement is one row of a single table or saved query.
  static bool row_by_row(const ast::Query& query, const SelectOut& only) {
    if (query.selects.size() != 1) return false;
    const ast::Select& select = query.selects[0];
    if (select.distinct || !select.group_by.empty() || select.having) return false;
    if (only.scope.sources.size() != 1 || only.scope.sources[0].relation.empty()) return false;
    if (only.top && !query.order_by.empty()) return false;  // ranked: the rows are read again
    for (const auto& item : only.items)
      if (item.second.aggregate) return false;
    return true;
  }

  // Column names as Access gives them: a name that two columns share is qualified.
  static void dedupe_names(std::vector<RelationColumn>& columns, const SelectOut& first) {
    std::map<std::string, int> count;
    for (const auto& c : columns) ++count[fold_case(c.name)];
    for (size_t i = 0; i < columns.size(); ++i) {
      const Val& v = first.items[i].second;
      if (count[fold_case(columns[i].name)] > 1 && v.column && !v.column_qualifier.empty()) {
        columns[i].name = v.column_qualifier + "." + columns[i].name;
      }
    }
  }

  std::string order_term(const Expr& e, std::vector<SelectOut>& selects, const std::vector<RelationColumn>& columns) {
    // A name of an output column (the only choice after a UNION).
    if (e.type == Expr::Type::Column) {
      for (size_t i = 0; i < columns.size(); ++i) {
        bool by_alias = e.qualifier.empty() && compare_folded(columns[i].name, e.name) == 0;
        if (by_alias && selects.size() > 1) {
          return "c" + std::to_string(i) + (columns[i].kind == Kind::Text ? " COLLATE JET" : "");
        }
        if (by_alias && !resolves(e, selects[0].scope)) return sortable(selects[0].items[i].second);
      }
    }
    if (e.type == Expr::Type::Literal && e.value.is<int64_t>()) {
      int64_t position = e.value.as<int64_t>();
      if (position < 1 || position > static_cast<int64_t>(columns.size())) fail("ORDER BY names no column");
      if (selects.size() > 1) return "c" + std::to_string(position - 1);
      return sortable(selects[0].items[static_cast<size_t>(position - 1)].second);
    }
    if (selects.size() > 1) fail("ORDER BY of a UNION must name one of its columns");
    Val v = expr(e, selects[0].scope);
    return sortable(v);
  }

  std::string sortable(const Val& v) {
    std::string sql = value_sql(v);
    return v.kind == Kind::Text ? "(" + sql + ") COLLATE JET" : sql;
  }

  bool resolves(const Expr& e, const Scope& scope) {
    for (const auto& source : scope.sources) {
      if (!e.qualifier.empty() && compare_folded(source.name, e.qualifier) != 0) continue;
      for (const auto& column : source.columns) {
        if (compare_folded(column.name, e.name) == 0) return true;
      }
    }
    return false;
  }

  SelectOut select_sql(const ast::Select& select, const Scope* parent, bool top_level) {
    SelectOut out;
    out.scope.parent = parent;
    if (select.top_percent) fail("TOP n PERCENT is not supported");
    std::string from;
    if (select.from) from = from_sql(*select.from, out.scope);
    out.head = select.distinct ? "SELECT DISTINCT " : "SELECT ";
    int expr_number = 1000;
    for (const auto& item : select.items) {
      if (item.expr->type == Expr::Type::Star) {
        expand_star(item.expr->qualifier, out.scope, out.items);
        continue;
      }
      Val v = expr(*item.expr, out.scope);
      std::string name = item.alias;
      if (name.empty()) name = v.column ? v.column->name : "Expr" + std::to_string(expr_number++);
      out.items.emplace_back(name, v);
    }
    out.scope.outputs = &out.items;
    if (!from.empty()) out.tail = " FROM " + from;
    if (select.where) {
      bool hints = top_level && out.scope.sources.size() == 1 && select.from->type == FromItem::Type::Named;
      out.tail += " WHERE " + where_sql(*select.where, out.scope, hints);
    }
    if (!select.group_by.empty()) {
      std::string group;
      for (const auto& g : select.group_by) {
        if (!group.empty()) group += ", ";
        group += value_sql(expr(*g, out.scope));
      }
      out.tail += " GROUP BY " + group;
    } else if (select.distinct_row && out.scope.sources.size() > 1) {
      out.tail += distinct_rows(out);
    }
    if (select.having) out.tail += " HAVING " + expr(*select.having, out.scope).sql;
    if (select.top) {
      out.limit = " LIMIT " + std::to_string(*select.top);
      out.top = select.top;
    }
    out.scope.outputs = nullptr;
    return out;
  }

  // DISTINCTROW: each record of the tables whose columns are selected once, however
  // many rows of the other tables it joins (grouping by their row ids does that).
  std::string distinct_rows(const SelectOut& out) {
    std::vector<std::string> chosen;
    for (const auto& [name, v] : out.items) {
      if (v.aggregate) return "";
      if (!v.column) {  // an expression: every table's record counts
        chosen.clear();
        for (const auto& source : out.scope.sources) chosen.push_back(source.sql_alias);
        break;
      }
      if (std::find(chosen.begin(), chosen.end(), v.source_alias) == chosen.end()) chosen.push_back(v.source_alias);
    }
    std::string group;
    for (const auto& alias : chosen) {
      for (const auto& source : out.scope.sources) {
        if (source.sql_alias == alias && source.relation.empty()) fail("DISTINCTROW over a subquery in FROM is not supported");
      }
      group += (group.empty() ? "\"" : ", \"") + alias + "\".rowid";
    }
    return " GROUP BY " + group;
  }

  std::string where_sql(const Expr& where, Scope& scope, bool hints) {
    if (!hints) return expr(where, scope).sql;
    // The equality tests of a top-level AND chain tell which index answers the statement.
    hint_table_ = scope.sources[0].sql_alias;
    IndexHint hint;
    hint.table = hint_relation_;
    std::string sql = and_chain_sql(where, scope, hint).first;
    current_hint_ = nullptr;
    if (!hint.terms.empty()) hints_.push_back(std::move(hint));
    return sql;
  }

  // The tests of an AND chain, each equality among them adding its term to `hint`; and
  // whether the chain has more than one test.
  std::pair<std::string, bool> and_chain_sql(const Expr& chain, Scope& scope, IndexHint& hint) {
    std::vector<const Expr*> conjuncts;
    flatten_and(chain, conjuncts);
    std::string sql;
    for (const Expr* conjunct : conjuncts) {
      if (!sql.empty()) sql += " AND ";
      collect_hints_ = conjunct->type == Expr::Type::Binary && conjunct->op == "=";
      current_hint_ = &hint;
      sql += expr(*conjunct, scope).sql;
      collect_hints_ = false;
    }
    return {std::move(sql), conjuncts.size() > 1};
  }

  IndexHint* current_hint_ = nullptr;
  std::string hint_relation_;
  bool join_hint_ = false;  // the hint being collected is for a join's inner table

  // The hint being collected is put aside while a subquery or a join's ON clause is
  // translated (their tests name their own tables' columns), and back afterwards.
  struct HintState {
    std::string table;
    IndexHint* hint = nullptr;
    bool join = false;
    bool collect = false;
  };
  class HintsAside {
   public:
    HintsAside(Translator& t, HintState now) : t_(t), before_(t.swap_hints(std::move(now))) {}
    ~HintsAside() { t_.swap_hints(std::move(before_)); }
    HintsAside(const HintsAside&) = delete;
    HintsAside& operator=(const HintsAside&) = delete;

   private:
    Translator& t_;
    HintState before_;
  };
  HintState swap_hints(HintState now) {
    HintState before{std::move(hint_table_), current_hint_, join_hint_, collect_hints_};
    hint_table_ = std::move(now.table);
    current_hint_ = now.hint;
    join_hint_ = now.join;
    collect_hints_ = now.collect;
    return before;
  }

  // A join's ON tests. Its equality tests against the inner table's columns tell which
  // index serves the join: without one SQLite builds a throwaway index for every
  // statement, in a small cache of its own that spills to a temporary file once the
  // table outgrows it.
  std::string join_on_sql(const Expr& on, Scope& scope, const Source* inner, bool outer_join) {
    if (!inner || inner->relation.empty()) return expr(on, scope).sql;
    IndexHint hint;
    hint.table = inner->relation;
    std::string sql;
    bool several = false;
    {
      HintsAside aside(*this, {inner->sql_alias, nullptr, true, false});
      std::tie(sql, several) = and_chain_sql(on, scope, hint);
    }
    if (!hint.terms.empty()) {
      if (outer_join) outer_join_hints_.emplace_back(hints_.size(), inner->sql_alias);
      hints_.push_back(std::move(hint));
    }
    return several ? "(" + sql + ")" : sql;
  }

  // Most columns an index may hold besides a join's tests: a lookup of a name or two
  // reads the index alone; a statement reading most of a wide table is better served
  // by a smaller index and the row.
  static constexpr size_t kMaxCovered = 4;

  // Names, once the whole statement is translated, the columns it reads from a join's
  // inner table that the join's tests do not hold.
  void cover(IndexHint& hint, const std::string& alias) const {
    auto read = columns_read_.find(alias);
    if (read == columns_read_.end()) return;
    std::vector<std::string> covered;
    for (size_t column : read->second) {
      const std::string name = "c" + std::to_string(column);
      const bool tested = std::any_of(hint.terms.begin(), hint.terms.end(), [&](const std::string& term) {
        return term == name || term.starts_with(name + " ");
      });
      if (!tested) covered.push_back(name);
    }
    if (covered.size() <= kMaxCovered) hint.covered = std::move(covered);
  }

  static void flatten_and(const Expr& e, std::vector<const Expr*>& out) {
    if (e.type == Expr::Type::Binary && e.op == "and") {
      flatten_and(*e.args[0], out);
      flatten_and(*e.args[1], out);
    } else {
      out.push_back(&e);
    }
  }

  void expand_star(const std::string& qualifier, const Scope& scope, std::vector<std::pair<std::string, Val>>& items) {
    bool found = false;
    for (const auto& source : scope.sources) {
      if (!qualifier.empty() && compare_folded(source.name, qualifier) != 0) continue;
      found = true;
      for (size_t i = 0; i < source.columns.size(); ++i) {
        items.emplace_back(source.columns[i].name, column_val(source, i));
      }
    }
    if (!found) fail(qualifier.empty() ? "SELECT * needs a FROM clause" : "unknown table '" + qualifier + "' in " + qualifier + ".*");
  }

  Val column_val(const Source& source, size_t index) {
    columns_read_[source.sql_alias].insert(index);
    Val v;
    v.sql = "\"" + source.sql_alias + "\".c" + std::to_string(index);
    v.kind = source.columns[index].kind;
    v.scale = source.columns[index].scale;
    v.one_column = true;
    v.column = &source.columns[index];
    v.column_qualifier = source.name;
    v.source_alias = source.sql_alias;
    return v;
  }

  std::string from_sql(const FromItem& item, Scope& scope) {
    switch (item.type) {
      case FromItem::Type::Named: {
        const Relation& relation = resolver_.relation(item.name);
        Source source;
        source.name = item.alias.empty() ? item.name : item.alias;
        source.sql_alias = "s" + std::to_string(++next_alias_);
        source.columns = relation.columns;
        source.relation = relation.sqlite_name;
        hint_relation_ = relation.sqlite_name;
        scope.sources.push_back(std::move(source));
        return relation.sqlite_name + " AS \"" + scope.sources.back().sql_alias + "\"";
      }
      case FromItem::Type::Subquery: {
        Source source;
        source.name = item.alias;
        source.sql_alias = "s" + std::to_string(++next_alias_);
        std::string sql = query_sql(*item.subquery, scope.parent, source.columns, false);
        scope.sources.push_back(std::move(source));
        return "(" + sql + ") AS \"" + scope.sources.back().sql_alias + "\"";
      }
      case FromItem::Type::Join: {
        const size_t left_at = scope.sources.size();
        std::string left = from_sql(*item.left, scope);
        const size_t right_at = scope.sources.size();
        std::string right = from_sql(*item.right, scope);
        auto wrap = [](const FromItem& side, const std::string& sql) {
          return side.type == FromItem::Type::Join ? "(" + sql + ")" : sql;
        };
        if (item.join == "cross") return left + " JOIN " + wrap(*item.right, right);
        // The table looked up once per row of the other side.
        const bool right_join = item.join == "right";
        const FromItem& inner = right_join ? *item.left : *item.right;
        const Source* inner_source =
            inner.type == FromItem::Type::Named ? &scope.sources[right_join ? left_at : right_at] : nullptr;
        std::string on = join_on_sql(*item.on, scope, inner_source, item.join == "left" || right_join);
        if (item.join == "right") {
          return right + " LEFT JOIN " + wrap(*item.left, left) + " ON " + on;
        }
        return left + (item.join == "left" ? " LEFT JOIN " : " JOIN ") + wrap(*item.right, right) + " ON " + on;
      }
    }
    return "";
  }

  // Brings two operands of a comparison to one type, as Jet does.
  void unify(Val& a, Val& b) {
    if (a.null || b.null) return;
    if (a.text_literal && b.kind != Kind::Text && b.kind != Kind::Variant) {
      a = literal_as(a, b.kind);
    } else if (b.text_literal && a.kind != Kind::Text && a.kind != Kind::Variant) {
      b = literal_as(b, a.kind);
    }
    if (a.kind == b.kind) {
      if (a.kind == Kind::Bool) {
        a = make(value_sql(a), Kind::Long, &a);
        b = make(value_sql(b), Kind::Long, &b);
      }
      return;
    }
    if (a.kind == Kind::Variant || b.kind == Kind::Variant) {
      a = make(plain(a), Kind::Variant, &a);
      b = make(plain(b), Kind::Variant, &b);
      return;
    }
    if (a.kind == Kind::Text || b.kind == Kind::Text) {
      Val& t = a.kind == Kind::Text ? a : b;
      Val& other = a.kind == Kind::Text ? b : a;
      if (other.kind == Kind::Date) t = date(t);
      else if (is_numeric(other.kind) || other.kind == Kind::Bool) {
        fail("data type mismatch: a text is compared with a number");
      }
    }
    if (a.kind == Kind::Currency && b.literal && b.kind == Kind::Long) {
      b = make(std::to_string(b.literal->as<int64_t>() * 10000), Kind::Currency);
      return;
    }
    if (b.kind == Kind::Currency && a.literal && a.kind == Kind::Long) {
      a = make(std::to_string(a.literal->as<int64_t>() * 10000), Kind::Currency);
      return;
    }
    if (a.kind != b.kind) {
      a = number(a);
      b = number(b);
    }
  }

  Val comparison(const std::string& op, Val a, Val b) {
    bool hint = collect_hints_ && op == "=";
    collect_hints_ = false;
    // Text meets text, or a value of no fixed type that may be text: compare case-blind.
    bool texts = (a.kind == Kind::Text || a.kind == Kind::Variant) && (b.kind == Kind::Text || b.kind == Kind::Variant) &&
                 (a.kind == Kind::Text || b.kind == Kind::Text);
    unify(a, b);
    bool still_texts = (a.kind == Kind::Text || a.kind == Kind::Variant) && (b.kind == Kind::Text || b.kind == Kind::Variant);
    std::string collate = texts && still_texts ? " COLLATE JET" : "";
    if (hint && current_hint_ && join_hint_) {
      // A column of the inner table against what the other tables give.
      const std::string inner = "\"" + hint_table_ + "\".";
      const Val* column = a.one_column && a.source_alias == hint_table_   ? &a
                          : b.one_column && b.source_alias == hint_table_ ? &b
                                                                          : nullptr;
      const Val* other = column == &a ? &b : &a;
      if (column && other->sql.find(inner) == std::string::npos) {
        std::string term = column->sql;
        for (size_t at; (at = term.find(inner)) != std::string::npos;) term.erase(at, inner.size());
        current_hint_->terms.push_back(term + collate);
      }
    } else if (hint && current_hint_) {
      const Val* column = a.one_column && (b.literal || b.text_literal || !b.one_column) ? &a
                          : b.one_column && (a.literal || a.text_literal)              ? &b
                                                                                       : nullptr;
      const Val* constant = column == &a ? &b : &a;
      if (column && constant->sql.find('"') == std::string::npos) {
        std::string term = column->sql;
        std::string prefix = "\"" + hint_table_ + "\".";
        for (size_t at; (at = term.find(prefix)) != std::string::npos;) term.erase(at, prefix.size());
        current_hint_->terms.push_back(term + collate);
      }
    }
    return boolean("(" + value_sql(a) + " " + op + " " + value_sql(b) + collate + ")", &a);
  }

  // ---- Expressions ----

  Val lookup_column(const Expr& e, const Scope& scope) {
    for (const Scope* s = &scope; s; s = s->parent) {
      const Source* found = nullptr;
      size_t index = 0;
      for (const auto& source : s->sources) {
        if (!e.qualifier.empty() && compare_folded(source.name, e.qualifier) != 0) continue;
        for (size_t i = 0; i < source.columns.size(); ++i) {
          if (compare_folded(source.columns[i].name, e.name) != 0) continue;
          if (found) fail("the column name '" + e.name + "' is ambiguous: it is in more than one table of FROM");
          found = &source;
          index = i;
        }
      }
      if (found) return column_val(*found, index);
      if (e.qualifier.empty() && s->outputs) {
        for (const auto& [name, v] : *s->outputs) {
          if (compare_folded(name, e.name) == 0) return v;
        }
      }
    }
    std::string full = e.qualifier.empty() ? e.name : e.qualifier + "." + e.name;
    fail("unknown column '" + full + "' (Access would ask for it as a parameter)");
  }

  // A loaded table's rows are numbered from 1 as they were inserted, in the file's order:
  // its row id, which a test of equality looks up directly.
  Val row_number(const Expr& e, const Scope& scope) {
    for (const Scope* s = &scope; s; s = s->parent)
      for (const auto& source : s->sources)
        if (!source.relation.empty() && compare_folded(source.name, e.qualifier) == 0)
          return make("\"" + source.sql_alias + "\".rowid", Kind::Long);
    fail("no table '" + e.qualifier + "' in FROM to number the rows of");
  }

  Val literal(const FieldValue& value, bool quoted) {
    Val v;
    v.literal = value;
    v.text_literal = quoted;
    if (value.is_null()) {
      v.sql = "NULL";
      v.null = true;
      v.kind = Kind::Variant;
    } else if (value.is<std::string>()) {
      v.sql = quote_text(value.as<std::string>());
      v.kind = Kind::Text;
    } else if (value.is<int64_t>()) {
      v.sql = std::to_string(value.as<int64_t>());
      v.kind = Kind::Long;
    } else if (value.is<double>()) {
      v.sql = real_literal(value.as<double>());
      v.kind = Kind::Double;
    } else if (value.is<DateTime>()) {
      v.sql = real_literal(value.as<DateTime>().days);
      v.kind = Kind::Date;
    } else if (value.is<bool>()) {
      v.sql = value.as<bool>() ? "-1" : "0";
      v.kind = Kind::Bool;
    }
    return v;
  }

  Val expr(const Expr& e, const Scope& scope) {
    switch (e.type) {
      case Expr::Type::Literal: {
        Val v = literal(e.value, e.text_literal);
        if (text_parameters_ && e.parameter > 0 && v.kind == Kind::Text) {
          v.sql = "?" + std::to_string(e.parameter);
          v.parameter = e.parameter;
        }
        return v;
      }
      case Expr::Type::Column: return lookup_column(e, scope);
      case Expr::Type::Star: fail("'*' is allowed only as a select item or in Count(*)");
      case Expr::Type::Unary: return unary(e, scope);
      case Expr::Type::Binary: return binary(e, scope);
      case Expr::Type::Call: return call(e, scope);
      case Expr::Type::Between: {
        Val x = expr(*e.args[0], scope);
        Val low = comparison(">=", x, expr(*e.args[1], scope));
        Val high = comparison("<=", x, expr(*e.args[2], scope));
        std::string sql = "(" + low.sql + " AND " + high.sql + ")";
        return boolean(e.negated ? "(NOT " + sql + ")" : sql, &x);
      }
      case Expr::Type::In: {
        Val x = expr(*e.args[0], scope);
        if (e.subquery) {
          std::vector<RelationColumn> columns;
          std::string sql = query_sql(*e.subquery, &scope, columns, false);
          if (columns.size() != 1) fail("a subquery after IN must give one column");
          std::string collate = x.kind == Kind::Text ? " COLLATE JET" : "";
          return boolean("(" + value_sql(x) + collate + (e.negated ? " NOT IN (" : " IN (") + sql + "))", &x);
        }
        std::string list;
        for (size_t i = 1; i < e.args.size(); ++i) {
          Val test = comparison("=", x, expr(*e.args[i], scope));
          list += (list.empty() ? "" : " OR ") + test.sql;
        }
        std::string sql = "(" + list + ")";
        return boolean(e.negated ? "(NOT " + sql + ")" : sql, &x);
      }
      case Expr::Type::IsNull: {
        Val x = expr(*e.args[0], scope);
        return boolean("(" + x.sql + (e.negated ? " IS NOT NULL)" : " IS NULL)"), &x);
      }
      case Expr::Type::Exists: {
        std::vector<RelationColumn> columns;
        std::string sql = query_sql(*e.subquery, &scope, columns, false);
        return boolean("(EXISTS (" + sql + "))");
      }
      case Expr::Type::Subquery: {
        std::vector<RelationColumn> columns;
        std::string sql = query_sql(*e.subquery, &scope, columns, false);
        if (columns.size() != 1) fail("a subquery used as a value must give one column");
        Val v = make("(" + sql + ")", columns[0].kind);
        v.scale = columns[0].scale;
        return v;
      }
      case Expr::Type::RowNumber: return row_number(e, scope);
    }
    fail("unknown expression");
  }

  Val unary(const Expr& e, const Scope& scope) {
    Val x = expr(*e.args[0], scope);
    if (e.op == "not") {
      if (x.kind == Kind::Long) return make("(~" + x.sql + ")", Kind::Long, &x);
      return boolean("(NOT " + x.sql + ")", &x);
    }
    // Unary minus.
    if (x.kind == Kind::Currency || x.kind == Kind::Long || x.kind == Kind::Double || x.kind == Kind::Single ||
        x.kind == Kind::Decimal || x.kind == Kind::Date) {
      return make("(-" + x.sql + ")", x.kind, &x);
    }
    Val n = number(x);
    return make("(-" + n.sql + ")", n.kind, &x);
  }

  Val binary(const Expr& e, const Scope& scope) {
    const std::string& op = e.op;
    if (op == "and" || op == "or") {
      Val a = expr(*e.args[0], scope), b = expr(*e.args[1], scope);
      Val v = boolean("(" + a.sql + (op == "and" ? " AND " : " OR ") + b.sql + ")", &a);
      v.aggregate = a.aggregate || b.aggregate;
      return v;
    }
    if (op == "xor") {
      Val a = expr(*e.args[0], scope), b = expr(*e.args[1], scope);
      return boolean("((" + a.sql + " <> 0) <> (" + b.sql + " <> 0))", &a);
    }
    if (op == "eqv" || op == "imp") fail(upper_case(op) + " is not supported");
    Val a = expr(*e.args[0], scope);
    Val b = expr(*e.args[1], scope);
    bool aggregate = a.aggregate || b.aggregate;
    Val v;
    if (op == "=" || op == "<>" || op == "<" || op == ">" || op == "<=" || op == ">=") {
      v = comparison(op, a, b);
    } else if (op == "like") {
      v = boolean("(jet_like(" + text(a).sql + ", " + text(b).sql + ")" + (e.negated ? " = 0)" : " = 1)"), &a);
    } else if (op == "&") {
      v = make("jet_cat(" + text(a).sql + ", " + text(b).sql + ")", Kind::Text);
    } else if (op == "+" || op == "-") {
      v = additive(op, a, b);
    } else if (op == "*") {
      if (a.kind == Kind::Long && b.kind == Kind::Long) v = make("(" + a.sql + " * " + b.sql + ")", Kind::Long);
      else if (a.kind == Kind::Currency && b.kind == Kind::Long) v = make("(" + a.sql + " * " + b.sql + ")", Kind::Currency);
      else if (a.kind == Kind::Long && b.kind == Kind::Currency) v = make("(" + a.sql + " * " + b.sql + ")", Kind::Currency);
      else v = make("(" + number(a).sql + " * " + number(b).sql + ")", Kind::Double);
    } else if (op == "/") {
      v = make("jet_div(" + number(a).sql + ", " + number(b).sql + ")", Kind::Double);
    } else if (op == "\\") {
      v = make("jet_intdiv(" + number(a).sql + ", " + number(b).sql + ")", Kind::Long);
    } else if (op == "mod") {
      v = make("jet_mod(" + number(a).sql + ", " + number(b).sql + ")", Kind::Long);
    } else if (op == "^") {
      v = make("jet_pow(" + number(a).sql + ", " + number(b).sql + ")", Kind::Double);
    } else {
      fail("operator " + op + " is not supported");
    }
    v.aggregate = aggregate;
    return v;
  }

  Val additive(const std::string& op, const Val& a, const Val& b) {
    if (op == "+" && a.kind == Kind::Text && b.kind == Kind::Text) return make("(" + a.sql + " || " + b.sql + ")", Kind::Text);
    if (a.kind == Kind::Currency && b.kind == Kind::Currency) return make("(" + a.sql + " " + op + " " + b.sql + ")", Kind::Currency);
    if (a.kind == Kind::Currency && b.kind == Kind::Long) return make("(" + a.sql + " " + op + " " + b.sql + " * 10000)", Kind::Currency);
    if (a.kind == Kind::Long && b.kind == Kind::Currency) return make("(" + a.sql + " * 10000 " + op + " " + b.sql + ")", Kind::Currency);
    if (a.kind == Kind::Long && b.kind == Kind::Long) return make("(" + a.sql + " " + op + " " + b.sql + ")", Kind::Long);
    Val x = number(a), y = number(b);
    Kind kind = Kind::Double;
    if (a.kind == Kind::Date && b.kind != Kind::Date) kind = Kind::Date;
    if (op == "+" && b.kind == Kind::Date && a.kind != Kind::Date) kind = Kind::Date;
    return make("(" + x.sql + " " + op + " " + y.sql + ")", kind);
  }

  Val call(const Expr& e, const Scope& scope) {
    if (fold_case(e.name) == "count" && e.args.size() == 1 && e.args[0]->type == Expr::Type::Star) {
      Val v = make("COUNT(*)", Kind::Long);
      v.aggregate = true;
      return v;
    }
    std::vector<Val> args;
    for (const auto& a : e.args) args.push_back(expr(*a, scope));
    return translate_call(e.name, args);
  }
};

}  // namespace

std::string_view sqlite_declaration(Kind kind) {
  switch (kind) {
    case Kind::Text: return "TEXT COLLATE JET";
    case Kind::Long:
    case Kind::Currency:
    case Kind::Bool: return "INTEGER";
    case Kind::Single:
    case Kind::Double:
    case Kind::Date:
    case Kind::Decimal: return "REAL";
    case Kind::Guid:
    case Kind::Binary:
    case Kind::Variant: return "";
  }
  return "";
}

Translation translate(const ast::Query& query, RelationResolver& resolver, bool text_parameters,
                      bool with_origin) {
  return Translator(resolver, text_parameters, with_origin).run(query);
}

}  // namespace halvaro::sql
