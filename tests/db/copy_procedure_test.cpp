#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

#include "db/copy_procedure.h"
#include "db/errors.h"
#include "db/interruption.h"
#include "db/run_account.h"
#include "db/value_text.h"
#include "platform/process.h"
#include "tests/db/fake_store.h"
#include "tests/db/recording_reporter.h"

namespace halvaro::test {
namespace {

using db::FieldEntry;
using jet::ColumnType;

// Whether a stored value is this text or number. (Comparing with a FieldValue made in a
// fail_append callback trips GCC 12's -Wfree-nonheap-object at -O3.)
bool holds(const FieldValue& value, std::string_view text) {
  const auto* held = std::get_if<std::string>(&value.value);
  return held && *held == text;
}
bool holds(const FieldValue& value, int64_t number) {
  const auto* held = std::get_if<int64_t>(&value.value);
  return held && *held == number;
}

TEST(ValueOrDefault, OnlyNullAndTheEmptyTextTakeTheDefault) {
  EXPECT_EQ(db::ValueOrDefault(FieldValue{}, 0), FieldValue(0));
  EXPECT_EQ(db::ValueOrDefault("", "NIL"), FieldValue("NIL"));
  EXPECT_EQ(db::ValueOrDefault(" ", "NIL"), FieldValue(" "));
  EXPECT_EQ(db::ValueOrDefault(0, "NIL"), FieldValue(0));
  EXPECT_EQ(db::ValueOrDefault(false, 0), FieldValue(false));
  EXPECT_EQ(db::ValueOrDefault(DateTime{0}, 0), FieldValue(DateTime{0}));
}

// A source with a partner table, a destination with the new one (names TEXT(10)).
struct CopyTest : ::testing::Test {
  FakeFiles files;
  FakeFile& old_file = files.files["/old.mdb"];
  FakeFile& new_file = files.files["/new.mdb"];
  RecordingReporter reporter;
  db::TransferState state{files.opener(), reporter};
  FakeTable* partners = nullptr;

  db::Group group{.stages = {{
                      .label = "Partners",
                      .source = "Select * from partners",
                      .destination = {"partners", db::adLockOptimistic, "partners"},
                      .mapping = {FieldEntry{"Id", "ID", 0}, FieldEntry{"Name", "name", 0},
                                  FieldEntry{"Kind", "Kind", "NIL"}},
                  }}};

