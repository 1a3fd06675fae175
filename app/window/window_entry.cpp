#include "app/window_entry.h"

#include <QApplication>

#include <algorithm>
#include <cctype>
#include <filesystem>

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

bool opens_window_with(std::string_view argument, const std::vector<std::string>& command_names) {
  if (argument.empty() || argument.front() == '-') return false;
  if (std::ranges::find(command_names, argument) != command_names.end()) return false;
  std::error_code ignored;
  if (std::filesystem::is_regular_file(std::filesystem::path(argument), ignored)) return true;
  constexpr std::string_view kExtension = ".mdb";
  return argument.size() > kExtension.size() &&
         std::ranges::equal(argument.substr(argument.size() - kExtension.size()), kExtension,
                            [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

}  // namespace halvaro::app
