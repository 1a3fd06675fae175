#include "sql/parser.h"

#include <cstdlib>
#include <set>

#include "sql/lexer.h"
#include "sql/regional.h"
#include "sql/text_fold.h"

namespace halvaro::sql {

namespace {

using namespace ast;

// Words that end an expression or cannot be an alias.
const std::set<std::string> kReserved = {
    "select", "from",  "where", "group", "having", "order",   "union", "on",     "as",    "inner",
    "left",   "right", "outer", "join",  "and",    "or",      "not",   "xor",    "eqv",   "imp",
    "like",   "between", "in",  "is",    "null",   "by",      "asc",   "desc",   "mod",   "with",
    "distinct", "distinctrow", "top", "all", "true", "false", "exists", "full", "cross", "into"};

// Access date literals are written month first (#8/17/2023 14:35:20#) or as ISO dates.
DateTime parse_date_literal(const std::string& text) {
  std::string date_part = text.substr(0, text.find(' '));
  std::string rest = text.size() > date_part.size() ? text.substr(date_part.size()) : "";
  size_t first = date_part.find('/');
  size_t second = first == std::string::npos ? std::string::npos : date_part.find('/', first + 1);
  std::string reordered = text;
  if (second != std::string::npos) {
    reordered = date_part.substr(first + 1, second - first - 1) + "/" + date_part.substr(0, first) +
                date_part.substr(second) + rest;
  }
  auto when = parse_date(reordered);
  if (!when) throw SyntaxError("not a date: #" + text + "#");
  return *when;
}

class Parser {
 public:
  explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  Query statement() {
    if (is_word("parameters")) unsupported("PARAMETERS declarations");
    if (is_word("transform")) unsupported("crosstab (TRANSFORM) queries");
    if (!is_word("select")) {
      static const char* const kActions[] = {"insert", "update", "delete", "create", "drop", "alter"};
      for (const char* action : kActions) {
        if (is_word(action)) unsupported(fold_case(peek().text) + " statements (only SELECT is evaluated)");
      }
    }
    Query query = query_body();
    if (accept_word("with")) {
      expect_word("owneraccess");
      expect_word("option");
    }
    accept_symbol(";");
    if (peek().type != Token::Type::End) fail("unexpected '" + peek().text + "'");
    return query;
  }

 private:
  std::vector<Token> tokens_;
  size_t at_ = 0;
  int quoted_texts_ = 0;  // quoted texts read so far: numbers the text literals

  const Token& peek(size_t ahead = 0) const {
    return tokens_[std::min(at_ + ahead, tokens_.size() - 1)];
  }
  const Token& next() { return tokens_[at_ < tokens_.size() - 1 ? at_++ : at_]; }
  bool is_word(std::string_view word, size_t ahead = 0) const {
    const Token& token = peek(ahead);
    return token.type == Token::Type::Word && fold_case(token.text) == word;
  }
  bool is_symbol(std::string_view symbol, size_t ahead = 0) const {
    const Token& token = peek(ahead);
    return token.type == Token::Type::Symbol && token.text == symbol;
  }
  bool accept_word(std::string_view word) {
    if (!is_word(word)) return false;
    ++at_;
    return true;
  }
  bool accept_symbol(std::string_view symbol) {
    if (!is_symbol(symbol)) return false;
    ++at_;
    return true;
  }
  void expect_word(std::string_view word) {
    if (!accept_word(word)) fail("expected " + upper_case(word));
  }
  void expect_symbol(std::string_view symbol) {
    if (!accept_symbol(symbol)) fail("expected '" + std::string(symbol) + "'");
  }
  [[noreturn]] void fail(const std::string& what) const {
    const Token& token = peek();
    std::string near = token.type == Token::Type::End ? "the end" : "'" + token.text + "'";
    throw SyntaxError(what + " near " + near + " (character " + std::to_string(token.offset + 1) + ")");
  }
  [[noreturn]] void unsupported(const std::string& what) const {
    throw SyntaxError(what + " are not supported");
  }

