#include "platform/console.h"

#include <unistd.h>

namespace halvaro::platform {

std::vector<std::string> command_line_arguments(int argc, char** argv) { return {argv, argv + argc}; }

bool output_is_terminal() { return ::isatty(STDOUT_FILENO) == 1; }

Utf8Console::Utf8Console() = default;
Utf8Console::~Utf8Console() = default;

}  // namespace halvaro::platform
