#include "sql/base_rows.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>

#include "sql/expr_text.h"
#include "sql/lexer.h"
#include "sql/parser.h"
#include "sql/query_engine.h"
#include "sql/regional.h"
#include "sql/text_fold.h"

namespace halvaro::sql {
namespace {

using ast::Expr;
using ast::ExprPtr;
using ast::FromItem;

// The name the statements of the account give the table they number the rows of.
constexpr const char* kBase = "halvaro base table";
// Rows explained by one statement: their numbers are looked up one by one.
constexpr size_t kChunk = 256;

std::string name_of(const FromItem& item) { return item.alias.empty() ? item.name : item.alias; }
bool same(std::string_view a, std::string_view b) { return compare_folded(a, b) == 0; }

ExprPtr node(Expr::Type type) {
  auto e = std::make_unique<Expr>();
  e->type = type;
  return e;
}
ExprPtr row_number(const std::string& qualifier) {
  ExprPtr e = node(Expr::Type::RowNumber);
  e->qualifier = qualifier;
  return e;
}
ExprPtr number(int64_t value) {
  ExprPtr e = node(Expr::Type::Literal);
  e->value = FieldValue(value);
  return e;
}
ExprPtr binary(const char* op, ExprPtr a, ExprPtr b) {
  ExprPtr e = node(Expr::Type::Binary);
  e->op = op;
  e->args.push_back(std::move(a));
  e->args.push_back(std::move(b));
  return e;
}
ExprPtr column(const std::string& qualifier, const std::string& name) {
  ExprPtr e = node(Expr::Type::Column);
  e->qualifier = qualifier;
  e->name = name;
  return e;
}
// `x` among the row numbers `numbers`.
ExprPtr among(ExprPtr x, const std::vector<int64_t>& numbers) {
  ExprPtr e = node(Expr::Type::In);
  e->args.push_back(std::move(x));
  for (int64_t n : numbers) e->args.push_back(number(n));
  return e;
}

// The Named items of FROM on sides that keep their rows.
void kept_sides(const FromItem& item, std::vector<const FromItem*>& out) {
  switch (item.type) {
    case FromItem::Type::Named: out.push_back(&item); break;
    case FromItem::Type::Subquery: break;
    case FromItem::Type::Join:
      if (item.join != "right") kept_sides(*item.left, out);
      if (item.join != "left") kept_sides(*item.right, out);
      break;
  }
}

void items_in(const FromItem& item, std::vector<const FromItem*>& out) {
  if (item.type != FromItem::Type::Join) {
    out.push_back(&item);
    return;
  }
  items_in(*item.left, out);
  items_in(*item.right, out);
}

void ons_in(const FromItem& item, std::vector<const Expr*>& out) {
  if (item.type != FromItem::Type::Join) return;
  if (item.on) out.push_back(item.on.get());
  ons_in(*item.left, out);
  ons_in(*item.right, out);
}

void columns_in_query(const ast::Query& query, std::vector<const Expr*>& out);

// The columns an expression names; with `inside`, those of its subqueries too.
void columns_in(const Expr& e, std::vector<const Expr*>& out, bool inside) {
  if (e.type == Expr::Type::Column) out.push_back(&e);
  for (const auto& arg : e.args) columns_in(*arg, out, inside);
  if (inside && e.subquery) columns_in_query(*e.subquery, out);
}

void columns_in_query(const ast::Query& query, std::vector<const Expr*>& out) {
  for (const ast::Select& select : query.selects) {
    for (const auto& item : select.items) columns_in(*item.expr, out, true);
    if (select.where) columns_in(*select.where, out, true);
    if (select.having) columns_in(*select.having, out, true);
    for (const auto& g : select.group_by) columns_in(*g, out, true);
    if (select.from) {
      std::vector<const Expr*> ons;
      ons_in(*select.from, ons);
      for (const Expr* on : ons) columns_in(*on, out, true);
    }
  }
}

// Names the statement's table where the view's test named it (its subqueries keep theirs).
void requalify(Expr& e, const std::string& qualifier) {
  if (e.type == Expr::Type::Column && same(e.qualifier, qualifier)) e.qualifier = kBase;
  for (auto& arg : e.args) requalify(*arg, qualifier);
}

// Takes the tests of an AND chain out of it.
void take_conjuncts(ExprPtr e, std::vector<ExprPtr>& out) {
  if (e->type == Expr::Type::Binary && e->op == "and") {
    take_conjuncts(std::move(e->args[0]), out);
    take_conjuncts(std::move(e->args[1]), out);
  } else {
    out.push_back(std::move(e));
  }
}

// A test that a column is one of a few values: `c = 'P' OR c = 'D'`, `c IN ('S', 'C')`.
struct SetTest {
  const Expr* column = nullptr;
  std::vector<std::string> values;
};
bool set_test(const Expr& e, SetTest& out) {
  auto same_column = [&](const Expr& c) {
    if (c.type != Expr::Type::Column) return false;
    if (!out.column) out.column = &c;
    return same(out.column->qualifier, c.qualifier) && same(out.column->name, c.name);
  };
  auto add = [&](const Expr& v) {
    if (v.type != Expr::Type::Literal || v.value.is_null()) return false;
    out.values.push_back(text_form(v.value));
    return true;
  };
  if (e.type == Expr::Type::In && !e.negated && !e.subquery) {
    if (!same_column(*e.args[0])) return false;
    for (size_t i = 1; i < e.args.size(); ++i)
      if (!add(*e.args[i])) return false;
    return true;
  }
  if (e.type == Expr::Type::Binary && e.op == "=") {
    const bool left = e.args[0]->type == Expr::Type::Column;
    return same_column(*e.args[left ? 0 : 1]) && add(*e.args[left ? 1 : 0]);
  }
  if (e.type == Expr::Type::Binary && e.op == "or") return set_test(*e.args[0], out) && set_test(*e.args[1], out);
  return false;
}

std::string none_of(const std::vector<std::string>& values) {
  if (values.size() == 1) return "is not " + values[0];
  if (values.size() == 2) return "is neither " + values[0] + " nor " + values[1];
  std::string list;
  for (size_t i = 0; i < values.size(); ++i) list += (i ? ", " : "") + values[i];
  return "is none of " + list;
}

bool holds(const FieldValue& value) {
  if (auto flag = std::get_if<bool>(&value.value)) return *flag;
  if (auto whole = std::get_if<int64_t>(&value.value)) return *whole != 0;
  if (auto real = std::get_if<double>(&value.value)) return *real != 0;
  return false;
}

// Why one view left a row out.
struct Reason {
  bool set = false;  // a set test: column, value and values tell it
  std::string column, value;
  std::vector<std::string> values;
  std::string text;  // the whole reason, the view named where it helps
};

// One view's reading of the table: a SELECT of it (a branch of a UNION) and the name
// the table goes by there.
struct Reader {
  size_t view = 0;
  size_t select = 0;
  std::string qualifier;
};

struct View {
  std::string name;
  std::string sql;
};

struct Table {
  BaseTable base;
  std::vector<Reader> readers;
};

class Account {
 public:
  Account(QueryEngine& engine, BaseRowVisitor& visitor) : engine_(engine), visitor_(visitor) {}

