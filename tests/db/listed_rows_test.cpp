// The account's lists of rows: a list as long as a whole source (a group stopped at its
// first row) keeps every row, in order, past the rows it holds in memory, and the
// result names only the first of them.

#include <gtest/gtest.h>

#include <stdexcept>

#include "db/listed_rows.h"
#include "db/run_account.h"

namespace halvaro::db {
namespace {

ListedRow numbered(size_t i) {
  return {{{"InvoiceNo", "INV-" + std::to_string(i)}, {"ItemSerialNo", std::to_string(i % 7)}},
          i % 3 == 0 ? "the group stopped before reaching it" : "refused: a value was too long",
          i % 4};
}

TEST(ListedRows, EveryRowComesBackInOrderPastThoseHeldInMemory) {
  constexpr size_t kRows = 3 * ListedRows::kMemoryItems + 17;
  ListedRows rows;
  for (size_t i = 0; i < kRows; ++i) rows.push_back(numbered(i));
  ASSERT_EQ(rows.size(), kRows);

  const ListedRows copy = rows;  // an account copied after it was made reads the same rows
  size_t seen = 0;
  copy.for_each([&](const ListedRow& row) {
    const ListedRow expected = numbered(seen++);
    EXPECT_EQ(row.key, expected.key);
    EXPECT_EQ(row.reason, expected.reason);
    EXPECT_EQ(row.times, expected.times);
  });
  EXPECT_EQ(seen, kRows);
  for (size_t i : {size_t{0}, ListedRows::kMemoryItems - 1, ListedRows::kMemoryItems, kRows - 1})
    EXPECT_EQ(rows[i].key_text(), numbered(i).key_text()) << i;
  EXPECT_THROW((void)rows.at(kRows), std::out_of_range);
}

TEST(ListedRows, TheResultShowsTheFirstRowsAndCountsTheRest) {
  RunAccount account;
  SourceAccount masters{"VwPurchaseDebitMtr", "Purchase and debit-note invoices"};
  SourceAccount items{"VwPurchaseDebit", "Purchase and debit-note invoices"};
  for (size_t i = 0; i < RunAccount::kRowsShown - 10; ++i) masters.not_moved.push_back(numbered(i));
  for (size_t i = 0; i < 40; ++i) items.not_moved.push_back(numbered(i));
  for (size_t i = 0; i < 5; ++i) items.more_than_once.push_back(numbered(i));
  account.sources = {masters, items};
  EXPECT_FALSE(account.all_rows_shown());

  const std::vector<std::string> lines = account.lines();
  ASSERT_EQ(lines.size(), RunAccount::kRowsShown + 2);
  EXPECT_EQ(lines[RunAccount::kRowsShown - 1],
            "Purchase and debit-note invoices: VwPurchaseDebit [InvoiceNo INV-9, ItemSerialNo 2]: not moved: "
            "the group stopped before reaching it");
  EXPECT_EQ(lines[RunAccount::kRowsShown],
            "Purchase and debit-note invoices: VwPurchaseDebit: 30 more rows not moved are not shown here");
  EXPECT_EQ(lines[RunAccount::kRowsShown + 1],
            "Purchase and debit-note invoices: VwPurchaseDebit: 5 more rows moved more than once are not shown here");

  account.sources[1].not_moved = {};
  account.sources[1].more_than_once = {};
  EXPECT_TRUE(account.all_rows_shown());
  EXPECT_EQ(account.lines().size(), RunAccount::kRowsShown - 10);
}

}  // namespace
}  // namespace halvaro::db
