#pragma once

#include <QMessageBox>
#include <QString>

#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <vector>

#include "app/window/modal.h"

// Lets GoogleTest print the Qt strings of failed expectations as text.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace halvaro::test {

// Processes events until `done` holds or a few seconds have passed; true when it held.
bool wait_until(const std::function<bool()>& done);
void process_events_for(int milliseconds);

// A message box as the user would have seen it.
struct ShownBox {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString title;
  QString text;
  QString details;
  QMessageBox::StandardButtons buttons;
  bool modal = false;
};

// Answers the window's modal dialogs in place of a user: each file dialog takes the
// next queued answer (a file, or a cancel), each message box is read and closed with
// OK. `inspect` runs on every dialog before it is answered.
class ModalAnswers {
 public:
  app::ShowModal hook() {
    return [this](QDialog& dialog) { return answer(dialog); };
  }
  void choose(const QString& path) { files_.push_back(path); }
  void cancel() { files_.push_back(std::nullopt); }

  std::vector<ShownBox> boxes;
  std::vector<QString> dialog_start_names;  // the file name each file dialog opened with
  std::function<void(QDialog&)> inspect;

 private:
  int answer(QDialog& dialog);
  std::deque<std::optional<QString>> files_;
};

}  // namespace halvaro::test
