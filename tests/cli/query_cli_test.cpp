// `halvaro query` as a user runs it, on a view longer than the rows a result holds in
// memory: the rest wait in a temporary file, and every row must still be printed once,
// in the statement's order.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(QueryCli, PrintsEveryRowOfALongViewInOrder) {
  TempDir dir;
  const auto script = dir.path() / "long.sql";
  constexpr int kRows = 10000;  // more than the 4,096 a result keeps as values
  {
    std::ofstream out(script);
    out << "CREATE TABLE tblItem (Id LONG, Name TEXT(20));\n"
           "CREATE VIEW vwItem AS SELECT tblItem.Id, tblItem.Name FROM tblItem WHERE tblItem.Id Mod 2 = 0;\n";
    for (int n = kRows; n > 0; --n) out << "INSERT INTO tblItem VALUES (" << n << ", 'item " << n << "');\n";
  }
  const auto file = dir.path() / "long.mdb";
  auto create = run_halvaro({"create", file.string(), script.string()}, ErrorOutput::merged);
  ASSERT_EQ(create.status, 0) << create.out;

  auto view = run_halvaro({"query", file.string(), "vwItem"}, ErrorOutput::merged);
  ASSERT_EQ(view.status, 0) << view.out.substr(0, 500);
  auto lines = lines_of(view.out);
  ASSERT_EQ(lines.size(), 1u + kRows / 2);
  EXPECT_EQ(lines[0], "Id,Name");
  EXPECT_EQ(lines[1], "10000,item 10000");  // the table's order: inserted downwards
  EXPECT_EQ(lines.back(), "2,item 2");

  auto sorted = run_halvaro({"query", file.string(), "SELECT Id FROM tblItem ORDER BY Id"}, ErrorOutput::merged);
  ASSERT_EQ(sorted.status, 0) << sorted.out.substr(0, 500);
  lines = lines_of(sorted.out);
  ASSERT_EQ(lines.size(), 1u + kRows);
  for (int n = 1; n <= kRows; ++n) ASSERT_EQ(lines[static_cast<size_t>(n)], std::to_string(n));
}

}  // namespace
}  // namespace halvaro::test
