#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <string>

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

}  // namespace halvaro::cli
