// Text encodings of both formats and the header page's signature and mask.

#include <gtest/gtest.h>

#include "jet/base/errors.h"
#include "jet/pages/header.h"
#include "jet/base/text_codec.h"
#include "tests/jet/page_builder.h"

namespace halvaro::jet {
namespace {

using namespace test_pages;

TEST(TextCodec, CompressedUnicodeSwitchesModesAtZeroBytes) {
  // "ab", then U+0628 U+0627 as UCS-2, then "c".
  const Bytes stored{0xFF, 0xFE, 'a', 'b', 0x00, 0x28, 0x06, 0x27, 0x06, 0x00, 'c'};
  EXPECT_EQ(decode_jet4_text(stored), "ab\u0628\u0627c");
  EXPECT_EQ(decode_jet4_text(Bytes{0xFF, 0xFE}), "");
  EXPECT_EQ(decode_jet4_text(Bytes{0xFF, 0xFE, 0xE9}), "\u00E9");  // Latin-1 in one byte
  EXPECT_EQ(decode_jet4_text(ucs2(u"plain")), "plain");
}

TEST(TextCodec, EncodingRoundTripsAndCompressesOnlyWhenItCan) {
  for (const std::string text : {"", "Karachi", "Müller & Söhne", "دفتر نمبر 3", "mixed کراچی text"}) {
    EXPECT_EQ(decode_jet4_text(encode_jet4_text(text, true)), text);
    EXPECT_EQ(decode_jet4_text(encode_jet4_text(text, false)), text);
  }
  EXPECT_EQ(encode_jet4_text("Karachi", true).size(), 2u + 7u);
  // U+0100 has a zero low byte, which would read as a mode switch: stored plain.
  EXPECT_EQ(encode_jet4_text("\u0100", true), (Bytes{0x00, 0x01}));
  // Wholly non-Latin text is not shorter compressed.
  EXPECT_EQ(encode_jet4_text("کر", true), ucs2(u"کر"));
}

TEST(TextCodec, Ucs2SurrogatesAndBrokenInput) {
  EXPECT_EQ(decode_ucs2(ucs2(u"\U0001F600")), "\U0001F600");
  EXPECT_EQ(decode_ucs2(Bytes{0x3D, 0xD8, 'a', 0}), "\uFFFDa");  // unpaired high surrogate
  EXPECT_EQ(decode_ucs2(Bytes{'a', 0, 'b'}), "a");                // odd trailing byte
  EXPECT_EQ(utf8_to_utf16("a\xC3"), u"a\uFFFD");                   // cut-off sequence
  EXPECT_EQ(utf8_to_utf16("\xED\xA0\x80"), u"\uFFFD");             // encoded surrogate
}

TEST(TextCodec, Jet3CodePages) {
  EXPECT_EQ(decode_code_page(Bytes{0x80, 'x', 0xE9}, 1252), "€xé");
  EXPECT_EQ(decode_code_page(Bytes{0x81}, 0), "\u0081");  // undefined in 1252: kept as C1
  EXPECT_EQ(decode_code_page(Bytes{0xC0, 0xE1}, 1251), "Аб");
  EXPECT_EQ(decode_code_page(Bytes{0xC7}, 1256), "\u0627");
  EXPECT_EQ(decode_code_page(ascii("ascii only"), 1250), "ascii only");
}

Bytes jet_header(uint8_t version) {
  Bytes page(4096, 0);
  page[1] = 0x01;
  const std::string signature("Standard Jet DB", 15);
  std::copy(signature.begin(), signature.end(), page.begin() + 4);
  page[0x14] = version;
  return page;
}

TEST(Header, SignatureAndVersion) {
  EXPECT_EQ(detect_format(jet_header(0)), Format::Jet3);
  EXPECT_EQ(detect_format(jet_header(1)), Format::Jet4);
  EXPECT_THROW(detect_format(jet_header(3)), CorruptData);
  Bytes ace = jet_header(2);
  const std::string ace_signature("Standard ACE DB", 15);
  std::copy(ace_signature.begin(), ace_signature.end(), ace.begin() + 4);
  try {
    detect_format(ace);
    ADD_FAILURE();
  } catch (const CorruptData& e) {
    EXPECT_NE(std::string(e.what()).find("2007"), std::string::npos);
  }
  EXPECT_THROW(detect_format(Bytes(4096, 0)), CorruptData);
  EXPECT_THROW(detect_format(Bytes{0x00, 0x01}), CorruptData);
}

TEST(Header, MaskedBlockHoldsCodePageAndPassword) {
  Bytes page = jet_header(0);
  // The mask is RC4 output for the key 0x6b39dac7; its first bytes are well known.
  Bytes zero = page;
  apply_header_mask(zero, Format::Jet3);
  EXPECT_EQ(Bytes(zero.begin() + 0x18, zero.begin() + 0x1C), (Bytes{0xB5, 0x6F, 0x03, 0x62}));

  put16(page, 0x3C, 1251);
  apply_header_mask(page, Format::Jet3);
  Header header = read_header(page);
  EXPECT_EQ(header.format, Format::Jet3);
  EXPECT_EQ(header.code_page, 1251);
  EXPECT_FALSE(header.password_protected);

  apply_header_mask(page, Format::Jet3);
  page[0x42] = 's';
  apply_header_mask(page, Format::Jet3);
  EXPECT_TRUE(read_header(page).password_protected);

  // Jet 4 masks the password once more with the creation date's whole days: an
  // unset password reads as that mask repeated.
  Bytes jet4 = jet_header(1);
  const double created = 38143.5;
  std::memcpy(jet4.data() + 0x72, &created, sizeof created);
  for (size_t i = 0; i < 40; i += 4) put32(jet4, 0x42 + i, 38143);
  apply_header_mask(jet4, Format::Jet4);
  EXPECT_FALSE(read_header(jet4).password_protected);
  EXPECT_THROW(read_header(Bytes(jet4.begin(), jet4.begin() + 100)), CorruptData);
}

}  // namespace
}  // namespace halvaro::jet
