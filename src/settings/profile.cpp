#include "settings/profile.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "settings/error.h"
#include "settings/profile_index.h"
#include "settings/profile_line_table.h"
#include "settings/profile_lines.h"
#include "settings/profile_text_store.h"

namespace quillmap {

namespace {

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
  if (key.empty() || IsProfileBlank(key.front()) || IsProfileBlank(key.back()) ||
      key.front() == ';' || key.front() == '[') {
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

constexpr uint32_t kUntouched = UINT32_MAX;
// Room for a region section: header, seven keys, the empty line.
constexpr size_t kNewSectionLines = 10;

// A section that no change has touched is only its place in the parsed bytes: a region file
// has half a million lines, and a command changes a handful of its sections. A section written
// whole in one call is its place in the store in the same way.
struct Section {
  uint64_t raw_begin = 0;  // header line first, up to the next header
  uint64_t raw_size = 0;
  uint32_t lines = kUntouched;  // its line table in `Impl::touched` once a change touched it
  uint16_t name_size = 0;       // where the name stands in the header line, for lookups
  uint8_t name_begin = 0;
  bool far_name = false;  // too far in or too long for the two fields above
  bool deleted = false;
  bool raw_owned = false;  // its text is in the store, not in the parsed bytes
  bool shadowed = false;   // an earlier section has its name, so lookups never find this one
};
static_assert(sizeof(Section) == 32);

// The section that the last lookup found, kept by lookups that are otherwise const. Atomic, so
// that reads from several threads stay safe; any value is only a hint.
class FoundHint {
 public:
  FoundHint() = default;
  FoundHint(const FoundHint& other) : number_(other.Get()) {}
  FoundHint& operator=(const FoundHint& other) {
    Set(other.Get());
    return *this;
  }
  uint32_t Get() const { return number_.load(std::memory_order_relaxed); }
  void Set(uint32_t number) const { number_.store(number, std::memory_order_relaxed); }

 private:
  mutable std::atomic<uint32_t> number_{ProfileIndex::kNone};
};

}  // namespace

// Sections stay where they are in one vector, in file order: new ones are only ever appended,
// deleted ones are marked, so a section's number is stable; the index finds them by name.
struct ProfileDocument::Impl {
  // The parsed bytes: the document's own, shared by its copies and never changed, or the
  // caller's (ParseInPlace).
  std::shared_ptr<const std::string> own_base;
  std::string_view base;
  ProfileTextStore store;  // the text of lines that changes made
  std::vector<ProfileLine> preamble;
  std::vector<Section> sections;
  std::deque<std::vector<ProfileLine>> touched;  // a deque, so a reference survives an append
  size_t first_live = 0;                         // every section before it is deleted
  ProfileIndex index;
  FileEncoding encoding = FileEncoding::kWindows1252;
  std::string encoding_problem;
  // The section the last write went to, by the name the caller gave: writes come in runs.
  std::string last_written_name;
  uint32_t last_written = ProfileIndex::kNone;
  FoundHint last_found;

  std::string_view Text(const ProfileLine& line) const {
    return line.owned ? store.At(line.Offset(), line.size) : base.substr(line.Offset(), line.size);
  }
  std::string_view Name(const ProfileLine& line) const {
    return line.far_name ? SplitLine(Text(line)).name
                         : Text(line).substr(line.name_begin, line.name_size);
  }
  std::string_view Raw(const Section& section) const {
    return section.raw_owned ? store.At(section.raw_begin, section.raw_size)
                             : base.substr(section.raw_begin, section.raw_size);
  }
  std::string_view HeaderName(const Section& section) const {
    if (section.lines != kUntouched) return Name(touched[section.lines].front());
    if (section.far_name) return SplitLine(NextLine(Raw(section), 0).text).name;
    return Raw(section).substr(section.name_begin, section.name_size);
  }

  // The index's slot for the name, `name` trimmed.
  size_t Slot(uint32_t hash, std::string_view name) const {
    return index.Probe(hash, name,
                       [this](uint32_t number) { return HeaderName(sections[number]); });
  }
  void AddToIndex(uint32_t section, std::string_view name, uint32_t hash) {
    sections[section].shadowed = !index.Add(
        section, name, hash, [this](uint32_t number) { return HeaderName(sections[number]); });
  }
  // Takes the first section of the slot's name out of the index.
  void RemoveFromIndex(size_t slot) {
    const uint32_t next = index.RemoveFirst(slot);
    if (next != ProfileIndex::kNone) sections[next].shadowed = false;
  }

