#include <QLineEdit>

#include <filesystem>

#include "app/database_kind.h"
#include "app/window/main_window.h"

namespace halvaro::app {

namespace {
constexpr const char* kFileErrorTitle = "Halvaro: File Error";
}  // namespace

void MainWindow::open_file(const QString& path) {
  // The boxes hold full paths, as the file dialog returns them.
  std::error_code ignored;
  const std::filesystem::path file = std::filesystem::absolute(path.toStdString(), ignored);
  const DatabaseKindResult found = database_kind_of_file(file);
  switch (found.kind) {
    case DatabaseKind::OldVersion:
      txt_source_file->setText(QString::fromStdString(file.string()));
      return;
    case DatabaseKind::Version51:
      txt_Destination_file->setText(QString::fromStdString(file.string()));
      return;
    case DatabaseKind::Neither:
      message_boxes_.show(Message{file.string() + " is neither an old-version database nor a version 5.1 "
                                  "database: " + found.reason + ". Choose the files with the Browse buttons...!",
                                  MessageStyle::Stop, kFileErrorTitle, {}});
      return;
    case DatabaseKind::Unreadable:
      message_boxes_.show(Message{found.reason + ". Choose the files with the Browse buttons...!",
                                  MessageStyle::Stop, kFileErrorTitle, {}});
      return;
  }
}

}  // namespace halvaro::app
