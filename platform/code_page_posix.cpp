#include "platform/code_page.h"

#include <iconv.h>

#include <mutex>
#include <unordered_map>

namespace halvaro::platform {
namespace {

const auto kNoConverter = reinterpret_cast<iconv_t>(-1);

// The C library's converters, one per code page, opened when first needed.
class IconvCache {
 public:
  IconvCache() = default;
  IconvCache(const IconvCache&) = delete;
  IconvCache& operator=(const IconvCache&) = delete;
  ~IconvCache() {
    for (const auto& [code_page, cd] : converters_)
      if (cd != kNoConverter) iconv_close(cd);
  }

  std::optional<std::string> convert(std::span<const uint8_t> bytes, uint16_t code_page) {
    const std::lock_guard lock(mutex_);
    auto it = converters_.find(code_page);
    if (it == converters_.end()) {
      const std::string name = "CP" + std::to_string(code_page);
      it = converters_.emplace(code_page, iconv_open("UTF-8", name.c_str())).first;
    }
    iconv_t cd = it->second;
    if (cd == kNoConverter) return std::nullopt;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string out(bytes.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    size_t in_left = bytes.size();
    char* dst = out.data();
    size_t out_left = out.size();
    while (in_left > 0) {
      if (iconv(cd, &in, &in_left, &dst, &out_left) != static_cast<size_t>(-1)) break;
      // An unmappable byte: emit U+FFFD and go on with the next one.
      if (out_left < 3) break;
      ++in;
      --in_left;
      const char replacement[] = "\xEF\xBF\xBD";
      for (int i = 0; i < 3; ++i) *dst++ = replacement[i];
      out_left -= 3;
    }
    out.resize(out.size() - out_left);
    return out;
  }

 private:
  std::mutex mutex_;
  std::unordered_map<uint16_t, iconv_t> converters_;
};

}  // namespace

std::optional<std::string> code_page_to_utf8(std::span<const uint8_t> bytes, uint16_t code_page) {
  static IconvCache cache;
  return cache.convert(bytes, code_page);
}

}  // namespace halvaro::platform
