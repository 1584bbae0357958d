// The line table of a section that a change touched: each line a 16-byte record of where its
// text stands (in the parsed bytes or the document's store), what kind it is and where its name
// is, so that a change rewrites one line and leaves the rest where they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "settings/profile_lines.h"

namespace quillmap {

// One line of a section that a change touched, in 16 bytes. Its text is a slice of the parsed
// bytes or, once a change made it, of the document's own store (offsets up to 1 TB). The
// name's place is kept for the lookups; the value is found again when it is asked for.
struct ProfileLine {
  uint32_t offset_low = 0;
  uint32_t size = 0;  // without the line ending
  uint16_t name_size = 0;
  uint8_t name_begin = 0;
  uint8_t offset_high = 0;
  LineKind kind = LineKind::kBlank;
  Eol eol = Eol::kNone;
  bool owned = false;
  bool far_name = false;  // too far in or too long for the two fields above

  uint64_t Offset() const { return (uint64_t{offset_high} << 32) | offset_low; }
  void SetOffset(uint64_t offset) {
    offset_low = static_cast<uint32_t>(offset);
    offset_high = static_cast<uint8_t>(offset >> 32);
  }
};
static_assert(sizeof(ProfileLine) == 16);

// Sets the line's kind and the place of its name from its text.
void ClassifyLine(std::string_view text, ProfileLine* line);
// The lines of `text`, which stands at `offset` in the parsed bytes or, when `owned`, in the
// document's store.
void AppendLines(std::string_view text, uint64_t offset, bool owned, std::vector<ProfileLine>* out);

}  // namespace quillmap
