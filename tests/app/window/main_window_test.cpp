#include "app/window/main_window.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "app/window/window_entry.h"
#include "tests/app/window/window_test_support.h"
#include "tests/support/damaged_files.h"
#include "tests/support/fixtures.h"

namespace halvaro::app {
namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  // A stand-in for the transfer run; `during_run` acts in the middle of it.
  MainWindowTest()
      : window(
            [this](MessageSink& sink, const std::string& source, const std::string& destination) {
              runs.emplace_back(source, destination);
              if (during_run) during_run(sink);
              return RunVerdict::Ran;
            },
            answers.hook()) {}

  template <typename T = QWidget>
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

  test::ModalAnswers answers;
  test::TempDir folder;
  std::vector<std::pair<std::string, std::string>> runs;
  std::function<void(MessageSink&)> during_run;
  MainWindow window;
};

TEST_F(MainWindowTest, LaysOutTheFormInTwipsWithItsCaptionsFontsAndTabOrder) {
  window.show();
  if (window.logicalDpiX() != 96 || window.logicalDpiY() != 96)
    GTEST_SKIP() << "the pixel figures below are for 96 dpi";
  EXPECT_EQ(window.objectName(), "frm_HLV");
  EXPECT_EQ(window.windowTitle(), "Halvaro ");
  EXPECT_EQ(window.palette().color(QPalette::Window), QColor(0xE0, 0xE0, 0xE0));
  EXPECT_EQ(window.frameGeometry().size(), QSize(519, 149));  // no frame offscreen

  struct Expected {
    const char* name;
    QString caption;
    QRect pixels;  // twips / 15
  };
  const Expected layout[] = {
      {"txt_source_file", "", QRect(6, 21, 410, 20)},
      {"txt_Destination_file", "", QRect(6, 62, 410, 20)},
      {"cmd_Source", "Browse", QRect(417, 20, 88, 22)},
      {"cmd_Destination", "Browse", QRect(417, 61, 88, 22)},
      {"cmd_transfer_data", "Transfer Data", QRect(6, 86, 499, 23)},
      {"Label1", "Source File: ZELT old version File", QRect(6, 3, 196, 13)},
      {"Label2", "Destination File: ZELT 5.1", QRect(6, 46, 152, 13)},
  };
  QWidget* previous = nullptr;
  for (const auto& expected : layout) {
    SCOPED_TRACE(expected.name);
    QWidget* widget = control(expected.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->property("text").toString(), expected.caption);
    if (qobject_cast<QLabel*>(widget) != nullptr) {
      // A label may grow to the right so that a wider face does not cut its caption.
      EXPECT_EQ(widget->geometry().topLeft(), expected.pixels.topLeft());
      EXPECT_EQ(widget->height(), expected.pixels.height());
      EXPECT_GE(widget->width(), std::max(expected.pixels.width(), widget->sizeHint().width()));
    } else {
      EXPECT_EQ(widget->geometry(), expected.pixels);
      // Tab order: the table lists the focusable controls in it.
      QWidget* next = previous ? previous->nextInFocusChain() : widget;
      while (next->focusPolicy() == Qt::NoFocus) next = next->nextInFocusChain();
      EXPECT_EQ(next, widget);
      previous = widget;
    }
    const bool captioned = qobject_cast<QLineEdit*>(widget) == nullptr;
    EXPECT_EQ(widget->font().bold(), captioned);
    EXPECT_DOUBLE_EQ(widget->font().pointSizeF(), 8.25);
    if (QFontDatabase::hasFamily("MS Sans Serif")) {
      EXPECT_EQ(widget->font().family(), "MS Sans Serif");
    }
  }
  EXPECT_FALSE(transfer()->isEnabled());
}

