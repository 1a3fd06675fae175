// The public reading API over the shared fixtures: catalog, definitions,
// properties, and the errors a user can meet when opening the wrong file.

#include "jet/catalog/database.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "jet/pages/header.h"
#include "jet/pages/journal.h"
#include "jet/writer/database_writer.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> file_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_bytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Opening `path` fails with a JetError whose message names the file and says `what`.
void expect_open_error(const fs::path& path, const std::string& what) {
  try {
    Database::open(path);
    ADD_FAILURE() << "opened " << path;
  } catch (const JetError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find(path.string()), std::string::npos) << message;
    EXPECT_NE(message.find(what), std::string::npos) << message;
  }
}

TEST(Database, CatalogOfTheOldVersionFile) {
  HALVARO_REQUIRE_DATABASE(file, "old-small.mdb");
  const auto db = Database::open(file);
  EXPECT_EQ(db->format(), Format::Jet4);
  EXPECT_EQ(db->path(), file);
  EXPECT_EQ(db->table_names().size(), 9u);
  EXPECT_EQ(db->query_names(),
            (std::vector<std::string>{"VwPurchaseDebitMtr", "VwPurchaseDebit", "VwSalesCreditMtr",
                                      "VwSalesCredit", "vwBillOfentryMtr", "vwbillofentry",
                                      "VwShippingBillMtr", "VwShippingBill"}));

  // Names match without regard to case, tables and columns alike.
  const TableDef* invoice = db->find_table("TBLINVOICE");
  ASSERT_NE(invoice, nullptr);
  EXPECT_EQ(invoice->name, "tblInvoice");
  ASSERT_NE(invoice->find_column("stregno"), nullptr);
  EXPECT_EQ(invoice->find_column("stregno")->name, "StRegNo");
  EXPECT_EQ(invoice->find_column("nosuchcolumn"), nullptr);
  EXPECT_EQ(db->find_table("VwPurchaseDebitMtr"), nullptr);  // a query, not a table

  // System tables are reachable by name for the saved-query reader.
  const TableDef* queries = db->find_table("MSysQueries");
  ASSERT_NE(queries, nullptr);
  size_t rows = 0;
  db->scan(*queries, [&](std::span<const FieldValue>) { return ++rows, true; });
  EXPECT_GT(rows, 8u);
  EXPECT_TRUE(db->object_id("vwbillofentry").has_value());
  EXPECT_FALSE(db->object_id("nothing").has_value());

  const Index& key = invoice->indexes.at(0);
  EXPECT_TRUE(key.primary);
  EXPECT_TRUE(key.unique);
  ASSERT_EQ(key.columns.size(), 4u);
  EXPECT_EQ(invoice->columns[key.columns[3].column].name, "InvoiceNo");
  EXPECT_NE(key.root_page, 0u);
}

