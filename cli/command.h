#pragma once

#include <CLI/CLI.hpp>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/file_system.h"

namespace halvaro::cli {

// A subcommand adds itself to the parser and returns its CLI::App together with the
// action to run when it was chosen; the action's result is the process exit status.
using CommandAction = std::function<int()>;
struct Command {
  CLI::App* parser = nullptr;
  CommandAction run;
};
using CommandSetup = std::function<Command(CLI::App& app)>;

// Called from a static initialiser in each cmd_*.cpp:
//   static const bool registered = register_command(setup);
bool register_command(CommandSetup setup);

// The file a command-line argument (UTF-8) names.
inline std::filesystem::path file_path(const std::string& argument) { return platform::path_from_utf8(argument); }

// In place of CLI::ExistingFile, which reads the argument in the ANSI code page on
// Windows: the argument names a file that is there (a folder is refused).
CLI::Validator existing_file();

}  // namespace halvaro::cli
