// Windows-1252 bytes in the files, UTF-8 everywhere above the core.
#pragma once

#include <string>
#include <string_view>

namespace quillmap {

// Every byte has a character: the five bytes Windows-1252 leaves undefined map to the C1
// controls of the same value, so a round trip keeps any byte.
std::string Cp1252ToUtf8(std::string_view bytes);

// False (and *out untouched) when `utf8` is not valid UTF-8 or holds a character that
// Windows-1252 cannot hold.
bool Utf8ToCp1252(std::string_view utf8, std::string* out);

}  // namespace quillmap
