// Usage maps, row slots, overflow pointers, long-value chains and table
// definition chains on hand-made pages, including the damage a bad file brings.

#include <gtest/gtest.h>

#include "jet/pages/data_page.h"
#include "jet/base/errors.h"
#include "jet/tables/long_value.h"
#include "jet/tables/table_definition.h"
#include "jet/pages/usage_map.h"
#include "tests/jet/page_builder.h"

namespace halvaro::jet {
namespace {

using namespace test_pages;

TEST(UsageMap, InlineMapsCountFromTheirStartPage) {
  const PageFile file(kJet4Layout, 40);
  const auto pages = file.source();
  Bytes map{kInlineUsageMap};
  append32(map, 16);
  append(map, {0x05, 0x00, 0x80});  // pages 16, 18 and 16 + 23
  EXPECT_EQ(usage_map_pages(map, pages), (std::vector<uint32_t>{16, 18, 39}));

  map[7] = 0x00;
  map.push_back(0x01);  // page 16 + 24 = 40: past the end of a 40-page file
  try {
    usage_map_pages(map, pages);
    ADD_FAILURE();
  } catch (const CorruptData& e) {
    EXPECT_NE(std::string(e.what()).find("truncated"), std::string::npos) << e.what();
  }
}

TEST(UsageMap, ReferenceMapsReadWholeBitmapPages) {
  // Jet 3: each bitmap page maps (2048 - 4) * 8 = 16352 pages. Map page 3 holds
  // the bitmap of the first range, the second range has no page (0).
  PageFile file(kJet3Layout, 8);
  Bytes bitmap(kJet3Layout.page_size, 0);
  bitmap[0] = static_cast<uint8_t>(PageType::UsageMap);
  bitmap[4] = 0x60;  // pages 5 and 6
  file.set(3, bitmap);
  const auto pages = file.source();
  Bytes map{kReferenceUsageMap};
  append32(map, 3);
  append32(map, 0);
  EXPECT_EQ(usage_map_pages(map, pages), (std::vector<uint32_t>{5, 6}));

  put32(map, 1, 4);  // page 4 is not a bitmap page
  EXPECT_THROW(usage_map_pages(map, pages), CorruptData);
  put32(map, 1, 99);  // beyond the file
  EXPECT_THROW(usage_map_pages(map, pages), CorruptData);
  EXPECT_THROW(usage_map_pages(Bytes{0x07, 0, 0, 0, 0}, pages), CorruptData);  // unknown type
  EXPECT_THROW(usage_map_pages(Bytes{}, pages), CorruptData);
}

TEST(DataPage, RowSlotsAndOverflowPointers) {
  PageFile file(kJet4Layout, 4);
  // Page 1: a live row, a deleted one, and one moved to page 2 row 1.
  Bytes moved;
  append32(moved, pointer(2, 1));
  file.set(1, data_page(kJet4Layout, 9, {ascii("first"), ascii("gone"), moved},
                        {0, kRowDeleted, kRowOverflow}));
  // Page 2: row 0 points back at page 1 row 2 (a loop); row 1 is the moved row,
  // marked deleted as Access marks the targets of overflow pointers.
  Bytes back;
  append32(back, pointer(1, 2));
  file.set(2, data_page(kJet4Layout, 9, {back, ascii("moved")}, {kRowOverflow, kRowDeleted}));
  const auto pages = file.source();

  const auto as_text = [](std::span<const uint8_t> b) { return std::string(b.begin(), b.end()); };
  EXPECT_EQ(as_text(read_row(pages, {1, 0}, kJet4Layout)), "first");
  EXPECT_EQ(as_text(read_row(pages, {1, 2}, kJet4Layout)), "moved");
  EXPECT_THROW(read_row(pages, {1, 1}, kJet4Layout), CorruptData);  // deleted
  EXPECT_THROW(read_row(pages, {1, 3}, kJet4Layout), CorruptData);  // no such slot
  EXPECT_THROW(read_row(pages, {0, 0}, kJet4Layout), CorruptData);  // not a data page
  EXPECT_THROW(read_row(pages, {7, 0}, kJet4Layout), CorruptData);  // beyond the file

  // A pointer chain that loops ends in an error, not a hang.
  file.set(2, data_page(kJet4Layout, 9, {back, moved}, {kRowOverflow, kRowOverflow}));
  const auto looping = file.source();
  EXPECT_THROW(read_row(looping, {2, 0}, kJet4Layout), CorruptData);

  // A slot whose offset lies inside the slot table or past the previous row.
  Bytes bad = data_page(kJet4Layout, 9, {ascii("x")});
  put16(bad, kJet4Layout.data_row_table, 3);
  EXPECT_THROW(row_slot(ByteView(bad), 0, kJet4Layout), CorruptData);
}

// The 12-byte reference of a long value stored elsewhere.
Bytes reference(uint32_t length_and_flags, uint32_t at) {
  Bytes ref;
  append32(ref, length_and_flags);
  append32(ref, at);
  append32(ref, 0);
  return ref;
}

TEST(LongValue, InlineSinglePageAndChainedValues) {
  PageFile file(kJet4Layout, 5);
  // Page 3: one single-page value (row 0) and the first part of a chain (row 1)
  // continued on page 4 row 0.
  Bytes first_part;
  append32(first_part, pointer(4, 0));
  append(first_part, ascii("hello "));
  Bytes last_part;
  append32(last_part, 0);
  append(last_part, ascii("world"));
  file.set(3, data_page(kJet4Layout, 0, {ascii("single value"), first_part}));
  file.set(4, data_page(kJet4Layout, 0, {last_part}));
  const auto pages = file.source();

  std::vector<uint8_t> out;
  Bytes inline_ref = reference(kLongValueInline | 3, 0);
  append(inline_ref, ascii("abc"));
  read_long_value(inline_ref, pages, kJet4Layout, out);
  EXPECT_EQ(std::string(out.begin(), out.end()), "abc");

  out.clear();
  read_long_value(reference(kLongValueSinglePage | 6, pointer(3, 0)), pages, kJet4Layout, out);
  EXPECT_EQ(std::string(out.begin(), out.end()), "single");

  out.clear();
  read_long_value(reference(11, pointer(3, 1)), pages, kJet4Layout, out);
  EXPECT_EQ(std::string(out.begin(), out.end()), "hello world");

  // Longer than the chain holds; longer than the file; an inline value whose
  // length runs past the reference.
  EXPECT_THROW(read_long_value(reference(40, pointer(3, 1)), pages, kJet4Layout, out), CorruptData);
  EXPECT_THROW(read_long_value(reference(0x3FFFFFFF, pointer(3, 1)), pages, kJet4Layout, out),
               CorruptData);
  EXPECT_THROW(read_long_value(reference(kLongValueInline | 50, 0), pages, kJet4Layout, out),
               CorruptData);
}

TEST(LongValue, AChainThatLoopsIsAnError) {
  PageFile file(kJet4Layout, 4);
  Bytes part;
  append32(part, pointer(3, 0));  // points at itself
  append(part, ascii("again"));
  file.set(3, data_page(kJet4Layout, 0, {part}));
  const auto pages = file.source();
  std::vector<uint8_t> out;
  EXPECT_THROW(read_long_value(reference(1000, pointer(3, 0)), pages, kJet4Layout, out), CorruptData);
  EXPECT_LE(out.size(), 1000u);
}

// A Jet 4 table definition page with `columns` Long columns named c0, c1, ...
Bytes definition_page(uint16_t columns, uint32_t next_page) {
  Bytes page(kJet4Layout.page_size, 0);
  page[0] = static_cast<uint8_t>(PageType::TableDefinition);
  page[1] = 0x01;
  put32(page, 4, next_page);
  page[kJet4Layout.tdef_table_type] = 0x4E;
  put16(page, kJet4Layout.tdef_max_columns, columns);
  put16(page, kJet4Layout.tdef_columns, columns);
  size_t at = kJet4Layout.tdef_header_end;
  for (uint16_t i = 0; i < columns; ++i, at += kJet4Layout.column_size) {
    page.at(at) = static_cast<uint8_t>(ColumnType::Long);
    put16(page, at + kJet4Layout.column_number, i);
    page.at(at + kJet4Layout.column_flags) = kColumnFixed;
    put16(page, at + kJet4Layout.column_fixed_offset, 4u * i);
    put16(page, at + kJet4Layout.column_length, 4);
  }
  for (uint16_t i = 0; i < columns; ++i) {
    const Bytes name = ucs2(u"c" + std::u16string(1, char16_t(u'0' + i % 10)));
    put16(page, at, static_cast<uint32_t>(name.size()));
    std::copy(name.begin(), name.end(), page.begin() + static_cast<std::ptrdiff_t>(at + 2));
    at += 2 + name.size();
  }
  return page;
}

TEST(TableDefinition, ChainsThatLoopOrDefinitionsThatOverrunAreErrors) {
  PageFile file(kJet4Layout, 6);
  file.set(2, definition_page(3, 0));
  const auto good = file.source();
  const TableDef def = read_table_definition(good, 2, kJet4Layout, 0);
  ASSERT_EQ(def.columns.size(), 3u);
  EXPECT_EQ(def.columns[2].name, "c2");
  EXPECT_EQ(def.columns[2].fixed_offset, 8u);
  EXPECT_EQ(def.definition_pages, std::vector<uint32_t>{2});

  // Page 2 continues on page 3, which continues on page 2 again.
  file.set(2, definition_page(3, 3));
  file.set(3, definition_page(3, 2));
  const auto looping = file.source();
  try {
    read_table_definition(looping, 2, kJet4Layout, 0);
    ADD_FAILURE();
  } catch (const CorruptData& e) {
    EXPECT_NE(std::string(e.what()).find("loops"), std::string::npos) << e.what();
  }

  // 200 column descriptors of 25 bytes do not fit one 4096-byte page.
  Bytes overrun = definition_page(3, 0);
  put16(overrun, kJet4Layout.tdef_columns, 200);
  file.set(2, overrun);
  const auto overrunning = file.source();
  try {
    read_table_definition(overrunning, 2, kJet4Layout, 0);
    ADD_FAILURE();
  } catch (const CorruptData& e) {
    EXPECT_NE(std::string(e.what()).find("table definition on page 2"), std::string::npos)
        << e.what();
  }

  EXPECT_THROW(read_table_definition(good, 0, kJet4Layout, 0), CorruptData);  // not a definition
  EXPECT_THROW(read_table_definition(good, 60, kJet4Layout, 0), CorruptData);  // beyond the file
}

}  // namespace
}  // namespace halvaro::jet
