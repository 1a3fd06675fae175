// The VBA functions and aggregates of Access SQL, translated to SQLite calls of the
// functions that functions.cpp registers, with their arguments converted the way
// VBA converts them.

#include "sql/function_calls.h"

#include <map>

#include "sql/query_engine.h"
#include "sql/text_fold.h"

namespace halvaro::sql::emit {

Val translate_call(const std::string& written_name, const std::vector<Val>& args) {
  std::string name = fold_case(written_name);
  auto count = args.size();
  auto need = [&](size_t low, size_t high) {
    if (count < low || count > high) fail("wrong number of arguments to " + written_name + "()");
  };
  auto arg = [&](size_t i) { return args[i]; };
  // Aggregates.
  if (name == "count") {
    need(1, 1);
    Val v = make("COUNT(" + arg(0).sql + ")", Kind::Long);
    v.aggregate = true;
    return v;
  }
  if (name == "sum" || name == "avg" || name == "min" || name == "max") {
    need(1, 1);
    Val x = arg(0);
    Val v;
    if (name == "avg") v = make("AVG(" + number(x).sql + ")", Kind::Double);
    else if (name == "sum") {
      Kind kind = x.kind == Kind::Currency || x.kind == Kind::Long ? x.kind : Kind::Double;
      v = make("SUM(" + (kind == Kind::Double ? number(x).sql : x.sql) + ")", kind);
    } else {
      std::string inner = value_sql(x) + (x.kind == Kind::Text ? " COLLATE JET" : "");
      v = make(upper_case(name) + "(" + inner + ")", x.kind);
      v.scale = x.scale;
    }
    v.aggregate = true;
    return v;
  }
  if (name == "first" || name == "last" || name == "stdev" || name == "stdevp" || name == "var" || name == "varp") {
    fail("the aggregate " + written_name + "() is not supported");
  }
  // Conversions.
  if (name == "cstr") {
    need(1, 1);
    return text(arg(0));
  }
  if (name == "cvar") {
    need(1, 1);
    return arg(0);
  }
  if (name == "cint" || name == "clng" || name == "cbyte") {
    need(1, 1);
    Val x = arg(0);
    return make("jet_" + name + "(" + value_sql(x) + ", " + kind_code(x.kind) + ")", Kind::Long, &x);
  }
  if (name == "cdbl" || name == "csng") {
    need(1, 1);
    Val x = arg(0);
    Kind kind = name == "csng" ? Kind::Single : Kind::Double;
    return make("jet_" + name + "(" + value_sql(x) + ", " + kind_code(x.kind) + ")", kind, &x);
  }
  if (name == "ccur") {
    need(1, 1);
    Val x = arg(0);
    if (x.kind == Kind::Currency) return x;
    return make("jet_ccur(" + value_sql(x) + ", " + kind_code(x.kind) + ")", Kind::Currency, &x);
  }
  if (name == "cdate" || name == "cvdate" || name == "datevalue") {
    need(1, 1);
    Val v = date(arg(0));
    if (name == "datevalue") v = make("jet_int(" + v.sql + ")", Kind::Date, &v);
    return v;
  }
  if (name == "cbool") {
    need(1, 1);
    Val x = arg(0);
    return make("jet_cbool(" + value_sql(x) + ", " + kind_code(x.kind) + ")", Kind::Bool, &x);
  }
  if (name == "val") {
    need(1, 1);
    return make("jet_val(" + text(arg(0)).sql + ")", Kind::Double);
  }
  if (name == "str") {
    need(1, 1);
    Val x = arg(0);
    return make("jet_str(" + value_sql(x) + ", " + kind_code(x.kind) + ")", Kind::Text, &x);
  }
  if (name == "iif") {
    need(3, 3);
    Val c = arg(0), a = arg(1), b = arg(2);
    Kind kind = a.kind == b.kind || b.null ? a.kind : a.null ? b.kind : Kind::Variant;
    std::string x = kind == Kind::Variant ? plain(a) : value_sql(a);
    std::string y = kind == Kind::Variant ? plain(b) : value_sql(b);
    Val v = make("(CASE WHEN " + c.sql + " THEN " + x + " ELSE " + y + " END)", kind);
    v.scale = a.scale;
    v.aggregate = c.aggregate || a.aggregate || b.aggregate;
    return v;
  }
  if (name == "nz") {
    need(1, 2);
    Val x = arg(0);
    if (count == 1) {
      if (x.kind == Kind::Text) return make("COALESCE(" + x.sql + ", '')", Kind::Text, &x);
      return make("COALESCE(" + plain(x) + ", '')", Kind::Variant, &x);
    }
    Val d = arg(1);
    if (d.text_literal && x.kind != Kind::Text && x.kind != Kind::Variant) {
      try {
        d = literal_as(d, x.kind);
      } catch (const QueryError&) {
      }
    }
    if (d.kind == x.kind || (is_numeric(x.kind) && x.kind != Kind::Currency && d.kind == Kind::Long)) {
      return make("COALESCE(" + value_sql(x) + ", " + value_sql(d) + ")", x.kind, &x);
    }
    if (x.kind == Kind::Currency && d.kind == Kind::Long && d.literal) {
      return make("COALESCE(" + x.sql + ", " + std::to_string(d.literal->as<int64_t>() * 10000) + ")", Kind::Currency, &x);
    }
    return make("COALESCE(" + plain(x) + ", " + plain(d) + ")", Kind::Variant, &x);
  }
  if (name == "isnull") {
    need(1, 1);
    Val x = arg(0);
    return boolean("(" + x.sql + " IS NULL)", &x);
  }
  if (name == "format") {
    need(1, 2);
    Val x = arg(0);
    std::string pattern = count == 2 ? text(arg(1)).sql : "''";
    Val v = make("jet_format(" + value_sql(x) + ", " + kind_code(x.kind) + ", " + pattern + ")", Kind::Text, &x);
    v.one_column = x.one_column && count == 2 && arg(1).literal.has_value();
    return v;
  }
  if (name == "trim" || name == "ltrim" || name == "rtrim") {
    need(1, 1);
    Val x = text(arg(0));
    return make(name + "(" + x.sql + ", ' ')", Kind::Text, &x);
  }
  if (name == "left" || name == "right") {
    need(2, 2);
    Val s = text(arg(0));
    return make("jet_" + name + "(" + s.sql + ", " + number(arg(1)).sql + ")", Kind::Text, &s);
  }
  if (name == "mid") {
    need(2, 3);
    Val s = text(arg(0));
    std::string length = count == 3 ? number(arg(2)).sql : "NULL";
    return make("jet_mid(" + s.sql + ", " + number(arg(1)).sql + ", " + length + ")", Kind::Text, &s);
  }
  if (name == "len") {
    need(1, 1);
    Val s = text(arg(0));
    return make("length(" + s.sql + ")", Kind::Long, &s);
  }
  if (name == "ucase" || name == "lcase") {
    need(1, 1);
    Val s = text(arg(0));
    Val v = make("jet_" + name + "(" + s.sql + ")", Kind::Text, &s);
    v.one_column = s.one_column;
    return v;
  }
  if (name == "instr") {
    need(2, 4);
    if (count == 2) return make("jet_instr(1, " + text(arg(0)).sql + ", " + text(arg(1)).sql + ", 1)", Kind::Long);
    std::string compare = count == 4 ? number(arg(3)).sql : "1";
    return make("jet_instr(" + number(arg(0)).sql + ", " + text(arg(1)).sql + ", " + text(arg(2)).sql + ", " +
                    compare + ")",
                Kind::Long);
  }
  if (name == "replace") {
    need(3, 3);
    return make("jet_replace(" + text(arg(0)).sql + ", " + text(arg(1)).sql + ", " + text(arg(2)).sql + ")", Kind::Text);
  }
  if (name == "space") {
    need(1, 1);
    return make("jet_space(" + number(arg(0)).sql + ")", Kind::Text);
  }
  if (name == "now" || name == "date" || name == "time") {
    need(0, 0);
    return make("jet_" + name + "()", Kind::Date);
  }
  if (name == "year" || name == "month" || name == "day" || name == "hour" || name == "minute" ||
      name == "second" || name == "weekday") {
    need(1, 1);
    static const std::map<std::string, std::string> kParts = {{"year", "yyyy"}, {"month", "m"},   {"day", "d"},
                                                              {"hour", "h"},    {"minute", "n"},  {"second", "s"},
                                                              {"weekday", "w"}};
    Val d = date(arg(0));
    return make("jet_datepart('" + kParts.at(name) + "', " + d.sql + ")", Kind::Long, &d);
  }
  if (name == "datepart") {
    need(2, 2);
    return make("jet_datepart(" + text(arg(0)).sql + ", " + date(arg(1)).sql + ")", Kind::Long);
  }
  if (name == "dateserial") {
    need(3, 3);
    return make("jet_dateserial(" + number(arg(0)).sql + ", " + number(arg(1)).sql + ", " + number(arg(2)).sql + ")",
                Kind::Date);
  }
  if (name == "timeserial") {
    need(3, 3);
    return make("((" + number(arg(0)).sql + " * 3600 + " + number(arg(1)).sql + " * 60 + " + number(arg(2)).sql +
                    ") / 86400.0)",
                Kind::Date);
  }
  if (name == "dateadd") {
    need(3, 3);
    return make("jet_dateadd(" + text(arg(0)).sql + ", " + number(arg(1)).sql + ", " + date(arg(2)).sql + ")",
                Kind::Date);
  }
  if (name == "datediff") {
    need(3, 3);
    return make("jet_datediff(" + text(arg(0)).sql + ", " + date(arg(1)).sql + ", " + date(arg(2)).sql + ")",
                Kind::Long);
  }
  if (name == "abs") {
    need(1, 1);
    Val x = arg(0);
    if (x.kind == Kind::Currency || x.kind == Kind::Long) return make("abs(" + x.sql + ")", x.kind, &x);
    return make("abs(" + number(x).sql + ")", Kind::Double, &x);
  }
  if (name == "sgn") {
    need(1, 1);
    return make("sign(" + number(arg(0)).sql + ")", Kind::Long);
  }
  if (name == "int" || name == "fix") {
    need(1, 1);
    Val x = arg(0);
    if (x.kind == Kind::Long) return x;
    Kind kind = x.kind == Kind::Date ? Kind::Date : Kind::Double;
    return make("jet_" + name + "(" + number(x).sql + ")", kind, &x);
  }
  if (name == "round") {
    need(1, 2);
    std::string digits = count == 2 ? number(arg(1)).sql : "0";
    return make("jet_round(" + number(arg(0)).sql + ", " + digits + ")", Kind::Double);
  }
  if (name == "sqr") {
    need(1, 1);
    return make("jet_sqr(" + number(arg(0)).sql + ")", Kind::Double);
  }
  if (name == "chr" || name == "chrw") {
    need(1, 1);
    return make("char(" + number(arg(0)).sql + ")", Kind::Text);
  }
  if (name == "asc" || name == "ascw") {
    need(1, 1);
    return make("unicode(" + text(arg(0)).sql + ")", Kind::Long);
  }
  fail("the function " + written_name + "() is not supported");
}

}  // namespace halvaro::sql::emit
