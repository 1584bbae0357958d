#include "settings/profile.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "settings/error.h"

namespace quillmap {

namespace {

enum class LineKind : uint8_t { kBlank, kComment, kHeader, kKey, kOther };
// CR LF, LF, or a CR alone, which ends a line too (files written on old Macs).
enum class Eol : uint8_t { kNone, kLf, kCrLf, kCr };

size_t EolSize(Eol eol) { return eol == Eol::kNone ? 0 : eol == Eol::kCrLf ? 2 : 1; }
std::string_view EolText(Eol eol) {
  return eol == Eol::kCrLf ? "\r\n" : eol == Eol::kLf ? "\n" : eol == Eol::kCr ? "\r" : "";
}

bool IsBlank(char c) { return IsProfileBlank(c); }
std::string_view TrimBlanks(std::string_view text) { return TrimProfileBlanks(text); }

// Eight bytes at a time, each byte upper-cased first: names equal without regard to case hash
// alike, and no others are made to (dropping the bits in which cases differ would let a file
// hold thousands of distinct names of one hash). The seed is the document's own, so a file
// cannot be made of names that land in one slot without knowing it.
uint64_t UpperWord(uint64_t word) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighBits = 0x8080808080808080ull;
  if ((word & kHighBits) != 0) {
    uint64_t upper = 0;
    for (int shift = 56; shift >= 0; shift -= 8) {
      upper =
          upper << 8 | static_cast<unsigned char>(UpperCp1252(static_cast<char>(word >> shift)));
    }
    return upper;
  }
  // Below 0x80 only a to z change: their bytes get 0x80 from the first sum and not the second.
  const uint64_t from_a = word + (0x80 - 'a') * kOnes;
  const uint64_t past_z = word + (0x80 - 'z' - 1) * kOnes;
  return word ^ (((from_a ^ past_z) & kHighBits) >> 2);
}

uint32_t NameHash(std::string_view trimmed_name, uint64_t seed) {
  constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
  const size_t size = trimmed_name.size();
  uint64_t hash = seed ^ (size * kMultiplier);
  for (size_t i = 0; i < size; i += 8) {
    uint64_t word = 0;
    if (size - i >= 8) {
      std::memcpy(&word, trimmed_name.data() + i, 8);  // a fixed size: one load, no call
    } else {
      for (size_t j = size - i; j-- > 0;) {
        word = word << 8 | static_cast<unsigned char>(trimmed_name[i + j]);
      }
    }
    hash = (hash ^ UpperWord(word)) * kMultiplier;
    hash ^= hash >> 29;
  }
  hash ^= seed;
  hash *= kMultiplier;
  hash ^= hash >> 32;
  return static_cast<uint32_t>(hash * kMultiplier >> 32);
}

// A seed per document from one random seed per process.
uint64_t NewSeed() {
  static const uint64_t process_seed = [] {
    std::random_device device;
    return (uint64_t{device()} << 32) ^ device();
  }();
  static std::atomic<uint64_t> documents{0};
  uint64_t seed = process_seed + 0x9E3779B97F4A7C15ull * ++documents;
  seed = (seed ^ (seed >> 30)) * 0xBF58476D1CE4E5B9ull;
  seed = (seed ^ (seed >> 27)) * 0x94D049BB133111EBull;
  return seed ^ (seed >> 31);
}

// `b` already trimmed.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperCp1252(a[i]) != UpperCp1252(b[i])) return false;
  }
  return true;
}

// What a line means, found from its text alone.
struct LineParts {
  LineKind kind = LineKind::kBlank;
  std::string_view name;   // of a section or a key
  std::string_view value;  // of a key
  size_t value_begin = 0;  // where a rewrite puts the new value
};

LineParts Split(std::string_view text) {
  LineParts parts;
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i == text.size()) return parts;
  if (text[i] == ';') {
    parts.kind = LineKind::kComment;
    return parts;
  }
  if (text[i] == '[') {
    const size_t close = text.rfind(']');
    if (close != std::string_view::npos && close > i) {
      parts.kind = LineKind::kHeader;
      parts.name = TrimBlanks(text.substr(i + 1, close - i - 1));
      return parts;
    }
  }
  const void* found = std::memchr(text.data() + i, '=', text.size() - i);
  if (found == nullptr) {
    parts.kind = LineKind::kOther;
    return parts;
  }
  const size_t equals = static_cast<const char*>(found) - text.data();
  size_t name_end = equals;
  while (name_end > i && IsBlank(text[name_end - 1])) --name_end;
  parts.kind = LineKind::kKey;
  parts.name = text.substr(i, name_end - i);
  parts.value = TrimBlanks(text.substr(equals + 1));
  // An empty value keeps blanks after "=" out of the part a rewrite preserves.
  parts.value_begin = parts.value.empty() ? equals + 1 : parts.value.data() - text.data();
  return parts;
}