  // A name: a word that is not reserved, or a [bracketed] name.
  bool at_name(size_t ahead = 0) const {
    const Token& token = peek(ahead);
    if (token.type == Token::Type::Name) return true;
    return token.type == Token::Type::Word && !kReserved.count(fold_case(token.text));
  }
  std::string name() {
    if (!at_name()) fail("expected a name");
    return next().text;
  }

  Query query_body() {
    Query query;
    query.selects.push_back(select());
    while (accept_word("union")) {
      query.union_all.push_back(accept_word("all"));
      if (accept_symbol("(")) {
        query.selects.push_back(select());
        expect_symbol(")");
      } else {
        query.selects.push_back(select());
      }
    }
    if (accept_word("order")) {
      expect_word("by");
      do {
        OrderItem item;
        item.expr = expression();
        if (accept_word("desc")) item.descending = true;
        else accept_word("asc");
        query.order_by.push_back(std::move(item));
      } while (accept_symbol(","));
    }
    return query;
  }

  Select select() {
    expect_word("select");
    Select s;
    for (;;) {
      if (accept_word("distinct")) s.distinct = true;
      else if (accept_word("distinctrow")) s.distinct_row = true;
      else if (accept_word("all")) continue;
      else if (accept_word("top")) {
        if (peek().type != Token::Type::Number) fail("expected the number of TOP");
        s.top = std::strtoll(next().text.c_str(), nullptr, 10);
        if (accept_word("percent")) s.top_percent = true;
      } else break;
    }
    do {
      SelectItem item;
      item.expr = expression();
      if (accept_word("as")) {
        if (peek().type == Token::Type::Text) {
          ++quoted_texts_;
          item.alias = next().text;
        } else {
          item.alias = name();
        }
      }
      else if (at_name()) item.alias = name();
      s.items.push_back(std::move(item));
    } while (accept_symbol(","));
    if (is_word("into")) unsupported("make-table (SELECT ... INTO) queries");
    if (accept_word("from")) s.from = from_list();
    if (accept_word("where")) s.where = expression();
    if (accept_word("group")) {
      expect_word("by");
      do s.group_by.push_back(expression());
      while (accept_symbol(","));
    }
    if (accept_word("having")) s.having = expression();
    return s;
  }

  std::unique_ptr<FromItem> from_list() {
    auto left = from_join();
    while (accept_symbol(",")) {
      auto join = std::make_unique<FromItem>();
      join->type = FromItem::Type::Join;
      join->join = "cross";
      join->left = std::move(left);
      join->right = from_join();
      left = std::move(join);
    }
    return left;
  }

  std::unique_ptr<FromItem> from_join() {
    auto left = from_primary();
    for (;;) {
      std::string kind;
      if (accept_word("inner")) kind = "inner";
      else if (accept_word("left")) kind = "left";
      else if (accept_word("right")) kind = "right";
      else if (is_word("full")) unsupported("FULL OUTER joins");
      else if (is_word("join")) kind = "inner";
      else break;
      accept_word("outer");
      expect_word("join");
      auto join = std::make_unique<FromItem>();
      join->type = FromItem::Type::Join;
      join->join = kind;
      join->left = std::move(left);
      join->right = from_primary();
      expect_word("on");
      join->on = expression();
      left = std::move(join);
    }
    return left;
  }

  std::unique_ptr<FromItem> from_primary() {
    auto item = std::make_unique<FromItem>();
    if (accept_symbol("(")) {
      if (is_word("select")) {
        item->type = FromItem::Type::Subquery;
        item->subquery = std::make_unique<Query>(query_body());
        expect_symbol(")");
        accept_word("as");
        if (!at_name()) fail("a subquery in FROM needs an alias");
        item->alias = name();
        return item;
      }
      item = from_list();
      expect_symbol(")");
      return item;
    }
    item->type = FromItem::Type::Named;
    item->name = name();
    if (accept_symbol(".")) item->name = name();  // owner.table: the owner is ignored by Jet
    if (is_word("in")) unsupported("tables of other databases (IN '...')");
    if (accept_word("as")) item->alias = name();
    else if (at_name()) item->alias = name();
    return item;
  }