  void SetUp() override {
    partners = &new_file.add_table(FakeTable("partners",
                                             {{"Id", ColumnType::Text, 13, true},
                                              {"Name", ColumnType::Text, 10},
                                              {"Kind", ColumnType::Text, 3}},
                                             {"Id"}));
    state.Con_Source.Open(db::connection_text_for("/old.mdb"), "", "", -1);
    state.Con_Destination.Open(db::connection_text_for("/new.mdb"), "", "", -1);
  }
  void source_rows(std::vector<std::vector<FieldValue>> rows) {
    old_file.add_result("Select * from partners", {"ID", "Name", "Kind"}, std::move(rows));
  }
};

TEST_F(CopyTest, CopiesEveryRowWithDefaultsAndCountsOnce) {
  source_rows({{"A", FieldValue{}, ""}, {"B", " ", 0}, {"C", "", FieldValue{}}});
  db::RunTransfer(group, state);
  EXPECT_EQ(state.SuccessCount, 1);
  EXPECT_TRUE(reporter.errors.empty());
  ASSERT_EQ(partners->rows.size(), 3u);
  EXPECT_EQ(partners->at(0, "Name"), FieldValue("0"));  // whole number 0 in a text column
  EXPECT_EQ(partners->at(0, "Kind"), FieldValue("NIL"));
  EXPECT_EQ(partners->at(1, "Name"), FieldValue(" "));  // a blank is a value
  EXPECT_EQ(partners->at(1, "Kind"), FieldValue("0"));  // so is zero
  EXPECT_EQ(partners->at(2, "Name"), FieldValue("0"));
  EXPECT_TRUE(state.skipped.empty());
  // The run's connections were recycled: the destination closed (committed) and reopened.
  EXPECT_EQ(new_file.closes, 1);
  EXPECT_EQ(state.Con_Destination.State(), 1);
}

// A date stored as text takes the entry's pattern; the text of a date is kept for the
// rows after it, which often repeat it, and every row gets its own date's text.
TEST_F(CopyTest, DatesAreStoredAsTheirPatternsTextRowByRow) {
  db::Group dated = group;
  dated.stages[0].mapping[1] = FieldEntry{"Name", "name", 0, "dd/mm/yyyy"};
  source_rows({{"A", DateTime{45000.25}, ""},
               {"B", DateTime{45000.25}, ""},
               {"C", DateTime{45001}, ""},
               {"D", DateTime{45000.25}, ""},
               {"E", FieldValue{}, ""},
               {"F", "05/12/2023", ""},
               {"G", DateTime{45001}, ""}});
  db::RunTransfer(dated, state);
  EXPECT_EQ(reporter.errors, std::vector<std::string>{});
  const std::vector<std::string> expected{"15/03/2023", "15/03/2023", "16/03/2023", "15/03/2023",
                                          "0",          "05/12/2023", "16/03/2023"};
  ASSERT_EQ(partners->rows.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(partners->at(i, "Name"), FieldValue(expected[i])) << i;
}

TEST_F(CopyTest, EmptySourceCountsAsFinishedAndOpensNoDestination) {
  source_rows({});
  db::RunTransfer(group, state);
  EXPECT_EQ(state.SuccessCount, 1);
  EXPECT_TRUE(new_file.table_opens.empty());
  EXPECT_EQ(state.rsDestinationMtr.State(), 0);
  EXPECT_EQ(state.rsSourceMtr.State(), 1);  // left for the next CloseRecordSet
}

TEST_F(CopyTest, ValueThatDoesNotFitIsSkippedRecordedAndTheRowStored) {
  source_rows({{"A", "A name far too long", "P"}, {"B", "Short", "S"}});
  db::RunTransfer(group, state);
  EXPECT_EQ(state.SuccessCount, 1);
  EXPECT_TRUE(reporter.errors.empty());
  ASSERT_EQ(partners->rows.size(), 2u);
  EXPECT_TRUE(partners->at(0, "Name").is_null());  // the table's own default
  EXPECT_EQ(partners->at(0, "Kind"), FieldValue("P"));
  ASSERT_EQ(state.skipped.size(), 1u);
  const db::SkippedValue& skipped = state.skipped[0];
  EXPECT_EQ(skipped.group, "Partners");
  EXPECT_EQ(skipped.table, "partners");
  EXPECT_EQ(skipped.key, "A");
  EXPECT_EQ(skipped.column, "Name");
  EXPECT_EQ(skipped.value, "\"A name far too long\"");
  EXPECT_NE(skipped.reason.find("19 characters"), std::string::npos) << skipped.reason;
}

// Every row with a value that does not fit: far more entries than are held in memory.
// Each keeps its row's key (known only once the row is stored), in order, whether it is
// held or went to the file.
TEST_F(CopyTest, ManyValuesThatDoNotFitAreEachListedWithTheirRowsKey) {
  constexpr size_t kRows = 2 * db::SkippedValues::kHeld + 123;
  std::vector<std::vector<FieldValue>> rows;
  for (size_t i = 0; i < kRows; ++i) rows.push_back({"P" + std::to_string(i), "A name far too long", "P"});
  source_rows(std::move(rows));
  db::RunTransfer(group, state);
  EXPECT_EQ(state.SuccessCount, 1);
  ASSERT_EQ(partners->rows.size(), kRows);
  ASSERT_EQ(state.skipped.size(), kRows);
  size_t seen = 0;
  state.skipped.for_each([&](const db::SkippedValue& skipped) {
    EXPECT_EQ(skipped.key, "P" + std::to_string(seen)) << seen;
    EXPECT_EQ(skipped.column, "Name");
    ++seen;
  });
  EXPECT_EQ(seen, kRows);
  EXPECT_EQ(state.skipped[db::SkippedValues::kHeld + 5].key, "P" + std::to_string(db::SkippedValues::kHeld + 5));
  EXPECT_THROW(state.skipped.unsettled(0), std::logic_error);  // a listed entry is final
}

TEST_F(CopyTest, KeyViolationStopsTheGroupWithOneMessageAndKeepsEarlierRows) {
  source_rows({{"A", "a", "P"}, {"B", "b", "P"}, {"A", "again", "P"}, {"D", "d", "P"}, {"E", "e", "P"}});
  db::RunTransfer(group, state);
  EXPECT_EQ(state.SuccessCount, -1);
  ASSERT_EQ(reporter.errors.size(), 1u);
  EXPECT_NE(reporter.errors[0].find("duplicate values"), std::string::npos);
  EXPECT_EQ(partners->rows.size(), 2u);
  ASSERT_EQ(state.skipped.size(), 1u);
  EXPECT_EQ(state.skipped[0].key, "A");
  EXPECT_NE(state.skipped[0].reason.find("rest of this group"), std::string::npos);
  // What it left open is closed by the next transfer's CloseRecordSet.
  EXPECT_EQ(state.rsDestinationMtr.State(), 1);
  db::CloseRecordSet(state);
  EXPECT_EQ(state.rsSourceMtr.State() + state.rsDestinationMtr.State(), 0);
}

TEST_F(CopyTest, UpdateRefusedForAnUnstorableValueSkipsOnlyThatRow) {
  source_rows({{"A", "a", "P"}, {"B", "b", "P"}, {"C", "c", "P"}});
  partners->fail_append = [](const std::vector<FieldValue>& row) {
    if (holds(row[0], "B")) throw db::value_not_stored("number out of range");
  };
  db::RunTransfer(group, state);
  EXPECT_EQ(state.SuccessCount, 1);
  EXPECT_EQ(partners->rows.size(), 2u);
  ASSERT_EQ(state.skipped.size(), 1u);
  EXPECT_EQ(state.skipped[0].key, "B");
  EXPECT_EQ(state.skipped[0].column, "");
  EXPECT_NE(state.skipped[0].reason.find("row not stored"), std::string::npos);
}

TEST_F(CopyTest, ErrorInsideCloseRecordSetEndsTheTransferBeforeItOpensAnything) {
  source_rows({{"A", "a", "P"}});
  new_file.close_error = db::ErrorCode::Unspecified;
  db::RunTransfer(group, state);
  EXPECT_EQ(state.SuccessCount, -1);
  EXPECT_EQ(reporter.errors, std::vector<std::string>{"Disk full while committing."});
  EXPECT_TRUE(old_file.statements.empty());
  EXPECT_TRUE(partners->rows.empty());
  // Stopped before any stage began, the group is still listed by its name.
  ASSERT_EQ(state.skipped.size(), 1u);
  EXPECT_EQ(state.skipped[0].group, "Partners");
}

// A group is reported as moved only after its rows are made durable; when that
// fails (a full disk), the group is listed as not stored and never counted.
TEST_F(CopyTest, AGroupCountsOnlyOnceItsRowsAreCommitted) {
  source_rows({{"A", "a", "P"}});
  db::RunTransfer(group, state);
  EXPECT_EQ(new_file.commits, 1);
  EXPECT_EQ(state.SuccessCount, 1);

  source_rows({{"B", "b", "P"}});
  new_file.commit_error = db::ErrorCode::Unspecified;
  db::RunTransfer(group, state);
  EXPECT_EQ(state.SuccessCount, 0);
  ASSERT_EQ(state.skipped.size(), 1u);
  EXPECT_EQ(state.skipped[0].group, "Partners");
  EXPECT_NE(state.skipped[0].reason.find("not stored in full"), std::string::npos) << state.skipped[0].reason;
  EXPECT_NE(state.skipped[0].line().find("Disk full while committing."), std::string::npos);
}

// A signal asks the run to stop: the group stops between two rows (each row stored
// whole or not at all), a later group does not start, and both are listed.
TEST_F(CopyTest, AnInterruptionStopsBetweenRowsAndListsWhatWasNotMoved) {
  source_rows({{"A", "a", "P"}, {"B", "b", "P"}, {"C", "c", "P"}});
  partners->fail_append = [](const std::vector<FieldValue>& row) {
    if (holds(row[0], "B")) db::request_interruption(SIGTERM);
  };
  db::RunTransfer(group, state);
  db::RunTransfer(group, state);
  db::clear_interruption();
  // SIGTERM is "SIGTERM" on POSIX, closing the console on Windows.
  const std::string by = std::string("interrupted by ") + platform::stop_signal_name(SIGTERM);
  EXPECT_EQ(partners->rows.size(), 2u);
  EXPECT_EQ(state.SuccessCount, -2);
  EXPECT_EQ(reporter.errors, std::vector<std::string>{"The transfer stopped: the run was " + by + "."});
  ASSERT_EQ(state.skipped.size(), 2u);
  EXPECT_EQ(state.skipped[0].group, "Partners");
  EXPECT_EQ(state.skipped[0].reason,
            "stopped, the rest of this group was not moved: The transfer stopped: the run was " + by + ".");
  EXPECT_EQ(state.skipped[1].line(), "Partners: not moved: the run was " + by);
}

// Master/detail: orders with items, found by a query built from each order.
struct DetailTest : CopyTest {
  FakeTable* orders = nullptr;
  FakeTable* items = nullptr;
  db::Group orders_group{.stages = {{
                             .label = "Orders",
                             .source = "Select * from orders",
                             .destination = {"orders", db::adLockOptimistic, "orders"},
                             .mapping = {FieldEntry{"No", "No", 0}, FieldEntry{"Day", "Day", 0},
                                         FieldEntry{"Total", {}, 0}},
                             .detail =
                                 db::DetailCopy{
                                     .query = {db::literal("Select * from items where No = '"),
                                               db::source_value("NO", "No"), db::literal("' and cstr(Day) = '"),
                                               db::saved_value("day", "Day", "cstr(Day)"), db::literal("'")},
                                     .destination = {"items"},
                                     .mapping = {FieldEntry{"No", "No", 0}, FieldEntry{"Line", "Line", 0}},
                                 },
                         }}};

  void SetUp() override {
    CopyTest::SetUp();
    orders = &new_file.add_table(FakeTable("orders", {{"No"}, {"Day", ColumnType::DateTime}, {"Total",
                                                                                              ColumnType::Currency}}));
    items = &new_file.add_table(FakeTable("items", {{"No"}, {"Line", ColumnType::Long}}));
    old_file.add_result("Select * from orders", {"No", "Day"},
                        {{"O'1", DateTime{45155.5}}, {"O2", FieldValue{}}, {"O3", FieldValue{}}});
    old_file.add_result("Select * from items where No = 'O''1' and cstr(Day) = '17/08/2023 12:00:00'",
                        {"No", "Line"}, {{"O'1", 2}, {"O'1", 1}});
    old_file.add_result("Select * from items where No = 'O2' and cstr(Day) = '30/12/1899'", {"No", "Line"},
                        {});
    old_file.add_result("Select * from items where No = 'O3' and cstr(Day) = '30/12/1899'", {"No", "Line"},
                        {{"O3", 7}});
  }
};

TEST_F(DetailTest, ItemsFollowTheirOrderFoundByQuotedValuesAndSavedDefaults) {
  db::RunTransfer(orders_group, state);
  EXPECT_EQ(reporter.errors, std::vector<std::string>{});
  EXPECT_EQ(state.SuccessCount, 1);
  ASSERT_EQ(orders->rows.size(), 3u);
  EXPECT_EQ(orders->at(0, "Total"), FieldValue(Currency{0}));  // the constant
  EXPECT_EQ(orders->at(1, "Day"), FieldValue(DateTime{0}));    // default 0 as day zero
  ASSERT_EQ(items->rows.size(), 3u);
  EXPECT_EQ(items->at(0, "Line"), FieldValue(int64_t{2}));  // in the order the query gives them
  EXPECT_EQ(items->at(1, "Line"), FieldValue(int64_t{1}));
  EXPECT_EQ(items->at(2, "No"), FieldValue("O3"));
  // The item table is opened only for orders that have items.
  EXPECT_EQ(std::count(new_file.table_opens.begin(), new_file.table_opens.end(), "items"), 2);
  EXPECT_EQ(state.rsDestinationDet.State(), 1);
}

TEST_F(DetailTest, ErrorInTheFirstStageSkipsTheSecondAndTheEndRecycle) {
  db::Group two_stages = orders_group;
  two_stages.recycle_at_end = true;
  db::Stage second = orders_group.stages[0];
  second.source = "Select * from more_orders";
  two_stages.stages.push_back(second);
  old_file.add_result("Select * from more_orders", {"No", "Day"}, {});
  items->fail_append = [](const std::vector<FieldValue>&) {
    throw db::DbError(db::ErrorCode::Unspecified, "The disk is full.");
  };
  db::RunTransfer(two_stages, state);
  EXPECT_EQ(state.SuccessCount, -1);
  EXPECT_EQ(reporter.errors, std::vector<std::string>{"The disk is full."});
  EXPECT_EQ(std::count(old_file.statements.begin(), old_file.statements.end(), "Select * from more_orders"), 0);
  EXPECT_EQ(orders->rows.size(), 1u);
}

TEST_F(DetailTest, ItemsOfAnOrderThatWasNotStoredAreRecordedInsteadOfAppended) {
  orders->fail_append = [](const std::vector<FieldValue>& row) {
    if (holds(row[0], "O3")) throw db::value_not_stored("the text cannot be indexed");
  };
  db::RunTransfer(orders_group, state);
  EXPECT_EQ(state.SuccessCount, 1);
  EXPECT_EQ(orders->rows.size(), 2u);
  EXPECT_EQ(items->rows.size(), 2u);  // the two items of O'1; O3's item is not left without its order
  const db::StageLedger* ledger = state.ledger.stage(orders_group.stages[0]);
  ASSERT_NE(ledger, nullptr);
  const auto& masters = ledger->master_rows;
  ASSERT_EQ(masters.marks.size(), 3u);
  EXPECT_EQ(masters.marks[0].appended, 1);
  EXPECT_TRUE(masters.marks[2].refused);
  EXPECT_EQ(masters.marks[2].appended, 0);
  EXPECT_EQ(masters.notes.at(2).refused, "the text cannot be indexed");
  EXPECT_EQ(ledger->visits, 3u);
}

// A write that fails after the destination committed on its own undoes only the rows
// appended since: those are accounted as not moved, the ones before as moved.
TEST_F(DetailTest, RowsAFailedWriteUndidAreAccountedAsNotMoved) {
  items->fail_append = [this](const std::vector<FieldValue>& row) {
    if (holds(row[1], int64_t{1})) ++new_file.commits;  // committed with this item
    if (holds(row[0], "O3")) {
      ++new_file.rollbacks;
      orders->rows.resize(1);  // the orders since the commit are gone
      throw db::DbError(db::ErrorCode::Unspecified, "I/O error while writing.");
    }
  };
  db::RunTransfer(orders_group, state);
  EXPECT_EQ(state.SuccessCount, -1);
  const db::StageLedger* ledger = state.ledger.stage(orders_group.stages[0]);
  ASSERT_NE(ledger, nullptr);
  const auto& masters = ledger->master_rows;
  ASSERT_EQ(masters.marks.size(), 3u);
  EXPECT_EQ(masters.marks[0].appended, 1);
  EXPECT_FALSE(masters.marks[0].lost);
  for (size_t row : {1, 2}) {
    EXPECT_EQ(masters.marks[row].appended, 0) << row;
    EXPECT_TRUE(masters.marks[row].lost) << row;
    EXPECT_EQ(masters.notes.at(row).lost, "I/O error while writing.") << row;
  }

  FakeStore source(old_file, db::Access::ReadOnly);
  const db::RunAccount account = db::account_run({&orders_group}, state.ledger, source);
  ASSERT_FALSE(account.sources.empty());
  const db::SourceAccount& orders_account = account.sources[0];
  EXPECT_EQ(orders_account.moved, 1u);
  ASSERT_EQ(orders_account.not_moved.size(), 2u);
  orders_account.not_moved.for_each([](const db::ListedRow& row) {
    EXPECT_EQ(row.reason, "stored, then undone when a write failed: I/O error while writing.");
  });
}

TEST_F(DetailTest, ItemsAreMatchedToTheirViewRowAsFoundAndEachQuerysRowsAreNotKept) {
  orders_group.stages[0].detail->view = {"items_view", {"No", "Line"}, {}};
  const DateTime day{45155.5};
  old_file.add_result("Select No, Line, Day from items_view", {"No", "Line", "Day"},
                      {{"O3", 7, FieldValue{}}, {"O'1", 1, day}, {"O'1", 2, day}, {"O9", 1, day}});
  old_file.add_result("Select * from items where No = 'O''1' and cstr(Day) = '17/08/2023 12:00:00'",
                      {"No", "Line", "Day"}, {{"O'1", 2, day}, {"O'1", 1, day}});
  old_file.add_result("Select * from items where No = 'O3' and cstr(Day) = '30/12/1899'", {"No", "Line", "Day"},
                      {{"O3", 7, FieldValue{}}});
  db::RunTransfer(orders_group, state);
  EXPECT_EQ(state.SuccessCount, 1);
  const db::StageLedger* ledger = state.ledger.stage(orders_group.stages[0]);
  ASSERT_NE(ledger, nullptr);
  ASSERT_TRUE(ledger->item_view.has_value());
  EXPECT_EQ(ledger->visits, 3u);
  const auto& marks = ledger->item_rows.marks;
  ASSERT_EQ(marks.size(), 4u);
  EXPECT_EQ(marks[1].appended, 1);
  EXPECT_EQ(marks[2].appended, 1);
  EXPECT_EQ(marks[0].appended, 1);
  EXPECT_EQ(marks[0].first_master, 2u);  // found by the third order's query
  EXPECT_EQ(marks[3].appended, 0);       // no order's query found it
  // Only the latest query's rows are held; no row needed a note.
  EXPECT_NE(ledger->items, nullptr);
  EXPECT_TRUE(ledger->item_rows.notes.empty());
}

// Where the run selected a text: how many selects came before it.
size_t selected_at(const FakeFile& file, const std::string& text) {
  auto selected = std::find(file.statements.begin(), file.statements.end(), text);
  EXPECT_NE(selected, file.statements.end()) << text;
  return size_t(selected - file.statements.begin());
}

// Every text queued to read ahead was queued before the run selected it.
void expect_queued_before_selected(const FakeFile& file) {
  for (size_t i = 0; i < file.ahead.size(); ++i)
    EXPECT_LE(file.ahead_at[i], selected_at(file, file.ahead[i])) << file.ahead[i];
}

// A value of the stored order is known only once the order is stored, but it is the
// value the copy writes there: the next orders' item queries are read ahead with it
// (converted as the column takes it, the default for an order without a day), and they
// are the very texts the run then selects.
TEST_F(DetailTest, ItemQueriesOnStoredValuesAreReadAheadAsTheRunBuildsThem) {
  old_file.reads_ahead = true;
  db::RunTransfer(orders_group, state);
  EXPECT_EQ(state.SuccessCount, 1);
  ASSERT_EQ(items->rows.size(), 3u);

  const std::vector<std::string> expected{"Select * from items where No = 'O2' and cstr(Day) = '30/12/1899'",
                                          "Select * from items where No = 'O3' and cstr(Day) = '30/12/1899'"};
  ASSERT_EQ(old_file.ahead, expected);
  expect_queued_before_selected(old_file);
}

// While a stage writes its last rows, the statements the next stage opens with (in the
// same group or the next group of the run) are queued to be read ahead: the very texts
// that stage then selects, and only after the last item queries of the stage before.
// Stages without items run briefly: when the first opens, the statements of every stage
// up to the first with items go in, each once.
TEST_F(DetailTest, TheNextStagesStatementsAreReadAheadBehindTheLastItemQueries) {
  old_file.reads_ahead = true;
  db::Stage more_partners = group.stages[0];
  more_partners.source = "Select * from more_partners";
  db::Stage with_items = orders_group.stages[0];
  with_items.detail->query = {db::literal("Select * from items where No = '"), db::source_value("NO", "No"),
                          db::literal("'")};
  with_items.detail->view = {"items_view", {"No", "Line"}, {}};
  db::Stage later_orders = with_items;
  later_orders.source = "  Select * from later_orders ";
  later_orders.detail->view.name = "later_items_view";
  db::Group opening{.stages = {group.stages[0]}};
  db::Group first{.stages = {more_partners, with_items}};
  db::Group second{.stages = {later_orders}};
  state.run_order = {&opening, &first, &second};

  source_rows({{"P1", "Ann", "B"}});
  old_file.add_result("Select * from more_partners", {"ID", "Name", "Kind"}, {{"P2", "Bob", "S"}});
  for (const char* no : {"O'1", "O2", "O3"})
    old_file.add_result("Select * from items where No = '" + db::quote_inner(no) + "'", {"No", "Line"},
                        {{no, 1}});
  old_file.add_result("Select No, Line from items_view", {"No", "Line"}, {});
  old_file.add_result("Select * from later_orders", {"No", "Day"}, {});
  db::RunTransfer(opening, state);
  db::RunTransfer(first, state);
  db::RunTransfer(second, state);
  EXPECT_EQ(state.SuccessCount, 3);
  EXPECT_EQ(partners->rows.size(), 2u);

  const std::vector<std::string> expected{
      // Queued when the first partners stage has opened: the second reads no items
      // either, so the orders stage goes in behind it.
      "Select * from more_partners", "Select * from orders", "Select No, Line from items_view",
      // The item queries of the orders after the first, then the next group's stage
      // behind the last of them.
      "Select * from items where No = 'O2'", "Select * from items where No = 'O3'", "Select * from later_orders",
      "Select No, Line from later_items_view"};
  ASSERT_EQ(old_file.ahead, expected);
  // Each was queued before the run selected it, the orders stage's before the second
  // partners stage was.
  expect_queued_before_selected(old_file);
  EXPECT_LE(old_file.ahead_at[2], selected_at(old_file, expected[0]));
}

}  // namespace
}  // namespace halvaro::test
