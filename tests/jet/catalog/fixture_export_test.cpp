// Reads every table of every fixture database and compares it, value by value,
// with what mdbtools' mdb-export prints for the same table.
//
// mdb-export runs as
//   mdb-export -H -T '%Y-%m-%d %H:%M:%S' -b hex FILE TABLE
// and its CSV is parsed by the rules it writes (text in double quotes, quotes
// doubled, line breaks kept inside quotes). Normalisation:
// - null and empty text both print as an empty field (mdb-export does not tell
//   them apart), so an empty field accepts either;
// - booleans print as 1/0, whole numbers in decimal, currency with four decimals;
// - Single and Double are compared as numbers with a relative tolerance, since
//   mdb-export prints a limited number of digits;
// - Date/Time is compared as "YYYY-MM-DD HH:MM:SS", allowing one second of
//   difference (the two round fractions of a second differently);
//   mdb-export prints dates before 1900 as "1900-01-00 00:00:00";
// - binary and OLE values print as hex, GUIDs in braces, Numeric as plain decimals
//   (compared as numbers without trailing zeros);
// - mdb-export prints '?' for characters it cannot convert (Windows-1252 bytes
//   with no character, which we read as the C1 controls U+0080-U+009F), and "??"
//   for a character beyond U+FFFF (one '?' per half of its surrogate pair).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "jet/catalog/database.h"
#include "tests/support/fixtures.h"
#include "tests/support/output_text.h"

