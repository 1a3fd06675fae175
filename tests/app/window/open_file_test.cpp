// Opening the program with a file (as a file manager does for a .mdb file): the window
// fills the box the file belongs in, told by the tables the file holds.

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/database_kind.h"
#include "app/main_window.h"
#include "app/window_entry.h"
#include "tests/app/window_test_support.h"
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

class OpenFileTest : public ::testing::Test {
 protected:
  OpenFileTest()
      : window([](MessageSink&, const std::string&, const std::string&) { return RunVerdict::Ran; },
               answers.hook()) {}

  QString source() { return window.findChild<QLineEdit*>("txt_source_file")->text(); }
  QString destination() { return window.findChild<QLineEdit*>("txt_Destination_file")->text(); }
  bool transfer_enabled() { return window.findChild<QPushButton*>("cmd_transfer_data")->isEnabled(); }
  static QString text(const fs::path& path) { return QString::fromStdString(path.string()); }

  test::ModalAnswers answers;
  test::TempDir folder;
  MainWindow window;
};

TEST_F(OpenFileTest, AnOldVersionFillsTheSourceAndA51DatabaseTheDestination) {
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  const fs::path old_copy = folder.copy_in(old_small);
  const fs::path new_copy = folder.copy_in(new_empty);

  window.open_file(text(new_copy));
  EXPECT_EQ(destination(), text(new_copy));
  EXPECT_EQ(source(), "");
  EXPECT_FALSE(transfer_enabled());

  // A path relative to the working folder arrives in the box in full, as Browse gives it.
  const fs::path here = fs::current_path();
  fs::current_path(folder.path());
  window.open_file(text(old_copy.filename()));
  fs::current_path(here);
  EXPECT_EQ(source(), text(old_copy));
  EXPECT_EQ(destination(), text(new_copy));
  EXPECT_TRUE(transfer_enabled());
  EXPECT_TRUE(answers.boxes.empty());
}

TEST_F(OpenFileTest, AnyOtherFileChangesNothingAndABoxSaysWhy) {
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  window.open_file(text(old_small));
  const fs::path notes = folder.path() / "notes.mdb";
  std::ofstream(notes) << "These are not the pages of an Access database.\n";
  const fs::path missing = folder.path() / "missing.mdb";

  // A database holding only tables both versions have.
  const fs::path script = folder.path() / "shared-only.sql";
  std::ofstream(script) << "CREATE TABLE tblClaimantInfo (STRegNO TEXT(13) NOT NULL);\n";
  const fs::path neither = folder.path() / "shared-only.mdb";
  ASSERT_EQ(test::run_command(test::halvaro_binary() + " create '" + neither.string() + "' '" + script.string() + "'").status, 0);

  const struct {
    fs::path file;
    const char* says;
  } cases[] = {
      {neither, "neither an old-version database nor a version 5.1 database"},
      {notes, "notes.mdb"},
      {missing, "missing.mdb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.string());
    answers.boxes.clear();
    window.open_file(text(c.file));
    EXPECT_EQ(source(), text(old_small));
    EXPECT_EQ(destination(), "");
    ASSERT_EQ(answers.boxes.size(), 1u);
    EXPECT_EQ(answers.boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(answers.boxes[0].title, "Halvaro: File Error");
    EXPECT_TRUE(answers.boxes[0].text.contains(c.says)) << answers.boxes[0].text.toStdString();
    EXPECT_TRUE(answers.boxes[0].text.endsWith("...!"));
  }
}

}  // namespace
}  // namespace halvaro::app
