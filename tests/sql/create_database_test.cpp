// New databases built by DatabaseBuilder and create scripts, read back with mdbtools
// (an independent reader) and checked at the byte level where the format is strict.

#include <gtest/gtest.h>

#include <fstream>

#include "jet/builder/build_rows.h"
#include "sql/create_script.h"
#include "jet/catalog/database.h"
#include "jet/builder/system_catalog.h"
#include "tests/sql/print_value.h"
#include "tests/support/fixtures.h"
#include "tests/support/output_text.h"

namespace halvaro::jet {
namespace {

using namespace sql::script;

using test::TempDir;

std::vector<uint8_t> read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::filesystem::path create(const TempDir& dir, const std::string& sql, const char* name = "new.mdb") {
  auto script = dir.path() / "script.sql";
  std::ofstream(script) << sql;
  auto out = dir.path() / name;
  create_database(out, script);
  return out;
}

// What an mdbtools program prints for `file`, given `options` before it.
std::string mdb(const std::string& tool, const std::filesystem::path& file, std::vector<std::string> options = {}) {
  options.push_back(file.string());
  return test::run_program(tool, options, test::ErrorOutput::merged).out;
}

TEST(NewDatabase, EmptyDatabaseHasTheJetCatalogAndNoUserObjects) {
  TempDir dir;
  auto file = create(dir, "-- nothing but a comment\n");
  auto bytes = read_file(file);
  ASSERT_EQ(bytes.size() % 4096, 0u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()) + 4), "Standard Jet DB");
  EXPECT_EQ(bytes[0x14], 0x01);  // Jet 4
  // Catalog tables sit where their ids say: MSysObjects on page 2 and so on.
  for (size_t page = 2; page <= 5; ++page) EXPECT_EQ(bytes[page * 4096], 0x02) << page;
  EXPECT_TRUE(Database::open(file)->table_names().empty());

  HALVARO_REQUIRE_MDBTOOLS();
  EXPECT_EQ(mdb("mdb-ver", file), "JET4\n");
  EXPECT_EQ(mdb("mdb-tables", file, {"-1"}), "");
  EXPECT_EQ(mdb("mdb-tables", file, {"-S", "-1"}), "MSysObjects\nMSysACEs\nMSysQueries\nMSysRelationships\n");
  std::string objects = test::cut_fields(test::run_program("mdb-export", {"-H", file.string(), "MSysObjects"}).out, {1, 2, 3, 4});
  EXPECT_EQ(objects,
            "251658241,251658240,\"Tables\",3\n"
            "251658242,251658240,\"Databases\",3\n"
            "251658243,251658240,\"Relationships\",3\n"
            "268435456,251658242,\"MSysDb\",2\n"
            "2,251658241,\"MSysObjects\",1\n"
            "3,251658241,\"MSysACEs\",1\n"
            "4,251658241,\"MSysQueries\",1\n"
            "5,251658241,\"MSysRelationships\",1\n");
}

