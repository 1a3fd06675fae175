#pragma once

#include <QDialog>

#include <functional>

namespace halvaro::app {

// Shows a modal dialog and returns its result code (QDialog::Accepted or Rejected).
// The window shows its file dialog and message boxes through this one hook, so a
// test can answer them in place instead of entering their event loops.
using ShowModal = std::function<int(QDialog&)>;

inline int exec_modal(QDialog& dialog) { return dialog.exec(); }

}  // namespace halvaro::app
