#include "app/window/window_entry.h"

#include <QApplication>

#include "app/transfer_run.h"

namespace halvaro::app {

TransferRunner transfer_runner() {
  return [](MessageSink& sink, const std::string& source, const std::string& destination) {
    TransferRun run(sink);
    // The window saves the account beside the destination; the result box names the file.
    run.set_report_path(report_path_beside(destination, local_now()));
    return run.run(source, destination) == TransferRun::Outcome::Refused ? RunVerdict::Refused
                                                                         : RunVerdict::Ran;
  };
}

int run_window(int argc, char** argv, const std::string& file) {
  QApplication application(argc, argv);
  MainWindow window(transfer_runner());
  window.show();
  // After show, so that a box about the file stands over the window.
  if (!file.empty()) window.open_file(QString::fromStdString(file));
  return QApplication::exec();
}

}  // namespace halvaro::app