TEST(NewDatabase, TablesReadBackWithTypesSizesKeysAndIndexes) {
  TempDir dir;
  auto file = create(dir, R"(
    CREATE TABLE tblPartner (
      STRegNo TEXT(13) NOT NULL, Partner VARCHAR(13) NOT NULL, [Partner Name] TEXT(100),
      Notes MEMO, Seq COUNTER, Total CURRENCY, Rate DOUBLE, Share SINGLE, Active YESNO,
      Since DATETIME, Items SHORT, Flags BYTE, Amount DECIMAL(18,4), Picture LONGBINARY,
      CONSTRAINT PrimaryKey PRIMARY KEY (STRegNo, Partner)
    );
    CREATE UNIQUE INDEX BySince ON tblPartner (Since DESC, Items);
    CREATE INDEX ByName ON tblPartner ([Partner Name]);
    create table Second (Code long unique, Label text);
    CREATE TABLE [Übersicht 2024-Q1 (Kopie)] ([Straße] TEXT(40));
  )");
  // Our own reader, and where it runs mdbtools, see the definition.
  auto db = Database::open(file);
  EXPECT_EQ(db->table_names(), (std::vector<std::string>{"tblPartner", "Second", "Übersicht 2024-Q1 (Kopie)"}));
  const TableDef& partner = db->table("tblpartner");
  ASSERT_EQ(partner.columns.size(), 14u);
  EXPECT_EQ(partner.columns[0].size, 26);  // TEXT(13): two bytes a character
  EXPECT_TRUE(partner.columns[0].required);
  EXPECT_TRUE(partner.columns[4].autonumber);
  EXPECT_EQ(partner.columns[12].precision, 18);
  EXPECT_EQ(partner.columns[12].scale, 4);
  ASSERT_EQ(partner.indexes.size(), 3u);
  EXPECT_TRUE(partner.indexes[0].primary);
  EXPECT_EQ(partner.indexes[0].columns.size(), 2u);
  EXPECT_EQ(partner.indexes[1].columns[0].column, 9);
  EXPECT_FALSE(partner.indexes[1].columns[0].ascending);
  EXPECT_EQ(partner.row_count, 0u);

  HALVARO_REQUIRE_MDBTOOLS();
  std::string schema = test::run_program("mdb-schema", {"--indexes", file.string(), "postgres"}, test::ErrorOutput::dropped).out;
  for (const char* expected : {
           "\"stregno\"\t\t\tVARCHAR (13) NOT NULL",
           "\"partner\"\t\t\tVARCHAR (13) NOT NULL",
           "\"partner name\"\t\t\tVARCHAR (100)",
           "\"notes\"\t\t\tTEXT",
           "\"seq\"\t\t\tSERIAL",
           "\"total\"\t\t\tNUMERIC(15,2)",
           "\"rate\"\t\t\tDOUBLE PRECISION",
           "\"share\"\t\t\tREAL",
           "\"since\"\t\t\tTIMESTAMP WITHOUT TIME ZONE",
           "\"items\"\t\t\tINTEGER",
           "\"flags\"\t\t\tSMALLINT",
           "\"amount\"\t\t\tNUMERIC (18, 4)",
           "\"label\"\t\t\tVARCHAR (255)",
           "PRIMARY KEY (\"stregno\", \"partner\")",
           "CREATE UNIQUE INDEX \"tblpartner_bysince_idx\" ON \"tblpartner\" (\"since\" DESC, \"items\")",
           "CREATE INDEX \"tblpartner_byname_idx\" ON \"tblpartner\" (\"partner name\")",
           "CREATE UNIQUE INDEX \"second_code_idx\" ON \"second\" (\"code\")",
       }) {
    EXPECT_NE(schema.find(expected), std::string::npos) << expected << "\n" << schema;
  }
  EXPECT_EQ(mdb("mdb-tables", file, {"-1"}), "tblPartner\nSecond\nÜbersicht 2024-Q1 (Kopie)\n");
  // Required columns are recorded as Access does: a Required property per column.
  EXPECT_EQ(test::run_program("mdb-prop", {file.string(), "tblPartner"}).out,
            "name: STRegNo\n\tRequired: yes\n\nname: Partner\n\tRequired: yes\n\n");
}

TEST(NewDatabase, WideTablesAndLargeCatalogsSpanSeveralPages) {
  // 200 columns need a definition of several pages; 80 tables put MSysObjects and
  // MSysACEs rows on several data pages.
  std::string sql = "CREATE TABLE tblWide (";
  for (int i = 0; i < 200; ++i) sql += (i ? ", " : "") + std::string("ColumnNumber") + std::to_string(i) + " TEXT(20)";
  sql += ", CONSTRAINT PrimaryKey PRIMARY KEY (ColumnNumber199));\n";
  for (int i = 0; i < 80; ++i) sql += "CREATE TABLE tblNarrow" + std::to_string(i) + " (Code LONG PRIMARY KEY);\n";
  sql += "INSERT INTO tblWide (ColumnNumber0, ColumnNumber199) VALUES ('first', 'last');\n";
  TempDir dir;
  auto file = create(dir, sql);
  auto db = Database::open(file);
  EXPECT_EQ(db->table_names().size(), 81u);
  const TableDef& wide = db->table("tblWide");
  ASSERT_EQ(wide.columns.size(), 200u);
  EXPECT_EQ(wide.columns[199].name, "ColumnNumber199");
  EXPECT_EQ(wide.indexes.at(0).columns.at(0).column, 199);
  std::vector<FieldValue> first_row;
  db->scan(wide, [&](std::span<const FieldValue> v) { return first_row.assign(v.begin(), v.end()), false; });
  ASSERT_EQ(first_row.size(), 200u);
  EXPECT_EQ(first_row[0], FieldValue("first"));
  EXPECT_EQ(first_row[199], FieldValue("last"));
  auto check = test::run_halvaro({"check", file.string()}, test::ErrorOutput::merged);
  EXPECT_EQ(check.status, 0) << check.out;

  HALVARO_REQUIRE_MDBTOOLS();
  EXPECT_EQ(test::cut_fields(test::run_program("mdb-export", {"-H", file.string(), "tblWide"}).out, {1, 200}),
            "\"first\",\"last\"\n");
  EXPECT_EQ(test::lines_of(mdb("mdb-tables", file, {"-1"})).size(), 81u);
}

