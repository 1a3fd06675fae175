// Rows read by the check made before a run are the rows the run's stage opens with:
// the source store hands them to the next select of that very text, once.

#include <gtest/gtest.h>

#include "db/jet_store.h"
#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

TEST(KeptRows, GoToTheNextSelectOfTheirTextOnce) {
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  auto source = db::jet_store_opener()(old_small.string(), db::Access::ReadOnly);
  const std::string text = "Select * from tblSupplierBuyer";
  std::shared_ptr<const db::ResultView> read = source->select(text);
  ASSERT_GT(read->row_count(), 0u);
  source->keep(text, read);
  source->read_ahead({text, "Select * from tblClaimantInfo"});
  EXPECT_EQ(source->select(text), read);
  // Once handed over, the statement is evaluated again, to the same rows.
  std::shared_ptr<const db::ResultView> again = source->select(text);
  EXPECT_NE(again, read);
  EXPECT_EQ(again->row_count(), read->row_count());
  // What was queued besides it is still read ahead.
  EXPECT_EQ(source->select("Select * from tblClaimantInfo")->row_count(), 2u);
}

}  // namespace
}  // namespace halvaro::test
