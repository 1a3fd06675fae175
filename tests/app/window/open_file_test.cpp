// Opening the program with a file (as a file manager does for a .mdb file): the window
// fills the box the file belongs in, told by the tables the file holds.

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/window/main_window.h"
#include "app/window/window_entry.h"
#include "tests/app/window/window_test_support.h"
#include "tests/support/fixtures.h"

namespace halvaro::app {
namespace {

namespace fs = std::filesystem;

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
  ASSERT_EQ(test::run_halvaro({"create", neither.string(), script.string()}).status, 0);

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