// The value when `text`, a line that is not a section header, is a line of the key `key`
// (trimmed, without "="). Cheaper than Split for the many lines that are not: the name is
// compared where it must stand.
std::optional<std::string_view> ValueIfKey(std::string_view text, std::string_view key) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  if ((i < text.size() && text[i] == ';') || text.size() - i < key.size() ||
      !SameName(text.substr(i, key.size()), key)) {
    return std::nullopt;
  }
  i += key.size();
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i == text.size() || text[i] != '=') return std::nullopt;
  return TrimBlanks(text.substr(i + 1));
}

// One line of `bytes` from `pos`: its text without the line ending, and where the next begins.
struct RawLine {
  std::string_view text;
  Eol eol = Eol::kNone;
  size_t next = 0;
};

RawLine NextLine(std::string_view bytes, size_t pos) {
  RawLine line;
  const void* feed = std::memchr(bytes.data() + pos, '\n', bytes.size() - pos);
  const size_t end = feed == nullptr ? bytes.size() : static_cast<const char*>(feed) - bytes.data();
  // A CR before the line feed ends the line there, unless it is the CR of a CR LF.
  const void* cr = std::memchr(bytes.data() + pos, '\r', end - pos);
  if (cr != nullptr) {
    const size_t at = static_cast<const char*>(cr) - bytes.data();
    if (at + 1 != end || feed == nullptr) {
      line.text = bytes.substr(pos, at - pos);
      line.eol = Eol::kCr;
      line.next = at + 1;
      return line;
    }
    line.text = bytes.substr(pos, at - pos);
    line.eol = Eol::kCrLf;
    line.next = end + 1;
    return line;
  }
  line.text = bytes.substr(pos, end - pos);
  line.eol = feed == nullptr ? Eol::kNone : Eol::kLf;
  line.next = feed == nullptr ? bytes.size() : end + 1;
  return line;
}

bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

// One line of a section that a change touched, in 16 bytes. Its text is a slice of the parsed
// bytes or, once a change made it, of the document's own store (offsets up to 1 TB). The
// name's place is kept for the lookups; the value is found again when it is asked for.
struct Line {
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
static_assert(sizeof(Line) == 16);

void Classify(std::string_view text, Line* line) {
  const LineParts parts = Split(text);
  line->kind = parts.kind;
  const size_t begin = parts.name.empty() ? 0 : parts.name.data() - text.data();
  line->far_name = begin > UINT8_MAX || parts.name.size() > UINT16_MAX;
  if (!line->far_name) {
    line->name_begin = static_cast<uint8_t>(begin);
    line->name_size = static_cast<uint16_t>(parts.name.size());
  }
}

// The lines of `text`, which stands at `offset` in the parsed bytes or, when `owned`, in the
// document's store.
void AppendLines(std::string_view text, uint64_t offset, bool owned, std::vector<Line>* out) {
  for (size_t pos = 0; pos < text.size();) {
    const RawLine raw = NextLine(text, pos);
    size_t begin = pos;
    size_t text_size = raw.text.size();
    // A line of 4 GB or more is kept as pieces that carry nothing.
    for (; text_size > UINT32_MAX; begin += UINT32_MAX, text_size -= UINT32_MAX) {
      Line piece;
      piece.SetOffset(offset + begin);
      piece.size = UINT32_MAX;
      piece.kind = LineKind::kComment;
      piece.owned = owned;
      out->push_back(piece);
    }
    Line line;
    line.SetOffset(offset + begin);
    line.size = static_cast<uint32_t>(text_size);
    line.eol = raw.eol;
    line.owned = owned;
    Classify(text.substr(begin, text_size), &line);
    if (text_size != raw.text.size()) line.kind = LineKind::kComment;
    out->push_back(line);
    pos = raw.next;
  }
}

// Byte by byte: the texts asked about are mostly a few bytes long.
bool HasBreak(std::string_view text) {
  for (const char c : text) {
    if (c == '\n' || c == '\r') return true;
  }
  return false;
}

// A key that a line "key=value" gives back as its name: no blanks around it, no "=", and not
// read as a comment or a section header.
bool IsPlainKey(std::string_view key) {
  if (key.empty() || IsBlank(key.front()) || IsBlank(key.back()) || key.front() == ';' ||
      key.front() == '[') {
    return false;
  }
  for (const char c : key) {
    if (c == '=' || c == '\n' || c == '\r') return false;
  }
  return true;
}

Eol EndingOrCrLf(Eol eol) { return eol == Eol::kNone ? Eol::kCrLf : eol; }

// A value's closing line break (CRLF, LF or CR) asks for an empty line after the key.
std::pair<std::string_view, bool> SplitClosingBreak(std::string_view value) {
  if (value.size() >= 2 && value.substr(value.size() - 2) == "\r\n") {
    return {value.substr(0, value.size() - 2), true};
  }
  if (!value.empty() && (value.back() == '\n' || value.back() == '\r')) {
    return {value.substr(0, value.size() - 1), true};
  }
  return {value, false};
}

// The text of lines that changes made, in chunks that never move or grow past what they
// reserved: appending costs no copy of what is there, and a view of it stays valid for as long
// as the store lives.
class TextStore {
 public:
  static constexpr int kChunkBits = 20;
  static constexpr size_t kChunkSize = size_t{1} << kChunkBits;
  static constexpr int kFirstChunkBits = 12;

