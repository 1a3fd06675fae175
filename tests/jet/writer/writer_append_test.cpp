// Appending rows to copies of the destination databases, read back independently
// with mdbtools' mdb-export.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include <map>
#include <random>
#include <set>

#include "jet/writer/checker.h"
#include "jet/writer/database_writer.h"
#include "tests/jet/writer/writer_rows.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

using test::TempDir;
using writer_rows::invoice;

std::vector<std::string> export_lines(const std::filesystem::path& file, const std::string& table) {
  auto r = test::run_program("mdb-export", {"-D", "%Y-%m-%d %H:%M:%S", file.string(), table});
  EXPECT_EQ(r.status, 0) << r.out;
  std::vector<std::string> lines;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(WriterAppend, RowsReadBackWithMdbExport) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  TempDir dir;
  auto file = dir.copy_in(fixture);
  {
    auto w = DatabaseWriter::open(file);
    const TableDef& t = w->table("tblInvoiceMtr");
    for (int n = 1; n <= 5; ++n) w->append(t, invoice(*w, t, n));
    size_t seen = 0;
    w->database().scan(t, [&](std::span<const FieldValue>) { return ++seen, true; });
    EXPECT_EQ(seen, 5u) << "reads through the writer see its rows";
    w->close();
  }
  {
    auto db = Database::open(file);
    const TableDef& t = db->table("tblInvoiceMtr");
    std::vector<std::vector<FieldValue>> rows;
    db->scan(t, [&](std::span<const FieldValue> v) { return rows.emplace_back(v.begin(), v.end()), true; });
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[2].at(t.find_column("buyer")->position), FieldValue("Müller & Söhne Trading Co."));
    EXPECT_EQ(rows[0].at(t.find_column("InvoiceNo")->position), FieldValue("INV-1"));
    EXPECT_EQ(rows[0].at(t.find_column("TotalSalesTax")->position), FieldValue(Currency{12345}));
  }
  HALVARO_REQUIRE_MDBTOOLS();
  auto lines = export_lines(file, "tblInvoiceMtr");
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_NE(lines[3].find("Müller & Söhne Trading Co."), std::string::npos) << lines[3];
  EXPECT_NE(lines[1].find("\"INV-1\""), std::string::npos) << lines[1];
  EXPECT_NE(lines[1].find("1.2345"), std::string::npos) << lines[1];
}

void expect_clean(const std::filesystem::path& file) {
  auto report = check_database(*Database::open(file));
  for (const auto& p : report.problems) ADD_FAILURE() << p;
}

