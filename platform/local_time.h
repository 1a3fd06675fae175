#pragma once
// The local time, from the time zone the system is set to.

#include <ctime>

namespace halvaro::platform {

// `when` broken down in local time (thread-safe, unlike std::localtime).
std::tm local_time(std::time_t when);

}  // namespace halvaro::platform
