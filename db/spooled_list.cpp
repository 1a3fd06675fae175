#include "db/spooled_list.h"

namespace halvaro::db {

std::string not_kept_text(size_t count, const std::string& why) {
  return std::to_string(count) + " more are not listed: their list could not be kept (" + why + ")";
}

}  // namespace halvaro::db