  // Room for a text of `size` bytes, to be filled by the caller; sets its place. Within a text
  // of up to kChunkSize bytes, place + i is the place of its byte i.
  char* Allocate(size_t size, uint64_t* place) {
    if (chunks_.empty() ||
        chunks_.back().size() + size > std::min(chunks_.back().capacity(), kChunkSize)) {
      // Chunks start small and double, so that a document with few changes stays small; a
      // long text gets a chunk of its own.
      const size_t room = size_t{1}
                          << std::min<size_t>(kFirstChunkBits + chunks_.size(), kChunkBits);
      chunks_.emplace_back().reserve(std::max(size, room));
    }
    std::string& chunk = chunks_.back();
    const size_t begin = chunk.size();
    *place = (uint64_t{chunks_.size() - 1} << kChunkBits) | begin;
    chunk.resize(begin + size);
    return chunk.data() + begin;
  }

  // Appends the parts as one text and returns its place.
  uint64_t Append(std::initializer_list<std::string_view> parts) {
    size_t total = 0;
    for (const std::string_view part : parts) total += part.size();
    uint64_t place;
    char* out = Allocate(total, &place);
    for (const std::string_view part : parts) {
      if (!part.empty()) std::memcpy(out, part.data(), part.size());
      out += part.size();
    }
    return place;
  }

  std::string_view At(uint64_t place, size_t size) const {
    return std::string_view(chunks_[place >> kChunkBits]).substr(place & (kChunkSize - 1), size);
  }

 private:
  std::deque<std::string> chunks_;  // a deque, so that adding a chunk moves none
};

constexpr uint32_t kNoSection = UINT32_MAX;
constexpr uint32_t kUntouched = UINT32_MAX;
// Room for a region section: header, seven keys, the empty line.
constexpr size_t kNewSectionLines = 10;

// A section that no change has touched is only its place in the parsed bytes: a region file
// has half a million lines, and a command changes a handful of its sections. A section written
// whole in one call is its place in the store in the same way.
struct Section {
  uint64_t raw_begin = 0;  // header line first, up to the next header
  uint64_t raw_size = 0;
  uint32_t lines = kUntouched;      // its line table in `Impl::touched` once a change touched it
  uint32_t next_same = kNoSection;  // the next section of this name, hidden while this lives
  uint16_t name_size = 0;           // where the name stands in the header line, for lookups
  uint8_t name_begin = 0;
  bool far_name = false;  // too far in or too long for the two fields above
  bool deleted = false;
  bool raw_owned = false;  // its text is in the store, not in the parsed bytes
};
static_assert(sizeof(Section) == 32);

}  // namespace

// Sections stay where they are in one vector, in file order: new ones are only ever appended,
// deleted ones are marked, so a section's number is stable. The index is open addressing on a
// case-blind hash; same-named sections hang off the first one.
struct ProfileDocument::Impl {
  struct Slot {
    uint32_t hash = 0;
    uint32_t first = kNoSection;  // kNoSection: empty slot
  };
  static_assert(sizeof(Slot) == 8);

  std::string base;  // the parsed bytes
  TextStore store;   // the text of lines that changes made
  std::vector<Line> preamble;
  std::vector<Section> sections;
  std::deque<std::vector<Line>> touched;  // a deque, so a reference survives an append
  size_t first_live = 0;                  // every section before it is deleted
  std::vector<Slot> slots = std::vector<Slot>(16);
  uint64_t seed = NewSeed();
  FileEncoding encoding = FileEncoding::kWindows1252;
  std::string encoding_problem;
  size_t used_slots = 0;
  // The section the last write went to, by the name the caller gave: writes come in runs.
  std::string last_written_name;
  uint32_t last_written = kNoSection;

