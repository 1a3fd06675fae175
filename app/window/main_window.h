#pragma once

#include <QElapsedTimer>
#include <QWidget>

#include <functional>
#include <string>

#include "app/window/message_box.h"
#include "app/messages.h"
#include "app/window/modal.h"
#include "app/window/open_file_dialog.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace halvaro::app {

// How a transfer run ended, as far as the window cares: a refused run (the two files
// are the same) sends the focus back to the source Browse button.
enum class RunVerdict { Refused, Ran };

// Runs one transfer from source to destination, reporting every message and its
// progress through the sink. The entry point wires it to the real transfer run.
using TransferRunner =
    std::function<RunVerdict(MessageSink& sink, const std::string& source,
                             const std::string& destination)>;

// The program's only window, frm_HLV: a path box with a Browse button for the source
// and for the destination file, and the "Transfer Data" button, which is enabled
// while both paths end in ".mdb". Closing it ends the program.
class MainWindow : public QWidget {
  Q_OBJECT

 public:
  explicit MainWindow(TransferRunner runner, ShowModal show_modal = exec_modal,
                      QWidget* parent = nullptr);

  // A file the program was started with (as a file manager opens a .mdb file with it):
  // an old-version database fills the source box, a 5.1 database the destination box,
  // as if chosen with Browse. Any other file changes nothing, and a box says why.
  void open_file(const QString& path);

 protected:
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  class RunSink;

  void place_controls();
  void fit_outer_size();
  QRect twips_rect(int left, int top, int width, int height) const;
  void browse(QLineEdit* path_box);
  void apply_enabling_rule();
  void transfer_data();
  void show_progress(const Progress& progress);
  void set_input_enabled(bool enabled);

  QLabel* Label1;
  QLineEdit* txt_source_file;
  QPushButton* cmd_Source;
  QLabel* Label2;
  QLineEdit* txt_Destination_file;
  QPushButton* cmd_Destination;
  QPushButton* cmd_transfer_data;
  OpenFileDialog CD;

  TransferRunner runner_;
  MessageBoxSink message_boxes_;
  bool running_ = false;
  QElapsedTimer since_repaint_;
  std::string shown_group_;
};

}  // namespace halvaro::app
