#include "settings/cp1252.h"

#include <utility>

namespace quillmap {
namespace {

// Code points of the bytes 0x80 to 0x9F. The five bytes Windows-1252 leaves undefined keep
// their own value (a C1 control), which makes every byte round-trip.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

char32_t ByteToCodePoint(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
  return byte;
}

// False when Windows-1252 has no byte for the code point.
bool CodePointToByte(char32_t code_point, unsigned char* byte) {
  if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF)) {
    *byte = static_cast<unsigned char>(code_point);
    return true;
  }
  for (int i = 0; i < 32; ++i) {
    if (kHighControls[i] == code_point) {
      *byte = static_cast<unsigned char>(0x80 + i);
      return true;
    }
  }
  return false;
}

void AppendUtf8(char32_t code_point, std::string* out) {
  if (code_point < 0x80) {
    out->push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    // Every Windows-1252 character lies in the Basic Multilingual Plane.
    out->push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

// Decodes one character at `*pos` and advances past it. Refuses truncated sequences, overlong
// forms, surrogates and values beyond U+10FFFF.
bool DecodeUtf8(std::string_view text, size_t* pos, char32_t* code_point) {
  const auto lead = static_cast<unsigned char>(text[*pos]);
  int length;
  char32_t value;
  char32_t minimum;
  if (lead < 0x80) {
    *code_point = lead;
    ++*pos;
    return true;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    value = lead & 0x1F;
    minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    value = lead & 0x0F;
    minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    value = lead & 0x07;
    minimum = 0x10000;
  } else {
    return false;
  }
  if (text.size() - *pos < static_cast<size_t>(length)) return false;
  for (int i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[*pos + i]);
    if ((next & 0xC0) != 0x80) return false;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
  *code_point = value;
  *pos += length;
  return true;
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) AppendUtf8(ByteToCodePoint(static_cast<unsigned char>(c)), &out);
  return out;
}

bool Utf8ToCp1252(std::string_view utf8, std::string* out) {
  std::string bytes;
  bytes.reserve(utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) {
    char32_t code_point;
    unsigned char byte;
    if (!DecodeUtf8(utf8, &pos, &code_point) || !CodePointToByte(code_point, &byte)) return false;
    bytes.push_back(static_cast<char>(byte));
  }
  *out = std::move(bytes);
  return true;
}

}  // namespace quillmap
