#include "app/main_window.h"
#include "app/window_entry.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "tests/app/window_test_support.h"
#include "tests/support/fixtures.h"

namespace halvaro::app {
namespace {

using test::ModalAnswers;

// A stand-in for the transfer run that records its calls and lets a test act in the
// middle of a run.
struct FakeRun {
  std::vector<std::pair<std::string, std::string>> calls;
  std::function<void(MessageSink&)> body;

  TransferRunner runner() {
    return [this](MessageSink& sink, const std::string& source, const std::string& destination) {
      calls.emplace_back(source, destination);
      if (body) body(sink);
      return RunVerdict::Ran;
    };
  }
};

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() : window(run.runner(), answers.hook()) {}

  template <typename T>
  T* control(const char* name) {
    T* found = window.findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QLineEdit* source_box() { return control<QLineEdit>("txt_source_file"); }
  QLineEdit* destination_box() { return control<QLineEdit>("txt_Destination_file"); }
  QPushButton* source_browse() { return control<QPushButton>("cmd_Source"); }
  QPushButton* destination_browse() { return control<QPushButton>("cmd_Destination"); }
  QPushButton* transfer() { return control<QPushButton>("cmd_transfer_data"); }

  QString file(const char* name) {
    const auto path = folder.path() / name;
    std::ofstream(path) << "x";
    return QString::fromStdString(path.string());
  }

  FakeRun run;
  ModalAnswers answers;
  test::TempDir folder;
  MainWindow window;
};

TEST_F(MainWindowTest, LaysOutTheFormInTwipsWithItsCaptionsAndFonts) {
  window.show();
  if (window.logicalDpiX() != 96 || window.logicalDpiY() != 96)
    GTEST_SKIP() << "the pixel figures below are for 96 dpi";
  EXPECT_EQ(window.objectName(), "frm_HLV");
  EXPECT_EQ(window.windowTitle(), "Halvaro ");
  EXPECT_EQ(window.palette().color(QPalette::Window), QColor(0xE0, 0xE0, 0xE0));
  // 7780 x 2230 twips outer size; the offscreen platform draws no frame.
  EXPECT_EQ(window.frameGeometry().size(), QSize(519, 149));

  struct Expected {
    const char* name;
    QString caption;
    QRect pixels;  // twips / 15
  };
  const Expected layout[] = {
      {"Label1", "Source File: ZELT old version File", QRect(6, 3, 196, 13)},
      {"txt_source_file", "", QRect(6, 21, 410, 20)},
      {"cmd_Source", "Browse", QRect(417, 20, 88, 22)},
      {"Label2", "Destination File: ZELT 5.1", QRect(6, 46, 152, 13)},
      {"txt_Destination_file", "", QRect(6, 62, 410, 20)},
      {"cmd_Destination", "Browse", QRect(417, 61, 88, 22)},
      {"cmd_transfer_data", "Transfer Data", QRect(6, 86, 499, 23)},
  };
  for (const auto& expected : layout) {
    SCOPED_TRACE(expected.name);
    QWidget* widget = control<QWidget>(expected.name);
    ASSERT_NE(widget, nullptr);
    if (qobject_cast<QLabel*>(widget) != nullptr) {
      // A label may grow to the right to fit its caption in a wider face.
      EXPECT_EQ(widget->geometry().topLeft(), expected.pixels.topLeft());
      EXPECT_EQ(widget->height(), expected.pixels.height());
      EXPECT_GE(widget->width(), std::max(expected.pixels.width(), widget->sizeHint().width()));
    } else {
      EXPECT_EQ(widget->geometry(), expected.pixels);
    }
    EXPECT_EQ(widget->property("text").toString(), expected.caption);
    const bool captioned = qobject_cast<QLineEdit*>(widget) == nullptr;
    EXPECT_EQ(widget->font().bold(), captioned);
    EXPECT_DOUBLE_EQ(widget->font().pointSizeF(), 8.25);
    if (QFontDatabase::hasFamily("MS Sans Serif")) {
      EXPECT_EQ(widget->font().family(), "MS Sans Serif");
    }
  }
  // The wide button ends where the Browse buttons end.
  EXPECT_EQ(transfer()->geometry().right(), source_browse()->geometry().right());
  EXPECT_FALSE(transfer()->isEnabled());
  EXPECT_TRUE(source_browse()->isEnabled());
  EXPECT_TRUE(destination_browse()->isEnabled());
}

TEST_F(MainWindowTest, TabsThroughBoxesThenButtons) {
  QWidget* expected[] = {source_box(), destination_box(), source_browse(), destination_browse(),
                         transfer()};
  for (size_t i = 0; i + 1 < std::size(expected); ++i) {
    QWidget* next = expected[i]->nextInFocusChain();
    while (next->focusPolicy() == Qt::NoFocus) next = next->nextInFocusChain();
    EXPECT_EQ(next, expected[i + 1]) << expected[i]->objectName().toStdString();
  }
  EXPECT_EQ(window.focusWidget(), source_box());
}

TEST_F(MainWindowTest, EnablesTransferOnlyWhileBothPathsEndInLowerCaseMdb) {
  struct Case {
    const char* source;
    const char* destination;
    bool enabled;
  };
  const Case cases[] = {
      {"/d/old.mdb", "/d/new.mdb", true},
      {"/d/same.mdb", "/d/same.mdb", true},  // the run refuses it, not the rule
      {".mdb", ".mdb", true},
      {"/d/DATA.MDB", "/d/new.mdb", false},
      {"/d/old.mdb", "/d/new.Mdb", false},
      {"/d/old.mdb", "", false},
      {"mdb", "/d/new.mdb", false},
      {"/d/old.mdb ", "/d/new.mdb", false},
      {"/d/old.mdb.bak", "/d/new.mdb", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " | " + c.destination);
    source_box()->setText(c.source);
    destination_box()->setText(c.destination);
    EXPECT_EQ(transfer()->isEnabled(), c.enabled);
    // Either box alone triggers the rule.
    destination_box()->setText("");
    EXPECT_FALSE(transfer()->isEnabled());
    destination_box()->setText(c.destination);
    EXPECT_EQ(transfer()->isEnabled(), c.enabled);
  }
}

TEST_F(MainWindowTest, BrowseFillsBoxesAndTheRuleFollows) {
  const QString old_file = file("old.mdb"), new_file = file("new.mdb");
  const QString upper = file("DATA.MDB"), text = file("notes.txt");
  answers.choose(old_file);
  answers.choose(new_file);
  source_browse()->click();
  EXPECT_FALSE(transfer()->isEnabled());
  destination_browse()->click();
  EXPECT_EQ(source_box()->text(), old_file);
  EXPECT_EQ(destination_box()->text(), new_file);
  EXPECT_TRUE(transfer()->isEnabled());

  // Another extension in one row disables the button though the other row is valid.
  answers.choose(text);
  destination_browse()->click();
  EXPECT_EQ(destination_box()->text(), text);
  EXPECT_FALSE(transfer()->isEnabled());

  // An upper-case extension fills the box, yet the button stays disabled.
  answers.choose(upper);
  destination_browse()->click();
  EXPECT_EQ(destination_box()->text(), upper);
  EXPECT_FALSE(transfer()->isEnabled());
}

TEST_F(MainWindowTest, BothBrowseButtonsShareOneDialogThatRemembersTheLastFile) {
  const QString a = file("a.mdb"), b = file("b.mdb");
  answers.choose(a);
  answers.choose(b);
  answers.cancel();
  source_browse()->click();
  destination_browse()->click();
  source_browse()->click();  // cancelled

  ASSERT_EQ(answers.dialog_start_names.size(), 3u);
  EXPECT_EQ(answers.dialog_start_names[1], a);  // the source's file, in the destination row
  EXPECT_EQ(answers.dialog_start_names[2], b);
  EXPECT_EQ(window.file_dialog().file_name(), b);
  EXPECT_EQ(window.findChildren<QFileDialog*>().size(), 1);
}

TEST_F(MainWindowTest, CancelledBrowseLeavesItsBoxAsItWas) {
  const QString a = file("a.mdb"), b = file("b.mdb");
  answers.choose(a);
  answers.cancel();
  answers.choose(b);
  answers.cancel();
  source_browse()->click();
  destination_browse()->click();
  // The dialog still holds the source's name; the destination box must not get it.
  EXPECT_EQ(destination_box()->text(), "");
  EXPECT_FALSE(transfer()->isEnabled());

  destination_browse()->click();
  source_browse()->click();
  EXPECT_EQ(source_box()->text(), a);
  EXPECT_EQ(destination_box()->text(), b);
  EXPECT_TRUE(transfer()->isEnabled());
}

TEST_F(MainWindowTest, DialogListsAccessFilesWhateverTheirCase) {
  const QString lower = file("data.mdb");
  file("DATA2.MDB");
  file("notes.txt");
  QStringList listed, filters;
  answers.inspect = [&](QDialog& dialog) {
    auto& files = static_cast<QFileDialog&>(dialog);
    files.setDirectory(QString::fromStdString(folder.path().string()));
    auto* combo = files.findChild<QComboBox*>("fileTypeCombo");
    for (int i = 0; combo != nullptr && i < combo->count(); ++i) filters << combo->itemText(i);
    auto* view = files.findChild<QListView*>("listView");
    ASSERT_NE(view, nullptr);
    auto* model = qobject_cast<QFileSystemModel*>(view->model());
    ASSERT_NE(model, nullptr);
    const QModelIndex root = model->index(files.directory().absolutePath());
    // The model reads the folder on a thread of its own.
    test::wait_until([&] { return model->rowCount(root) >= 2; });
    for (int row = 0; row < model->rowCount(root); ++row)
      listed << model->index(row, 0, root).data().toString();
  };
  answers.choose(lower);
  source_browse()->click();
  EXPECT_EQ(filters, QStringList{"MS Access DB File (*.mdb)"});
  listed.sort();
  EXPECT_EQ(listed, (QStringList{"DATA2.MDB", "data.mdb"}));
}

TEST_F(MainWindowTest, SamePathIsRefusedAndFocusGoesToSourceBrowse) {
  MainWindow real(transfer_runner(), answers.hook());
  const QString a = file("a.mdb");
  answers.choose(a);
  answers.choose(a);
  real.findChild<QPushButton*>("cmd_Source")->click();
  real.findChild<QPushButton*>("cmd_Destination")->click();
  auto* button = real.findChild<QPushButton*>("cmd_transfer_data");
  ASSERT_TRUE(button->isEnabled());
  button->setFocus();
  button->click();

  ASSERT_EQ(answers.boxes.size(), 1u);
  const auto& box = answers.boxes[0];
  EXPECT_EQ(box.text, "Source And Destination file can not be same...!");
  EXPECT_EQ(box.title, "Halvaro: File Error");
  EXPECT_EQ(box.icon, QMessageBox::Critical);
  EXPECT_EQ(box.buttons, QMessageBox::Ok);
  EXPECT_EQ(real.focusWidget(), real.findChild<QPushButton*>("cmd_Source"));
  EXPECT_TRUE(button->isEnabled());
}

TEST_F(MainWindowTest, TransferShowsProgressBlocksInputAndReportsThroughMessageBoxes) {
  source_box()->setText("/d/old.mdb");
  destination_box()->setText("/d/new.mdb");
  window.show();
  QStringList captions;
  bool input_blocked = true, stayed_open = true;
  run.body = [&](MessageSink& sink) {
    sink.progress({"Claimant profile", 0, 2});
    captions << transfer()->text();
    sink.progress({"Bills of entry", 3, 10});
    captions << transfer()->text();
    sink.progress({"Shipping bills", 7, 0});
    captions << transfer()->text();
    for (QWidget* input : {static_cast<QWidget*>(source_box()), static_cast<QWidget*>(destination_box()),
                           static_cast<QWidget*>(source_browse()),
                           static_cast<QWidget*>(destination_browse()),
                           static_cast<QWidget*>(transfer())})
      input_blocked = input_blocked && !input->isEnabled();
    window.close();
    stayed_open = window.isVisible();
    sink.show({"Duplicate key in tblBillOfEntryMtr", MessageStyle::Plain, {}, {}});
    sink.show({"Some data missing...!", MessageStyle::Information, {},
               {"Suppliers and buyers: tblSupplierBuyer SupplierName not stored", "second line"}});
  };
  transfer()->click();

  ASSERT_EQ(run.calls.size(), 1u);
  EXPECT_EQ(run.calls[0], (std::pair<std::string, std::string>{"/d/old.mdb", "/d/new.mdb"}));
  EXPECT_EQ(captions, (QStringList{"Copying Claimant profile: 0 of 2 rows",
                                   "Copying Bills of entry: 3 of 10 rows",
                                   "Copying Shipping bills: 7 rows"}));
  EXPECT_TRUE(input_blocked);
  EXPECT_TRUE(stayed_open);

  ASSERT_EQ(answers.boxes.size(), 2u);
  const auto& error = answers.boxes[0];
  EXPECT_EQ(error.icon, QMessageBox::NoIcon);
  EXPECT_EQ(error.title, "Halvaro");
  EXPECT_EQ(error.text, "Duplicate key in tblBillOfEntryMtr");
  EXPECT_TRUE(error.details.isEmpty());
  const auto& result = answers.boxes[1];
  EXPECT_EQ(result.icon, QMessageBox::Information);
  EXPECT_EQ(result.title, "Halvaro");
  EXPECT_EQ(result.details, "Suppliers and buyers: tblSupplierBuyer SupplierName not stored\nsecond line");
  for (const auto& box : answers.boxes) {
    EXPECT_EQ(box.buttons, QMessageBox::Ok);
    EXPECT_TRUE(box.modal);
  }

  // Afterwards the window is as before and a second press runs again.
  EXPECT_EQ(transfer()->text(), "Transfer Data");
  EXPECT_TRUE(transfer()->isEnabled());
  EXPECT_TRUE(source_browse()->isEnabled());
  EXPECT_EQ(source_box()->text(), "/d/old.mdb");
  transfer()->click();
  EXPECT_EQ(run.calls.size(), 2u);
  window.close();
  EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace halvaro::app
