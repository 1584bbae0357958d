// How profile files compare names: the blanks around a name that do not count, and letter case
// as Windows-1252 has it. The profile lookup and every rule about names above it use these, so
// a name the rules accept is the name a read finds.
#pragma once

#include <string>
#include <string_view>

namespace quillmap {

// Space, tab, vertical tab and form feed: what the profile reader strips around names and
// values. A carriage return ends a line there, so it never reaches a name.
inline bool IsProfileBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
inline std::string_view TrimProfileBlanks(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsProfileBlank(text[begin])) ++begin;
  while (end > begin && IsProfileBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// Windows-1252 upper case (accented letters, š œ ž ÿ included; ß and µ have none). Inline, as
// the lookup calls it for every byte it compares.
struct Cp1252UpperTable {
  unsigned char map[256];
  constexpr Cp1252UpperTable() : map() {
    for (int i = 0; i < 256; ++i) map[i] = static_cast<unsigned char>(i);
    for (int i = 'a'; i <= 'z'; ++i) map[i] = static_cast<unsigned char>(i - 0x20);
    for (int i = 0xE0; i <= 0xFE; ++i) {
      if (i != 0xF7) map[i] = static_cast<unsigned char>(i - 0x20);  // not the division sign
    }
    map[0x9A] = 0x8A;  // s caron
    map[0x9C] = 0x8C;  // oe
    map[0x9E] = 0x8E;  // z caron
    map[0xFF] = 0x9F;  // y diaeresis
  }
};
inline constexpr Cp1252UpperTable kCp1252Upper;
inline char UpperCp1252(char c) {
  return static_cast<char>(kCp1252Upper.map[static_cast<unsigned char>(c)]);
}
std::string UpperCp1252(std::string_view bytes);

// Whether two names are the same section or key name to a document: blanks around them and
// letter case ignored.
bool SameProfileName(std::string_view a, std::string_view b);
// The name as a document tells names apart (trimmed, upper case), into `out`, whose room is
// used again: two names fold alike exactly when SameProfileName holds.
void FoldProfileName(std::string_view name, std::string* out);

// Upper case of UTF-8 text for the characters Windows-1252 holds; other characters, and bytes
// that are not UTF-8, pass unchanged.
std::string UpperUtf8(std::string_view text);

}  // namespace quillmap
