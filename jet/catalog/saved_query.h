#pragma once
// Rebuilding a saved query's SQL text from its rows in the MSysQueries catalog table.
//
// Access does not store a query's text: it stores one row per piece (the query type,
// each table, column, join, ...) and rebuilds the text when asked. This unit does the
// same for select queries, the only kind the old databases' views are.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace halvaro::jet {

// What a MSysQueries row describes (its Attribute column).
enum class QueryAttribute : uint8_t {
  Start = 0,
  Type = 1,        // Flag: the query type
  Parameter = 2,   // Name1 name, Flag data type, Extra text size
  Flags = 3,       // Flag: SelectFlag bits; Name1: the n of TOP n
  RemoteDb = 4,    // Name1 file, Expression connect type
  Table = 5,       // Name1 table, Name2 alias, Expression a source database or subquery
  Column = 6,      // Expression, Name1 alias
  Join = 7,        // Name1 left, Name2 right (table names or aliases), Expression ON, Flag type
  Where = 8,       // Expression
  GroupBy = 9,     // Expression
  Having = 10,     // Expression
  OrderBy = 11,    // Expression, Name1 "D" when descending
  End = 255,
};

// Values of the Type row's Flag.
enum class QueryType : int {
  Select = 1,
  MakeTable = 2,
  Append = 3,
  Update = 4,
  Delete = 5,
  CrossTab = 6,
  DataDefinition = 7,
  PassThrough = 8,
  Union = 9,
};

// Bits of the Flags row's Flag.
namespace select_flag {
inline constexpr int kStar = 0x01;         // SELECT * (after any listed columns)
inline constexpr int kDistinct = 0x02;
inline constexpr int kOwnerAccess = 0x04;  // WITH OWNERACCESS OPTION
inline constexpr int kDistinctRow = 0x08;
inline constexpr int kTop = 0x10;          // TOP n, n in Name1
inline constexpr int kPercent = 0x20;      // TOP n PERCENT
}  // namespace select_flag

// The Flags row's Flag of a union query: the operator between its two parts. Access
// writes 3 for UNION and 1 for UNION ALL; a reader goes by the bit that removes
// duplicates, as select_flag::kDistinct does for a SELECT.
namespace union_flag {
inline constexpr int kUnion = 0x03;
inline constexpr int kUnionAll = 0x01;
inline constexpr int kDistinct = 0x02;
}  // namespace union_flag

// One MSysQueries row of a query, as stored; a null Flag reads as 0.
struct QueryRow {
  QueryAttribute attribute = QueryAttribute::Start;
  std::optional<std::string> expression;
  int flag = 0;
  std::optional<std::string> name1;
  std::optional<std::string> name2;
  int64_t object_id = 0;
  std::optional<int32_t> extra;  // LvExtra: the size of a Text parameter
  uint32_t order = 0;  // Order: place among the query's rows of its attribute, from 1
};

// The SQL text of a saved query from all its rows, each attribute's rows in their
// Order (rows of other queries must be left out). The text has no trailing ";":
//   select      [PARAMETERS p type, ...; ]SELECT [DISTINCT|DISTINCTROW] [TOP n [PERCENT]]
//               columns [FROM tables and joins [IN 'file' [type]]] [WHERE ..]
//               [GROUP BY ..] [HAVING ..] [ORDER BY ..] [WITH OWNERACCESS OPTION]
//   make-table  the select with "INTO target" after its columns
//   append      INSERT INTO target (columns) select
//   update      UPDATE tables SET column = value, ... [WHERE ..]
//   delete      DELETE [columns] FROM tables [WHERE ..]
//   crosstab    TRANSFORM value SELECT row headings FROM .. [WHERE ..] [GROUP BY ..]
//               [HAVING ..] [ORDER BY ..] PIVOT column
//   union       select UNION [ALL] select [ORDER BY ..], each select as stored
//   data definition, pass-through: the stored statement
// Joins nest as Access writes them: "(A LEFT JOIN B ON c1) INNER JOIN C ON c2".
// Throws JetError, naming `query_name`, for rows that do not form a query.
std::string rebuild_query_sql(std::span<const QueryRow> rows, std::string_view query_name = {});

}  // namespace halvaro::jet