// Thousands of rows in shuffled key order: leaf and intermediate splits, a table
// outgrowing its inline free-space map, and an autonumber key beside a text index.
TEST(WriterAppend, ThousandsOfRowsKeepEveryIndexAndMapRight) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-nonempty.mdb");
  TempDir dir;
  auto file = dir.copy_in(fixture);
  constexpr int kRows = 20000;
  std::vector<int> order(kRows);
  for (int i = 0; i < kRows; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  {
    auto w = DatabaseWriter::open(file);
    const TableDef& masters = w->table("tblInvoiceMtr");
    const TableDef& details = w->table("tblInvoiceDetail");
    for (int n : order) {
      w->append(masters, invoice(*w, masters, n));
      auto item = w->new_row(details);
      item.at(details.find_column("InvoiceNo")->position) = FieldValue("INV-" + std::to_string(n % 977));
      item.at(details.find_column("StRegNo")->position) = FieldValue("0301234500017");
      item.at(details.find_column("Pct_desc")->position) = FieldValue(std::string(60 + n % 40, 'x'));
      w->append(details, std::move(item));
    }
    w->close();
  }
  expect_clean(file);
  if (test::mdbtools_available()) {
    EXPECT_EQ(export_lines(file, "tblInvoiceMtr").size(), kRows + 2u + 1u);  // header + 2 old rows
  }
  auto db = Database::open(file);
  EXPECT_EQ(db->table("tblInvoiceMtr").row_count, kRows + 2u);
  EXPECT_EQ(db->table("tblInvoiceDetail").row_count, kRows + 3u);
  // The definition's count of distinct keys per index follows.
  EXPECT_EQ(db->table("tblInvoiceMtr").real_indexes.at(0).row_count, kRows + 2u);
  // So does that of an index taking duplicates, whose entries go in a batch at a time:
  // as many as the distinct keys of the rows.
  const TableDef& details = db->table("tblInvoiceDetail");
  const auto by_invoice = std::find_if(details.indexes.begin(), details.indexes.end(),
                                       [](const Index& i) { return i.name == "InvoiceKey"; });
  ASSERT_NE(by_invoice, details.indexes.end());
  const RealIndex& real = details.real_indexes.at(static_cast<size_t>(by_invoice->real_index));
  std::set<std::vector<std::string>> keys;
  db->scan(details, [&](std::span<const FieldValue> v) {
    std::vector<std::string> key;
    for (const auto& c : real.columns) key.push_back(v[c.column].is_null() ? "(null)" : v[c.column].as<std::string>());
    keys.insert(std::move(key));
    return true;
  });
  EXPECT_GE(keys.size(), 977u);
  EXPECT_EQ(real.row_count, keys.size());
  // Autonumbers continue after the 3 rows already there.
  int64_t greatest = 0;
  db->scan(db->table("tblInvoiceDetail"), [&](std::span<const FieldValue> v) {
    greatest = std::max(greatest, v[0].as<int64_t>());
    return true;
  });
  EXPECT_EQ(greatest, kRows + 3);
}

// A value of the column's kind, different for each n (within the column's range).
FieldValue filler(const Column& c, int n, std::mt19937& random) {
  switch (c.type) {
    case ColumnType::Boolean: return FieldValue(n % 2 == 0);
    case ColumnType::Byte: return FieldValue(int64_t{n % 256});
    case ColumnType::Integer: return FieldValue(int64_t{n % 30000});
    case ColumnType::Long: return FieldValue(int64_t{n * 7919});
    case ColumnType::Currency: return FieldValue(Currency{int64_t{n} * 12345 - 500000});
    case ColumnType::Single:
    case ColumnType::Double: return FieldValue(n / 3.0 - 50);
    case ColumnType::DateTime: return FieldValue(DateTime{40000.0 + n / 24.0});
    case ColumnType::Guid: {
      Guid g;
      for (auto& b : g.bytes) b = static_cast<uint8_t>(random());
      return FieldValue(g);
    }
    case ColumnType::Numeric: return FieldValue(Decimal{n * 101, c.scale});
    case ColumnType::Text: {
      // Latin-1, Greek, Urdu, Chinese and a character beyond U+FFFF.
      const char* words[] = {"row ", "Söhne ", "Ελλάδα ", "کراچی ", "中文 ", "\U0001F600 "};
      std::string text = words[n % std::size(words)] + std::to_string(n);
      // Cut to the column's length in UTF-16 units, not in the middle of a character.
      size_t units = 0, at = 0;
      while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const size_t bytes = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const size_t needed = bytes == 4 ? 2 : 1;
        if (units + needed > c.size / 2u) break;
        units += needed;
        at += bytes;
      }
      return FieldValue(text.substr(0, at));
    }
    case ColumnType::Memo: return FieldValue(std::string(n % 5 == 0 ? 9000 : 30, static_cast<char>('a' + n % 26)));
    case ColumnType::Binary:
    case ColumnType::Ole: return FieldValue(Binary(n % 7 == 0 ? 6000 : std::min<size_t>(c.size ? c.size : 8, 8), static_cast<uint8_t>(n)));
  }
  return {};
}