  std::string_view Text(const Line& line) const {
    return line.owned ? store.At(line.Offset(), line.size)
                      : std::string_view(base).substr(line.Offset(), line.size);
  }
  std::string_view Name(const Line& line) const {
    return line.far_name ? Split(Text(line)).name
                         : Text(line).substr(line.name_begin, line.name_size);
  }
  std::string_view Raw(const Section& section) const {
    return section.raw_owned ? store.At(section.raw_begin, section.raw_size)
                             : std::string_view(base).substr(section.raw_begin, section.raw_size);
  }
  std::string_view HeaderName(const Section& section) const {
    if (section.lines != kUntouched) return Name(touched[section.lines].front());
    if (section.far_name) return Split(NextLine(Raw(section), 0).text).name;
    return Raw(section).substr(section.name_begin, section.name_size);
  }

  // The slot that holds the name, or the empty slot where it would go.
  size_t Probe(uint32_t hash, std::string_view trimmed_name) const {
    const size_t mask = slots.size() - 1;
    size_t i = hash & mask;
    while (slots[i].first != kNoSection) {
      if (slots[i].hash == hash) {
        const std::string_view name = HeaderName(sections[slots[i].first]);
        // Names found are mostly spelt as asked for.
        if (name == trimmed_name || SameName(name, trimmed_name)) return i;
      }
      i = (i + 1) & mask;
    }
    return i;
  }

  void Grow() {
    std::vector<Slot> old(slots.size() * 2);
    old.swap(slots);
    const size_t mask = slots.size() - 1;
    for (const Slot& slot : old) {
      if (slot.first == kNoSection) continue;
      size_t i = slot.hash & mask;
      while (slots[i].first != kNoSection) i = (i + 1) & mask;
      slots[i] = slot;
    }
  }

  void AddToIndex(uint32_t section, std::string_view name) {
    AddToIndex(section, name, NameHash(name, seed));
  }
  // `chain_ends`, while a parse fills an index that it sized beforehand: per slot, the last
  // section of its name, so that a duplicate is hung on without walking the ones before it.
  // Only a parse meets duplicates; a change adds a section only for a name that has none.
  void AddToIndex(uint32_t section, std::string_view name, uint32_t hash,
                  uint32_t* chain_ends = nullptr) {
    if ((used_slots + 1) * 2 > slots.size()) {
      Grow();
      chain_ends = nullptr;  // its slots have moved
    }
    const size_t i = Probe(hash, name);
    if (slots[i].first == kNoSection) {
      slots[i] = Slot{hash, section};
      ++used_slots;
      if (chain_ends != nullptr) chain_ends[i] = section;
      return;
    }
    uint32_t last = chain_ends != nullptr ? chain_ends[i] : slots[i].first;
    while (sections[last].next_same != kNoSection) last = sections[last].next_same;
    sections[last].next_same = section;
    if (chain_ends != nullptr) chain_ends[i] = section;
  }

  // Backward-shift deletion keeps every probe sequence unbroken without tombstones.
  void EraseSlot(size_t hole) {
    const size_t mask = slots.size() - 1;
    for (size_t j = (hole + 1) & mask; slots[j].first != kNoSection; j = (j + 1) & mask) {
      const size_t home = slots[j].hash & mask;
      if (((j - home) & mask) >= ((j - hole) & mask)) {
        slots[hole] = slots[j];
        hole = j;
      }
    }
    slots[hole] = Slot{};
    --used_slots;
  }

  uint32_t FindSection(std::string_view name) const {
    name = TrimBlanks(name);
    return slots[Probe(NameHash(name, seed), name)].first;
  }

  // A view that lasts until the next change.
  std::optional<std::string_view> FindValue(const Section& section, std::string_view key) const {
    key = TrimBlanks(key);
    if (section.lines != kUntouched) {
      const std::vector<Line>& lines = touched[section.lines];
      const size_t i = FindKey(lines, key);
      if (i == 0) return std::nullopt;
      return Split(Text(lines[i])).value;
    }
    // No key name holds "=": such a key is never found.
    if (key.find('=') != std::string_view::npos) return std::nullopt;
    const std::string_view raw = Raw(section);
    for (size_t pos = NextLine(raw, 0).next; pos < raw.size();) {
      const RawLine line = NextLine(raw, pos);
      if (const std::optional<std::string_view> value = ValueIfKey(line.text, key)) return value;
      pos = line.next;
    }
    return std::nullopt;
  }

  // Index in the lines, or 0 (the header) when missing; `key` trimmed.
  size_t FindKey(const std::vector<Line>& lines, std::string_view key) const {
    for (size_t i = 1; i < lines.size(); ++i) {
      if (lines[i].kind == LineKind::kKey && SameName(Name(lines[i]), key)) return i;
    }
    return 0;
  }

  // The section's line table, made from its bytes the first time a change touches it.
  std::vector<Line>& Lines(uint32_t number) {
    Section& section = sections[number];
    if (section.lines == kUntouched) {
      std::vector<Line>& lines = touched.emplace_back();
      AppendLines(Raw(section), section.raw_begin, section.raw_owned, &lines);
      section.lines = static_cast<uint32_t>(touched.size() - 1);
    }
    return touched[section.lines];
  }

