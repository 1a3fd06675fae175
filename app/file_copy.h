#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace halvaro::app {

// Bytes copied so far and the file's size; called after each mebibyte.
using CopyProgress = std::function<void(uint64_t copied, uint64_t size)>;

// Copies every byte of `from` to the open descriptor `to` and syncs it. Returns "" on
// success, else the reason (e.g. "No space left on device").
std::string copy_into(const std::filesystem::path& from, int to, const CopyProgress& progress = {});

}  // namespace halvaro::app
