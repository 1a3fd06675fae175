#include <iostream>
#include <vector>

#include "app/process_settings.h"
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
  halvaro::app::apply_process_settings();
  if (argc <= 1) return halvaro::app::run_window(argc, argv);

  CLI::App app{"Halvaro moves the records of a sales-tax application's old database into a "
               "version 5.1 database (both Microsoft Access .mdb files).\n"
               "Run without arguments to open the window; run with one .mdb file to open the window "
               "with that file filled in as the source (an old-version database) or the destination "
               "(a version 5.1 database).",
               "halvaro"};
  app.set_version_flag("--version", std::string("halvaro ") + HALVARO_VERSION);
  app.require_subcommand(0, 1);

  std::vector<Command> commands;
  std::vector<std::string> command_names;
  for (auto& setup : registry()) {
    commands.push_back(setup(app));
    command_names.push_back(commands.back().parser->get_name());
  }
  // Set after the subcommands are added, so that only the program's own help shows it.
  app.footer("Exit status:\n"
             "  0    the command did its work\n"
             "  1    it ran and found a problem: transfer ended with \"Some data missing...!\",\n"
             "       check found damage, exec stopped at a refused row\n"
             "  2    it was refused, or a file could not be read or written\n"
             "  100  and above: the command line was wrong; the message says how");
  if (argc == 2 && halvaro::app::opens_window_with(argv[1], command_names))
    return halvaro::app::run_window(argc, argv, argv[1]);

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
