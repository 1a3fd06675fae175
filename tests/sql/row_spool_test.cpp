#include "sql/row_spool.h"

#include <filesystem>
#include <stdexcept>

#include "tests/sql/print_value.h"
#include "tests/support/fixtures.h"
#include "tests/support/temporary_folder.h"

#include <gtest/gtest.h>

namespace halvaro::sql {
namespace {

// One value of every kind a result can hold, with the edge forms that an encoding
// could confuse: null beside the empty text, negative and 128-bit decimals, bytes
// that look like tags or lengths.
std::vector<FieldValue> every_kind(int64_t n) {
  Guid id;
  for (size_t i = 0; i < 16; ++i) id.bytes[i] = static_cast<uint8_t>(n + int64_t(i));
  return {FieldValue(),
          FieldValue(std::string()),
          FieldValue("Müller & Söhne " + std::to_string(n)),
          FieldValue(n),
          FieldValue(-0.5 * double(n)),
          FieldValue(Currency{-154321275 * n}),
          FieldValue(DateTime{45000.75 + double(n)}),
          FieldValue(n % 2 == 0),
          FieldValue(Decimal{Int128(-1) << 100, 4}),
          FieldValue(id),
          FieldValue(Binary{0, 9, 255, static_cast<uint8_t>(n)})};
}

TEST(RowSpool, RowsReadBackAsWrittenFromMemoryAndFromTheFile) {
  for (size_t memory_rows : {size_t{0}, size_t{10}, size_t{100000}}) {
    SCOPED_TRACE("memory rows " + std::to_string(memory_rows));
    RowSpool spool(memory_rows);
    const int64_t rows = 1000;  // several blocks
    for (int64_t n = 0; n < rows; ++n) spool.append(every_kind(n));
    ASSERT_EQ(spool.size(), size_t(rows));
    EXPECT_EQ(spool.on_disk(), memory_rows < size_t(rows));
    // Forwards, backwards and jumping between blocks.
    for (int64_t n = 0; n < rows; ++n) ASSERT_EQ(spool.row(size_t(n)), every_kind(n)) << n;
    for (int64_t n = rows - 1; n >= 0; n -= 37) ASSERT_EQ(spool.row(size_t(n)), every_kind(n)) << n;
    for (int64_t n = 511; n >= 256; --n) ASSERT_EQ(spool.row(size_t(n)), every_kind(n)) << n;  // within a block
    EXPECT_EQ(spool.row(3), every_kind(3));
    EXPECT_EQ(spool.row(999), every_kind(999));
  }
}

TEST(RowSpool, RowsAppendedAfterReadingAreSeen) {
  RowSpool spool(0);
  for (int64_t n = 0; n < 10; ++n) spool.append(every_kind(n));
  EXPECT_EQ(spool.row(9), every_kind(9));  // loads the last, still growing block
  for (int64_t n = 10; n < 300; ++n) spool.append(every_kind(n));
  EXPECT_EQ(spool.row(9), every_kind(9));
  EXPECT_EQ(spool.row(20), every_kind(20));
  EXPECT_EQ(spool.row(299), every_kind(299));
}

TEST(RowSpool, MovedSpoolKeepsItsRows) {
  RowSpool spool(2);
  for (int64_t n = 0; n < 5; ++n) spool.append(every_kind(n));
  RowSpool moved = std::move(spool);
  EXPECT_EQ(moved.size(), 5u);
  EXPECT_EQ(moved.row(4), every_kind(4));
  EXPECT_EQ(moved.row(0), every_kind(0));

  // A block read part-way is moved with what it has yet to decode.
  RowSpool on_file(0);
  for (int64_t n = 0; n < 300; ++n) on_file.append(every_kind(n));
  EXPECT_EQ(on_file.row(260), every_kind(260));
  RowSpool moved_on = std::move(on_file);
  EXPECT_EQ(moved_on.row(270), every_kind(270));
  EXPECT_EQ(moved_on.row(259), every_kind(259));
}

// The spool's file goes with it: nothing is left in the temporary folder.
TEST(RowSpool, LeavesNoFileInTheTemporaryFolder) {
  const test::TempDir dir;
  const auto& folder = dir.path();
  const test::TemporaryFolderSetting temporary(folder);
  {
    RowSpool spool(0);
    for (int64_t n = 0; n < 100; ++n) spool.append(every_kind(n));
    EXPECT_TRUE(spool.on_disk());
    EXPECT_EQ(spool.row(50), every_kind(50));
  }
  EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST(RowSpool, MissingTemporaryFolderIsReportedByName) {
  const test::TemporaryFolderSetting temporary(test::missing_folder());
  RowSpool spool(0);
  try {
    spool.append(every_kind(1));
    ADD_FAILURE() << "expected an error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("cannot make a temporary file"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(test::missing_folder().string()), std::string::npos) << e.what();
  }
}

TEST(RowSpool, DecodingRefusesCutAndUnknownBytes) {
  std::string bytes;
  encode_value(FieldValue("abcdef"), bytes);
  size_t at = 0;
  EXPECT_THROW(decode_value(std::string_view(bytes).substr(0, bytes.size() - 1), at), std::runtime_error);
  at = 0;
  EXPECT_THROW(decode_value(std::string_view("\x0b", 1), at), std::runtime_error);
  at = 0;
  EXPECT_EQ(decode_value(bytes, at), FieldValue("abcdef"));
  EXPECT_EQ(at, bytes.size());
}

}  // namespace
}  // namespace halvaro::sql
