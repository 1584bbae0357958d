// How profile files compare names: the blanks around a name that do not count, and letter case
// as Windows-1252 has it. The profile lookup and every rule about names above it use these, so
// a name the rules accept is the name a read finds.
#pragma once

#include <string>
#include <string_view>

namespace quillmap {

// Space, tab, vertical tab and form feed: what the profile reader strips around names and
// values. A carriage return ends a line there, so it never reaches a name.
bool IsProfileBlank(char c);
std::string_view TrimProfileBlanks(std::string_view text);

// Windows-1252 upper case (accented letters, š œ ž ÿ included; ß and µ have none).
char UpperCp1252(char c);
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
