#include <gtest/gtest.h>

#include "db/connection.h"
#include "db/convert.h"
#include "db/errors.h"
#include "db/recordset.h"
#include "tests/db/fake_store.h"

namespace halvaro::test {
namespace {

using db::Access;
using db::Connection;
using db::DbError;
using db::ErrorCode;
using db::Recordset;
using jet::ColumnType;

const std::string kText = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source = /data/old.mdb;Persist Security Info=False";

ErrorCode code_of(const std::function<void()>& call) {
  try {
    call();
  } catch (const DbError& error) {
    return error.code();
  }
  ADD_FAILURE() << "no error raised";
  return ErrorCode::Unspecified;
}

jet::Column column(ColumnType type, int chars = 10) {
  jet::Column c;
  c.name = "c";
  c.type = type;
  c.size = uint16_t(chars * 2);
  return c;
}

TEST(ConnectionText, DataSourceIsThePathBetweenTheBlanksAndTheSemicolon) {
  EXPECT_EQ(db::data_source_of(kText), "/data/old.mdb");
  EXPECT_EQ(db::data_source_of(db::connection_text_for("/a b/x.mdb")), "/a b/x.mdb");
  EXPECT_EQ(db::connection_text_for("/x.mdb"),
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source = /x.mdb;Persist Security Info=False");
  // A path holding ';' is quoted, so the file named is still the whole path.
  EXPECT_EQ(db::data_source_of(db::connection_text_for("/odd;name.mdb")), "/odd;name.mdb");
  EXPECT_EQ(db::data_source_of(db::connection_text_for(" lead.mdb")), " lead.mdb");
  // Any name Linux allows reads back whole: quotes in a quoted value are doubled.
  for (const char* path : {"/say \"hi\";x.mdb", "/\"q\".mdb", "/a\"\";b\"", "\"lead;.mdb"})
    EXPECT_EQ(db::data_source_of(db::connection_text_for(path)), path) << db::connection_text_for(path);
  EXPECT_EQ(code_of([] { db::data_source_of("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"a\"\";"); }),
            ErrorCode::ConnectionText);

  EXPECT_EQ(code_of([] { db::data_source_of("Provider=SQLOLEDB;Data Source = x"); }),
            ErrorCode::ProviderNotFound);
  EXPECT_EQ(code_of([] { db::data_source_of("Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info=False"); }),
            ErrorCode::ConnectionText);
}

TEST(ConnectionLifecycle, EmptyTextReopensTheLastFileAndCloseEndsRecordsets) {
  FakeFiles files;
  files.files["/data/old.mdb"].add_table(FakeTable("t", {{"a"}}));
  Connection connection(Access::Append, files.opener());
  EXPECT_EQ(code_of([&] { connection.Open("", "", "", -1); }), ErrorCode::ConnectionText);

  connection.Open(kText, "", "", -1);
  EXPECT_EQ(connection.State(), 1);
  EXPECT_EQ(code_of([&] { connection.Open(kText, "", "", -1); }), ErrorCode::ObjectOpen);

  Recordset rs;
  rs.Open("t", connection, db::adOpenStatic, db::adLockOptimistic, -1);
  rs.AddNew();
  rs.Fields("A").SetValue("pending");
  connection.Close();  // ends the recordset and drops the row never stored
  EXPECT_EQ(rs.State(), 0);
  EXPECT_EQ(connection.State(), 0);
  EXPECT_TRUE(files.files["/data/old.mdb"].table("t").rows.empty());
  EXPECT_EQ(files.files["/data/old.mdb"].closes, 1);

  connection.Open("", "", "", -1);
  EXPECT_EQ(connection.State(), 1);
  EXPECT_EQ(connection.path(), "/data/old.mdb");
  EXPECT_EQ(files.files["/data/old.mdb"].opens, 2);
}

struct RecordsetTest : ::testing::Test {
  FakeFiles files;
  Connection source{Access::ReadOnly, files.opener()};
  Connection destination{Access::Append, files.opener()};
  FakeFile& old_file = files.files["/old.mdb"];
  FakeFile& new_file = files.files["/new.mdb"];

  void SetUp() override {
    old_file.add_result("Select * from tblSupplierBuyer", {"STRegNo", "SupplierName"},
                        {{"A1", "First"}, {"A2", FieldValue{}}});
    old_file.add_result("Select * from empty", {"x"}, {});
    FakeTable& invoices = new_file.add_table(FakeTable("tblInvoiceMtr", {{"InvoiceType"}, {"InvoiceNo"}}));
    invoices.rows.push_back({"S", "N1"});
    new_file.add_result("Select * from tblInvoiceMtr Where (InvoiceType = 'P'  or Invoicetype = 'D')",
                        {"InvoiceType", "InvoiceNo"}, {});
    source.Open(db::connection_text_for("/old.mdb"), "", "", -1);
    destination.Open(db::connection_text_for("/new.mdb"), "", "", -1);
  }
};

TEST_F(RecordsetTest, StaticSnapshotWalksRowsWithCaseBlindFields) {
  Recordset rs;
  rs.Open("Select * from tblSupplierBuyer", source, 3, 3, -1);
  EXPECT_FALSE(rs.Bof() || rs.Eof());
  rs.MoveFirst();
  EXPECT_EQ(rs.Fields("stregno").Value(), FieldValue("A1"));
  rs.MoveNext();
  EXPECT_TRUE(rs.Fields("SUPPLIERNAME").Value().is_null());
  rs.MoveNext();
  EXPECT_TRUE(rs.Eof());
  EXPECT_EQ(code_of([&] { rs.Fields("STRegNo").Value(); }), ErrorCode::NoCurrentRecord);
  EXPECT_EQ(code_of([&] { rs.Open("Select * from empty", source, 3, 3, -1); }), ErrorCode::ObjectOpen);
  rs.Close();

  rs.Open("Select * from empty", source, 3, 3, -1);
  EXPECT_TRUE(rs.Bof() && rs.Eof());
  rs.Close();
  EXPECT_EQ(code_of([&] { rs.Close(); }), ErrorCode::ObjectClosed);
}

// Names found once are kept while the recordset is reopened on columns of the same
// names (one item query after another, their table), and found again when they differ.
TEST_F(RecordsetTest, ReopenedRecordsetFindsFieldsAmongItsNewColumns) {
  old_file.add_result("Select * from items where k = '1'", {"k", "Qty"}, {{"1", int64_t{5}}});
  old_file.add_result("Select * from items where k = '2'", {"k", "Qty"}, {{"2", int64_t{7}}});
  old_file.add_result("Select Qty, k from items", {"Qty", "k"}, {{int64_t{9}, "3"}});
  old_file.add_result("Select k from items", {"k"}, {{"4"}});
  Recordset rs;
  auto read = [&](const std::string& query) {
    rs.Open(query, source, 3, 3, -1);
    std::pair<FieldValue, FieldValue> values{rs.Fields("qty").Value(), rs.Fields("K").Value()};
    rs.Close();
    return values;
  };
  using Values = std::pair<FieldValue, FieldValue>;
  EXPECT_EQ(read("Select * from items where k = '1'"), Values(int64_t{5}, "1"));
  EXPECT_EQ(read("Select * from items where k = '2'"), Values(int64_t{7}, "2"));
  EXPECT_EQ(read("Select Qty, k from items"), Values(int64_t{9}, "3"));
  rs.Open("Select k from items", source, 3, 3, -1);
  EXPECT_EQ(code_of([&] { rs.Fields("Qty"); }), ErrorCode::ItemNotFound);
  EXPECT_EQ(rs.Fields("k").Value(), FieldValue("4"));
  rs.Close();

  FakeTable& first = new_file.add_table(FakeTable("tblFirst", {{"a"}, {"b"}}));
  FakeTable& second = new_file.add_table(FakeTable("tblSecond", {{"b"}, {"a"}}));
  for (auto [table, value] : {std::pair{"tblFirst", "x"}, {"tblFirst", "y"}, {"tblSecond", "z"}}) {
    rs.Open(table, destination, 3, 3, -1);
    rs.AddNew();
    rs.Fields("B").SetValue(value);
    rs.Update();
    rs.Close();
  }
  EXPECT_EQ(first.at(0, "b"), FieldValue("x"));
  EXPECT_EQ(first.at(1, "b"), FieldValue("y"));
  EXPECT_EQ(second.at(0, "b"), FieldValue("z"));
  EXPECT_TRUE(second.at(0, "a").is_null());
}

// A place found once serves every recordset opened on the same columns; the layout
// changes with the columns, and between a table's stored rows and its new row.
TEST_F(RecordsetTest, APlaceFoundOnceHoldsWhileTheLayoutStaysTheSame) {
  old_file.add_result("Select * from items where k = '1'", {"k", "Qty"}, {{"1", int64_t{5}}});
  old_file.add_result("Select * from items where k = '2'", {"k", "Qty"}, {{"2", int64_t{7}}});
  old_file.add_result("Select Qty, k from items", {"Qty", "k"}, {{int64_t{9}, "3"}});
  Recordset rs;
  rs.Open("Select * from items where k = '1'", source, 3, 3, -1);
  const uint64_t layout = rs.layout();
  const size_t qty = rs.FieldPosition("QTY");
  rs.Close();
  rs.Open("Select * from items where k = '2'", source, 3, 3, -1);
  EXPECT_EQ(rs.layout(), layout);
  EXPECT_EQ(rs.FieldAt(qty).Value(), FieldValue(int64_t{7}));
  EXPECT_EQ(code_of([&] { rs.FieldAt(2); }), ErrorCode::ItemNotFound);
  rs.Close();
  rs.Open("Select Qty, k from items", source, 3, 3, -1);
  EXPECT_NE(rs.layout(), layout);
  EXPECT_EQ(rs.FieldAt(rs.FieldPosition("qty")).Value(), FieldValue(int64_t{9}));
  rs.Close();

  // A query on the table shows its rows and appends to it: other places on the new row.
  new_file.add_result("Select * from tblInvoiceMtr where InvoiceNo = 'N1'", {"InvoiceNo"}, {{"N1"}});
  rs.Open("Select * from tblInvoiceMtr where InvoiceNo = 'N1'", destination, 3, 3, -1);
  const uint64_t stored = rs.layout();
  EXPECT_EQ(rs.FieldPosition("InvoiceNo"), 0u);
  rs.AddNew();
  EXPECT_NE(rs.layout(), stored);
  EXPECT_EQ(rs.FieldPosition("InvoiceNo"), 1u);
  rs.FieldAt(1).SetValue("N2");
  rs.Update();
  rs.Close();
  EXPECT_EQ(new_file.table("tblInvoiceMtr").at(1, "InvoiceNo"), FieldValue("N2"));
}

TEST_F(RecordsetTest, SourceIsNeverWrittenAndMissingColumnsAreErrors) {
  Recordset rs;
  rs.Open("Select * from tblSupplierBuyer", source, 3, 3, -1);
  EXPECT_EQ(code_of([&] { rs.AddNew(); }), ErrorCode::ReadOnly);
  EXPECT_EQ(code_of([&] { rs.Fields("NoSuchColumn"); }), ErrorCode::ItemNotFound);
}

TEST_F(RecordsetTest, TableOpenedByNameAppendsWithoutReadingItsRows) {
  Recordset rs;
  rs.Open("tblInvoiceMtr", destination, 3, 3, -1);
  EXPECT_FALSE(rs.Bof() && rs.Eof());  // one row already there, known from the count
  rs.AddNew();
  rs.Fields("invoicetype").SetValue("P");
  rs.Fields("InvoiceNo").SetValue(int64_t{42});
  rs.Update();
  // The stored row stays current and reads back as stored (converted to text).
  EXPECT_EQ(rs.Fields("InvoiceNo").Value(), FieldValue("42"));
  EXPECT_TRUE(new_file.statements.empty());
  EXPECT_EQ(new_file.table("tblInvoiceMtr").rows.size(), 2u);

  Recordset detail;
  detail.Open("Select *  from tblInvoiceMtr", destination, 3, db::adLockPessimistic, -1);
  EXPECT_FALSE(detail.Bof() && detail.Eof());
  EXPECT_TRUE(new_file.statements.empty());
}

TEST_F(RecordsetTest, ExistenceQueryShowsItsRowsAndAppendsToItsTable) {
  Recordset rs;
  rs.Open("Select * from tblInvoiceMtr Where (InvoiceType = 'P'  or Invoicetype = 'D')", destination, 3, 3, -1);
  EXPECT_TRUE(rs.Bof() && rs.Eof());
  rs.AddNew();
  rs.Fields("InvoiceType").SetValue("P");
  rs.Update();
  EXPECT_EQ(new_file.table("tblInvoiceMtr").rows.back()[0], FieldValue("P"));
  EXPECT_EQ(code_of([&] { rs.Fields("InvoiceNo").SetValue("late"); }), ErrorCode::ReadOnly);
}

TEST_F(RecordsetTest, FailedUpdateKeepsNothingAndReportsTheEngineError) {
  FakeTable& table = new_file.add_table(FakeTable("keyed", {{"k", ColumnType::Text, 5, true}}, {"k"}));
  Recordset rs;
  rs.Open("keyed", destination, 3, 3, -1);
  rs.AddNew();
  EXPECT_EQ(code_of([&] { rs.Update(); }), ErrorCode::IntegrityViolation);  // required k is null
  rs.AddNew();
  rs.Fields("k").SetValue("x");
  rs.Update();
  rs.AddNew();
  rs.Fields("k").SetValue("x");
  EXPECT_EQ(rs.new_row_key(), "x");
  EXPECT_EQ(code_of([&] { rs.Update(); }), ErrorCode::IntegrityViolation);
  EXPECT_EQ(table.rows.size(), 1u);
}

TEST(Conversion, ZeroIsTextZeroOrDayZeroAndTextIsReadWithTheRegionalSettings) {
  EXPECT_EQ(db::to_column(0, column(ColumnType::Text)), FieldValue("0"));
  EXPECT_EQ(db::to_column(0, column(ColumnType::DateTime)), FieldValue(DateTime{0}));
  EXPECT_EQ(db::to_column(0, column(ColumnType::Boolean)), FieldValue(false));
  // dd/mm/yyyy: 05/12 is the fifth of December, not the twelfth of May.
  auto date = db::to_column("05/12/2026", column(ColumnType::DateTime)).as<DateTime>();
  EXPECT_EQ(to_civil(date), (CivilTime{2026, 12, 5, 0, 0, 0}));
  EXPECT_EQ(db::to_column("15432.1275", column(ColumnType::Currency)), FieldValue(Currency{154321275}));
  EXPECT_EQ(db::to_column(0.1, column(ColumnType::Currency)), FieldValue(Currency{1000}));
  EXPECT_EQ(db::to_column(Currency{125000}, column(ColumnType::Text)), FieldValue("12.5"));
  EXPECT_EQ(db::to_column(true, column(ColumnType::Long)), FieldValue(int64_t{-1}));
  EXPECT_EQ(db::to_column(2.5, column(ColumnType::Long)), FieldValue(int64_t{2}));  // half to even
}

TEST(Conversion, ValuesThatDoNotFitAreNotStored) {
  auto reason = [](const FieldValue& value, const jet::Column& c) {
    try {
      db::to_column(value, c);
    } catch (const DbError& error) {
      EXPECT_EQ(error.code(), ErrorCode::ErrorsOccurred);
      return error.reason();
    }
    return std::string("stored");
  };
  EXPECT_NE(reason(std::string(11, 'x'), column(ColumnType::Text, 10)).find("11 characters"), std::string::npos);
  EXPECT_EQ(reason("Müller Söhne", column(ColumnType::Text, 12)), "stored");  // characters, not bytes
  // Counted as Jet counts them, in UTF-16 units, past a long ASCII start too: a character
  // beyond the Basic Multilingual Plane takes two.
  EXPECT_EQ(reason(std::string(16, 'x'), column(ColumnType::Text, 16)), "stored");
  EXPECT_NE(reason(std::string(17, 'x'), column(ColumnType::Text, 16)).find("17 characters"), std::string::npos);
  EXPECT_EQ(reason("Karachi Traders Müller Söhne", column(ColumnType::Text, 28)), "stored");
  EXPECT_NE(reason("Karachi Traders \U0001F600", column(ColumnType::Text, 17)).find("18 characters"),
            std::string::npos);
  // A text handed over is taken as it is, and one refused is left as it was for the account.
  FieldValue handed(std::string(11, 'x'));
  EXPECT_THROW(db::to_column(std::move(handed), column(ColumnType::Text, 10)), DbError);
  EXPECT_EQ(handed, FieldValue(std::string(11, 'x')));
  EXPECT_EQ(db::to_column(FieldValue("Müller Söhne"), column(ColumnType::Text, 12)), FieldValue("Müller Söhne"));
  EXPECT_EQ(db::to_column(FieldValue(int64_t{7}), column(ColumnType::Text, 12)), FieldValue("7"));
  EXPECT_NE(reason("31/02/2023", column(ColumnType::DateTime)), "stored");
  EXPECT_NE(reason("abc", column(ColumnType::Long)), "stored");
  EXPECT_NE(reason(int64_t{40000}, column(ColumnType::Integer)), "stored");
  EXPECT_NE(reason(Binary{1, 2}, column(ColumnType::Text)), "stored");
}

}  // namespace
}  // namespace halvaro::test
