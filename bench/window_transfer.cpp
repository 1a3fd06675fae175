// A whole transfer as a user starts it in the window: the two files filled in, "Transfer
// Data" pressed, the message boxes read and closed. The window's own libraries and
// widgets add to the run's memory, so its peak is the one a user sees.
//
//   QT_QPA_PLATFORM=offscreen bench_window_transfer OLD.mdb DESTINATION.mdb
//
// DESTINATION.mdb is written to (the window makes its backup first, as always). Prints
// each message box, the seconds and the peak resident memory.

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <chrono>
#include <cstdio>

#include "app/window/main_window.h"
#include "bench/process_usage.h"
#include "platform/process.h"
#include "app/window/window_entry.h"

using namespace halvaro;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_window_transfer OLD.mdb DESTINATION.mdb\n");
    return 2;
  }
  platform::apply_process_settings();
  QApplication application(argc, argv);
  int boxes = 0;
  auto answer = [&](QDialog& dialog) {
    if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
      ++boxes;
      std::printf("box: %s\n", box->text().toStdString().c_str());
    }
    return static_cast<int>(QDialog::Accepted);
  };
  app::MainWindow window(app::transfer_runner(), answer);
  window.show();
  window.open_file(QString::fromLocal8Bit(argv[1]));
  window.open_file(QString::fromLocal8Bit(argv[2]));
  auto* transfer = window.findChild<QPushButton*>("cmd_transfer_data");
  if (!transfer || !transfer->isEnabled()) {
    std::fprintf(stderr, "the window did not take both files\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  transfer->click();  // returns when the run has ended and its result box was closed
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.2f s, peak %.1f MiB, %d message box(es)\n", seconds, static_cast<double>(bench::own_usage().peak_bytes) / (1 << 20),
              boxes);
  return boxes > 0 ? 0 : 1;
}