TEST_F(MainWindowTest, EnablesTransferOnlyWhileBothPathsEndInLowerCaseMdb) {
  const std::pair<const char*, bool> sources[] = {
      {"/d/old.mdb", true},   {".mdb", true},      {"/d/DATA.MDB", false}, {"/d/old.Mdb", false},
      {"mdb", false},         {"", false},         {"/d/old.mdb ", false}, {"/d/a.mdb.bak", false},
  };
  for (const auto& [source, enabled] : sources) {
    SCOPED_TRACE(source);
    // Either box's change applies the rule, reading both.
    destination_box()->setText("/d/new.mdb");
    source_box()->setText(source);
    EXPECT_EQ(transfer()->isEnabled(), enabled);
    destination_box()->setText("/d/new.txt");
    EXPECT_FALSE(transfer()->isEnabled());
    destination_box()->setText(source);
    source_box()->setText("/d/new.mdb");
    EXPECT_EQ(transfer()->isEnabled(), enabled);
  }
}

TEST_F(MainWindowTest, BrowseButtonsShareOneDialogThatRemembersTheLastFile) {
  const QString a = file("a.mdb"), b = file("b.mdb"), upper = file("DATA.MDB"), text = file("x.txt");
  answers.choose(a);
  answers.cancel();
  for (const QString& choice : {text, upper, b}) answers.choose(choice);
  answers.cancel();
  source_browse()->click();
  // Cancelled while the dialog holds the source's file: the destination stays empty.
  destination_browse()->click();
  EXPECT_EQ(destination_box()->text(), "");
  destination_browse()->click();
  EXPECT_EQ(destination_box()->text(), text);  // another extension: disabled
  EXPECT_FALSE(transfer()->isEnabled());
  destination_browse()->click();
  EXPECT_EQ(destination_box()->text(), upper);  // listed and filled, still disabled
  EXPECT_FALSE(transfer()->isEnabled());
  destination_browse()->click();
  EXPECT_TRUE(transfer()->isEnabled());
  source_browse()->click();  // cancelled
  EXPECT_EQ(source_box()->text(), a);
  EXPECT_TRUE(transfer()->isEnabled());

  // Each showing starts with the last file chosen, whichever button chose it.
  const auto& starts = answers.dialog_start_names;
  EXPECT_EQ(starts, (std::vector<QString>{starts[0], a, a, text, upper, b}));
  EXPECT_EQ(window.findChildren<QFileDialog*>().size(), 1);
}