  // A line of its own from the concatenated parts.
  Line MakeLine(std::initializer_list<std::string_view> parts, Eol eol) {
    size_t size = 0;
    for (const std::string_view part : parts) size += part.size();
    Line line;
    line.SetOffset(store.Append(parts));
    line.size = static_cast<uint32_t>(size);
    line.eol = eol;
    line.owned = true;
    Classify(Text(line), &line);
    return line;
  }

  // The line ending of the file's first line, as a fresh read of the file would find it.
  Eol Style() const {
    if (!preamble.empty()) return EndingOrCrLf(preamble.front().eol);
    if (first_live == sections.size()) return Eol::kCrLf;
    const Section& first = sections[first_live];
    if (first.lines != kUntouched) return EndingOrCrLf(touched[first.lines].front().eol);
    return EndingOrCrLf(NextLine(Raw(first), 0).eol);
  }

  // Before anything is added after it, the file's last line gets a line ending. Deleted
  // sections at the end are dropped, so the last section is a live one.
  void EndLastLine(Eol style) {
    if (sections.empty()) {
      if (!preamble.empty() && preamble.back().eol == Eol::kNone) preamble.back().eol = style;
      return;
    }
    const Section& last = sections.back();
    if (last.lines == kUntouched && IsLineEnd(Raw(last).back())) return;
    std::vector<Line>& lines = Lines(static_cast<uint32_t>(sections.size() - 1));
    if (lines.back().eol == Eol::kNone) lines.back().eol = style;
  }

  uint32_t AppendSection(Line header) {
    const uint32_t number = static_cast<uint32_t>(sections.size());
    std::vector<Line>& lines = touched.emplace_back();
    lines.reserve(kNewSectionLines);
    lines.push_back(header);
    sections.emplace_back();
    sections.back().lines = static_cast<uint32_t>(touched.size() - 1);
    AddToIndex(number, Name(header));
    return number;
  }

  // A section that is not there yet, made in one step as the writes of its keys one by one
  // would leave it: its header, the keys in order and, when a value ends in a line break, one
  // empty line. False, with nothing changed, where those writes would do more than append each
  // key (a key met twice, a key that does not read back as itself), where a line break inside
  // a text would split a line, and for a section too long for one piece of the store.
  bool AppendWholeSection(std::string_view section,
                          std::initializer_list<ProfileDocument::KeyValue> entries) {
    constexpr size_t kMaxKeys = 16;
    if (entries.size() == 0 || entries.size() > kMaxKeys || HasBreak(section)) return false;
    const std::string_view name = TrimBlanks(section);
    const uint32_t hash = NameHash(name, seed);
    if (slots[Probe(hash, name)].first != kNoSection) return false;
    const Eol style = Style();
    const size_t eol_size = EolSize(style);
    size_t total = section.size() + 2 + eol_size;
    bool closing = false;
    std::string_view bodies[kMaxKeys];
    for (size_t i = 0; i < entries.size(); ++i) {
      const ProfileDocument::KeyValue& entry = entries.begin()[i];
      bodies[i] = SplitClosingBreak(entry.value).first;
      if (!IsPlainKey(entry.key) || HasBreak(bodies[i])) return false;
      for (size_t j = 0; j < i; ++j) {
        const std::string_view earlier = entries.begin()[j].key;
        if (earlier.size() == entry.key.size() && SameName(earlier, entry.key)) return false;
      }
      closing |= bodies[i].size() != entry.value.size();
      total += entry.key.size() + 1 + bodies[i].size() + eol_size;
    }
    if (closing) total += eol_size;
    if (total > TextStore::kChunkSize) return false;

    uint64_t place;
    char* out = store.Allocate(total, &place);
    auto put = [&out](std::string_view text) {
      if (!text.empty()) std::memcpy(out, text.data(), text.size());
      out += text.size();
    };
    const std::string_view eol = EolText(style);
    put("[");
    put(section);
    put("]");
    put(eol);
    for (size_t i = 0; i < entries.size(); ++i) {
      put(entries.begin()[i].key);
      put("=");
      put(bodies[i]);
      put(eol);
    }
    if (closing) put(eol);

    EndLastLine(style);
    const uint32_t number = static_cast<uint32_t>(sections.size());
    Section& added = sections.emplace_back();
    added.raw_begin = place;
    added.raw_size = total;
    added.raw_owned = true;
    const size_t name_begin = 1 + (name.data() - section.data());  // after "["
    added.far_name = name_begin > UINT8_MAX || name.size() > UINT16_MAX;
    if (!added.far_name) {
      added.name_begin = static_cast<uint8_t>(name_begin);
      added.name_size = static_cast<uint16_t>(name.size());
    }
    AddToIndex(number, name, hash);
    last_written = kNoSection;
    return true;
  }
};

