// On POSIX the spool's file is unlinked as soon as it is made: it has no name in the
// temporary folder even while the spool uses it (Windows deletes it when it closes).

#include "sql/row_spool.h"

#include <filesystem>
#include <string>

#include "tests/support/fixtures.h"
#include "tests/support/temporary_folder.h"

#include <gtest/gtest.h>

namespace halvaro::sql {
namespace {

TEST(RowSpool, ItsFileHasNoNameWhileInUse) {
  const test::TempDir dir;
  const test::TemporaryFolderSetting temporary(dir.path());
  RowSpool spool(0);
  for (int64_t n = 0; n < 100; ++n) spool.append({FieldValue("row " + std::to_string(n)), FieldValue(n)});
  ASSERT_TRUE(spool.on_disk());
  EXPECT_EQ(spool.row(50), (std::vector<FieldValue>{FieldValue("row 50"), FieldValue(int64_t{50})}));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace halvaro::sql