  void run(const std::vector<std::string>& read) {
    std::set<std::string> whole;  // tables read whole, folded
    for (const std::string& name : read) {
      if (auto table = engine_.source_table(name)) whole.insert(fold_case(table->name));
      else if (auto query = engine_.saved_query(name)) views_.push_back({query->name, query->sql});
    }
    std::vector<Table> tables;
    std::map<std::string, size_t> by_name;
    for (size_t v = 0; v < views_.size(); ++v) {
      ast::Query query = parse(v);
      for (size_t s = 0; s < query.selects.size(); ++s) {
        const ast::Select& select = query.selects[s];
        if (!select.from) continue;
        std::vector<const FromItem*> sides;
        kept_sides(*select.from, sides);
        for (const FromItem* side : sides) {
          auto table = engine_.source_table(side->name);
          if (!table || whole.count(fold_case(table->name))) continue;
          auto [at, added] = by_name.try_emplace(fold_case(table->name), tables.size());
          if (added) {
            tables.emplace_back();
            tables.back().base.name = table->name;
            for (const SourceColumn& c : table->columns) tables.back().base.columns.push_back(c.name);
          }
          Table& t = tables[at->second];
          t.readers.push_back({v, s, name_of(*side)});
          if (std::find(t.base.views.begin(), t.base.views.end(), views_[v].name) == t.base.views.end()) {
            t.base.views.push_back(views_[v].name);
            t.base.view_columns.push_back(view_columns(select, name_of(*side), t.base.columns));
          }
        }
      }
    }
    for (Table& table : tables) account(table);
  }

 private:
  ast::Query parse(size_t view) const {
    try {
      return parse_select(views_[view].sql);
    } catch (const SyntaxError& e) {
      throw QueryError("saved query " + views_[view].name + ": " + e.what());
    }
  }
  ast::Select select_of(const Reader& reader) {
    ast::Query query = parse(reader.view);
    ast::Select select = std::move(query.selects[reader.select]);
    // Which rows a view delivers does not depend on how it shapes or orders them.
    select.items.clear();
    select.distinct = select.distinct_row = false;
    select.group_by.clear();
    select.having.reset();
    select.top.reset();
    std::vector<const Expr*> uses;
    if (select.where) uses.push_back(select.where.get());
    prune(select.from, uses);
    return select;
  }