// Rows appended to every table of the files Access made (their defaults applied,
// every other column filled) leave them clean and readable by mdbtools.
TEST(WriterAppend, AccessMadeFilesTakeRowsInEveryTable) {
  HALVARO_REQUIRE_FIXTURE(root, "access");
  TempDir dir;
  std::mt19937 random(3);
  size_t appended = 0, refused = 0;
  for (const char* version : {"V2000", "V2003"}) {
    for (const auto& entry : std::filesystem::directory_iterator(root / version)) {
      auto file = dir.copy_in(entry.path());
      std::map<std::string, uint32_t> expected;
      {
        auto w = DatabaseWriter::open(file);
        for (const std::string& name : w->database().table_names()) {
          const TableDef& t = w->table(name);
          expected[name] = t.row_count;
          for (int n = 0; n < 300; ++n) {
            auto row = w->new_row(t);
            for (const Column& c : t.columns)
              if (!c.autonumber && (row[c.position].is_null() || n % 2)) row[c.position] = filler(c, n, random);
            try {
              w->append(t, std::move(row));
              ++expected[name];
              ++appended;
            } catch (const ConstraintError&) {
              ++refused;  // e.g. a unique index over a few distinct values
            }
          }
        }
        w->close();
      }
      auto db = Database::open(file);
      auto report = check_database(*db);
      for (const auto& p : report.problems) ADD_FAILURE() << entry.path().filename() << ": " << p;
      for (const auto& [name, count] : expected) {
        EXPECT_EQ(db->table(name).row_count, count) << entry.path().filename() << " " << name;
        if (!test::mdbtools_available()) continue;
        const auto exported = test::run_program("mdb-export", {file.string(), name});
        EXPECT_EQ(exported.status, 0);
        EXPECT_GE(static_cast<size_t>(std::count(exported.out.begin(), exported.out.end(), '\n')), count + 1u)
            << entry.path().filename() << " " << name;
      }
    }
  }
  EXPECT_GT(appended, 10000u);
  std::cout << "[ info ] " << appended << " rows appended, " << refused << " refused by unique indexes\n";
}

// A ReplicationID column left empty gets a new random GUID (version 4) per row, as
// Access hands them out; one given is kept. The table's primary key is that column,
// so every row used to be refused as a Null key.
TEST(WriterAppend, ReplicationIdColumnsGetAFreshGuidPerRow) {
  HALVARO_REQUIRE_FIXTURE(fixture, "access/V2000/testV2000.mdb");
  TempDir dir;
  auto file = dir.copy_in(fixture);
  Guid given;
  given.bytes = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0x4E, 0x8F, 1, 2, 3, 4, 5, 6, 7};
  {
    auto w = DatabaseWriter::open(file);
    const TableDef& t = w->table("Table4");
    for (int n = 0; n < 40; ++n) {
      auto row = w->new_row(t);
      row[t.find_column("name")->position] = FieldValue("row " + std::to_string(n));
      if (n == 7) row[t.find_column("data")->position] = FieldValue(given);
      ASSERT_NO_THROW(w->append(t, std::move(row))) << n;
    }
    w->close();
  }
  expect_clean(file);
  auto db = Database::open(file);
  std::set<std::string> guids;
  db->scan(db->table("Table4"), [&](std::span<const FieldValue> v) {
    const auto& b = v[1].as<Guid>().bytes;
    if (v[0] == FieldValue("row 7")) {
      EXPECT_EQ(v[1].as<Guid>(), given);
    } else {
      EXPECT_EQ(b[7] >> 4, 4) << "version 4: " << to_string(v[1].as<Guid>());
      EXPECT_EQ(b[8] >> 6, 2) << "RFC 4122 variant: " << to_string(v[1].as<Guid>());
    }
    guids.insert(to_string(v[1].as<Guid>()));
    return true;
  });
  EXPECT_EQ(guids.size(), 40u) << "each row its own GUID";
  // mdbtools reads every row with the GUID we read (it prints one dash fewer).
  HALVARO_REQUIRE_MDBTOOLS();
  auto lines = export_lines(file, "Table4");
  ASSERT_EQ(lines.size(), 41u);
  auto digits = [](std::string s) { return std::erase(s, '-'), s; };
  std::string exported;
  for (const auto& line : lines) exported += digits(line) + "\n";
  for (const auto& g : guids) EXPECT_NE(exported.find(digits(g)), std::string::npos) << g << " in\n" << exported;
}

