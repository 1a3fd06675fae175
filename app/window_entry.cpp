#include "app/window_entry.h"

#include <QApplication>
#include <QLabel>

namespace halvaro::app {

int run_window(int argc, char** argv) {
  QApplication application(argc, argv);
  QLabel placeholder("Halvaro: the transfer window is not built yet; see halvaro --help.");
  placeholder.setWindowTitle("Halvaro ");
  placeholder.show();
  return QApplication::exec();
}

}  // namespace halvaro::app
