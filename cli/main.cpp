#include <iostream>
#include <string>
#include <vector>

#include "app/window_argument.h"
#include "cli/command.h"
#include "cli/open_window.h"
#include "platform/console.h"
#include "platform/process.h"

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

CLI::Validator existing_file() {
  return CLI::Validator(
      [](std::string& argument) -> std::string {
        std::error_code error;
        const auto status = std::filesystem::status(file_path(argument), error);
        if (!std::filesystem::exists(status)) return "File does not exist: " + argument;
        if (std::filesystem::is_directory(status)) return "File is actually a directory: " + argument;
        return {};
      },
      "FILE");
}

}  // namespace halvaro::cli

int main(int argc, char** argv) {
  using namespace halvaro::cli;
  halvaro::platform::apply_process_settings();
  if (argc <= 1 && has_window()) return open_window(argc, argv);
  const halvaro::platform::Utf8Console console;
  // The arguments as UTF-8 (on Windows from the wide command line), for the parser.
  std::vector<std::string> arguments = halvaro::platform::command_line_arguments(argc, argv);
  std::vector<char*> utf8_argv;
  for (std::string& argument : arguments) utf8_argv.push_back(argument.data());
  utf8_argv.push_back(nullptr);
  const int utf8_argc = static_cast<int>(arguments.size());

  std::string about =
      "Halvaro moves the records of a sales-tax application's old database into a "
      "version 5.1 database (both Microsoft Access .mdb files).";
  if (has_window())
    about += "\nRun without arguments to open the window; run with one .mdb file to open the window "
             "with that file filled in as the source (an old-version database) or the destination "
             "(a version 5.1 database).";
  CLI::App app{about, "halvaro"};
  app.set_version_flag("--version", std::string("halvaro ") + HALVARO_VERSION);
  app.require_subcommand(0, 1);
  // Options start with "-" on every system: an argument like /tmp/old.mdb is a path.
  app.allow_windows_style_options(false);

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
  if (utf8_argc == 2 && has_window() && halvaro::app::opens_window_with(arguments[1], command_names))
    return open_window(argc, argv, arguments[1]);

  try {
    app.parse(utf8_argc, utf8_argv.data());
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
