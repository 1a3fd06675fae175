#include "sql/parser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sql/query_engine.h"
#include "tests/sql/print_value.h"

namespace halvaro::sql {
namespace {

std::string syntax_error(std::string_view sql) {
  try {
    parse_select(sql);
  } catch (const SyntaxError& e) {
    return e.what();
  }
  return "no error";
}

TEST(Parser, ReadsTheShapesSavedQueriesUse) {
  // Brackets, bang qualifiers, owner-less names, aliases with and without AS, a
  // trailing semicolon and line breaks as Access stores them.
  ast::Query q = parse_select(
      "SELECT DISTINCTROW [Order Details].[Unit Price] AS Price, o!Qty q, T.*\r\n"
      "FROM ([Order Details] INNER JOIN Orders AS o ON [Order Details].ID = o.ID) RIGHT JOIN T ON T.ID = o.ID\r\n"
      "WHERE o.Qty Not Between 1 And 5 AND T.Name Not Like \"x*\" AND T.ID Not In (1, 2)\r\n"
      "ORDER BY 1 DESC;\r\n");
  const ast::Select& s = q.selects[0];
  EXPECT_TRUE(s.distinct_row);
  ASSERT_EQ(s.items.size(), 3u);
  EXPECT_EQ(s.items[0].expr->qualifier, "Order Details");
  EXPECT_EQ(s.items[0].expr->name, "Unit Price");
  EXPECT_EQ(s.items[0].alias, "Price");
  EXPECT_EQ(s.items[1].expr->qualifier, "o");
  EXPECT_EQ(s.items[1].alias, "q");
  EXPECT_EQ(s.items[2].expr->type, ast::Expr::Type::Star);
  ASSERT_EQ(s.from->type, ast::FromItem::Type::Join);
  EXPECT_EQ(s.from->join, "right");
  EXPECT_EQ(s.from->left->join, "inner");
  EXPECT_EQ(s.from->left->right->alias, "o");
  EXPECT_TRUE(q.order_by[0].descending);
}

TEST(Parser, LiteralsAndOperatorPrecedence) {
  ast::Query q = parse_select("SELECT 'it''s', \"say \"\"hi\"\"\", #8/17/2023 14:35:20#, #2023-08-17#, 1.5, 12, True");
  const auto& items = q.selects[0].items;
  EXPECT_EQ(items[0].expr->value, FieldValue("it's"));
  EXPECT_EQ(items[1].expr->value, FieldValue("say \"hi\""));
  EXPECT_EQ(items[2].expr->value, FieldValue(from_civil({2023, 8, 17, 14, 35, 20})));  // month first
  EXPECT_EQ(items[3].expr->value, FieldValue(from_civil({2023, 8, 17, 0, 0, 0})));
  EXPECT_EQ(items[4].expr->value, FieldValue(1.5));
  EXPECT_EQ(items[5].expr->value, FieldValue(int64_t{12}));
  EXPECT_EQ(items[6].expr->value, FieldValue(true));

  // Evaluated: ^ binds tighter than unary minus, & looser than +, Not looser than =.
  QueryEngine engine(std::make_shared<MemorySource>());
  auto first = [&](const char* sql) { return engine.execute(sql).rows.at(0).at(0); };
  EXPECT_EQ(first("SELECT -2^2"), FieldValue(-4.0));
  EXPECT_EQ(first("SELECT 'a' & 1 + 2 * 3"), FieldValue("a7"));
  EXPECT_EQ(first("SELECT 7 - 2 - 1"), FieldValue(int64_t{4}));
  EXPECT_EQ(first("SELECT 10 Mod 4 * 2"), FieldValue(int64_t{2}));
  EXPECT_EQ(first("SELECT Not 1 = 2"), FieldValue(true));
  EXPECT_EQ(first("SELECT 1 = 1 Or 1 = 2 And 1 = 2"), FieldValue(true));
}

TEST(Lexer, DoubleMinusIsACommentOnlyInScripts) {
  // In a query 5--3 is 5 minus minus 3; scripts for create and exec take -- as a comment.
  std::vector<Token> query = tokenize("SELECT 5--3");
  ASSERT_EQ(query.size(), 6u);
  EXPECT_EQ(query[2].text, "-");
  EXPECT_EQ(query[3].text, "-");
  std::vector<Token> script = tokenize("SELECT 5 -- the rest\nFROM", LexOptions{.line_comments = true});
  ASSERT_EQ(script.size(), 4u);
  EXPECT_EQ(script[2].text, "FROM");
  EXPECT_EQ(script[2].offset, 21u);
  EXPECT_EQ(script[2].end, 25u);
  EXPECT_EQ(script[3].type, Token::Type::End);
}

TEST(Lexer, ErrorsSayWhatAndWhere) {
  struct Case {
    const char* sql;
    LexError::Problem problem;
    size_t offset;
  };
  const Case cases[] = {
      {"SELECT 'abc", LexError::Problem::UnclosedText, 7},
      {"SELECT [abc", LexError::Problem::UnclosedName, 7},
      {"SELECT #2024-01-01", LexError::Problem::UnclosedDate, 7},
      {"SELECT a ? b", LexError::Problem::StrayCharacter, 9},
  };
  for (const Case& c : cases) {
    try {
      tokenize(c.sql);
      ADD_FAILURE() << "accepted: " << c.sql;
    } catch (const LexError& e) {
      EXPECT_EQ(e.problem, c.problem) << c.sql;
      EXPECT_EQ(e.offset, c.offset) << c.sql;
    }
  }
}

TEST(Parser, ReportsWhereTheTextIsWrongAndWhatIsUnsupported) {
  EXPECT_THAT(syntax_error("SELECT 'abc FROM T"), testing::HasSubstr("unterminated text literal at character 8"));
  EXPECT_THAT(syntax_error("SELECT [abc FROM T"), testing::HasSubstr("unterminated name"));
  EXPECT_THAT(syntax_error("SELECT * FROM T WHERE"), testing::HasSubstr("expected an expression near the end"));
  EXPECT_THAT(syntax_error("SELECT * FROM T WHERE a = 'x' 'y'"), testing::HasSubstr("unexpected 'y'"));
  EXPECT_THAT(syntax_error("SELECT * FROM T WHERE d = #13/45/2023#"), testing::HasSubstr("not a date"));
  EXPECT_THAT(syntax_error("PARAMETERS x Long; SELECT * FROM T"), testing::HasSubstr("PARAMETERS"));
  EXPECT_THAT(syntax_error("TRANSFORM Sum(a) SELECT b FROM T GROUP BY b PIVOT c"), testing::HasSubstr("crosstab"));
  EXPECT_THAT(syntax_error("SELECT a INTO T2 FROM T"), testing::HasSubstr("make-table"));
  EXPECT_THAT(syntax_error("SELECT * FROM T IN 'other.mdb'"), testing::HasSubstr("other databases"));
  EXPECT_THAT(syntax_error("SELECT * FROM a FULL OUTER JOIN b ON a.x = b.x"), testing::HasSubstr("FULL OUTER"));
  EXPECT_THAT(syntax_error("SELECT Count(DISTINCT a) FROM T"), testing::HasSubstr("DISTINCT"));
}

}  // namespace
}  // namespace halvaro::sql
