#pragma once
// Temporary files, for what does not fit in memory (spooled rows, an account's index).

#include <string_view>

#include "platform/file.h"

namespace halvaro::jet {

// A new file in the temporary folder, named from `stem`, open for reading and writing
// and already deleted: nothing is left behind however the process ends. Throws
// std::runtime_error naming the folder when it is missing or not writable.
platform::File open_temporary_file(std::string_view stem);

}  // namespace halvaro::jet
