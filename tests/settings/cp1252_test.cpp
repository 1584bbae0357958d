#include "settings/cp1252.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace quillmap {
namespace {

// What UTF-8 the conversion refuses, and that a refusal leaves its output alone, the fuzz replay
// holds on the inputs of fuzz/corpus/number_text.
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

}  // namespace
}  // namespace quillmap