  static std::vector<std::pair<std::string, std::string>> view_columns(const ast::Select& select,
                                                                       const std::string& qualifier,
                                                                       const std::vector<std::string>& columns) {
    std::vector<std::pair<std::string, std::string>> out;
    auto column_of = [&](const std::string& name) -> const std::string* {
      for (const std::string& c : columns)
        if (same(c, name)) return &c;
      return nullptr;
    };
    for (const auto& item : select.items) {
      const Expr& e = *item.expr;
      if (!e.qualifier.empty() && !same(e.qualifier, qualifier)) continue;
      if (e.type == Expr::Type::Star) {
        for (const std::string& c : columns) out.emplace_back(c, c);
      } else if (e.type == Expr::Type::Column) {
        if (const std::string* c = column_of(e.name)) out.emplace_back(item.alias.empty() ? e.name : item.alias, *c);
      }
    }
    return out;
  }

  // Whether any of `exprs` names a column of a table on `side`.
  bool used(const FromItem& side, const std::vector<const Expr*>& exprs) {
    std::vector<const FromItem*> items;
    items_in(side, items);
    std::vector<const Expr*> columns;
    for (const Expr* e : exprs) columns_in(*e, columns, true);
    for (const Expr* c : columns) {
      for (const FromItem* item : items) {
        if (!c->qualifier.empty()) {
          if (same(c->qualifier, name_of(*item))) return true;
          continue;
        }
        auto table = item->type == FromItem::Type::Named ? engine_.source_table(item->name) : std::nullopt;
        if (!table) return true;  // a saved query or subquery: it may have the column
        for (const SourceColumn& sc : table->columns)
          if (same(sc.name, c->name)) return true;
      }
    }
    return false;
  }

  // Drops the outer joins whose inner side nothing else names: they change how often a
  // row comes, never whether it comes, and looking up their partners costs.
  void prune(std::unique_ptr<FromItem>& item, std::vector<const Expr*> uses) {
    if (!item) return;
    while (item->type == FromItem::Type::Join && (item->join == "left" || item->join == "right")) {
      const bool left = item->join == "left";
      std::unique_ptr<FromItem>& kept = left ? item->left : item->right;
      std::vector<const Expr*> all = uses;
      ons_in(*kept, all);
      if (used(left ? *item->right : *item->left, all)) break;
      std::unique_ptr<FromItem> rest = std::move(kept);
      item = std::move(rest);
    }
    if (item->type != FromItem::Type::Join) return;
    if (item->on) uses.push_back(item->on.get());
    std::vector<const Expr*> for_left = uses, for_right = uses;
    ons_in(*item->right, for_left);
    ons_in(*item->left, for_right);
    prune(item->left, for_left);
    prune(item->right, for_right);
  }

  // The numbers of the table's rows that no reader delivers, in the table's order.
  std::vector<int64_t> unread_numbers(const Table& table) {
    ExprPtr where;
    for (const Reader& reader : table.readers) {
      ast::Select select = select_of(reader);
      const bool alone = select.from->type == FromItem::Type::Named;
      if (alone && !select.where) return {};  // this view delivers every row
      ExprPtr test;
      if (alone) {
        // Its own test on the statement's row: one pass over the table, nothing held.
        requalify(*select.where, reader.qualifier);
        ExprPtr iif = node(Expr::Type::Call);
        iif->name = "IIf";
        iif->args.push_back(std::move(select.where));
        iif->args.push_back(number(1));
        iif->args.push_back(number(0));
        test = binary("=", std::move(iif), number(0));
      } else {
        select.items.push_back({row_number(reader.qualifier), {}});
        test = node(Expr::Type::In);
        test->negated = true;
        test->args.push_back(row_number(kBase));
        test->subquery = std::make_unique<ast::Query>();
        test->subquery->selects.push_back(std::move(select));
      }
      where = where ? binary("and", std::move(where), std::move(test)) : std::move(test);
    }
    ast::Query query;
    ast::Select& select = query.selects.emplace_back();
    select.items.push_back({row_number(kBase), {}});
    select.from = std::make_unique<FromItem>();
    select.from->name = table.base.name;
    select.from->alias = kBase;
    select.where = std::move(where);
    StoredResult rows = engine_.execute_stored(query);
    std::vector<int64_t> numbers;
    numbers.reserve(rows.rows.size());
    for (size_t r = 0; r < rows.rows.size(); ++r) numbers.push_back(rows.rows.row(r)[0].as<int64_t>());
    std::sort(numbers.begin(), numbers.end());  // the plan may read the table in another order
    return numbers;
  }