ProfileDocument::ProfileDocument() : impl_(std::make_unique<Impl>()) {}
ProfileDocument::~ProfileDocument() = default;
ProfileDocument::ProfileDocument(ProfileDocument&&) noexcept = default;
ProfileDocument& ProfileDocument::operator=(ProfileDocument&&) noexcept = default;
ProfileDocument::ProfileDocument(const ProfileDocument& other)
    : impl_(std::make_unique<Impl>(*other.impl_)) {}
ProfileDocument& ProfileDocument::operator=(const ProfileDocument& other) {
  if (this != &other) impl_ = std::make_unique<Impl>(*other.impl_);
  return *this;
}

ProfileDocument ProfileDocument::Parse(std::string_view bytes) {
  return ParseOwned(std::string(bytes));
}

const std::string& ProfileDocument::EncodingProblem() const { return impl_->encoding_problem; }

ProfileDocument ProfileDocument::ParseOwned(std::string bytes) {
  ProfileDocument doc;
  Impl& d = *doc.impl_;
  if (!DecodeFileText(&bytes, &d.encoding, &d.encoding_problem)) {
    d.encoding = FileEncoding::kWindows1252;
  }
  d.base = std::move(bytes);
  const std::string_view all(d.base);
  // Lines that start with a bracket bound the number of sections, so the section vector and
  // the index grow once.
  size_t brackets = 0;
  for (size_t pos = all.find('['); pos != std::string_view::npos; pos = all.find('[', pos + 1)) {
    if (pos == 0 || IsLineEnd(all[pos - 1])) ++brackets;
  }
  d.sections.reserve(brackets);
  size_t slots = d.slots.size();
  while (slots < 2 * brackets) slots *= 2;
  d.slots.resize(slots);
  // Left uninitialised: a slot's entry is written when the slot is first used.
  const std::unique_ptr<uint32_t[]> chain_ends(new uint32_t[slots]);
  auto close = [&](size_t end) {
    if (d.sections.empty()) {
      AppendLines(all.substr(0, end), 0, false, &d.preamble);
    } else {
      d.sections.back().raw_size = end - d.sections.back().raw_begin;
    }
  };
  // A header is a line whose first byte other than a blank is "[", so only the brackets need a
  // look: far fewer than the lines.
  for (size_t pos = 0; pos < all.size();) {
    const void* found = std::memchr(all.data() + pos, '[', all.size() - pos);
    if (found == nullptr) break;
    const size_t bracket = static_cast<const char*>(found) - all.data();
    size_t begin = bracket;
    while (begin > 0 && IsBlank(all[begin - 1])) --begin;
    if (begin > 0 && !IsLineEnd(all[begin - 1])) {
      pos = bracket + 1;
      continue;
    }
    const RawLine line = NextLine(all, begin);
    const LineParts parts = Split(line.text);
    if (parts.kind == LineKind::kHeader) {
      close(begin);
      Section& section = d.sections.emplace_back();
      section.raw_begin = begin;
      const size_t name_begin = parts.name.data() - line.text.data();
      section.far_name = name_begin > UINT8_MAX || parts.name.size() > UINT16_MAX;
      if (!section.far_name) {
        section.name_begin = static_cast<uint8_t>(name_begin);
        section.name_size = static_cast<uint16_t>(parts.name.size());
      }
      d.AddToIndex(static_cast<uint32_t>(d.sections.size() - 1), parts.name,
                   NameHash(parts.name, d.seed),
                   d.slots.size() == slots ? chain_ends.get() : nullptr);
    }
    pos = line.next;
  }
  close(all.size());
  return doc;
}

std::string ProfileDocument::Serialize() const {
  const Impl& d = *impl_;
  auto measure = [](const std::vector<Line>& lines) {
    size_t total = 0;
    for (const Line& line : lines) total += line.size + EolSize(line.eol);
    return total;
  };
  size_t total = measure(d.preamble);
  for (const Section& section : d.sections) {
    if (section.deleted) continue;
    total += section.lines == kUntouched ? section.raw_size : measure(d.touched[section.lines]);
  }
  std::string out(total, '\0');
  char* cursor = out.data();
  // Texts that lie one after the other, as untouched sections mostly do, go in one copy.
  const char* run = nullptr;
  size_t run_size = 0;
  auto flush = [&] {
    if (run_size != 0) std::memcpy(cursor, run, run_size);
    cursor += run_size;
    run_size = 0;
  };
  auto copy = [&](std::string_view text) {
    if (run_size == 0 || run + run_size != text.data()) {
      flush();
      run = text.data();
    }
    run_size += text.size();
  };
  auto copy_lines = [&](const std::vector<Line>& lines) {
    flush();
    for (const Line& line : lines) {
      std::memcpy(cursor, d.Text(line).data(), line.size);
      cursor += line.size;
      for (const char c : EolText(line.eol)) *cursor++ = c;
    }
  };
  copy_lines(d.preamble);
  for (const Section& section : d.sections) {
    if (section.deleted) continue;
    if (section.lines == kUntouched) {
      copy(d.Raw(section));
    } else {
      copy_lines(d.touched[section.lines]);
    }
  }
  flush();
  return d.encoding == FileEncoding::kWindows1252 ? out
                                                  : EncodeFileText(d.encoding, std::move(out));
}

