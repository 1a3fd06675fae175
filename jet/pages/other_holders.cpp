#include "jet/pages/other_holders.h"

#include "jet/base/errors.h"
#include "platform/file_system.h"

namespace halvaro::jet {

std::filesystem::path access_lock_file(const std::filesystem::path& database) {
  std::filesystem::path lock = database;
  std::string extension = lock.extension().string();
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  lock.replace_extension(extension == ".accdb" ? ".laccdb" : ".ldb");
  return lock;
}

std::string held_elsewhere_message(const std::filesystem::path& database) {
  return "\"" + database.string() +
         "\" is open in another program (the tax application or Access): close it there, then try again";
}

void refuse_if_lock_file_held(const std::filesystem::path& database) {
  if (platform::held_open_elsewhere(access_lock_file(database))) throw JetError(held_elsewhere_message(database));
}

}  // namespace halvaro::jet
