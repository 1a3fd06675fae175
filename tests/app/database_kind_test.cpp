// What the program's one argument opens, and which version a database file is: told
// by the tables the file holds, not by its name.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/database_kind.h"
#include "app/window_argument.h"
#include "tests/support/fixtures.h"

namespace halvaro::app {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kShared{"tblClaimantInfo", "tblClaimantTaxPeriod", "tblSupplierBuyer"};
const std::vector<std::string> kOldOnly{"tblInvoice",     "tblInvoiceItem",  "tblBillOfEntry",
                                        "tblBillOfEntryItem", "tblShippingBill", "tblShippingBillItem"};
const std::vector<std::string> kNewOnly{"tblInvoiceMtr",     "tblInvoiceDetail",   "tblBillOfEntryMtr",
                                        "tblBillofEntrydetail", "tblShippingBillmtr", "tblShippingBilldetail"};

std::vector<std::string> joined(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(DatabaseKind, ToldByTheTablesOnlyOneVersionHas) {
  std::vector<std::string> old_but_one = joined({kShared, kOldOnly});
  old_but_one.pop_back();
  std::vector<std::string> upper_case = joined({kShared, kNewOnly});
  for (auto& name : upper_case)
    for (auto& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::vector<std::string> old_plus_one_new = joined({kShared, kOldOnly});
  old_plus_one_new.push_back("tblInvoiceMtr");

  const struct {
    const char* what;
    std::vector<std::string> tables;
    DatabaseKind kind;
  } cases[] = {
      {"old version", joined({kShared, kOldOnly}), DatabaseKind::OldVersion},
      {"old version with tables of its own", joined({kOldOnly, {"Settings"}}), DatabaseKind::OldVersion},
      {"version 5.1", joined({kShared, kNewOnly}), DatabaseKind::Version51},
      {"names in another letter case", upper_case, DatabaseKind::Version51},
      {"only the tables both share", kShared, DatabaseKind::Neither},
      {"an old version lacking one table", old_but_one, DatabaseKind::Neither},
      {"an old version with a 5.1 table", old_plus_one_new, DatabaseKind::Neither},
      {"no tables", {}, DatabaseKind::Neither},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const DatabaseKindResult found = database_kind(c.tables);
    EXPECT_EQ(found.kind, c.kind);
    EXPECT_EQ(found.reason.empty(), c.kind != DatabaseKind::Neither) << found.reason;
  }
  EXPECT_NE(database_kind(joined({kOldOnly, kNewOnly})).reason.find("both"), std::string::npos);
}

TEST(DatabaseKind, OfFilesOnDisk) {
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  HALVARO_REQUIRE_DATABASE(example_old, "old-version.mdb");
  HALVARO_REQUIRE_DATABASE(example_new, "new-5.1.mdb");
  EXPECT_EQ(database_kind_of_file(old_small).kind, DatabaseKind::OldVersion);
  EXPECT_EQ(database_kind_of_file(example_old).kind, DatabaseKind::OldVersion);
  EXPECT_EQ(database_kind_of_file(new_empty).kind, DatabaseKind::Version51);
  EXPECT_EQ(database_kind_of_file(example_new).kind, DatabaseKind::Version51);

  test::TempDir dir;
  const fs::path text = dir.path() / "notes.mdb";
  std::ofstream(text) << "These are not the pages of an Access database.\n";
  for (const fs::path& path : {text, dir.path() / "missing.mdb", dir.path()}) {
    SCOPED_TRACE(path.string());
    const DatabaseKindResult found = database_kind_of_file(path);
    EXPECT_EQ(found.kind, DatabaseKind::Unreadable);
    EXPECT_NE(found.reason.find(path.filename().string()), std::string::npos) << found.reason;
  }
}

TEST(WindowArgument, AFileOpensTheWindowAndAnythingElseGoesToTheCommandLine) {
  test::TempDir dir;
  const fs::path other_extension = dir.path() / "data.accdb";
  std::ofstream(other_extension) << "x";
  const std::vector<std::string> commands{"transfer", "dump"};
  const struct {
    std::string argument;
    bool window;
  } cases[] = {
      {(dir.path() / "missing.mdb").string(), true},  // the window says what is wrong
      {"OLD.MDB", true},
      {other_extension.string(), true},
      {"transfer", false},
      {"--help", false},
      {"-h", false},
      {"typo", false},
      {"", false},
      {".mdb", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.argument);
    EXPECT_EQ(opens_window_with(c.argument, commands), c.window);
  }
  // A command name wins over a file of that name in the working folder.
  const fs::path here = fs::current_path();
  fs::current_path(dir.path());
  std::ofstream("dump") << "x";
  EXPECT_FALSE(opens_window_with("dump", commands));
  EXPECT_TRUE(opens_window_with("data.accdb", commands));
  fs::current_path(here);
}

}  // namespace
}  // namespace halvaro::app