std::optional<std::string> ProfileDocument::Find(std::string_view section,
                                                 std::string_view key) const {
  const Impl& d = *impl_;
  const uint32_t number = d.FindSection(section);
  if (number == kNoSection) return std::nullopt;
  const std::optional<std::string_view> value = d.FindValue(d.sections[number], key);
  if (!value) return std::nullopt;
  return std::string(*value);
}

std::string ProfileDocument::Read(std::string_view section, std::string_view key,
                                  std::string_view default_value) const {
  std::optional<std::string> value = Find(section, key);
  return value ? std::move(*value) : std::string(default_value);
}

bool ProfileDocument::HasSection(std::string_view section) const {
  return impl_->FindSection(section) != kNoSection;
}

void ProfileDocument::FindKeys(std::string_view section, const std::string_view* keys, size_t count,
                               std::optional<std::string_view>* values) const {
  const Impl& d = *impl_;
  for (size_t k = 0; k < count; ++k) values[k].reset();
  const uint32_t number = d.FindSection(section);
  if (number == kNoSection) return;
  const Section& found = d.sections[number];
  constexpr size_t kMaxKeys = 16;
  if (found.lines != kUntouched || count > kMaxKeys) {
    for (size_t k = 0; k < count; ++k) values[k] = d.FindValue(found, keys[k]);
    return;
  }
  std::string_view trimmed[kMaxKeys];
  for (size_t k = 0; k < count; ++k) trimmed[k] = TrimBlanks(keys[k]);
  size_t missing = count;
  const std::string_view raw = d.Raw(found);
  for (size_t pos = NextLine(raw, 0).next; missing > 0 && pos < raw.size();) {
    const RawLine line = NextLine(raw, pos);
    pos = line.next;
    // The line's name is what stands before its first "=", without blanks. No name holds "=",
    // so a key that does is never found.
    const std::string_view text = line.text;
    const size_t end = text.size();
    size_t i = 0;
    while (i < end && IsBlank(text[i])) ++i;
    if (i == end || text[i] == ';') continue;
    size_t equals = i;
    while (equals < end && text[equals] != '=') ++equals;
    if (equals == end) continue;
    size_t name_end = equals;
    while (name_end > i && IsBlank(text[name_end - 1])) --name_end;
    const std::string_view name = text.substr(i, name_end - i);
    for (size_t k = 0; k < count; ++k) {
      if (!values[k] && name.size() == trimmed[k].size() && SameName(name, trimmed[k])) {
        values[k] = TrimBlanks(text.substr(equals + 1));
        --missing;
      }
    }
  }
}

void ProfileDocument::WriteKeys(std::string_view section, std::initializer_list<KeyValue> entries) {
  if (impl_->AppendWholeSection(section, entries)) return;
  for (const KeyValue& entry : entries) Write(section, entry.key, entry.value);
}

void ProfileDocument::Write(std::string_view section, std::string_view key,
                            std::string_view value) {
  Impl& d = *impl_;
  const auto [body, closing_break] = SplitClosingBreak(value);
  const Eol style = d.Style();
  uint32_t number = d.last_written;
  if (number == kNoSection || section != d.last_written_name) {
    number = d.FindSection(section);
    if (number == kNoSection) {
      d.EndLastLine(style);
      number = d.AppendSection(d.MakeLine({"[", section, "]"}, style));
    }
    d.last_written = number;
    d.last_written_name.assign(section.data(), section.size());
  }
  std::vector<Line>& lines = d.Lines(number);
  size_t i = d.FindKey(lines, TrimBlanks(key));
  if (i != 0) {
    const LineParts old_parts = Split(d.Text(lines[i]));
    if (old_parts.value != body) {
      const std::string_view prefix = d.Text(lines[i]).substr(0, old_parts.value_begin);
      lines[i] = d.MakeLine({prefix, body}, lines[i].eol == Eol::kNone ? style : lines[i].eol);
    }
  } else {
    i = lines.size();
    while (i > 1 &&
           (lines[i - 1].kind == LineKind::kBlank || lines[i - 1].kind == LineKind::kComment)) {
      --i;
    }
    if (lines[i - 1].eol == Eol::kNone) lines[i - 1].eol = style;
    lines.insert(lines.begin() + static_cast<ptrdiff_t>(i), d.MakeLine({key, "=", body}, style));
  }
  if (closing_break) {
    if (lines[i].eol == Eol::kNone) lines[i].eol = style;
    if (i + 1 == lines.size() || lines[i + 1].kind != LineKind::kBlank) {
      lines.insert(lines.begin() + static_cast<ptrdiff_t>(i + 1), d.MakeLine({}, style));
    }
  }
}

