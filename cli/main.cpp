#include <csignal>
#include <iostream>
#include <vector>

#include "app/window_entry.h"
#include "cli/command.h"

namespace halvaro::cli {

namespace {
std::vector<CommandSetup>& registry() {
  static std::vector<CommandSetup> setups;
  return setups;
}
}  // namespace

bool register_command(CommandSetup setup) {
  registry().push_back(std::move(setup));
  return true;
}

}  // namespace halvaro::cli

int main(int argc, char** argv) {
  using namespace halvaro::cli;
  // Past a file-size limit a write fails (and the writer rolls back) instead of the
  // process being killed half way through a commit.
  std::signal(SIGXFSZ, SIG_IGN);
  if (argc <= 1) return halvaro::app::run_window(argc, argv);

  CLI::App app{"Halvaro moves the records of a sales-tax application's old database into a "
               "version 5.1 database (both Microsoft Access .mdb files).\n"
               "Run without arguments to open the window."};
  app.set_version_flag("--version", std::string("halvaro ") + HALVARO_VERSION);
  app.require_subcommand(0, 1);

  std::vector<Command> commands;
  for (auto& setup : registry()) commands.push_back(setup(app));

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  for (auto& command : commands) {
    if (command.parser->parsed()) {
      try {
        return command.run();
      } catch (const std::exception& e) {
        std::cerr << "halvaro: " << e.what() << "\n";
        return 2;
      }
    }
  }
  std::cout << app.help();
  return 0;
}
