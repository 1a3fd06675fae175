#include "sql/translator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "sql/parser.h"
#include "sql/query_engine.h"

namespace halvaro::sql {
namespace {

// Two tables: orders (t1) and partners (t2).
class TwoTables final : public RelationResolver {
 public:
  const Relation& relation(std::string_view name) override {
    if (auto found = relations_.find(std::string(name)); found != relations_.end()) return found->second;
    throw QueryError("there is no table named '" + std::string(name) + "'");
  }

 private:
  std::map<std::string, Relation> relations_{
      {"orders", {"t1", {{"Claimant", Kind::Text}, {"Partner", Kind::Text}, {"Amount", Kind::Long}}}},
      {"partners", {"t2", {{"Claimant", Kind::Text}, {"Partner", Kind::Text}, {"Name", Kind::Text}, {"Code", Kind::Long}}}},
  };
};

std::vector<std::pair<std::string, std::vector<std::string>>> hints_of(const std::string& access_sql) {
  TwoTables tables;
  std::vector<std::pair<std::string, std::vector<std::string>>> out;
  for (const IndexHint& hint : translate(parse_select(access_sql), tables).index_hints)
    out.emplace_back(hint.table, hint.terms);
  return out;
}

using Hints = std::vector<std::pair<std::string, std::vector<std::string>>>;

// A join looks up the rows of its inner table once per row of the other: the equality
// tests of its ON clause against the inner table's columns name the index that serves it,
// with the collation the comparison uses (an index of another collation would not be used).
TEST(Translator, JoinsNameTheIndexOfTheirInnerTable) {
  const Hints partners_by_claimant_and_partner{{"t2", {"c0 COLLATE JET", "c1 COLLATE JET"}}};
  EXPECT_EQ(hints_of("Select o.*, p.Name From orders As o Left Join partners As p On "
                     "(o.Claimant = p.Claimant And o.Partner = p.Partner)"),
            partners_by_claimant_and_partner);
  EXPECT_EQ(hints_of("Select * From orders Inner Join partners On partners.Partner = orders.Partner"),
            (Hints{{"t2", {"c1 COLLATE JET"}}}));
  // A right join keeps every row of the right table and looks up the left one.
  EXPECT_EQ(hints_of("Select * From partners Right Join orders On orders.Partner = partners.Partner"),
            (Hints{{"t2", {"c1 COLLATE JET"}}}));
  // A number compared with a number needs no collation; a constant is a key as well.
  EXPECT_EQ(hints_of("Select * From orders Left Join partners On orders.Amount = partners.Code And partners.Name = 'x'"),
            (Hints{{"t2", {"c3", "c2 COLLATE JET"}}}));
  // A join inside a subquery of the ON clause names its own index; the test around the
  // subquery and the tests after it still belong to the outer join, whose test of one
  // of its outer table's columns names nothing.
  EXPECT_EQ(hints_of("Select * From orders Left Join partners On partners.Code = (Select Max(o.Amount) From orders As o "
                     "Inner Join partners As p On o.Partner = p.Partner) And orders.Claimant = 'x'"),
            (Hints{{"t2", {"c1 COLLATE JET"}}, {"t2", {"c3"}}}));
}

std::vector<std::string> covered_of(const std::string& access_sql) {
  TwoTables tables;
  std::vector<std::string> out;
  for (const IndexHint& hint : translate(parse_select(access_sql), tables).index_hints)
    out.insert(out.end(), hint.covered.begin(), hint.covered.end());
  return out;
}

// An outer join's index may hold the other columns the statement reads from its inner
// table (wherever it reads them), so that a lookup reads the index alone; an inner
// join's may not (SQLite could then choose to read the tables the other way round), nor
// one that would hold most of a wide table.
TEST(Translator, OuterJoinsNameTheColumnsTheyReadFromTheirInnerTable) {
  EXPECT_EQ(covered_of("Select o.*, p.Name From orders As o Left Join partners As p On "
                       "(o.Claimant = p.Claimant And o.Partner = p.Partner)"),
            std::vector<std::string>{"c2"});
  EXPECT_EQ(covered_of("Select orders.Amount From orders Left Join partners On orders.Partner = partners.Partner "
                       "Where partners.Code > 1 Order By partners.Name"),
            (std::vector<std::string>{"c2", "c3"}));
  EXPECT_EQ(covered_of("Select orders.Amount From partners Right Join orders On orders.Partner = partners.Partner And "
                       "partners.Code > orders.Amount"),
            std::vector<std::string>{"c3"});
  EXPECT_EQ(covered_of("Select orders.Amount From orders Left Join partners On orders.Partner = partners.Partner"),
            std::vector<std::string>{});
  EXPECT_EQ(covered_of("Select partners.Name From orders Inner Join partners On orders.Partner = partners.Partner"),
            std::vector<std::string>{});
}

// The tests inside a subquery name columns of the subquery's tables: none of them may
// join the index of the statement around it (an index on the outer table naming an
// inner table's column made the statement fail: "no such column").
TEST(Translator, ASubqueryKeepsItsTestsOutOfTheOuterIndex) {
  EXPECT_EQ(hints_of("Select * From orders Where Partner = (Select Top 1 Partner From partners Where Name = 'x') "
                     "And Claimant = 'y'"),
            (Hints{{"t1", {"c0 COLLATE JET"}}}));
  EXPECT_EQ(hints_of("Select * From orders Where Amount In (Select Code From partners Where Name = 'x') And "
                     "Claimant = 'y'"),
            (Hints{{"t1", {"c0 COLLATE JET"}}}));
}

TEST(Translator, JoinsWithoutAnEqualityOnTheInnerTableNameNoIndex) {
  // Or: no one index serves both sides.
  EXPECT_EQ(hints_of("Select * From orders Left Join partners On orders.Partner = partners.Partner Or "
                     "orders.Claimant = partners.Claimant"),
            Hints{});
  // A test of the other table alone, and a comparison that is not an equality.
  EXPECT_EQ(hints_of("Select * From orders Left Join partners On orders.Partner = 'x' And partners.Code > orders.Amount"),
            Hints{});
  // A subquery has no table to index.
  EXPECT_EQ(hints_of("Select * From orders Left Join (Select Partner From partners) As p On orders.Partner = p.Partner"),
            Hints{});
}

}  // namespace
}  // namespace halvaro::sql
