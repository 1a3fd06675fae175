#pragma once

#include "app/messages.h"
#include "app/window/modal.h"

class QMessageBox;
class QWidget;

namespace halvaro::app {

// The title of a message box that brings none of its own.
inline constexpr const char* kApplicationTitle = "Halvaro";

// Shows each message as a modal message box with an OK button only: no icon, a stop
// icon or an information icon by its style, its own title or the application's, and
// its detail lines (such as values that were not stored) behind the box's details.
class MessageBoxSink : public MessageSink {
 public:
  MessageBoxSink(QWidget* parent, ShowModal show_modal);
  void show(const Message& message) override;

 private:
  QWidget* parent_;
  ShowModal show_modal_;
};

}  // namespace halvaro::app
