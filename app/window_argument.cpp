#include "app/window_argument.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "platform/file_system.h"

namespace halvaro::app {

bool opens_window_with(std::string_view argument, const std::vector<std::string>& command_names) {
  if (argument.empty() || argument.front() == '-') return false;
  if (std::ranges::find(command_names, argument) != command_names.end()) return false;
  std::error_code ignored;
  if (std::filesystem::is_regular_file(platform::path_from_utf8(argument), ignored)) return true;
  constexpr std::string_view kExtension = ".mdb";
  return argument.size() > kExtension.size() &&
         std::ranges::equal(argument.substr(argument.size() - kExtension.size()), kExtension,
                            [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

}  // namespace halvaro::app
