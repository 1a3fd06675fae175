#include "jet/pages/header.h"

#include <array>
#include <cmath>
#include <cstring>
#include <string>

#include "jet/base/bytes.h"

namespace halvaro::jet {
namespace {

constexpr size_t kVersionOffset = 0x14;
constexpr size_t kMaskedOffset = 0x18;
constexpr size_t kSortOrderJet3 = 0x3A;
constexpr size_t kCodePageOffset = 0x3C;
constexpr size_t kEncryptionKeyOffset = 0x3E;
constexpr size_t kPasswordOffset = 0x42;
constexpr size_t kSortOrderJet4 = 0x6E;
constexpr size_t kCreationDateOffset = 0x72;  // Jet 4; also salts the password mask

constexpr std::array<uint8_t, 4> kMagic{0x00, 0x01, 0x00, 0x00};
constexpr std::string_view kJetSignature{"Standard Jet DB\0", 16};
constexpr std::string_view kAceSignature{"Standard ACE DB\0", 16};

// The mask is the RC4 key stream for the fixed key 0x6b39dac7.
std::array<uint8_t, 128> header_key_stream() {
  const std::array<uint8_t, 4> key{0xC7, 0xDA, 0x39, 0x6B};
  std::array<uint8_t, 256> s{};
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<uint8_t>(i);
  uint8_t j = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    j = static_cast<uint8_t>(j + s[i] + key[i % key.size()]);
    std::swap(s[i], s[j]);
  }
  std::array<uint8_t, 128> stream{};
  uint8_t a = 0, b = 0;
  for (auto& out : stream) {
    a = static_cast<uint8_t>(a + 1);
    b = static_cast<uint8_t>(b + s[a]);
    std::swap(s[a], s[b]);
    out = s[static_cast<uint8_t>(s[a] + s[b])];
  }
  return stream;
}

}  // namespace

Format detect_format(std::span<const uint8_t> start) {
  const ByteView view(start, "header page");
  if (!view.fits(0, kMaskedOffset) || std::memcmp(start.data(), kMagic.data(), kMagic.size()) != 0)
    throw CorruptData("not an Access database (no Jet signature)");
  const std::string_view signature(reinterpret_cast<const char*>(start.data()) + 4, 16);
  if (signature == kAceSignature)
    throw CorruptData("Access 2007 or later database (ACE format): only Jet 3 and Jet 4 files are supported");
  if (signature != kJetSignature) throw CorruptData("not an Access database (no Jet signature)");
  switch (start[kVersionOffset]) {
    case 0: return Format::Jet3;
    case 1: return Format::Jet4;
    default:
      throw CorruptData("unsupported Jet version " + std::to_string(start[kVersionOffset]));
  }
}

void apply_header_mask(std::span<uint8_t> page0, Format format) {
  static const std::array<uint8_t, 128> stream = header_key_stream();
  const size_t length = layout_of(format).masked_header_size;
  ByteView(page0, "header page").check(kMaskedOffset, length);
  for (size_t i = 0; i < length; ++i) page0[kMaskedOffset + i] ^= stream[i];
}

Header read_header(std::span<const uint8_t> page0) {
  Header header;
  header.format = detect_format(page0);
  const FormatLayout& layout = layout_of(header.format);
  std::vector<uint8_t> clear(page0.begin(), page0.end());
  if (clear.size() < layout.page_size) throw CorruptData("header page truncated");
  apply_header_mask(clear, header.format);
  const ByteView view(clear, "header page");

  header.code_page = view.u16(kCodePageOffset);
  header.encryption_key = view.u32(kEncryptionKeyOffset);
  header.sort_order =
      header.format == Format::Jet3 ? view.u16(kSortOrderJet3) : view.u32(kSortOrderJet4);

  // Jet 4 masks the password once more with the integer part of the creation date.
  std::array<uint8_t, 4> salt{};
  if (header.format == Format::Jet4) {
    const double created = view.f64(kCreationDateOffset);
    const int32_t whole =
        std::isfinite(created) && std::fabs(created) < 2e9 ? static_cast<int32_t>(created) : 0;
    std::memcpy(salt.data(), &whole, salt.size());
  }
  const auto password = view.bytes(kPasswordOffset, layout.password_size);
  for (size_t i = 0; i < password.size(); ++i)
    if ((password[i] ^ salt[i % salt.size()]) != 0) header.password_protected = true;
  return header;
}

}  // namespace halvaro::jet