  // A join between the table and FROM's root that could drop its row: the partner table
  // whose row number tells whether it found one, and the join's test.
  struct Probe {
    std::string qualifier, table, test;
  };

  // Turns every inner join on the way from FROM's root to the table into an outer join
  // that keeps the table's rows, noting each (the innermost first). False when the table
  // is not under `item`.
  static bool keep_rows(FromItem& item, const std::string& qualifier, std::vector<Probe>& probes) {
    if (item.type == FromItem::Type::Named) return same(name_of(item), qualifier);
    if (item.type != FromItem::Type::Join) return false;
    const bool in_left = keep_rows(*item.left, qualifier, probes);
    const bool in_right = !in_left && keep_rows(*item.right, qualifier, probes);
    if (!in_left && !in_right) return false;
    if (item.join == "inner" || item.join == "cross") {
      std::vector<const FromItem*> partners;
      kept_sides(in_left ? *item.right : *item.left, partners);
      if (!partners.empty()) {
        probes.push_back({name_of(*partners.front()), partners.front()->name,
                          item.on ? expr_text(*item.on) : std::string()});
      }
      if (!item.on) {
        item.on = node(Expr::Type::Literal);
        item.on->value = FieldValue(true);
      }
      item.join = in_left ? "left" : "right";
    }
    return true;
  }

  // Why each of the rows numbered `numbers` is left out by one reader, by number.
  void explain(const Table& table, const Reader& reader, const std::vector<int64_t>& numbers,
               std::unordered_map<int64_t, std::vector<Reason>>& reasons) {
    const std::string& view = views_[reader.view].name;
    ast::Select select = select_of(reader);
    std::vector<Probe> probes;
    keep_rows(*select.from, reader.qualifier, probes);
    std::vector<ExprPtr> conjuncts;
    if (select.where) take_conjuncts(std::move(select.where), conjuncts);
    struct Test {
      std::string text;
      SetTest set;
      bool is_set = false;
      std::vector<std::string> columns;  // as the view names them
      size_t first_value = 0;            // among the statement's columns
    };
    std::vector<Test> tests(conjuncts.size());
    std::vector<ExprPtr> values;  // the columns the tests read
    for (size_t k = 0; k < conjuncts.size(); ++k) {
      Test& test = tests[k];
      test.text = expr_text(*conjuncts[k]);
      test.is_set = set_test(*conjuncts[k], test.set);
      std::vector<const Expr*> columns;
      columns_in(*conjuncts[k], columns, false);
      if (test.is_set) columns = {test.set.column};
      test.first_value = values.size();
      std::vector<const Expr*> distinct;
      for (const Expr* c : columns) {
        const bool known = std::any_of(distinct.begin(), distinct.end(), [&](const Expr* d) {
          return same(d->qualifier, c->qualifier) && same(d->name, c->name);
        });
        if (!known) distinct.push_back(c);
      }
      for (const Expr* c : distinct) {
        // Qualified only where the test names two columns of that name.
        const bool shared = std::count_if(distinct.begin(), distinct.end(),
                                          [&](const Expr* d) { return same(d->name, c->name); }) > 1;
        test.columns.push_back(shared && !c->qualifier.empty() ? c->qualifier + "." + c->name : c->name);
        values.push_back(column(c->qualifier, c->name));
      }
    }
    select.items.push_back({row_number(reader.qualifier), {}});
    for (const Probe& probe : probes) select.items.push_back({row_number(probe.qualifier), {}});
    for (ExprPtr& conjunct : conjuncts) select.items.push_back({std::move(conjunct), {}});
    for (ExprPtr& value : values) select.items.push_back({std::move(value), {}});
    select.where = among(row_number(reader.qualifier), numbers);
    ast::Query query;
    query.selects.push_back(std::move(select));
    StoredResult rows = engine_.execute_stored(query);

    std::set<int64_t> seen;
    const size_t tests_at = 1 + probes.size();
    const size_t values_at = tests_at + tests.size();
    for (size_t r = 0; r < rows.rows.size(); ++r) {
      const std::vector<FieldValue>& row = rows.rows.row(r);
      const int64_t n = row[0].as<int64_t>();
      if (!seen.insert(n).second) continue;  // the first of its rows tells
      Reason reason;
      for (size_t p = 0; p < probes.size() && reason.text.empty(); ++p) {
        if (!row[1 + p].is_null()) continue;
        reason.text = probes[p].test.empty()
                          ? view + " joins it with " + probes[p].table + ", which has no rows"
                          : view + "'s inner join finds no " + probes[p].table + " row for it: " + probes[p].test;
      }
      for (size_t k = 0; k < tests.size() && reason.text.empty(); ++k) {
        if (holds(row[tests_at + k])) continue;
        const Test& test = tests[k];
        if (test.is_set) {
          reason.set = true;
          reason.column = test.set.column->name;
          reason.value = value_text(row[values_at + test.first_value]);
          reason.values = test.set.values;
          reason.text = reason.column + " " + reason.value + " " + none_of(reason.values);
          continue;
        }
        std::string shown;
        for (size_t c = 0; c < test.columns.size(); ++c)
          shown += (c ? " and " : "") + test.columns[c] + " is " + value_text(row[values_at + test.first_value + c]);
        reason.text = (shown.empty() ? "" : shown + ", where ") + view + " asks for " + test.text;
      }
      if (reason.text.empty()) reason.text = view + " leaves it out";
      reasons[n].push_back(std::move(reason));
    }
    (void)table;
  }

