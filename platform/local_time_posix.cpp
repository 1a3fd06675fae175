#include "platform/local_time.h"

namespace halvaro::platform {

std::tm local_time(std::time_t when) {
  std::tm local{};
  ::localtime_r(&when, &local);
  return local;
}

}  // namespace halvaro::platform
