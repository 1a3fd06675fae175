#include "app/window_entry.h"

#include <QApplication>

#include "app/main_window.h"

namespace halvaro::app {

TransferRunner transfer_runner() {
  return [](MessageSink& sink, const std::string&, const std::string&) {
    sink.show(Message{"The transfer is not available in this build yet...!",
                      MessageStyle::Information, {}, {}});
    return RunVerdict::Ran;
  };
}

int run_window(int argc, char** argv) {
  QApplication application(argc, argv);
  MainWindow window(transfer_runner());
  window.show();
  return QApplication::exec();
}

}  // namespace halvaro::app
