#include "platform/code_page.h"

#include <string>

#include "platform/windows_support.h"

namespace halvaro::platform {

// Through UTF-16 with the system's own tables; a byte with no character in the code
// page becomes the code page's default character (U+FFFD for most).
std::optional<std::string> code_page_to_utf8(std::span<const uint8_t> bytes, uint16_t code_page) {
  if (!::IsValidCodePage(code_page)) return std::nullopt;
  if (bytes.empty()) return std::string();
  const auto* in = reinterpret_cast<const char*>(bytes.data());
  const int in_size = static_cast<int>(bytes.size());
  const int units = ::MultiByteToWideChar(code_page, 0, in, in_size, nullptr, 0);
  if (units <= 0) return std::nullopt;
  std::wstring wide(static_cast<size_t>(units), L'\0');
  ::MultiByteToWideChar(code_page, 0, in, in_size, wide.data(), units);
  return windows::utf8_of(wide);
}

}  // namespace halvaro::platform
