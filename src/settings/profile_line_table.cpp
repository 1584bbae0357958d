#include "settings/profile_line_table.h"

namespace quillmap {

void ClassifyLine(std::string_view text, ProfileLine* line) {
  const LineParts parts = SplitLine(text);
  line->kind = parts.kind;
  const size_t begin = parts.name.empty() ? 0 : parts.name.data() - text.data();
  line->far_name = begin > UINT8_MAX || parts.name.size() > UINT16_MAX;
  if (!line->far_name) {
    line->name_begin = static_cast<uint8_t>(begin);
    line->name_size = static_cast<uint16_t>(parts.name.size());
  }
}

void AppendLines(std::string_view text, uint64_t offset, bool owned,
                 std::vector<ProfileLine>* out) {
  for (size_t pos = 0; pos < text.size();) {
    const RawLine raw = NextLine(text, pos);
    size_t begin = pos;
    size_t text_size = raw.text.size();
    // A line of 4 GB or more is kept as pieces that carry nothing.
    for (; text_size > UINT32_MAX; begin += UINT32_MAX, text_size -= UINT32_MAX) {
      ProfileLine piece;
      piece.SetOffset(offset + begin);
      piece.size = UINT32_MAX;
      piece.kind = LineKind::kComment;
      piece.owned = owned;
      out->push_back(piece);
    }
    ProfileLine line;
    line.SetOffset(offset + begin);
    line.size = static_cast<uint32_t>(text_size);
    line.eol = raw.eol;
    line.owned = owned;
    ClassifyLine(text.substr(begin, text_size), &line);
    if (text_size != raw.text.size()) line.kind = LineKind::kComment;
    out->push_back(line);
    pos = raw.next;
  }
}

}  // namespace quillmap
