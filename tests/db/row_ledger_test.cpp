#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "db/run_account.h"
#include "tests/db/fake_store.h"

namespace halvaro::test {
namespace {

using Rows = std::vector<std::vector<FieldValue>>;

Currency money(int64_t whole) { return Currency{whole * 10000}; }

// Two stages of one group, orders then refunds, each a master query with a summed column.
struct RowLedgerTest : ::testing::Test {
  db::Group group{.stages = {{.label = "Orders",
                              .source = "Select * from orders",
                              .facts = {"orders", {"No"}, {"Amount"}}},
                             {.label = "Refunds",
                              .source = "Select * from refunds",
                              .facts = {"refunds", {"No"}, {"Amount"}}}}};
  const db::Stage& orders = group.stages[0];
  const db::Stage& refunds = group.stages[1];
  FakeFile file;
  FakeStore source{file, db::Access::ReadOnly};
  db::RowLedger ledger;

  static std::shared_ptr<db::ResultTable> rows(Rows values) {
    return std::make_shared<db::ResultTable>(std::vector<std::string>{"No", "StRegNo", "TaxPeriod", "Amount"},
                                             std::move(values));
  }
  static db::RowEvent appended(FieldValue amount) { return {db::RowFate::Appended, {}, {std::move(amount)}}; }
  const db::SourceAccount& named(const db::RunAccount& account, const std::string& name) {
    for (const auto& s : account.sources)
      if (s.name == name) return s;
    throw std::out_of_range(name);
  }
};

// Rows that moved once with their values leave no note; a changed value and a second
// append do, and both are accounted for in the list and the totals.
TEST_F(RowLedgerTest, OnlyRowsThatDidNotMoveOnceIntactKeepANote) {
  ledger.stage_opened(orders, rows({{"O1", "R", "P", money(10)},
                                    {"O2", "R", "P", money(20)},
                                    {"O3", "R", "P", money(30)},
                                    {"O4", "R", "P", money(40)}}));
  ledger.master_event(orders, 0, appended(money(10)));
  ledger.master_event(orders, 1, appended(money(25)));  // arrived different
  ledger.master_event(orders, 2, appended(money(30)));
  ledger.master_event(orders, 2, appended(money(30)));  // twice
  ledger.master_event(orders, 3, {db::RowFate::Refused, "the text cannot be indexed", {}});
  ASSERT_NE(ledger.stage(orders), nullptr);
  EXPECT_EQ(ledger.stage(orders)->master_rows.notes.size(), 3u);  // O2, O3 and O4, not O1

  const db::RunAccount account = db::account_run({&group}, ledger, source);
  const db::SourceAccount& out = named(account, "orders");
  EXPECT_EQ(out.rows, 4u);
  EXPECT_EQ(out.moved, 1u);
  ASSERT_EQ(out.changed.size(), 1u);
  EXPECT_EQ(out.changed[0].reason, "moved, but Amount arrived as 25 instead of 20");
  ASSERT_EQ(out.more_than_once.size(), 1u);
  EXPECT_EQ(out.more_than_once[0].key_text(), "No O3");
  EXPECT_EQ(out.more_than_once[0].reason, "moved 2 times: 2 masters reached it (master rows 3 and 3)");
  ASSERT_EQ(out.not_moved.size(), 1u);
  EXPECT_EQ(out.not_moved[0].reason, "refused: the text cannot be indexed");
  ASSERT_EQ(account.totals.size(), 1u);
  EXPECT_EQ(db::to_string(account.totals[0].source_total), "100");
  EXPECT_EQ(db::to_string(account.totals[0].appended), "95");  // 10 + 25 + 2 x 30
  EXPECT_EQ(db::to_string(account.totals[0].listed), "-5");    // +5, +30 and -40
  EXPECT_EQ(account.totals[0].difference(), account.totals[0].listed);
}

// A stage is accounted for when the next opens and lets go of its rows; a stage that
// never opened is read at the end and its rows listed as not reached.
TEST_F(RowLedgerTest, AStageIsAccountedForWhenTheNextOpensAndStagesNotRunAreReadAtTheEnd) {
  auto order_rows = rows({{"O1", "R", "P", money(10)}});
  ledger.stage_opened(orders, order_rows);
  ledger.master_event(orders, 0, appended(money(10)));
  ledger.stage_opened(refunds, rows({{"F1", "R", "P", money(5)}}));
  EXPECT_EQ(ledger.stage(orders), nullptr);
  // The orders are accounted for beside the run, which then lets go of their rows.
  for (int wait = 0; wait < 500 && order_rows.use_count() > 1; ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(order_rows.use_count(), 1);
  ledger.group_stopped(group, &refunds, "Disk full.");

  db::Group later{.stages = {{.label = "Later", .source = "Select * from later", .facts = {"later", {"No"}, {}}}}};
  file.add_result("Select * from later", {"No"}, {{"L1"}});
  const db::RunAccount account = db::account_run({&group, &later}, ledger, source);
  ASSERT_EQ(account.sources.size(), 3u);
  EXPECT_EQ(account.sources[0].name, "orders");  // in run order
  EXPECT_EQ(account.sources[0].moved, 1u);
  EXPECT_EQ(account.sources[1].not_moved.at(0).reason, "the group stopped before reaching it");
  EXPECT_EQ(account.sources[2].not_moved.at(0).reason, "the group stopped before reaching it");
  EXPECT_FALSE(account.every_row_moved_once());
}

}  // namespace
}  // namespace halvaro::test
