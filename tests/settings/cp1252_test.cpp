#include "settings/cp1252.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace quillmap {
namespace {

// The C library's own converter, as an independent table; empty when it has no character.
std::string IconvToUtf8(unsigned char byte) {
  iconv_t cd = iconv_open("UTF-8", "WINDOWS-1252");
  if (cd == reinterpret_cast<iconv_t>(-1)) return "unavailable";
  char in[1] = {static_cast<char>(byte)};
  char out[8];
  char* in_ptr = in;
  char* out_ptr = out;
  size_t in_left = 1;
  size_t out_left = sizeof(out);
  const size_t rc = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1)) return "";
  return std::string(out, out_ptr);
}

TEST(Cp1252Test, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::string utf8 = Cp1252ToUtf8(all);
  std::string back;
  ASSERT_TRUE(Utf8ToCp1252(utf8, &back));
  EXPECT_EQ(back, all);
}

TEST(Cp1252Test, AgreesWithTheSystemConverter) {
  if (IconvToUtf8('A') == "unavailable") GTEST_SKIP() << "no WINDOWS-1252 converter";
  for (int b = 0; b < 256; ++b) {
    const std::string expected = IconvToUtf8(static_cast<unsigned char>(b));
    if (expected.empty()) continue;  // one of the undefined bytes
    EXPECT_EQ(Cp1252ToUtf8(std::string(1, static_cast<char>(b))), expected) << "byte " << b;
  }
}

TEST(Cp1252Test, RefusesWhatItCannotHoldWithoutTouchingTheOutput) {
  const std::string refused[] = {
      "\u0100",            // Latin A with macron
      "ok \U0001F600",     // emoji
      "\u0080",            // a C1 control that 0x80 does not stand for
      "\xC3",              // truncated sequence
      "\xC0\xAF",          // overlong '/'
      "\xED\xA0\x80",      // surrogate
      "\xF4\x90\x80\x80",  // beyond U+10FFFF
      "\x80",              // stray continuation byte
  };
  for (const std::string& text : refused) {
    std::string out = "unchanged";
    EXPECT_FALSE(Utf8ToCp1252(text, &out)) << text;
    EXPECT_EQ(out, "unchanged");
  }
}

TEST(Cp1252Test, MapsTheSpecialAndUndefinedBytes) {
  EXPECT_EQ(Cp1252ToUtf8("\x81\x8D\x8F\x90\x9D"), "\u0081\u008D\u008F\u0090\u009D");
  EXPECT_EQ(Cp1252ToUtf8(std::string("\x80\0\xE9", 3)), std::string("\u20AC\0\u00E9", 6));
  std::string out;
  ASSERT_TRUE(Utf8ToCp1252("\u20AC\u0178\u2122 \u00FF\u00A0", &out));
  EXPECT_EQ(out, "\x80\x9F\x99 \xFF\xA0");
  ASSERT_TRUE(Utf8ToCp1252(std::string("\0", 1), &out));
  EXPECT_EQ(out, std::string("\0", 1));
}

}  // namespace
}  // namespace quillmap