TEST(Database, MissingTablesAndQueriesAreErrorsNamingTheFile) {
  HALVARO_REQUIRE_DATABASE(file, "old-small.mdb");
  const auto db = Database::open(file);
  try {
    db->table("tblNothing");
    ADD_FAILURE();
  } catch (const JetError& e) {
    EXPECT_NE(std::string(e.what()).find("old-small.mdb"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("tblNothing"), std::string::npos);
  }
  EXPECT_THROW(db->query_sql("NoSuchQuery"), JetError);
}

TEST(Database, SavedQueryTextComesFromItsCatalogRows) {
  HALVARO_REQUIRE_DATABASE(file, "old-small.mdb");
  const auto db = Database::open(file);
  EXPECT_EQ(db->query_sql("vwshippingbill"),
            "SELECT tblShippingBillItem.StRegNo, tblShippingBillItem.taxperiod, "
            "tblShippingBillItem.collectoratecode, tblShippingBillItem.shippingbillno, "
            "tblShippingBillItem.shippingbilldate, tblShippingBillItem.itemserialno, "
            "tblShippingBillItem.pctdesc, tblShippingBillItem.pctcode, tblShippingBillItem.quantity, "
            "tblShippingBillItem.Uom AS UomDetail, tblShippingBillItem.exportvalue FROM "
            "tblShippingBillItem");
  EXPECT_NE(db->query_sql("VwSalesCreditMtr").find("LEFT JOIN tblSupplierBuyer ON"), std::string::npos);
}

TEST(Database, SavedQueriesOfJet3Files) {
  HALVARO_REQUIRE_FIXTURE(file, "access/V1997/queryTestV1997.mdb");
  const auto db = Database::open(file);
  EXPECT_EQ(db->query_sql("SelectQuery").rfind("SELECT DISTINCT Table1.*, Table2.col1", 0), 0u);
  try {
    db->query_sql("NoSuchQuery");
    ADD_FAILURE();
  } catch (const JetError& e) {
    EXPECT_NE(std::string(e.what()).find("queryTestV1997.mdb"), std::string::npos) << e.what();
  }
}

TEST(Database, ScanStopsWhenTheVisitorSaysSo) {
  HALVARO_REQUIRE_DATABASE(file, "old-small.mdb");
  const auto db = Database::open(file);
  int seen = 0;
  db->scan(db->table("tblInvoice"), [&](std::span<const FieldValue>) { return ++seen < 3; });
  EXPECT_EQ(seen, 3);
}

TEST(Database, ReadsTheFileWithoutChangingIt) {
  HALVARO_REQUIRE_DATABASE(file, "old-small.mdb");
  const test::TempDir dir;
  const fs::path copy = dir.copy_in(file);
  const auto before = file_bytes(copy);
  {
    const auto db = Database::open(copy);
    for (const auto& name : db->table_names())
      db->scan(db->table(name), [](std::span<const FieldValue>) { return true; });
  }
  EXPECT_EQ(file_bytes(copy), before);
}

// Column properties as mdb-prop prints them ("name: Column" then "\tKey: value").
std::map<std::string, std::map<std::string, std::string>> mdb_prop(const fs::path& file,
                                                                   const std::string& table) {
  const auto out = test::run_program("mdb-prop", {file.string(), table}, test::ErrorOutput::dropped).out;
  std::map<std::string, std::map<std::string, std::string>> columns;
  std::istringstream lines(out);
  std::string line, current;
  while (std::getline(lines, line)) {
    if (line.rfind("name: ", 0) == 0) {
      current = line.substr(6);
    } else if (!line.empty() && line[0] == '\t') {
      const size_t colon = line.find(": ");
      if (colon != std::string::npos) columns[current][line.substr(1, colon - 1)] = line.substr(colon + 2);
    }
  }
  return columns;
}

void expect_column_properties_match_mdb_prop(const fs::path& file) {
  SCOPED_TRACE(file.string());
  const auto db = Database::open(file);
  for (const auto& table_name : db->table_names()) {
    // Where a table has no property blob, mdb-prop prints the blob of the
    // catalog row before it (its buffer is not cleared), so ask it only when
    // there is one; without one every column has the defaults.
    bool has_blob = false;
    for (const CatalogEntry& entry : db->catalog())
      if (entry.name == table_name) has_blob = !entry.properties.empty();
    const auto props = has_blob ? mdb_prop(file, table_name)
                                : std::map<std::string, std::map<std::string, std::string>>{};
    for (const Column& column : db->table(table_name).columns) {
      SCOPED_TRACE(table_name + "." + column.name);
      const auto it = props.find(column.name);
      const auto get = [&](const char* key) -> std::optional<std::string> {
        if (it == props.end() || !it->second.contains(key)) return std::nullopt;
        return it->second.at(key);
      };
      EXPECT_EQ(column.required, get("Required") == "yes");
      EXPECT_EQ(column.allow_zero_length, get("AllowZeroLength") != "no");
      EXPECT_EQ(column.default_value, get("DefaultValue"));
    }
  }
}

// The project's databases: the shared fixtures, or the stand-ins our writer made.
TEST(Database, ColumnPropertiesMatchMdbProp) {
  HALVARO_REQUIRE_MDBTOOLS();
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  for (const fs::path& file : {new_empty, old_small}) expect_column_properties_match_mdb_prop(file);
}

TEST(Database, ColumnPropertiesOfAccessMadeFilesMatchMdbProp) {
  HALVARO_REQUIRE_MDBTOOLS();
  HALVARO_REQUIRE_FIXTURE(dir, "access");
  for (const char* name : {"V2003/testV2003.mdb", "V1997/testV1997.mdb", "V2000/testIndexPropertiesV2000.mdb",
                           "V1997/testIndexCodesV1997.mdb"})
    expect_column_properties_match_mdb_prop(dir / name);
}

// Index shapes ("UNIQUE? col DESC?, ...", "PRIMARY col, ...") as mdb-schema's
// postgres output declares them for one table. Foreign-key indexes it leaves out.
std::multiset<std::string> mdb_schema_indexes(const fs::path& file, const std::string& table) {
  const auto out = test::run_program("mdb-schema", {"--indexes", "--no-relations", "-T", table, file.string(), "postgres"},
                                     test::ErrorOutput::dropped)
                       .out;
  std::multiset<std::string> shapes;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t open = line.rfind('(');
    const size_t close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) continue;
    std::string columns = line.substr(open + 1, close - open - 1);
    std::erase(columns, '"');
    for (char& c : columns) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (line.rfind("CREATE UNIQUE INDEX", 0) == 0)
      shapes.insert("UNIQUE " + columns);
    else if (line.rfind("CREATE INDEX", 0) == 0)
      shapes.insert(columns);
    else if (line.find("PRIMARY KEY") != std::string::npos)
      shapes.insert("PRIMARY " + columns);
  }
  return shapes;
}

