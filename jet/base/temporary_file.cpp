#include "jet/base/temporary_file.h"

#include <stdexcept>
#include <string>
#include <system_error>

#include "platform/file_system.h"

namespace halvaro::jet {

platform::File open_temporary_file(std::string_view stem) {
  std::error_code error;
  const std::filesystem::path folder = platform::temporary_folder(error);
  if (error)
    throw std::runtime_error("cannot make a temporary file: the temporary folder " +
                             platform::temporary_folder_setting() + " is missing or not a folder");
  platform::File file = platform::File::temporary(folder, stem, error);
  if (!file.is_open())
    throw std::runtime_error("cannot make a temporary file in " + folder.string() + ": " + error.message());
  return file;
}

}  // namespace halvaro::jet
