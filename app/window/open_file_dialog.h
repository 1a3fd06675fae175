#pragma once

#include <QString>

#include "app/window/modal.h"

class QFileDialog;
class QWidget;

namespace halvaro::app {

// Turns a filter in the "description|pattern|description|pattern" form of the
// Windows file dialogs into Qt name filters. Each entry is shown by its description
// alone (the dialog hides the pattern Qt appends), and lists the files matching its
// pattern without regard to letter case; several patterns are separated by ';'.
QStringList name_filters_from_pairs(const QString& filter);

// The window's one file-open dialog, shared by its Browse buttons. Like the common
// dialog control it stands in for, it keeps its file name between uses, so each
// showing starts with the last file chosen through either button.
class OpenFileDialog {
 public:
  OpenFileDialog(QWidget* parent, ShowModal show_modal);

  void set_filter(const QString& filter);
  const QString& file_name() const { return file_name_; }

  // Shows the dialog modally. True when the user chose a file, which becomes the
  // file name; a cancel returns false and leaves the file name as it was.
  bool show_open();

 private:
  QFileDialog* dialog_;  // owned by the parent widget
  ShowModal show_modal_;
  QString file_name_;
};

}  // namespace halvaro::app