  // ---- Expressions, lowest precedence first ----

  ExprPtr binary(std::string op, ExprPtr left, ExprPtr right) {
    auto e = std::make_unique<Expr>();
    e->type = Expr::Type::Binary;
    e->op = std::move(op);
    e->args.push_back(std::move(left));
    e->args.push_back(std::move(right));
    return e;
  }

  ExprPtr expression() { return logical(0); }

  ExprPtr logical(int level) {
    static const char* const kOps[] = {"imp", "eqv", "xor", "or", "and"};
    if (level == 5) return negation();
    auto left = logical(level + 1);
    while (accept_word(kOps[level])) left = binary(kOps[level], std::move(left), logical(level + 1));
    return left;
  }

  ExprPtr negation() {
    if (accept_word("not")) {
      auto e = std::make_unique<Expr>();
      e->type = Expr::Type::Unary;
      e->op = "not";
      e->args.push_back(negation());
      return e;
    }
    return comparison();
  }

  ExprPtr comparison() {
    auto left = concatenation();
    for (;;) {
      static const char* const kOps[] = {"=", "<>", "<=", ">=", "<", ">"};
      bool matched = false;
      for (const char* op : kOps) {
        if (accept_symbol(op)) {
          left = binary(op, std::move(left), concatenation());
          matched = true;
          break;
        }
      }
      if (matched) continue;
      bool negated = false;
      if (is_word("not") && (is_word("like", 1) || is_word("between", 1) || is_word("in", 1))) {
        ++at_;
        negated = true;
      }
      if (accept_word("like")) {
        left = binary("like", std::move(left), concatenation());
        left->negated = negated;
      } else if (accept_word("between")) {
        auto e = std::make_unique<Expr>();
        e->type = Expr::Type::Between;
        e->negated = negated;
        e->args.push_back(std::move(left));
        e->args.push_back(concatenation());
        expect_word("and");
        e->args.push_back(concatenation());
        left = std::move(e);
      } else if (accept_word("in")) {
        auto e = std::make_unique<Expr>();
        e->type = Expr::Type::In;
        e->negated = negated;
        e->args.push_back(std::move(left));
        expect_symbol("(");
        if (is_word("select")) {
          e->subquery = std::make_unique<Query>(query_body());
        } else {
          do e->args.push_back(expression());
          while (accept_symbol(","));
        }
        expect_symbol(")");
        left = std::move(e);
      } else if (accept_word("is")) {
        auto e = std::make_unique<Expr>();
        e->type = Expr::Type::IsNull;
        e->negated = accept_word("not");
        expect_word("null");
        e->args.push_back(std::move(left));
        left = std::move(e);
      } else {
        return left;
      }
    }
  }

  ExprPtr concatenation() {
    auto left = additive();
    while (accept_symbol("&")) left = binary("&", std::move(left), additive());
    return left;
  }

  ExprPtr additive() {
    auto left = modulo();
    for (;;) {
      if (accept_symbol("+")) left = binary("+", std::move(left), modulo());
      else if (accept_symbol("-")) left = binary("-", std::move(left), modulo());
      else return left;
    }
  }

  ExprPtr modulo() {
    auto left = integer_division();
    while (accept_word("mod")) left = binary("mod", std::move(left), integer_division());
    return left;
  }

  ExprPtr integer_division() {
    auto left = multiplicative();
    while (accept_symbol("\\")) left = binary("\\", std::move(left), multiplicative());
    return left;
  }

  ExprPtr multiplicative() {
    auto left = sign();
    for (;;) {
      if (accept_symbol("*")) left = binary("*", std::move(left), sign());
      else if (accept_symbol("/")) left = binary("/", std::move(left), sign());
      else return left;
    }
  }

  ExprPtr sign() {
    if (accept_symbol("-")) {
      auto e = std::make_unique<Expr>();
      e->type = Expr::Type::Unary;
      e->op = "-";
      e->args.push_back(sign());
      return e;
    }
    if (accept_symbol("+")) return sign();
    return power();
  }