TEST(NewDatabase, CatalogIndexKeysSortAsJetsGeneralOrder) {
  // The catalog's name index must order names case-blind with digits before
  // letters and accents as tie-breakers, its id index negative ids (queries) first.
  auto tables = catalog::system_tables();
  const TableSpec& objects = tables[0];
  const IndexSpec& parent_name = objects.indexes[0];
  auto key = [&](int64_t parent, const char* name) {
    std::vector<FieldValue> v(objects.columns.size());
    v[0] = int64_t{1};
    v[1] = parent;
    v[2] = name;
    return build::encode_index_key(objects, parent_name, v);
  };
  EXPECT_LT(key(5, "abc"), key(5, "ABD"));
  EXPECT_EQ(key(5, "Tables"), key(5, "TABLES"));
  EXPECT_LT(key(5, "tbl2"), key(5, "tblA"));
  EXPECT_LT(key(5, "tbl"), key(5, "tbl_x"));
  EXPECT_LT(key(-7, "zzz"), key(3, "aaa"));
  EXPECT_LT(key(5, "Muller"), key(5, "Müller"));  // accents break ties only
  EXPECT_LT(key(5, "Müller"), key(5, "Mullers"));
}

TEST(NewDatabase, ScriptErrorsNameTheLineAndNothingIsCreated) {
  struct Case {
    const char* sql;
    const char* message;
  };
  const Case cases[] = {
      {"CREATE TABLE t (a TEXT(10));\nCREATE TABLE T (b LONG);", "already exists"},
      {"CREATE TABLE t (a WIDGET);", "unknown column type WIDGET"},
      {"CREATE TABLE t (a TEXT(300));", "must be 1 to 255"},
      {"CREATE TABLE t (a TEXT, a LONG);", "defined twice"},
      {"CREATE TABLE t (a TEXT);\nCREATE INDEX i ON t (b);", "unknown column b"},
      {"CREATE TABLE t (a MEMO);\nCREATE INDEX i ON t (a);", "cannot be indexed"},
      {"CREATE INDEX i ON nowhere (a);", "no table named nowhere"},
      {"CREATE TABLE t (a TEXT,\n  b LONG", "line 2: expected ')'"},
      {"DROP TABLE t;", "line 1: expected CREATE or INSERT"},
      {"CREATE TABLE t (a TEXT, PRIMARY KEY (a), CONSTRAINT pk2 PRIMARY KEY (a));", "at most one primary key"},
      {"CREATE TABLE t (a TEXT);\nINSERT INTO t VALUES ('x", "line 2: text literal is not closed"},
      {"CREATE TABLE [t (a TEXT);", "line 1: name in brackets is not closed"},
      {"CREATE TABLE t (a DATETIME);\n\nINSERT INTO t VALUES (#2024-01-01);", "line 3: date literal is not closed with #"},
      {"CREATE TABLE t (a TEXT) ?", "line 1: unexpected character '?'"},
      // Lines go on counting inside a text that spans lines, and after comments.
      {"CREATE TABLE t (a TEXT);\nINSERT INTO t VALUES ('two\nlines');\nDROP TABLE t;", "line 4: expected CREATE or INSERT"},
      {"-- CREATE TABLE t (a TEXT);\nCREATE TABLE t (a WIDGET);", "line 2: unknown column type WIDGET"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    try {
      create(dir, c.sql);
      ADD_FAILURE() << "accepted: " << c.sql;
    } catch (const JetError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.sql << "\n" << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "new.mdb")) << c.sql;
  }
}

TEST(NewDatabase, AnExistingFileIsNeverReplaced) {
  TempDir dir;
  auto out = dir.path() / "new.mdb";
  std::ofstream(out) << "precious";
  EXPECT_THROW(create(dir, "CREATE TABLE t (a TEXT);"), JetError);
  std::ifstream in(out);
  std::string content;
  in >> content;
  EXPECT_EQ(content, "precious");
}

}  // namespace
}  // namespace halvaro::jet
