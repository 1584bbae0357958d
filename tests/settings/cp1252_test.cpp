#include "settings/cp1252.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace quillmap {
namespace {

TEST(Cp1252Test, EveryByteRoundTripsAndAgreesWithTheSystemConverter) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  std::string back;
  ASSERT_TRUE(Utf8ToCp1252(Cp1252ToUtf8(all), &back));
  EXPECT_EQ(back, all);
  // The five bytes that Windows-1252 leaves undefined stand for the C1 controls of their value.
  EXPECT_EQ(Cp1252ToUtf8("\x81\x8D\x8F\x90\x9D"), "\u0081\u008D\u008F\u0090\u009D");

  // The C library's converter as an independent table; it has no character for those five.
  iconv_t cd = iconv_open("UTF-8", "WINDOWS-1252");
  if (cd == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no WINDOWS-1252 converter";
  for (int b = 0; b < 256; ++b) {
    char in[1] = {static_cast<char>(b)}, out[8];
    char *in_ptr = in, *out_ptr = out;
    size_t in_left = 1, out_left = sizeof(out);
    if (iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<size_t>(-1)) continue;
    EXPECT_EQ(Cp1252ToUtf8(std::string(1, in[0])), std::string(out, out_ptr)) << "byte " << b;
  }
  iconv_close(cd);
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
  std::string out;
  ASSERT_TRUE(Utf8ToCp1252(std::string("\u20AC\u0178\u2122\0\u00FF", 11), &out));
  EXPECT_EQ(out, std::string("\x80\x9F\x99\0\xFF", 5));
}

}  // namespace
}  // namespace quillmap
