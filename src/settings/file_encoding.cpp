#include "settings/file_encoding.h"

#include <algorithm>
#include <utility>

#include "settings/cp1252.h"

namespace quillmap {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// "line N", counting the line ends of the text decoded before the fault.
std::string LineOf(std::string_view decoded) {
  size_t line = 1;
  for (size_t i = 0; i < decoded.size(); ++i) {
    if (decoded[i] == '\n' ||
        (decoded[i] == '\r' && (i + 1 == decoded.size() || decoded[i + 1] != '\n'))) {
      ++line;
    }
  }
  return "line " + std::to_string(line);
}

constexpr const char* kAdvice = "; save it as Windows-1252 (ANSI) text and try again.";

bool DecodeUtf16Le(std::string_view bytes, std::string* text, std::string* problem) {
  std::string out;
  out.reserve(bytes.size() / 2);
  std::string utf8;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char32_t unit = static_cast<unsigned char>(bytes[i]) |
                          static_cast<char32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    if (unit < 0x80) {
      out.push_back(static_cast<char>(unit));
      continue;
    }
    // Every character Windows-1252 holds is one unit; surrogates never are.
    utf8.clear();
    if (unit < 0x800) {
      utf8 += static_cast<char>(0xC0 | (unit >> 6));
    } else {
      utf8 += static_cast<char>(0xE0 | (unit >> 12));
      utf8 += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
    }
    utf8 += static_cast<char>(0x80 | (unit & 0x3F));
    std::string byte;
    if ((unit >= 0xD800 && unit <= 0xDFFF) || !Utf8ToCp1252(utf8, &byte)) {
      *problem = "is UTF-16 text holding a character that Windows-1252 cannot hold (" +
                 LineOf(out) + ")" + kAdvice;
      return false;
    }
    out += byte;
  }
  if (bytes.size() % 2 != 0) {
    *problem = "is UTF-16 text that ends in half a character (" + LineOf(out) + ")" + kAdvice;
    return false;
  }
  *text = std::move(out);
  return true;
}

bool DecodeUtf8(std::string_view bytes, std::string* text, std::string* problem) {
  if (Utf8ToCp1252(bytes, text)) return true;
  // Line by line, to say where.
  std::string before;
  for (size_t pos = 0; pos < bytes.size();) {
    size_t end = bytes.find_first_of("\r\n", pos);
    end = end == std::string_view::npos ? bytes.size() : end + 1;
    std::string line;
    if (!Utf8ToCp1252(bytes.substr(pos, end - pos), &line)) break;
    before += line;
    pos = end;
  }
  *problem =
      "is UTF-8 text holding a character that Windows-1252 cannot hold, or bytes that "
      "are not UTF-8 (" +
      LineOf(before) + ")" + kAdvice;
  return false;
}

}  // namespace

bool HasByteOrderMark(std::string_view bytes) {
  return StartsWith(bytes, kUtf16LeBom) || StartsWith(bytes, kUtf16BeBom) ||
         StartsWith(bytes, kUtf8Bom);
}

bool DecodeFileText(std::string* file_bytes, FileEncoding* encoding, std::string* problem) {
  const std::string_view bytes(*file_bytes);
  *encoding = FileEncoding::kWindows1252;
  std::string text;
  if (StartsWith(bytes, kUtf16LeBom)) {
    if (!DecodeUtf16Le(bytes.substr(kUtf16LeBom.size()), &text, problem)) return false;
    *encoding = FileEncoding::kUtf16LeBom;
    *file_bytes = std::move(text);
    return true;
  }
  if (StartsWith(bytes, kUtf16BeBom)) {
    *problem = "is UTF-16 big-endian text, which Quillmap cannot read" + std::string(kAdvice);
    return false;
  }
  if (StartsWith(bytes, kUtf8Bom)) {
    if (!DecodeUtf8(bytes.substr(kUtf8Bom.size()), &text, problem)) return false;
    *encoding = FileEncoding::kUtf8Bom;
    *file_bytes = std::move(text);
  }
  return true;
}

std::string EncodeFileText(FileEncoding encoding, std::string text) {
  switch (encoding) {
    case FileEncoding::kWindows1252:
      break;
    case FileEncoding::kUtf8Bom:
      return std::string(kUtf8Bom) + Cp1252ToUtf8(text);
    case FileEncoding::kUtf16LeBom: {
      const std::string utf8 = Cp1252ToUtf8(text);
      std::string out(kUtf16LeBom);
      out.reserve(2 + 2 * text.size());
      // Windows-1252 characters are at most three UTF-8 bytes and one UTF-16 unit.
      for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        char32_t unit = lead;
        size_t length = 1;
        if (lead >= 0xE0) {
          unit = (lead & 0x0F) << 12 | (utf8[i + 1] & 0x3F) << 6 | (utf8[i + 2] & 0x3F);
          length = 3;
        } else if (lead >= 0xC0) {
          unit = (lead & 0x1F) << 6 | (utf8[i + 1] & 0x3F);
          length = 2;
        }
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
        i += length;
      }
      return out;
    }
  }
  return text;
}

}  // namespace quillmap