  uint32_t FindSection(std::string_view name) const {
    name = TrimProfileBlanks(name);
    uint32_t found = FindNearLastFound(name);
    if (found == ProfileIndex::kNone) found = index.First(Slot(index.Hash(name), name));
    last_found.Set(found);
    return found;
  }
  // The region commands ask for sections in file order, a region's section and then its slide
  // section: the two sections after the last one found are looked at before the index.
  uint32_t FindNearLastFound(std::string_view trimmed_name) const {
    const uint32_t last = last_found.Get();
    if (last == ProfileIndex::kNone) return ProfileIndex::kNone;
    const size_t end = std::min<size_t>(sections.size(), size_t{last} + 3);
    for (size_t number = size_t{last} + 1; number < end; ++number) {
      const Section& section = sections[number];
      if (section.deleted || section.shadowed) continue;
      if (SameTrimmedName(HeaderName(section), trimmed_name)) return static_cast<uint32_t>(number);
    }
    return ProfileIndex::kNone;
  }

  // A view that lasts until the next change.
  std::optional<std::string_view> FindValue(const Section& section, std::string_view key) const {
    key = TrimProfileBlanks(key);
    if (section.lines != kUntouched) {
      const std::vector<ProfileLine>& lines = touched[section.lines];
      const size_t i = FindKey(lines, key);
      if (i == 0) return std::nullopt;
      return SplitLine(Text(lines[i])).value;
    }
    const std::string_view raw = Raw(section);
    for (size_t pos = NextLine(raw, 0).next; pos < raw.size();) {
      const RawLine line = NextLine(raw, pos);
      const LineParts parts = SplitLine(line.text);
      if (parts.kind == LineKind::kKey && SameTrimmedName(parts.name, key)) return parts.value;
      pos = line.next;
    }
    return std::nullopt;
  }

  // Index in the lines, or 0 (the header) when missing; `key` trimmed.
  size_t FindKey(const std::vector<ProfileLine>& lines, std::string_view key) const {
    for (size_t i = 1; i < lines.size(); ++i) {
      if (lines[i].kind == LineKind::kKey && SameTrimmedName(Name(lines[i]), key)) return i;
    }
    return 0;
  }

  // The section's line table, made from its bytes the first time a change touches it.
  std::vector<ProfileLine>& Lines(uint32_t number) {
    Section& section = sections[number];
    if (section.lines == kUntouched) {
      std::vector<ProfileLine>& lines = touched.emplace_back();
      AppendLines(Raw(section), section.raw_begin, section.raw_owned, &lines);
      section.lines = static_cast<uint32_t>(touched.size() - 1);
    }
    return touched[section.lines];
  }

  // A line of its own from the concatenated parts.
  ProfileLine MakeLine(std::initializer_list<std::string_view> parts, Eol eol) {
    size_t size = 0;
    for (const std::string_view part : parts) size += part.size();
    ProfileLine line;
    line.SetOffset(store.Append(parts));
    line.size = static_cast<uint32_t>(size);
    line.eol = eol;
    line.owned = true;
    ClassifyLine(Text(line), &line);
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
    std::vector<ProfileLine>& lines = Lines(static_cast<uint32_t>(sections.size() - 1));
    if (lines.back().eol == Eol::kNone) lines.back().eol = style;
  }