TEST_F(MainWindowTest, DialogShowsTheAccessFilterAndListsMdbFilesWhateverTheirCase) {
  const QString lower = file("data.mdb");
  file("DATA2.MDB");
  file("notes.txt");
  QStringList listed, filters;
  answers.inspect = [&](QDialog& dialog) {
    auto& files = dynamic_cast<QFileDialog&>(dialog);
    files.setDirectory(QString::fromStdString(folder.path().string()));
    auto* combo = files.findChild<QComboBox*>("fileTypeCombo");
    for (int i = 0; combo != nullptr && i < combo->count(); ++i) filters << combo->itemText(i);
    auto* view = files.findChild<QListView*>("listView");
    auto* model = view ? qobject_cast<QFileSystemModel*>(view->model()) : nullptr;
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

TEST_F(MainWindowTest, RunShowsProgressBlocksInputAndReportsInMessageBoxes) {
  source_box()->setText("/d/old.mdb");
  destination_box()->setText("/d/new.mdb");
  window.show();
  QStringList captions;
  bool input_blocked = true;
  during_run = [&](MessageSink& sink) {
    for (const Progress& step : {Progress{kReadingSource, 8192, 0, Progress::Work::ReadingSource},
                                 Progress{kBackingUp, 3, 40, Progress::Work::CopyingFile}, Progress{"Claimant profile", 0, 2}, Progress{"Bills of entry", 3, 10},
                                 Progress{"Shipping bills", 7, 0}, Progress{kSavingReport, 4096, 9000, Progress::Work::SavingReport}}) {
      sink.progress(step);
      captions << transfer()->text();
    }
    for (const char* input :
         {"txt_source_file", "txt_Destination_file", "cmd_Source", "cmd_Destination", "cmd_transfer_data"})
      input_blocked = input_blocked && !control(input)->isEnabled();
    window.close();  // refused until the run ends
    EXPECT_TRUE(window.isVisible());
    sink.show({"Duplicate key", MessageStyle::Plain, {}, {}});
    sink.show({"Some data missing...!", MessageStyle::Information, {}, {"first value", "second value"}});
  };
  transfer()->click();

  EXPECT_EQ(runs, (std::vector<std::pair<std::string, std::string>>{{"/d/old.mdb", "/d/new.mdb"}}));
  EXPECT_EQ(captions, (QStringList{"Reading the source: 8192 rows", "Backing up the destination: 3 of 40 MiB",
                                   "Copying Claimant profile: 0 of 2 rows",
                                   "Copying Bills of entry: 3 of 10 rows", "Copying Shipping bills: 7 rows",
                                   "Saving the report: 4096 of 9000 entries"}));
  EXPECT_TRUE(input_blocked);
  ASSERT_EQ(answers.boxes.size(), 2u);
  EXPECT_EQ(answers.boxes[0].icon, QMessageBox::NoIcon);
  EXPECT_EQ(answers.boxes[0].text, "Duplicate key");
  EXPECT_EQ(answers.boxes[0].details, "");
  EXPECT_EQ(answers.boxes[1].icon, QMessageBox::Information);
  EXPECT_EQ(answers.boxes[1].details, "first value\nsecond value");
  for (const auto& box : answers.boxes) {
    EXPECT_EQ(box.title, "Halvaro");
    EXPECT_EQ(box.buttons, QMessageBox::Ok);
    EXPECT_TRUE(box.modal);
  }

  // Afterwards the window is as before, and a second press runs again; a failure
  // escaping that run is shown and the window recovers.
  EXPECT_EQ(transfer()->text(), "Transfer Data");
  EXPECT_TRUE(source_browse()->isEnabled());
  during_run = [](MessageSink&) { throw std::runtime_error("disk full"); };
  transfer()->click();
  EXPECT_EQ(runs.size(), 2u);
  EXPECT_EQ(answers.boxes.back().text, "disk full");
  EXPECT_TRUE(transfer()->isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  window.close();
  EXPECT_FALSE(window.isVisible());
}

// The window wired to the real transfer run, as the program starts it.
class WindowTransferTest : public ::testing::Test {
 protected:
  void press_transfer(const QString& source, const QString& destination) {
    answers.choose(source);
    answers.choose(destination);
    window.findChild<QPushButton*>("cmd_Source")->click();
    window.findChild<QPushButton*>("cmd_Destination")->click();
    auto* button = window.findChild<QPushButton*>("cmd_transfer_data");
    ASSERT_TRUE(button->isEnabled());
    button->setFocus();
    button->click();
  }

  test::ModalAnswers answers;
  MainWindow window{transfer_runner(), answers.hook()};
};

TEST_F(WindowTransferTest, SamePathIsRefusedAndFocusGoesToSourceBrowse) {
  test::TempDir folder;
  const QString path = QString::fromStdString(folder.path().string()) + "/a.mdb";
  std::ofstream(path.toStdString()) << "x";
  press_transfer(path, path);
  ASSERT_EQ(answers.boxes.size(), 1u);
  EXPECT_EQ(answers.boxes[0].text, "Source And Destination file can not be same...!");
  EXPECT_EQ(answers.boxes[0].title, "Halvaro: File Error");
  EXPECT_EQ(answers.boxes[0].icon, QMessageBox::Critical);
  EXPECT_EQ(window.focusWidget(), window.findChild<QPushButton*>("cmd_Source"));
}

TEST_F(WindowTransferTest, WholeTransferEndsWithTheResultBoxListingSkippedValues) {
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  test::TempDir folder;
  const auto source = folder.copy_in(old_small);
  const auto destination = folder.copy_in(new_empty);
  QString caption_at_result;
  answers.inspect = [&](QDialog& dialog) {
    if (qobject_cast<QMessageBox*>(&dialog) != nullptr)
      caption_at_result = window.findChild<QPushButton*>("cmd_transfer_data")->text();
  };
  press_transfer(QString::fromStdString(source.string()), QString::fromStdString(destination.string()));

  // Every group finishes; one partner name too long for its column is not stored.
  ASSERT_EQ(answers.boxes.size(), 1u);
  const auto& result = answers.boxes[0];
  EXPECT_EQ(result.text, "Some data missing...!");
  EXPECT_EQ(result.icon, QMessageBox::Information);
  EXPECT_EQ(result.title, "Halvaro");
  EXPECT_TRUE(result.details.contains("SupplierName")) << result.details.toStdString();
  EXPECT_TRUE(result.details.contains("0502222200014")) << result.details.toStdString();
  // The backup made before the first write is named there too.
  EXPECT_TRUE(result.details.contains("Backup of the destination before this run: " +
                                      QString::fromStdString(folder.path().string()) + "/new-empty.backup-"))
      << result.details.toStdString();
  // The whole account is saved beside the destination, and the details name the file.
  const std::string prefix = "The account of this run is saved in ";
  const std::string details = result.details.toStdString();
  const size_t at = details.find(prefix);
  ASSERT_NE(at, std::string::npos) << details;
  std::string report = details.substr(at + prefix.size());
  report = report.substr(0, report.find('\n'));
  EXPECT_EQ(report.rfind((folder.path() / "new-empty-report-").string(), 0), 0u) << report;
  EXPECT_TRUE(std::filesystem::exists(report)) << report;
  // The button showed the run's progress until the end, then got its caption back.
  EXPECT_TRUE(caption_at_result.startsWith("Copying ")) << caption_at_result.toStdString();
  EXPECT_EQ(window.findChild<QPushButton*>("cmd_transfer_data")->text(), "Transfer Data");
}

TEST_F(WindowTransferTest, FilesThatDoNotFitAreRefusedInAStopBoxBeforeAnyWrite) {
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  test::TempDir folder;
  const auto source = folder.copy_in(old_small);
  const auto destination = folder.path() / "picked-by-mistake.mdb";
  std::filesystem::copy(source, destination);
  press_transfer(QString::fromStdString(source.string()), QString::fromStdString(destination.string()));
  ASSERT_EQ(answers.boxes.size(), 1u);
  EXPECT_EQ(answers.boxes[0].icon, QMessageBox::Critical);
  EXPECT_EQ(answers.boxes[0].title, "Halvaro: File Error");
  EXPECT_TRUE(answers.boxes[0].text.contains("table tblShippingBilldetail is missing"))
      << answers.boxes[0].text.toStdString();
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 2);  // no backup
}

// A damaged destination is refused before anything is written, as on the command line.
TEST_F(WindowTransferTest, ADamagedDestinationIsRefusedInAStopBoxAndLeftAsItWas) {
  const auto built = test::built_databases_dir();
  if (!std::filesystem::exists(built / "new-nonempty.mdb") || !std::filesystem::exists(built / "old-small.mdb"))
    GTEST_SKIP() << "the built test databases are missing (build the target halvaro_test_databases)";
  const std::pair<test::Damage, const char*> cases[] = {{test::Damage::DataPage, "tblInvoiceMtr"},
                                                        {test::Damage::IndexLeaf, "tblInvoiceDetail"},
                                                        {test::Damage::UsageMap, "tblSupplierBuyer"},
                                                        {test::Damage::RowCount, "tblBillOfEntryMtr"}};
  for (const auto& [kind, table] : cases) {
    SCOPED_TRACE(test::damage_name(kind));
    answers.boxes.clear();
    test::TempDir folder;
    const auto source = folder.copy_in(built / "old-small.mdb");
    const auto destination = folder.copy_in(built / "new-nonempty.mdb");
    test::damage(destination, table, kind);
    const std::string before = test::file_bytes(destination);
    press_transfer(QString::fromStdString(source.string()), QString::fromStdString(destination.string()));
    ASSERT_EQ(answers.boxes.size(), 1u);
    const auto& box = answers.boxes[0];
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.title, "Halvaro: File Error");
    EXPECT_TRUE(box.text.startsWith("The destination is damaged; nothing was written...!")) << box.text.toStdString();
    EXPECT_TRUE(box.text.contains(QString::fromStdString(destination.string()))) << box.text.toStdString();
    EXPECT_TRUE(box.text.contains(QString("table ") + table + ": ")) << box.text.toStdString();
    EXPECT_TRUE(box.text.contains("Repair the file")) << box.text.toStdString();
    EXPECT_EQ(test::file_bytes(destination), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 2);  // no backup, no report
  }
}

}  // namespace
}  // namespace halvaro::app