std::multiset<std::string> our_indexes(const TableDef& table) {
  std::multiset<std::string> shapes;
  for (const Index& index : table.indexes) {
    if (index.foreign) continue;
    std::string columns;
    for (const IndexColumn& column : index.columns) {
      if (!columns.empty()) columns += ", ";
      // A primary key constraint declares no column order.
      columns += table.columns[column.column].name + (column.ascending || index.primary ? "" : " desc");
    }
    // The postgres dialect lowers identifiers.
    for (char& c : columns) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    shapes.insert((index.primary ? "PRIMARY " : index.unique ? "UNIQUE " : "") + columns);
  }
  return shapes;
}

void expect_index_definitions_match_mdb_schema(const fs::path& file) {
  SCOPED_TRACE(file.string());
  const auto db = Database::open(file);
  for (const auto& table_name : db->table_names()) {
    SCOPED_TRACE(table_name);
    const TableDef& table = db->table(table_name);
    // mdbtools pairs the n-th logical index with the n-th real one and looks
    // indexes up by their number, which is wrong once foreign keys share real
    // indexes or numbers have gaps; compare only where those coincide.
    bool simple = table.indexes.size() == table.real_indexes.size();
    for (size_t i = 0; i < table.indexes.size(); ++i)
      simple = simple && table.indexes[i].index_number == i;
    if (!simple) continue;
    EXPECT_EQ(our_indexes(table), mdb_schema_indexes(file, table_name));
  }
}

TEST(Database, IndexDefinitionsMatchMdbSchema) {
  HALVARO_REQUIRE_MDBTOOLS();
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  for (const fs::path& file : {new_empty, old_small}) expect_index_definitions_match_mdb_schema(file);
}

TEST(Database, IndexDefinitionsOfAccessMadeFilesMatchMdbSchema) {
  HALVARO_REQUIRE_MDBTOOLS();
  HALVARO_REQUIRE_FIXTURE(dir, "access");
  for (const char* name : {"V1997/testIndexCodesV1997.mdb", "V2003/testIndexPropertiesV2003.mdb",
                           "V2000/compIndexTestV2000.mdb", "V1997/indexTestV1997.mdb", "V2003/indexTestV2003.mdb",
                           "V2003/testV2003.mdb"})
    expect_index_definitions_match_mdb_schema(dir / name);
}