  uint32_t AppendSection(ProfileLine header) {
    const uint32_t number = static_cast<uint32_t>(sections.size());
    std::vector<ProfileLine>& lines = touched.emplace_back();
    lines.reserve(kNewSectionLines);
    lines.push_back(header);
    sections.emplace_back();
    sections.back().lines = static_cast<uint32_t>(touched.size() - 1);
    AddToIndex(number, Name(header), index.Hash(Name(header)));
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
    const std::string_view name = TrimProfileBlanks(section);
    const uint32_t hash = index.Hash(name);
    index.MakeRoomForOne();
    const size_t slot = Slot(hash, name);
    if (index.First(slot) != ProfileIndex::kNone) return false;
    const Eol style = Style();
    const size_t eol_size = EolSize(style);
    size_t total = section.size() + 2 + eol_size;
    bool closing = false;
    for (size_t i = 0; i < entries.size(); ++i) {
      const ProfileDocument::KeyValue& entry = entries.begin()[i];
      const std::string_view body = SplitClosingBreak(entry.value).first;
      if (!IsPlainKey(entry.key) || HasBreak(body)) return false;
      for (size_t j = 0; j < i; ++j) {
        const std::string_view earlier = entries.begin()[j].key;
        if (earlier.size() == entry.key.size() && SameTrimmedName(earlier, entry.key)) return false;
      }
      closing |= body.size() != entry.value.size();
      total += entry.key.size() + 1 + body.size() + eol_size;
    }
    if (closing) total += eol_size;
    if (total > ProfileTextStore::kChunkSize) return false;

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
    for (const ProfileDocument::KeyValue& entry : entries) {
      put(entry.key);
      put("=");
      put(SplitClosingBreak(entry.value).first);
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
    index.AddAt(slot, number, hash);  // a new name, so not shadowed
    last_written = ProfileIndex::kNone;
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
  d.own_base = std::make_shared<const std::string>(std::move(bytes));
  d.base = *d.own_base;
  doc.IndexSections();
  return doc;
}

ProfileDocument ProfileDocument::ParseInPlace(std::string_view bytes) {
  if (HasByteOrderMark(bytes)) return ParseOwned(std::string(bytes));
  ProfileDocument doc;
  doc.impl_->base = bytes;
  doc.IndexSections();
  return doc;
}

void ProfileDocument::IndexSections() {
  Impl& d = *impl_;
  const std::string_view all = d.base;
  // Lines that start with a bracket bound the number of sections, so the section vector and
  // the index are made once. The vector gets room for as many new sections again: changes
  // append sections (renumbering regions rewrites all of them), and moving two megabytes of
  // sections for the first one appended would cost more than the whole change. Room not used
  // is never touched, so it takes no memory.
  size_t brackets = 0;
  for (size_t pos = all.find('['); pos != std::string_view::npos; pos = all.find('[', pos + 1)) {
    if (pos == 0 || IsLineEnd(all[pos - 1])) ++brackets;
  }
  d.sections.reserve(2 * brackets);
  d.index.Reserve(brackets);
  auto close = [&](size_t end) {
    if (d.sections.empty()) {
      AppendLines(all.substr(0, end), 0, false, &d.preamble);
    } else {
      d.sections.back().raw_size = end - d.sections.back().raw_begin;
    }
  };
  // Each header goes into the index once the next one is found: the index is too large for the
  // cache, and fetching a header's slot while the next is looked for hides most of the wait.
  struct Pending {
    uint32_t number = ProfileIndex::kNone;
    std::string_view name;
    uint32_t hash = 0;
  } pending;
  auto add_pending = [&] {
    if (pending.number != ProfileIndex::kNone) {
      d.AddToIndex(pending.number, pending.name, pending.hash);
    }
  };
  // A header is a line whose first byte other than a blank is "[", so only the brackets need a
  // look: far fewer than the lines.
  for (size_t pos = 0; pos < all.size();) {
    const void* found = std::memchr(all.data() + pos, '[', all.size() - pos);
    if (found == nullptr) break;
    const size_t bracket = static_cast<const char*>(found) - all.data();
    size_t begin = bracket;
    while (begin > 0 && IsProfileBlank(all[begin - 1])) --begin;
    if (begin > 0 && !IsLineEnd(all[begin - 1])) {
      pos = bracket + 1;
      continue;
    }
    const RawLine line = NextLine(all, begin);
    const LineParts parts = SplitLine(line.text);
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
      const uint32_t hash = d.index.Hash(parts.name);
      d.index.Prefetch(hash);
      add_pending();
      pending = {static_cast<uint32_t>(d.sections.size() - 1), parts.name, hash};
    }
    pos = line.next;
  }
  add_pending();
  close(all.size());
}

std::string ProfileDocument::Serialize() const {
  const Impl& d = *impl_;
  auto measure = [](const std::vector<ProfileLine>& lines) {
    size_t total = 0;
    for (const ProfileLine& line : lines) total += line.size + EolSize(line.eol);
    return total;
  };
  size_t total = measure(d.preamble);
  for (const Section& section : d.sections) {
    if (section.deleted) continue;
    total += section.lines == kUntouched ? section.raw_size : measure(d.touched[section.lines]);
  }
  // Room made without filling it: the copies below write every byte once.
  std::string out;
  out.reserve(total);
  // Texts that lie one after the other, as untouched sections mostly do, go in one copy.
  const char* run = nullptr;
  size_t run_size = 0;
  auto flush = [&] {
    out.append(run, run_size);
    run_size = 0;
  };
  auto copy = [&](std::string_view text) {
    if (run_size == 0 || run + run_size != text.data()) {
      flush();
      run = text.data();
    }
    run_size += text.size();
  };
  auto copy_lines = [&](const std::vector<ProfileLine>& lines) {
    flush();
    for (const ProfileLine& line : lines) {
      out.append(d.Text(line));
      out.append(EolText(line.eol));
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
  // Not a conditional expression: that would copy `out` rather than move it.
  if (d.encoding == FileEncoding::kWindows1252) return out;
  return EncodeFileText(d.encoding, std::move(out));
}

std::optional<std::string> ProfileDocument::Find(std::string_view section,
                                                 std::string_view key) const {
  const Impl& d = *impl_;
  const uint32_t number = d.FindSection(section);
  if (number == ProfileIndex::kNone) return std::nullopt;
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
  return impl_->FindSection(section) != ProfileIndex::kNone;
}

void ProfileDocument::FindTrimmedKeys(std::string_view section, const std::string_view* keys,
                                      size_t count, std::optional<std::string_view>* values) const {
  const Impl& d = *impl_;
  for (size_t k = 0; k < count; ++k) values[k].reset();
  const uint32_t number = d.FindSection(section);
  if (number == ProfileIndex::kNone) return;
  const Section& found = d.sections[number];
  if (found.lines != kUntouched) {
    for (size_t k = 0; k < count; ++k) values[k] = d.FindValue(found, keys[k]);
    return;
  }
  size_t missing = count;
  const std::string_view raw = d.Raw(found);
  for (size_t pos = NextLine(raw, 0).next; missing > 0 && pos < raw.size();) {
    const RawLine line = NextLine(raw, pos);
    pos = line.next;
    const LineParts parts = SplitLine(line.text);
    if (parts.kind != LineKind::kKey) continue;
    for (size_t k = 0; k < count; ++k) {
      if (!values[k] && SameTrimmedName(parts.name, keys[k])) {
        values[k] = parts.value;
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
  if (number == ProfileIndex::kNone || section != d.last_written_name) {
    number = d.FindSection(section);
    if (number == ProfileIndex::kNone) {
      d.EndLastLine(style);
      number = d.AppendSection(d.MakeLine({"[", section, "]"}, style));
    }
    d.last_written = number;
    d.last_written_name.assign(section.data(), section.size());
  }
  std::vector<ProfileLine>& lines = d.Lines(number);
  size_t i = d.FindKey(lines, TrimProfileBlanks(key));
  if (i != 0) {
    const LineParts old_parts = SplitLine(d.Text(lines[i]));
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
  section = TrimProfileBlanks(section);
  const size_t slot = d.Slot(d.index.Hash(section), section);
  const uint32_t number = d.index.First(slot);
  if (number == ProfileIndex::kNone) return;
  d.last_written = ProfileIndex::kNone;
  d.RemoveFromIndex(slot);
  Section& doomed = d.sections[number];
  if (doomed.lines != kUntouched) d.touched[doomed.lines] = std::vector<ProfileLine>();
  doomed.deleted = true;
  while (!d.sections.empty() && d.sections.back().deleted) d.sections.pop_back();
  while (d.first_live < d.sections.size() && d.sections[d.first_live].deleted) ++d.first_live;
  d.first_live = std::min(d.first_live, d.sections.size());
}

void ProfileDocument::DeleteKey(std::string_view section, std::string_view key) {
  Impl& d = *impl_;
  const uint32_t number = d.FindSection(section);
  if (number == ProfileIndex::kNone || !d.FindValue(d.sections[number], key)) return;
  std::vector<ProfileLine>& lines = d.Lines(number);
  lines.erase(lines.begin() + static_cast<ptrdiff_t>(d.FindKey(lines, TrimProfileBlanks(key))));
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

}  // namespace quillmap
