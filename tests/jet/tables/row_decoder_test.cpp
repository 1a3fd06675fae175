// Row layouts built by hand: every storage form of a value, rows written before
// columns were added, the Jet 3 jump table, long values, and damaged rows.

#include "jet/tables/row_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "jet/base/errors.h"
#include "tests/jet/page_builder.h"

namespace halvaro::jet {
namespace {

using namespace test_pages;

Column fixed_column(const char* name, ColumnType type, uint16_t number, uint16_t offset, uint16_t size) {
  Column c;
  c.name = name;
  c.type = type;
  c.number = number;
  c.position = number;
  c.fixed = true;
  c.fixed_offset = offset;
  c.size = size;
  return c;
}

Column variable_column(const char* name, ColumnType type, uint16_t number, uint16_t index) {
  Column c;
  c.name = name;
  c.type = type;
  c.number = number;
  c.position = number;
  c.variable_index = index;
  return c;
}

// Long, Boolean, Text, Currency, Memo, Numeric(scale 2), and a Text column
// added after the rows below were written.
TableDef jet4_table() {
  TableDef t;
  t.format = Format::Jet4;
  t.columns = {fixed_column("id", ColumnType::Long, 0, 0, 4),
               fixed_column("flag", ColumnType::Boolean, 1, 0, 0),
               variable_column("name", ColumnType::Text, 2, 0),
               fixed_column("amount", ColumnType::Currency, 3, 4, 8),
               variable_column("notes", ColumnType::Memo, 4, 1),
               fixed_column("exact", ColumnType::Numeric, 5, 12, 17),
               variable_column("added", ColumnType::Text, 6, 2)};
  t.columns[5].scale = 2;
  return t;
}

// A Jet 4 row of jet4_table() written when it had six columns.
Bytes jet4_row(uint8_t null_mask) {
  Bytes row;
  append16(row, 6);                   // columns in this row
  append32(row, static_cast<uint32_t>(-7));  // id
  append32(row, 123456);              // amount = 12.3456, low half
  append32(row, 0);
  row.push_back(0x80);                // exact = -123.45: sign, then 12345 in the last word
  for (int i = 0; i < 12; ++i) row.push_back(0);
  append32(row, 12345);
  const uint32_t name_at = static_cast<uint32_t>(row.size());
  append(row, {0xFF, 0xFE, 'h', 'i'});  // compressed "hi"
  const uint32_t notes_at = static_cast<uint32_t>(row.size());
  append32(row, 0x80000000u | 4);     // inline memo of four bytes
  append32(row, 0);
  append32(row, 0);
  append(row, ucs2(u"ok"));
  const uint32_t end = static_cast<uint32_t>(row.size());
  append16(row, end);                 // offsets, last first
  append16(row, notes_at);
  append16(row, name_at);
  append16(row, 2);                   // variable columns in this row
  row.push_back(null_mask);
  return row;
}

TEST(RowDecoder, DecodesEveryStorageFormOfAJet4Row) {
  const TableDef table = jet4_table();
  const PageFile file(kJet4Layout, 1);
  const auto pages = file.source();
  RowDecoder decoder(table, pages, 1252);
  std::vector<FieldValue> values;
  decoder.decode(jet4_row(0x3F), values);
  ASSERT_EQ(values.size(), 7u);
  EXPECT_EQ(values[0], FieldValue(int64_t{-7}));
  EXPECT_EQ(values[1], FieldValue(true));
  EXPECT_EQ(values[2], FieldValue("hi"));
  EXPECT_EQ(values[3], FieldValue(Currency{123456}));
  EXPECT_EQ(values[4], FieldValue("ok"));
  EXPECT_EQ(values[5], FieldValue(Decimal{-12345, 2}));
  EXPECT_TRUE(values[6].is_null()) << "a column added after the row was written";

  // Null bits: the Boolean reads false, the others null; reusing `values` must
  // not leave the previous row's values behind.
  decoder.decode(jet4_row(0x01), values);
  EXPECT_EQ(values[0], FieldValue(int64_t{-7}));
  EXPECT_EQ(values[1], FieldValue(false));
  for (size_t i = 2; i < values.size(); ++i) EXPECT_TRUE(values[i].is_null()) << i;
}

TEST(RowDecoder, DamagedRowsRaiseCorruptDataNamingTheColumn) {
  const TableDef table = jet4_table();
  const PageFile file(kJet4Layout, 1);
  const auto pages = file.source();
  RowDecoder decoder(table, pages, 1252);
  std::vector<FieldValue> values;
  // Checking a row without its values refuses exactly what decoding it refuses.
  auto refusal = [&](const Bytes& row) {
    std::string decoded = "(accepted)", checked = "(accepted)";
    try {
      decoder.decode(row, values);
    } catch (const CorruptData& e) {
      decoded = e.what();
    }
    try {
      decoder.check(row);
    } catch (const CorruptData& e) {
      checked = e.what();
    }
    EXPECT_EQ(checked, decoded);
    return decoded;
  };
  EXPECT_EQ(refusal(jet4_row(0x3F)), "(accepted)");
  EXPECT_EQ(refusal(jet4_row(0x01)), "(accepted)");

  Bytes row = jet4_row(0x3F);
  put16(row, row.size() - 5, 0x7000);  // name's offset far past the row
  EXPECT_NE(refusal(row).find("column name"), std::string::npos);

  row = jet4_row(0x3F);
  put16(row, row.size() - 3, 0xFFFF);  // more variable columns than the row holds
  EXPECT_NE(refusal(row), "(accepted)");

  EXPECT_NE(refusal(Bytes{}), "(accepted)");
  EXPECT_NE(refusal(Bytes{0x40, 0x00}), "(accepted)");  // 64 columns, no mask

  // A memo whose one data row would be on page 200 of this one-page file.
  row = jet4_row(0x3F);
  const size_t notes_at = row[row.size() - 7] | size_t{row[row.size() - 6]} << 8;
  put32(row, notes_at, 0x40000000u | 4);
  put32(row, notes_at + 4, 200u << 8);
  EXPECT_NE(refusal(row).find("page 200 is beyond the end of the file"), std::string::npos);
}

// A date Access cannot hold is damage; the date arithmetic itself stays defined for
// any bytes (this ran into signed overflow before).
TEST(RowDecoder, DatesOutsideAccessesRangeAreDamage) {
  TableDef table = jet4_table();
  table.columns[3].type = ColumnType::DateTime;  // the eight bytes at 4 of the fixed part
  const PageFile file(kJet4Layout, 1);
  const auto pages = file.source();
  RowDecoder decoder(table, pages, 1252);
  std::vector<FieldValue> values;
  const auto with_date = [](double days) {
    Bytes row = jet4_row(0x3F);
    std::memcpy(row.data() + 2 + 4, &days, sizeof days);
    return row;
  };
  decoder.decode(with_date(45155.5), values);
  EXPECT_EQ(to_iso8601(values[3].as<DateTime>()), "2023-08-17 12:00:00");
  decoder.decode(with_date(-657434.0), values);
  EXPECT_EQ(to_iso8601(values[3].as<DateTime>()), "0100-01-01 00:00:00");
  for (double damaged : {1e300, -3e9, 2958466.0, std::nan("")}) {
    EXPECT_THROW(decoder.decode(with_date(damaged), values), CorruptData) << damaged;
    EXPECT_THROW(decoder.check(with_date(damaged)), CorruptData) << damaged;
    const CivilTime civil = to_civil(DateTime{damaged});  // defined, whatever it says
    EXPECT_GE(civil.month, 1) << damaged;
  }
}

TEST(RowDecoder, Jet3RowsOverTwoHundredFiftySixBytesUseTheJumpTable) {
  TableDef table;
  table.format = Format::Jet3;
  table.columns = {variable_column("a", ColumnType::Text, 0, 0),
                   variable_column("b", ColumnType::Text, 1, 1)};
  // Data 1..200 and 201..300; the end (301) passes 256, so one jump entry
  // names offset entry 2 as the first beyond 255.
  Bytes row{2};
  append(row, Bytes(200, 'a'));
  append(row, Bytes(100, 0xE9));  // é in Windows-1252
  append(row, {301 - 256, 201, 1});  // offsets, last first, modulo 256
  row.push_back(2);                  // jump table
  row.push_back(2);                  // variable columns
  row.push_back(0x03);               // null mask
  const PageFile file(kJet3Layout, 1);
  const auto pages = file.source();
  RowDecoder decoder(table, pages, 1252);
  std::vector<FieldValue> values;
  decoder.decode(row, values);
  EXPECT_EQ(values[0], FieldValue(std::string(200, 'a')));
  std::string accents;
  for (int i = 0; i < 100; ++i) accents += "\xC3\xA9";
  EXPECT_EQ(values[1], FieldValue(accents));
}

TEST(RowDecoder, NumericBytesAreFourWordsMostSignificantFirst) {
  Bytes bytes(17, 0);
  put32(bytes, 9, 1);           // 2^32 ...
  put32(bytes, 13, 5);          // ... + 5
  EXPECT_EQ(decode_numeric(bytes, 0), (Decimal{(Int128{1} << 32) + 5, 0}));
  put32(bytes, 1, 0x00000001);  // 2^96
  bytes[0] = 1;
  EXPECT_EQ(decode_numeric(bytes, 4), (Decimal{-((Int128{1} << 96) + (Int128{1} << 32) + 5), 4}));
}

}  // namespace
}  // namespace halvaro::jet
