#pragma once

#include <filesystem>
#include <string>

namespace halvaro::app {

// Copies every byte of `from` to the open descriptor `to` and syncs it. Returns "" on
// success, else the reason (e.g. "No space left on device").
std::string copy_into(const std::filesystem::path& from, int to);

}  // namespace halvaro::app