void ProfileDocument::DeleteSection(std::string_view section) {
  Impl& d = *impl_;
  section = TrimBlanks(section);
  const size_t slot = d.Probe(NameHash(section, d.seed), section);
  const uint32_t number = d.slots[slot].first;
  if (number == kNoSection) return;
  d.last_written = kNoSection;
  Section& doomed = d.sections[number];
  if (doomed.next_same != kNoSection) {
    d.slots[slot].first = doomed.next_same;
  } else {
    d.EraseSlot(slot);
  }
  if (doomed.lines != kUntouched) d.touched[doomed.lines] = std::vector<Line>();
  doomed.deleted = true;
  while (!d.sections.empty() && d.sections.back().deleted) d.sections.pop_back();
  while (d.first_live < d.sections.size() && d.sections[d.first_live].deleted) ++d.first_live;
  d.first_live = std::min(d.first_live, d.sections.size());
}

void ProfileDocument::DeleteKey(std::string_view section, std::string_view key) {
  Impl& d = *impl_;
  const uint32_t number = d.FindSection(section);
  if (number == kNoSection || !d.FindValue(d.sections[number], key)) return;
  std::vector<Line>& lines = d.Lines(number);
  lines.erase(lines.begin() + static_cast<ptrdiff_t>(d.FindKey(lines, TrimBlanks(key))));
}

void TuneAllocatorForLargeFiles() {
#if defined(__GLIBC__)
  // Blocks up to this size come from the heap, whose freed memory is used again, instead of a
  // mapping of their own that is unmapped when freed; glibc takes no larger value.
  mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
  // Free memory at the top of the heap is returned only beyond this: several commands' worth.
  mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
#endif
}

bool LoadProfile(const std::string& path, ProfileDocument* doc, FileSnapshot* snapshot,
                 FileSystem& fs) {
  FileSnapshot local;
  FileSnapshot* read = snapshot != nullptr ? snapshot : &local;
  if (!ReadFileSnapshot(path, read, fs)) return false;
  // Without a snapshot to keep, the document takes the bytes as they were read.
  *doc = snapshot != nullptr ? ProfileDocument::Parse(read->bytes)
                             : ProfileDocument::ParseOwned(std::move(local.bytes));
  if (!doc->EncodingProblem().empty()) {
    throw Error(kErrFileRead, "The file " + path + " " + doc->EncodingProblem());
  }
  return true;
}

WriteResult CommitProfile(const std::string& path, const ProfileDocument& doc,
                          const FileSnapshot* expected, FileSystem& fs) {
  return AtomicWriteFile(path, doc.Serialize(), expected, fs);
}

std::string ReadProfileString(std::string_view section, std::string_view key,
                              std::string_view default_value, const std::string& file_name,
                              FileSystem& fs) {
  FileSnapshot snapshot;
  if (!ReadFileSnapshot(file_name, &snapshot, fs) || !snapshot.exists) {
    return std::string(default_value);
  }
  const ProfileDocument doc = ProfileDocument::ParseOwned(std::move(snapshot.bytes));
  if (!doc.EncodingProblem().empty()) return std::string(default_value);
  return doc.Read(section, key, default_value);
}

bool WriteProfileString(std::string_view section, const std::optional<std::string>& key,
                        const std::optional<std::string>& value, const std::string& file_name,
                        FileSystem& fs) {
  // Another program may change the file between our read and our write; the change is then
  // made again on what it wrote.
  constexpr int kAttempts = 3;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    ProfileDocument doc;
    FileSnapshot snapshot;
    if (!LoadProfile(file_name, &doc, &snapshot, fs)) return false;
    if (!key) {
      doc.DeleteSection(section);
    } else if (!value) {
      doc.DeleteKey(section, *key);
    } else {
      doc.Write(section, *key, *value);
    }
    const std::string bytes = doc.Serialize();
    if (!snapshot.exists && bytes.empty()) return true;  // a deletion from no file at all
    switch (AtomicWriteFile(file_name, bytes, &snapshot, fs)) {
      case WriteResult::kOk:
        return true;
      case WriteResult::kFailed:
        return false;
      case WriteResult::kChangedOnDisk:
        break;
    }
  }
  return false;
}

}  // namespace quillmap