TEST(Database, IndexFlagsOfAccessMadeIndexes) {
  HALVARO_REQUIRE_FIXTURE(file, "access/V2003/testIndexPropertiesV2003.mdb");
  const auto db = Database::open(file);
  const auto data_index = [&](const char* table) -> const Index& {
    for (const Index& index : db->table(table).indexes)
      if (index.name == "DataIndex") return index;
    throw std::runtime_error("no DataIndex");
  };
  for (const char* table : {"TableIgnoreNulls1", "TableIgnoreNulls2"}) {
    EXPECT_TRUE(data_index(table).ignore_nulls) << table;
    EXPECT_FALSE(data_index(table).unique) << table;
  }
  for (const char* table : {"TableUnique1_temp", "TableUnique2_temp"}) {
    EXPECT_TRUE(data_index(table).unique) << table;
    EXPECT_FALSE(data_index(table).ignore_nulls) << table;
  }
  EXPECT_EQ(data_index("TableUnique2_temp").columns.size(), 2u);
}

TEST(DatabaseOpen, RejectsFilesThatAreNotAccessDatabases) {
  const test::TempDir dir;
  const fs::path text = dir.path() / "notes.mdb";
  write_bytes(text, std::vector<uint8_t>(8192, 'x'));
  expect_open_error(text, "not an Access database");

  const fs::path empty = dir.path() / "empty.mdb";
  write_bytes(empty, {});
  expect_open_error(empty, "empty");

  expect_open_error(dir.path() / "missing.mdb", "cannot open");
  expect_open_error(dir.path(), "is a folder, not a database file");
}

TEST(DatabaseOpen, RejectsPasswordProtectedAndEncryptedFiles) {
  HALVARO_REQUIRE_DATABASE(file, "new-empty.mdb");
  const test::TempDir dir;
  const fs::path copy = dir.path() / "locked.mdb";
  // Set a password the way Access stores it: in the masked block, masked again
  // with the creation date.
  auto bytes = file_bytes(file);
  std::span<uint8_t> page0(bytes.data(), 4096);
  apply_header_mask(page0, Format::Jet4);
  page0[0x42] ^= 'p';
  apply_header_mask(page0, Format::Jet4);
  write_bytes(copy, bytes);
  expect_open_error(copy, "password-protected");
  // Refused as a destination too, with nothing left beside it.
  EXPECT_THROW(DatabaseWriter::open(copy), JetError);
  EXPECT_FALSE(fs::exists(journal_path(copy)));

  bytes = file_bytes(file);
  page0 = std::span<uint8_t>(bytes.data(), 4096);
  apply_header_mask(page0, Format::Jet4);
  page0[0x3E] = 0x12;  // an encryption key
  apply_header_mask(page0, Format::Jet4);
  write_bytes(copy, bytes);
  expect_open_error(copy, "encrypted");
}

TEST(DatabaseOpen, ReportsATruncatedFile) {
  HALVARO_REQUIRE_DATABASE(file, "old-small.mdb");
  const test::TempDir dir;
  const fs::path copy = dir.path() / "cut.mdb";
  auto bytes = file_bytes(file);
  bytes.resize(bytes.size() / 3);
  write_bytes(copy, bytes);
  try {
    const auto db = Database::open(copy);
    for (const auto& name : db->table_names())
      db->scan(db->table(name), [](std::span<const FieldValue>) { return true; });
    ADD_FAILURE() << "read every table of a truncated file";
  } catch (const JetError& e) {
    EXPECT_NE(std::string(e.what()).find("cut.mdb"), std::string::npos) << e.what();
  }

  bytes.resize(1000);  // less than the header page
  write_bytes(copy, bytes);
  expect_open_error(copy, "truncated");
}

}  // namespace
}  // namespace halvaro::jet
