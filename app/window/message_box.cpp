#include "app/window/message_box.h"

#include <QMessageBox>

namespace halvaro::app {

namespace {

QMessageBox::Icon icon_for(MessageStyle style) {
  switch (style) {
    case MessageStyle::Stop:
      return QMessageBox::Critical;
    case MessageStyle::Information:
      return QMessageBox::Information;
    case MessageStyle::Plain:
      break;
  }
  return QMessageBox::NoIcon;
}

QString joined_lines(const std::vector<std::string>& lines) {
  QStringList list;
  for (const auto& line : lines) list << QString::fromStdString(line);
  return list.join(u'\n');
}

}  // namespace

MessageBoxSink::MessageBoxSink(QWidget* parent, ShowModal show_modal)
    : parent_(parent), show_modal_(std::move(show_modal)) {}

void MessageBoxSink::show(const Message& message) {
  QMessageBox box(parent_);
  box.setWindowModality(Qt::ApplicationModal);
  box.setIcon(icon_for(message.style));
  box.setWindowTitle(message.title.empty() ? QString(kApplicationTitle)
                                           : QString::fromStdString(message.title));
  // Descriptions come from the database layer and may hold markup characters.
  box.setTextFormat(Qt::PlainText);
  box.setText(QString::fromStdString(message.text));
  box.setStandardButtons(QMessageBox::Ok);
  if (!message.details.empty()) box.setDetailedText(joined_lines(message.details));
  show_modal_(box);
}

}  // namespace halvaro::app