  // Every reader's reason as one: when each tested the same column for a few values,
  // "InvoiceType 'X' is none of P, D, S, C"; otherwise each reason, naming its view.
  std::string combined(const Table& table, const std::vector<Reason>& reasons) const {
    if (reasons.empty()) return "no view delivers it";
    bool one_column = true;
    std::vector<std::string> values;
    for (const Reason& r : reasons) {
      one_column = one_column && r.set && same(r.column, reasons[0].column) && r.value == reasons[0].value;
      for (const std::string& v : r.values)
        if (std::find(values.begin(), values.end(), v) == values.end()) values.push_back(v);
    }
    if (one_column) return reasons[0].column + " " + reasons[0].value + " " + none_of(values);
    std::string text;
    for (size_t i = 0; i < reasons.size(); ++i) {
      const Reason& r = reasons[i];
      text += (i ? "; " : "") + (r.set ? views_[table.readers[i].view].name + ": " : std::string()) + r.text;
    }
    return text;
  }

  void account(Table& table) {
    {
      ast::Query count;
      ast::Select& select = count.selects.emplace_back();
      ExprPtr all = node(Expr::Type::Call);
      all->name = "Count";
      all->args.push_back(node(Expr::Type::Star));
      select.items.push_back({std::move(all), {}});
      select.from = std::make_unique<FromItem>();
      select.from->name = table.base.name;
      StoredResult rows = engine_.execute_stored(count);
      table.base.rows = rows.rows.size() ? uint64_t(rows.rows.row(0)[0].as<int64_t>()) : 0;
    }
    std::vector<int64_t> numbers = unread_numbers(table);
    visitor_.table(table.base);
    for (size_t at = 0; at < numbers.size(); at += kChunk) {
      std::vector<int64_t> chunk(numbers.begin() + long(at), numbers.begin() + long(std::min(at + kChunk, numbers.size())));
      // Each reader explains the rows in turn (its reasons in the readers' order).
      std::unordered_map<int64_t, std::vector<Reason>> reasons;
      for (const Reader& reader : table.readers) explain(table, reader, chunk, reasons);
      ast::Query query;
      ast::Select& select = query.selects.emplace_back();
      select.items.push_back({node(Expr::Type::Star), {}});
      select.items.push_back({row_number(kBase), {}});
      select.from = std::make_unique<FromItem>();
      select.from->name = table.base.name;
      select.from->alias = kBase;
      select.where = among(row_number(kBase), chunk);
      StoredResult rows = engine_.execute_stored(query);
      std::map<int64_t, std::vector<FieldValue>> by_number;
      const size_t width = table.base.columns.size();
      for (size_t r = 0; r < rows.rows.size(); ++r) {
        std::vector<FieldValue> row = rows.rows.row(r);
        const int64_t n = row[width].as<int64_t>();
        row.resize(width);
        by_number.emplace(n, std::move(row));
      }
      for (int64_t n : chunk) {
        auto found = by_number.find(n);
        if (found != by_number.end()) visitor_.unread(found->second, combined(table, reasons[n]));
      }
    }
  }

  QueryEngine& engine_;
  BaseRowVisitor& visitor_;
  std::vector<View> views_;
};

}  // namespace

void account_base_rows(QueryEngine& engine, const std::vector<std::string>& read, BaseRowVisitor& visitor) {
  Account(engine, visitor).run(read);
}

}  // namespace halvaro::sql