  ExprPtr power() {
    auto left = primary();
    while (accept_symbol("^")) left = binary("^", std::move(left), primary());
    return left;
  }

  ExprPtr literal(FieldValue value, bool text = false) {
    auto e = std::make_unique<Expr>();
    e->type = Expr::Type::Literal;
    e->value = std::move(value);
    e->text_literal = text;
    return e;
  }

  ExprPtr primary() {
    const Token& token = peek();
    switch (token.type) {
      case Token::Type::Text: {
        auto e = literal(FieldValue(next().text), true);
        e->parameter = ++quoted_texts_;
        return e;
      }
      case Token::Type::Date: return literal(FieldValue(parse_date_literal(next().text)));
      case Token::Type::Number: {
        std::string text = next().text;
        if (text.find_first_of(".eE") == std::string::npos && text.size() < 19) {
          return literal(FieldValue(static_cast<int64_t>(std::strtoll(text.c_str(), nullptr, 10))));
        }
        return literal(FieldValue(std::strtod(text.c_str(), nullptr)));
      }
      case Token::Type::End: fail("expected an expression");
      default: break;
    }
    if (accept_symbol("(")) {
      if (is_word("select")) {
        auto e = std::make_unique<Expr>();
        e->type = Expr::Type::Subquery;
        e->subquery = std::make_unique<Query>(query_body());
        expect_symbol(")");
        return e;
      }
      auto inner = expression();
      expect_symbol(")");
      return inner;
    }
    if (accept_word("null")) return literal(FieldValue());
    if (accept_word("true")) return literal(FieldValue(true));
    if (accept_word("false")) return literal(FieldValue(false));
    if (accept_word("exists")) {
      auto e = std::make_unique<Expr>();
      e->type = Expr::Type::Exists;
      expect_symbol("(");
      e->subquery = std::make_unique<Query>(query_body());
      expect_symbol(")");
      return e;
    }
    if (accept_symbol("*")) {
      auto e = std::make_unique<Expr>();
      e->type = Expr::Type::Star;
      return e;
    }
    bool callable = token.type == Token::Type::Word &&
                    (!kReserved.count(fold_case(token.text)) || is_word("left") || is_word("right") || is_word("asc"));
    if (callable && is_symbol("(", 1)) {
      auto e = std::make_unique<Expr>();
      e->type = Expr::Type::Call;
      e->name = next().text;
      expect_symbol("(");
      if (!accept_symbol(")")) {
        if (accept_word("distinct")) unsupported("aggregates over DISTINCT values");
        do e->args.push_back(expression());
        while (accept_symbol(","));
        expect_symbol(")");
      }
      return e;
    }
    // A column, possibly qualified: a.b, [a].[b], a!b, a.*.
    std::string first = name();
    if (is_symbol(".") || is_symbol("!")) {
      ++at_;
      auto e = std::make_unique<Expr>();
      if (accept_symbol("*")) {
        e->type = Expr::Type::Star;
        e->qualifier = first;
        return e;
      }
      e->type = Expr::Type::Column;
      e->qualifier = first;
      e->name = name();
      return e;
    }
    auto e = std::make_unique<Expr>();
    e->type = Expr::Type::Column;
    e->name = first;
    return e;
  }
};

}  // namespace

ast::Query parse_select(std::string_view text) { return Parser(tokenize(text)).statement(); }

ast::Query parse_select(std::vector<Token> tokens) { return Parser(std::move(tokens)).statement(); }

bool is_bare_name(std::string_view text, std::string& name) {
  std::vector<Token> tokens;
  try {
    tokens = tokenize(text);
  } catch (const SyntaxError&) {
    return false;
  }
  if (tokens.size() != 2) return false;
  const Token& token = tokens[0];
  if (token.type == Token::Type::Name ||
      (token.type == Token::Type::Word && !kReserved.count(fold_case(token.text)))) {
    name = token.text;
    return true;
  }
  return false;
}

}  // namespace halvaro::sql
