#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "app/messages.h"

namespace halvaro::app {

// Bytes copied so far and the file's size; called after each mebibyte.
using CopyProgress = std::function<void(uint64_t copied, uint64_t size)>;

// Copies every byte of `from` to the open descriptor `to` and syncs it. Returns "" on
// success, else the reason (e.g. "No space left on device").
std::string copy_into(const std::filesystem::path& from, int to, const CopyProgress& progress = {});

// Passes a copy's progress to `sink` as `what`, in mebibytes begun (so the last step
// reads "21 of 21"), for files of 16 MiB or more; smaller ones copy too fast to show.
CopyProgress shown_copy_progress(MessageSink& sink, std::string what);

}  // namespace halvaro::app
