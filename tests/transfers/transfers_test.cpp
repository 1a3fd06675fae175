#include <gtest/gtest.h>

#include "db/copy_procedure.h"
#include "tests/db/recording_reporter.h"
#include "tests/transfers/fake_zelt.h"

namespace halvaro::test {
namespace {

using jet::ColumnType;

struct TransfersTest : ::testing::Test {
  FakeFiles files;
  FakeFile& old_file = files.files["/old.mdb"];
  FakeFile& new_file = files.files["/new.mdb"];
  RecordingReporter reporter;
  db::TransferState state{files.opener(), reporter};

  void SetUp() override {
    add_empty_sources(old_file);
    add_destination_tables(new_file, {{"TotalSED", ColumnType::Currency},
                                      {"specialSED", ColumnType::Currency},
                                      {"SpecialSED", ColumnType::Currency},
                                      {"shippingbillno", ColumnType::Long},
                                      {"shippingbilldate", ColumnType::DateTime},
                                      {"billofentrydate", ColumnType::DateTime}});
    state.Con_Source.Open(db::connection_text_for("/old.mdb"), "", "", -1);
    state.Con_Destination.Open(db::connection_text_for("/new.mdb"), "", "", -1);
  }

  // Puts rsSourceMtr on a master row with these columns.
  void source_master(std::vector<std::string> columns, std::vector<FieldValue> row) {
    old_file.add_result("master", std::move(columns), {std::move(row)});
    state.rsSourceMtr.Open("master", state.Con_Source, 3, 3, -1);
  }
  const std::vector<db::QueryPiece>& item_query(const db::Group& group, size_t stage = 0) {
    return group.stages.at(stage).detail->query;
  }
};

TEST_F(TransfersTest, ItemQueriesReadExactlyAsBuiltFromTheMasterRow) {
  source_master({"StRegNo", "TaxPeriod", "InvoiceType", "InvoiceNo", "InvoiceDate", "STRegNoSupplier", "betype",
                 "billofentryno", "billofentrydate", "collectoratecode"},
                {"A1", "T1", "P", "N1", "D1", "S1", "B1", "N1", "D1", "C1"});
  EXPECT_EQ(db::BuildItemQuery(item_query(transfers::invoices_group(), 0), state),
            "Select * from VwPurchaseDebit where StRegNo = 'A1' And TaxPeriod = 'T1' And InvoiceType = 'P' And "
            "InvoiceNo = 'N1' and cstr(invoicedate) = 'D1' and stregnosupplier = 'S1'");
  EXPECT_EQ(db::BuildItemQuery(item_query(transfers::invoices_group(), 1), state),
            "Select * from VwSalesCredit where StRegNo = 'A1' And TaxPeriod = 'T1' And InvoiceType = 'P' And "
            "InvoiceNo = 'N1' and cstr(invoicedate) = 'D1' and stregnosupplier = 'S1'");
  EXPECT_EQ(db::BuildItemQuery(item_query(transfers::bill_of_entry_group()), state),
            "Select * from vwbillofentry where StRegNo = 'A1' And TaxPeriod = 'T1' And BeType = 'B1'  and "
            "cstr(BillOfEntryNo) = 'N1' and cstr(BillofEntryDate) = 'D1' and collectorateCode = 'C1'");
}

TEST_F(TransfersTest, ShippingBillItemQueryTakesNumberDateAndCollectorateFromTheSavedRow) {
  source_master({"StRegNo", "taxperiod", "shippingbillno"}, {"A1", "T1", "ignored"});
  state.rsDestinationMtr.Open("tblShippingBillmtr", state.Con_Destination, 3, 3, -1);
  state.rsDestinationMtr.AddNew();
  state.rsDestinationMtr.Fields("shippingbillno").SetValue(FieldValue{0});
  state.rsDestinationMtr.Fields("shippingbilldate").SetValue(FieldValue{0});
  state.rsDestinationMtr.Fields("collectoratecode").SetValue("C1");
  state.rsDestinationMtr.Update();
  EXPECT_EQ(db::BuildItemQuery(item_query(transfers::shipping_bill_group()), state),
            "Select * from VwShippingBill where StRegNo = 'A1' And TaxPeriod = 'T1' And cstr(ShippingBillNo) = '0' "
            "and cstr(Shippingbilldate)= '30/12/1899' and CollectorateCode = 'C1'");
}

TEST_F(TransfersTest, ApostrophesStayInsideTheirQuotesAndDatesReadAsCstrGivesThem) {
  source_master({"StRegNo", "TaxPeriod", "InvoiceType", "InvoiceNo", "InvoiceDate", "STRegNoSupplier"},
                {"0301234500017", FieldValue{}, "P", "INV-O'7",
                 from_civil({2023, 8, 17, 14, 35, 20}), "O'Brien"});
  EXPECT_EQ(db::BuildItemQuery(item_query(transfers::invoices_group(), 0), state),
            "Select * from VwPurchaseDebit where StRegNo = '0301234500017' And TaxPeriod = '' And InvoiceType = 'P' "
            "And InvoiceNo = 'INV-O''7' and cstr(invoicedate) = '17/08/2023 14:35:20' and stregnosupplier = "
            "'O''Brien'");
}

TEST_F(TransfersTest, AllSourcesEmptyCountSixWithoutOpeningADestinationTable) {
  transfers::TransferClaimantInfo(state);
  transfers::TransferClaimantTaxPeriod(state);
  transfers::TransferSupplierBuyer(state);
  transfers::TransferInvoices(state);
  transfers::TransferBillOfEntry(state);
  transfers::TransferShippingBill(state);
  EXPECT_EQ(state.SuccessCount, 6);
  EXPECT_TRUE(reporter.errors.empty());
  EXPECT_TRUE(new_file.table_opens.empty());
  EXPECT_EQ(new_file.closes, 5 + 2);  // one CloseRecordSet per later group, two more for the invoices
}

TEST_F(TransfersTest, InvoicesWriteFormattedDatesConstantsAndTheirItemsThroughBothHalves) {
  const std::vector<std::string> master_columns{"StRegNo",     "TaxPeriod",       "InvoiceType",
                                                "InvoiceNo",   "InvoiceDate",     "STRegNoSupplier",
                                                "Buyer",       "TotalSalesTax",   "TotalExcludSalTax",
                                                "TotalIncludSalTax", "TotalSED"};
  DateTime when = from_civil({2026, 12, 5, 9, 30, 0});
  old_file.add_result("Select * from VwPurchaseDebitMtr", master_columns,
                      {{"A1", "202612", "P", "N1", when, "S1", FieldValue{}, Currency{10}, Currency{20},
                        Currency{30}, Currency{1250}}});
  old_file.add_result("Select * from VwSalesCreditMtr", master_columns,
                      {{"A1", "202612", "S", "N2", FieldValue{}, "", "Buyer Ltd", 1, 2, 3, 4}});
  old_file.add_result("Select * from VwSalesCredit where StRegNo = 'A1' And TaxPeriod = '202612' And "
                      "InvoiceType = 'S' And InvoiceNo = 'N2' and cstr(invoicedate) = '' and "
                      "stregnosupplier = ''",
                      {"StRegNo"}, {});
  // Two items carrying every column the item mapping reads.
  std::vector<std::string> item_columns;
  for (const auto& entry : transfers::invoices_group().stages[0].detail->mapping)
    if (!entry.source.empty()) item_columns.emplace_back(entry.source);
  std::vector<FieldValue> item(item_columns.size(), FieldValue{});
  item[4] = when;  // InvoiceDate
  auto item2 = item;
  item[5] = 1, item2[5] = 2;  // ItemSerialNo
  old_file.add_result("Select * from VwPurchaseDebit where StRegNo = 'A1' And TaxPeriod = '202612' And "
                      "InvoiceType = 'P' And InvoiceNo = 'N1' and cstr(invoicedate) = '05/12/2026 09:30:00' and "
                      "stregnosupplier = 'S1'",
                      item_columns, {item, item2});

  transfers::TransferInvoices(state);
  EXPECT_EQ(reporter.errors, std::vector<std::string>{});
  EXPECT_EQ(state.SuccessCount, 1);
  FakeTable& masters = new_file.table("tblInvoiceMtr");
  ASSERT_EQ(masters.rows.size(), 2u);
  EXPECT_EQ(masters.at(0, "InvoiceDate"), FieldValue("05/12/2026"));
  EXPECT_EQ(masters.at(0, "TotalSED"), FieldValue(Currency{0}));  // never the view's 1250
  EXPECT_EQ(masters.at(0, "buyer"), FieldValue("0"));
  EXPECT_EQ(masters.at(1, "InvoiceDate"), FieldValue("0"));  // null date: the default, unformatted
  EXPECT_EQ(masters.at(1, "Supplier"), FieldValue("0"));
  FakeTable& items = new_file.table("tblInvoiceDetail");
  ASSERT_EQ(items.rows.size(), 2u);
  EXPECT_EQ(items.at(0, "InvoiceDate"), FieldValue("05/12/2026"));
  EXPECT_EQ(items.at(1, "ItemSerialNo"), FieldValue("2"));
  EXPECT_EQ(items.at(1, "specialSED"), FieldValue(Currency{0}));
  // Masters went through the existence queries; all four recordsets end closed.
  EXPECT_EQ(new_file.table_opens.front(), "tblInvoiceMtr");
  EXPECT_EQ(state.rsSourceMtr.State() + state.rsDestinationMtr.State() + state.rsSourceDet.State() +
                state.rsDestinationDet.State(),
            0);
}

}  // namespace
}  // namespace halvaro::test
