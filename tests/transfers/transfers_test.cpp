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
    add_destination_tables(new_file, {{"shippingbillno", ColumnType::Long}, {"shippingbilldate", ColumnType::DateTime}});
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
            "Select * from VwPurchaseDebit where StRegNo = '0301234500017' And (TaxPeriod Is Null Or TaxPeriod = '') "
            "And InvoiceType = 'P' And InvoiceNo = 'INV-O''7' and cstr(invoicedate) = '17/08/2023 14:35:20' and stregnosupplier = "
            "'O''Brien'");
}

TEST_F(TransfersTest, NullMasterValuesAskForItemsThatAreNullOrEmptyAndOtherValuesKeepTheirShape) {
  source_master({"StRegNo", "TaxPeriod", "InvoiceType", "InvoiceNo", "InvoiceDate", "STRegNoSupplier", "betype",
                 "billofentryno", "billofentrydate", "collectoratecode"},
                {"A1", "T1", "P", "N1", FieldValue{}, FieldValue{}, FieldValue{}, "N1", FieldValue{}, "C1"});
  std::vector<FieldValue> values;
  EXPECT_EQ(db::BuildItemQuery(item_query(transfers::invoices_group(), 0), state, &values),
            "Select * from VwPurchaseDebit where StRegNo = 'A1' And TaxPeriod = 'T1' And InvoiceType = 'P' And "
            "InvoiceNo = 'N1' and (invoicedate Is Null Or cstr(invoicedate) = '') and (stregnosupplier Is Null Or "
            "stregnosupplier = '')");
  EXPECT_EQ(values, (std::vector<FieldValue>{"A1", "T1", "P", "N1", FieldValue{}, FieldValue{}}));
  EXPECT_EQ(db::BuildItemQuery(item_query(transfers::bill_of_entry_group()), state),
            "Select * from vwbillofentry where StRegNo = 'A1' And TaxPeriod = 'T1' And (BeType Is Null Or BeType = '')"
            "  and cstr(BillOfEntryNo) = 'N1' and (BillofEntryDate Is Null Or cstr(BillofEntryDate) = '') and "
            "collectorateCode = 'C1'");

  // A value that reads like a condition is still only a value.
  state.rsSourceMtr.Close();
  source_master({"StRegNo", "taxperiod", "InvoiceType", "InvoiceNo", "Invoicedate", "STRegNoSupplier"},
                {"TaxPeriod = '", FieldValue{}, "P", "N1", "D1", "S1"});
  EXPECT_EQ(db::BuildItemQuery(item_query(transfers::invoices_group(), 1), state),
            "Select * from VwSalesCredit where StRegNo = 'TaxPeriod = ''' And (TaxPeriod Is Null Or TaxPeriod = '') "
            "And InvoiceType = 'P' And InvoiceNo = 'N1' and cstr(invoicedate) = 'D1' and stregnosupplier = 'S1'");
}

}  // namespace
}  // namespace halvaro::test
