// The encodings a profile file may come in, as the Windows profile functions tell them apart:
// a UTF-16LE or UTF-8 byte-order mark, else Windows-1252 bytes. Documents hold Windows-1252;
// these convert at the file's edge, both ways, so that a file is written back as it came.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillmap {

enum class FileEncoding : uint8_t { kWindows1252, kUtf8Bom, kUtf16LeBom };

// Turns a file's bytes into its text as Windows-1252, byte-order mark removed, and sets the
// encoding they came in. False, with the bytes untouched and `problem` saying what and where
// (for a message "The file ... <problem>"), when the text is not valid in its encoding or holds
// a character that Windows-1252 cannot hold: reading it would lose that character and writing
// it back would destroy it, so such a file is refused rather than guessed at.
bool DecodeFileText(std::string* bytes, FileEncoding* encoding, std::string* problem);

// True when the bytes start with a byte-order mark, so that DecodeFileText would change them (or
// refuse them); otherwise they are their own text.
bool HasByteOrderMark(std::string_view bytes);

// The file's bytes for Windows-1252 text: the inverse of DecodeFileText.
std::string EncodeFileText(FileEncoding encoding, std::string text);

}  // namespace quillmap
