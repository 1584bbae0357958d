// Writes system files (RegionDB.sys) from a readable text description of the models, so that the
// demo data and the tests never depend on a binary file of unknown origin.
//
// The text holds one model a line:
//   NAME MinX MinY MaxX MaxY MaxWidth MaxHeight MinWidth MinHeight
// NAME is one word, or a text in double quotes that may hold blanks ("" is the empty name); it
// may not hold a double quote. The bounds are millimetres with '.' as the decimal separator and
// no exponent, rounded to the nearest micrometre (a half away from zero). Blank lines and lines
// whose first non-blank character is '#' are skipped; CRLF line ends and a UTF-8 byte order
// mark are accepted.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillmap {

struct ModelDescription {
  std::string Name;                 // UTF-8
  std::array<int32_t, 8> Bounds{};  // micrometres, in the storage order of ModelLimits
};

enum class SystemFileLayout {
  kSingleModel,  // Version 1: one model, whose name is not stored
  kModelTable,   // Version 2: a ModelCount and one 72-byte record per model
};

// Throws Error 13 "line N: ..." for a line that is not a model line or a name that Windows-1252
// cannot hold, and Error 6 "line N: ..." for a bound outside the 32-bit range of micrometres or
// a name longer than 32 bytes in Windows-1252.
std::vector<ModelDescription> ParseModelDescriptions(std::string_view text);

// The bytes of the file. The single-model layout takes exactly one model; the table takes at
// most 32766, the most the readers can read. Names are written in Windows-1252, padded with
// NULs. Throws Error 6 or 13 (as above, without a line) when the models do not fit the layout.
std::string BuildSystemFile(const std::vector<ModelDescription>& models, SystemFileLayout layout);

}  // namespace quillmap