TEST(WriterAppend, NewRowsStartWithTheColumnsDefaultsAndItsRulesHold) {
  HALVARO_REQUIRE_FIXTURE(fixture, "access/V2003/testV2003.mdb");
  TempDir dir;
  auto w = DatabaseWriter::open(dir.copy_in(fixture));
  const Database& db = w->database();
  for (const std::string& name : db.table_names()) {
    const TableDef& t = db.table(name);
    auto row = w->new_row(t);
    for (const Column& c : t.columns) {
      if (c.default_value == "0" && c.type == ColumnType::Long) {
        EXPECT_EQ(row[c.position], FieldValue(int64_t{0}));
      }
      if (c.type == ColumnType::Text && !c.allow_zero_length) {
        row[c.position] = FieldValue("");
        EXPECT_THROW(w->append(t, row), ConstraintError) << name << "." << c.name;
        row[c.position] = FieldValue();
      }
    }
  }
}

}  // namespace
}  // namespace halvaro::jet

namespace halvaro::jet {
namespace {

// A file near the most pages it may hold refuses the next row before touching anything:
// the rows appended since the last commit stay and are committed at close. The page
// store refuses a page past the limit as well. The limit stands for the 2 GiB past
// which Access cannot open a file. The item table's index takes duplicates, so its
// entries wait to go in a batch at a time: they go in while there is room for them.
TEST(WriterAppend, AFullFileRefusesTheNextRowAndKeepsTheRowsBeforeIt) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  for (const std::string table : {"tblInvoiceMtr", "tblInvoiceDetail"}) {
    SCOPED_TRACE(table);
    TempDir dir;
    auto file = dir.copy_in(fixture);
    const auto pages = static_cast<uint32_t>(std::filesystem::file_size(file) / 4096);
    WriterOptions options;
    options.commit_rows = 1000000;  // nothing committed before close
    options.commit_interval = std::chrono::hours(1);
    options.pages_for_one_row = 2;
    options.max_pages = pages + (table == "tblInvoiceMtr" ? 6 : 40);
    size_t stored = 0;
    {
      auto w = DatabaseWriter::open(file, options);
      const TableDef& t = w->table(table);
      auto row_of = [&](int n) {
        if (table == "tblInvoiceMtr") return invoice(*w, t, n);
        auto item = w->new_row(t);
        item.at(t.find_column("InvoiceNo")->position) = FieldValue("INV-" + std::to_string(n % 97));
        item.at(t.find_column("StRegNo")->position) = FieldValue("0301234500017");
        item.at(t.find_column("Pct_desc")->position) = FieldValue(std::string(60 + n % 40, 'x'));
        return item;
      };
      try {
        for (int n = 1; n <= 100000; ++n, ++stored) w->append(t, row_of(n));
        FAIL() << "the file never filled";
      } catch (const JetError& error) {
        EXPECT_NE(std::string(error.what()).find(" is full: it would grow past "), std::string::npos) << error.what();
      }
      // A refused row takes nothing back: a caller counting rollbacks keeps every row.
      EXPECT_EQ(w->rollbacks(), 0u);
      EXPECT_EQ(w->commits(), 0u);
      w->commit();
      EXPECT_EQ(w->commits(), 1u);
      w->close();
    }
    EXPECT_GT(stored, 50u);
    EXPECT_LE(std::filesystem::file_size(file), uint64_t{options.max_pages} * 4096);
    auto db = Database::open(file);
    size_t rows = 0;
    db->scan(db->table(table), [&](std::span<const FieldValue>) { return ++rows, true; });
    EXPECT_EQ(rows, stored);
    const auto report = check_database(*db);
    for (const auto& p : report.problems) ADD_FAILURE() << p;
  }
}

}  // namespace
}  // namespace halvaro::jet