namespace halvaro::jet {
namespace {

namespace fs = std::filesystem;

// A field as printed: its text and whether it was quoted (text-like columns).
struct Printed {
  std::string text;
  bool quoted = false;
};
using Rows = std::vector<std::vector<Printed>>;

Rows parse_csv(const std::string& csv) {
  Rows rows;
  std::vector<Printed> row;
  Printed field;
  bool in_quotes = false;
  for (size_t i = 0; i < csv.size(); ++i) {
    const char c = csv[i];
    if (in_quotes) {
      if (c != '"') {
        field.text += c;
      } else if (i + 1 < csv.size() && csv[i + 1] == '"') {
        field.text += '"';
        ++i;
      } else {
        in_quotes = false;
      }
    } else if (c == '"') {
      in_quotes = field.quoted = true;
    } else if (c == ',') {
      row.push_back(std::move(field));
      field = {};
    } else if (c == '\n') {
      row.push_back(std::move(field));
      field = {};
      rows.push_back(std::move(row));
      row.clear();
    } else {
      field.text += c;
    }
  }
  return rows;
}

Rows mdb_export(const fs::path& file, const std::string& table) {
  const test::CommandResult result = test::run_program(
      "mdb-export", {"-H", "-T", "%Y-%m-%d %H:%M:%S", "-b", "hex", file.string(), table}, test::ErrorOutput::dropped);
  EXPECT_EQ(result.status, 0) << "mdb-export " << file << " " << table;
  return parse_csv(result.out);
}

std::string hex(const Binary& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (const uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::string currency_text(Currency value) {
  const bool negative = value.scaled < 0;
  const auto magnitude = negative ? -static_cast<unsigned long long>(value.scaled)
                                  : static_cast<unsigned long long>(value.scaled);
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%s%llu.%04llu", negative ? "-" : "", magnitude / 10000,
                magnitude % 10000);
  return buffer;
}

// Plain decimal without trailing zeros after the point, "-0" as "0".
// mdb-export's '?' stands for a C1 control character (U+0080-U+009F) in ours, and
// its "??" for a character beyond U+FFFF (four UTF-8 bytes in ours).
bool same_text(const std::string& ours, const std::string& printed) {
  size_t i = 0, j = 0;
  while (i < ours.size() && j < printed.size()) {
    const auto lead = static_cast<unsigned char>(ours[i]);
    const auto next = i + 1 < ours.size() ? static_cast<unsigned char>(ours[i + 1]) : 0;
    if (printed[j] == '?' && lead == 0xC2 && next >= 0x80 && next < 0xA0) {
      i += 2;
      ++j;
    } else if (lead >= 0xF0 && printed.compare(j, 2, "??") == 0 && i + 4 <= ours.size()) {
      i += 4;
      j += 2;
    } else if (ours[i] == printed[j]) {
      ++i;
      ++j;
    } else {
      return false;
    }
  }
  return i == ours.size() && j == printed.size();
}

std::string trim_decimal(std::string text) {
  if (text.find('.') != std::string::npos) {
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  return text;
}

double seconds_of(const std::string& iso) {
  CivilTime civil;
  if (std::sscanf(iso.c_str(), "%d-%d-%d %d:%d:%d", &civil.year, &civil.month, &civil.day,
                  &civil.hour, &civil.minute, &civil.second) != 6)
    return NAN;
  return from_civil(civil).days * 86400.0;
}

// Empty when the value matches what mdb-export printed, else a description.
std::string mismatch(const Column& column, const FieldValue& value, const Printed& printed) {
  const std::string& text = printed.text;
  const bool quoted = printed.quoted;
  std::string ours;
  if (value.is_null()) {
    if (text.empty()) return {};
    ours = "null";
  } else if (value.is<std::string>()) {
    if (text.empty() && value.as<std::string>().empty()) return {};
    if (quoted && same_text(value.as<std::string>(), text)) return {};
    ours = value.as<std::string>();
  } else if (value.is<bool>()) {
    if (text == (value.as<bool>() ? "1" : "0")) return {};
    ours = value.as<bool>() ? "true" : "false";
  } else if (value.is<int64_t>()) {
    ours = std::to_string(value.as<int64_t>());
    if (text == ours) return {};
  } else if (value.is<Currency>()) {
    ours = currency_text(value.as<Currency>());
    if (text == ours) return {};
  } else if (value.is<double>()) {
    const double expected = std::strtod(text.c_str(), nullptr);
    const double actual = value.as<double>();
    const double tolerance = column.type == ColumnType::Single ? 1e-6 : 1e-9;
    if (std::fabs(actual - expected) <= tolerance * std::max(1.0, std::fabs(expected))) return {};
    ours = std::to_string(actual);
  } else if (value.is<DateTime>()) {
    ours = to_iso8601(value.as<DateTime>());
    if (std::fabs(seconds_of(ours) - seconds_of(text)) <= 1.0) return {};
    // mdbtools cannot format dates before 1900 and prints this instead.
    if (text == "1900-01-00 00:00:00" && value.as<DateTime>().days < 2.0) return {};
  } else if (value.is<Decimal>()) {
    ours = trim_decimal(to_string(value.as<Decimal>()));
    if (trim_decimal(text) == ours) return {};
  } else if (value.is<Guid>()) {
    // Printed as the hex of its braced text, which lacks the hyphen between the
    // fourth and fifth groups (an mdbtools slip; the digits are what count).
    ours = to_string(value.as<Guid>());
    std::string mdbtools_form = ours;
    mdbtools_form.erase(24, 1);
    if (text == hex(Binary(mdbtools_form.begin(), mdbtools_form.end()))) return {};
  } else if (value.is<Binary>()) {
    ours = hex(value.as<Binary>());
    if (text == ours) return {};
  }
  return "column " + column.name + ": ours " + ours + ", mdb-export " + text;
}

std::vector<std::string> row_mismatches(const TableDef& table, const std::vector<FieldValue>& ours,
                                        const std::vector<Printed>& printed) {
  if (ours.size() != printed.size())
    return {"row has " + std::to_string(ours.size()) + " values, mdb-export printed " +
            std::to_string(printed.size())};
  std::vector<std::string> problems;
  for (size_t i = 0; i < ours.size(); ++i) {
    std::string problem = mismatch(table.columns[i], ours[i], printed[i]);
    if (!problem.empty()) problems.push_back(std::move(problem));
  }
  return problems;
}

std::vector<std::vector<FieldValue>> read_all(const Database& db, const TableDef& table) {
  std::vector<std::vector<FieldValue>> rows;
  db.scan(table, [&](std::span<const FieldValue> values) {
    rows.emplace_back(values.begin(), values.end());
    return true;
  });
  return rows;
}

// Rows are compared in storage order, except that mdb-export prints a row that
// an update moved to another page (an overflow row) where its bytes lie, while
// we return it at its original slot: a row that differs from its counterpart
// may match any row mdb-export printed that no other row matched.
void check_rows(const TableDef& table, const std::vector<std::vector<FieldValue>>& ours,
                const Rows& printed) {
  EXPECT_EQ(ours.size(), printed.size()) << "row count";
  std::vector<bool> used(printed.size(), false);
  std::vector<size_t> unmatched;
  for (size_t row = 0; row < ours.size(); ++row) {
    if (row < printed.size() && !used[row] && row_mismatches(table, ours[row], printed[row]).empty()) {
      used[row] = true;
    } else {
      unmatched.push_back(row);
    }
  }
  size_t reported = 0;
  for (const size_t row : unmatched) {
    bool found = false;
    for (size_t other = 0; other < printed.size() && !found; ++other) {
      if (!used[other] && row_mismatches(table, ours[row], printed[other]).empty())
        used[other] = found = true;
    }
    if (found || ++reported > 5) continue;
    const auto problems = row < printed.size() ? row_mismatches(table, ours[row], printed[row])
                                               : std::vector<std::string>{"no such row printed"};
    for (const auto& problem : problems) ADD_FAILURE() << "row " << row << ": " << problem;
  }
}

// Every shared fixture, and the databases the build made: for those, mdbtools reading
// what our writer wrote checks the writer against a reader that is not ours.
std::vector<fs::path> fixture_files() {
  std::vector<fs::path> files;
  for (const fs::path& dir : {test::fixtures_dir(), test::built_databases_dir()}) {
    if (dir.empty() || !fs::is_directory(dir)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
      if (entry.path().extension() == ".mdb") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Our reading alone, where mdbtools cannot check it: every table of every database reads
// whole, each row with a value for each column.
TEST(FixtureExport, EveryTableReadsWhole) {
  const auto files = fixture_files();
  if (files.empty()) GTEST_SKIP() << "no fixtures folder beside this checkout and no databases built";
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.string());
    const auto db = Database::open(file);
    for (const std::string& name : db->table_names()) {
      SCOPED_TRACE(name);
      const TableDef& table = db->table(name);
      const auto rows = read_all(*db, table);
      EXPECT_EQ(rows.size(), table.row_count);
      for (const auto& row : rows) ASSERT_EQ(row.size(), table.columns.size());
    }
  }
}

TEST(FixtureExport, EveryTableMatchesMdbExport) {
  HALVARO_REQUIRE_MDBTOOLS();
  const auto files = fixture_files();
  if (files.empty()) GTEST_SKIP() << "no fixtures folder beside this checkout and no databases built";
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.string());
    const auto db = Database::open(file);
    const auto listed = test::split_at(test::run_program("mdb-tables", {"-1", file.string()}).out, '\n');
    std::vector<std::string> expected_tables;
    for (const auto& name : listed)
      if (!name.empty()) expected_tables.push_back(name);
    // mdb-tables lists a catalog row that an update moved (an overflow row) where
    // its bytes now lie; we list it at its own slot. So compare the names as sets.
    auto ours = db->table_names();
    std::sort(ours.begin(), ours.end());
    std::sort(expected_tables.begin(), expected_tables.end());
    EXPECT_EQ(ours, expected_tables);

    for (const std::string& name : db->table_names()) {
      SCOPED_TRACE(name);
      const TableDef& table = db->table(name);
      check_rows(table, read_all(*db, table), mdb_export(file, name));
    }
  }
}

}  // namespace
}  // namespace halvaro::jet
