#include "platform/console.h"

#include "platform/windows_support.h"
// After windows.h, which it needs.
#include <shellapi.h>

namespace halvaro::platform {

std::vector<std::string> command_line_arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!wide) return {argv, argv + argc};
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) arguments.push_back(windows::utf8_of(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

bool output_is_terminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

Utf8Console::Utf8Console() : previous_code_page_(::GetConsoleOutputCP()) {
  if (previous_code_page_ != 0) ::SetConsoleOutputCP(CP_UTF8);
}

Utf8Console::~Utf8Console() {
  if (previous_code_page_ != 0) ::SetConsoleOutputCP(previous_code_page_);
}

}  // namespace halvaro::platform
