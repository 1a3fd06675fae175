#include "tests/app/window/window_test_support.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <gtest/gtest.h>

namespace halvaro::test {

namespace {

// The widgets need one QApplication for the whole test program.
class QtApplication : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    application_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { application_.reset(); }

 private:
  std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] const auto* const kQtApplication =
    ::testing::AddGlobalTestEnvironment(new QtApplication);

}  // namespace

bool wait_until(const std::function<bool()>& done) {
  QDeadlineTimer deadline(5000);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

void process_events_for(int milliseconds) {
  QDeadlineTimer deadline(milliseconds);
  while (!deadline.hasExpired()) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

int ModalAnswers::answer(QDialog& dialog) {
  if (inspect) inspect(dialog);
  if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
    boxes.push_back({box->icon(), box->windowTitle(), box->text(), box->detailedText(),
                     box->standardButtons(), box->windowModality() != Qt::NonModal});
    return QMessageBox::Ok;
  }
  auto* files = qobject_cast<QFileDialog*>(&dialog);
  if (files == nullptr || files_.empty()) {
    ADD_FAILURE() << "unexpected dialog " << dialog.objectName().toStdString();
    return QDialog::Rejected;
  }
  dialog_start_names.push_back(files->selectedFiles().value(0));
  const std::optional<QString> choice = files_.front();
  files_.pop_front();
  if (!choice) return QDialog::Rejected;
  files->selectFile(*choice);
  return QDialog::Accepted;
}

}  // namespace halvaro::test
