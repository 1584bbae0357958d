#include "settings/profile.h"

#include <cstring>
#include <iterator>
#include <utility>

namespace quillmap {

namespace {

enum class LineKind : uint8_t { kBlank, kComment, kHeader, kKey, kOther };
enum class Eol : uint8_t { kNone, kLf, kCrLf };

std::string_view EolText(Eol eol) {
  switch (eol) {
    case Eol::kLf:
      return "\n";
    case Eol::kCrLf:
      return "\r\n";
    case Eol::kNone:
      break;
  }
  return "";
}

// The blanks that the Windows profile functions strip; a lone CR counts as one.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view TrimBlanks(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// Windows-1252 upper case, so that names with accented letters match as on Windows.
struct UpperTable {
  unsigned char map[256];
  constexpr UpperTable() : map() {
    for (int i = 0; i < 256; ++i) map[i] = static_cast<unsigned char>(i);
    for (int i = 'a'; i <= 'z'; ++i) map[i] = static_cast<unsigned char>(i - 32);
    for (int i = 0xE0; i <= 0xFE; ++i) {
      if (i != 0xF7) map[i] = static_cast<unsigned char>(i - 32);  // not the division sign
    }
    map[0x9A] = 0x8A;  // s caron
    map[0x9C] = 0x8C;  // oe
    map[0x9E] = 0x8E;  // z caron
    map[0xFF] = 0x9F;  // y diaeresis
  }
};
constexpr UpperTable kUpper;

unsigned char Upper(char c) { return kUpper.map[static_cast<unsigned char>(c)]; }

std::string UpperName(std::string_view name) {
  name = TrimBlanks(name);
  std::string upper(name.size(), '\0');
  for (size_t i = 0; i < name.size(); ++i) upper[i] = static_cast<char>(Upper(name[i]));
  return upper;
}

// `b` already trimmed.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

// One line of the file. Its text is a slice of the parsed bytes or, once a change made it, of
// the document's own store; name and value are found once, when the line is made.
struct Line {
  size_t offset = 0;
  size_t size = 0;  // without the line ending
  uint32_t name_begin = 0;
  uint32_t name_size = 0;
  uint32_t value_begin = 0;
  uint32_t value_size = 0;
  LineKind kind = LineKind::kBlank;
  Eol eol = Eol::kNone;
  bool owned = false;
};

void Classify(std::string_view text, Line* line) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i == text.size()) {
    line->kind = LineKind::kBlank;
    return;
  }
  if (text[i] == ';' || text.size() > UINT32_MAX) {
    line->kind = LineKind::kComment;
    return;
  }
  if (text[i] == '[') {
    const size_t close = text.rfind(']');
    if (close != std::string_view::npos && close > i) {
      const std::string_view inner = text.substr(i + 1, close - i - 1);
      const std::string_view name = TrimBlanks(inner);
      line->kind = LineKind::kHeader;
      line->name_begin = static_cast<uint32_t>(name.data() - text.data());
      line->name_size = static_cast<uint32_t>(name.size());
      return;
    }
  }
  const void* found = std::memchr(text.data() + i, '=', text.size() - i);
  if (found == nullptr) {
    line->kind = LineKind::kOther;
    return;
  }
  const size_t equals = static_cast<const char*>(found) - text.data();
  size_t name_end = equals;
  while (name_end > i && IsBlank(text[name_end - 1])) --name_end;
  const std::string_view value = TrimBlanks(text.substr(equals + 1));
  line->kind = LineKind::kKey;
  line->name_begin = static_cast<uint32_t>(i);
  line->name_size = static_cast<uint32_t>(name_end - i);
  // An empty value keeps blanks after "=" out of the part a rewrite preserves.
  line->value_begin =
      static_cast<uint32_t>(value.empty() ? equals + 1 : value.data() - text.data());
  line->value_size = static_cast<uint32_t>(value.size());
}

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

struct Section {
  std::vector<Line> lines;  // lines[0] is the header
};
using SectionList = std::list<Section>;

// The sections of one name in file order; all but the first are invisible to reads.
struct SameNamed {
  SectionList::iterator first;
  std::vector<SectionList::iterator> more;
};

}  // namespace

struct ProfileDocument::Impl {
  std::string base;   // the parsed bytes
  std::string store;  // the text of lines that changes made
  std::vector<Line> preamble;
  SectionList sections;
  std::unordered_map<std::string, SameNamed> index;

  Impl() = default;
  Impl(const Impl& other)
      : base(other.base), store(other.store), preamble(other.preamble), sections(other.sections) {
    for (auto it = sections.begin(); it != sections.end(); ++it) AddToIndex(it);
  }
  Impl& operator=(const Impl&) = delete;

  std::string_view Text(const Line& line) const {
    return std::string_view((line.owned ? store : base).data() + line.offset, line.size);
  }
  std::string_view Name(const Line& line) const {
    return Text(line).substr(line.name_begin, line.name_size);
  }
  std::string_view Value(const Line& line) const {
    return Text(line).substr(line.value_begin, line.value_size);
  }

  void AddToIndex(SectionList::iterator it) { AddToIndex(it, Name(it->lines[0])); }
  void AddToIndex(SectionList::iterator it, std::string_view name) {
    auto [entry, added] = index.try_emplace(UpperName(name));
    if (added) {
      entry->second.first = it;
    } else {
      entry->second.more.push_back(it);
    }
  }

  SectionList::iterator FindSection(std::string_view name) {
    const auto entry = index.find(UpperName(name));
    return entry == index.end() ? sections.end() : entry->second.first;
  }
  SectionList::const_iterator FindSection(std::string_view name) const {
    const auto entry = index.find(UpperName(name));
    return entry == index.end() ? sections.cend()
                                : SectionList::const_iterator(entry->second.first);
  }

  // Index in the section's lines, or 0 (the header) when missing.
  size_t FindKey(const Section& section, std::string_view key) const {
    key = TrimBlanks(key);
    for (size_t i = 1; i < section.lines.size(); ++i) {
      const Line& line = section.lines[i];
      if (line.kind == LineKind::kKey && SameName(Name(line), key)) return i;
    }
    return 0;
  }

  Line MakeLine(std::string_view text, Eol eol) {
    Line line;
    line.offset = store.size();
    line.size = text.size();
    line.eol = eol;
    line.owned = true;
    store.append(text);
    Classify(text, &line);
    return line;
  }

  // The line ending of the file's first line, as a fresh read of the file would find it.
  Eol Style() const {
    const Line* first = !preamble.empty()   ? &preamble.front()
                        : !sections.empty() ? &sections.front().lines.front()
                                            : nullptr;
    return first != nullptr && first->eol != Eol::kNone ? first->eol : Eol::kCrLf;
  }

  Line* LastLine() {
    if (!sections.empty()) return &sections.back().lines.back();
    return preamble.empty() ? nullptr : &preamble.back();
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
  ProfileDocument doc;
  Impl& d = *doc.impl_;
  d.base.assign(bytes.data(), bytes.size());
  d.index.reserve(bytes.size() / 64);
  const char* data = d.base.data();
  const size_t size = d.base.size();
  // Lines gather here first, so each section's vector is allocated once at its exact size.
  std::vector<Line> pending;
  pending.reserve(64);
  auto close_pending = [&] {
    if (d.sections.empty()) {
      d.preamble.assign(pending.begin(), pending.end());
    } else {
      d.sections.back().lines.assign(pending.begin(), pending.end());
    }
    pending.clear();
  };
  size_t pos = 0;
  while (pos < size) {
    const void* found = std::memchr(data + pos, '\n', size - pos);
    const size_t end = found != nullptr ? static_cast<const char*>(found) - data : size;
    Line line;
    line.offset = pos;
    line.size = end - pos;
    if (found != nullptr) {
      line.eol = Eol::kLf;
      if (end > pos && data[end - 1] == '\r') {
        line.eol = Eol::kCrLf;
        --line.size;
      }
    }
    Classify(std::string_view(data + pos, line.size), &line);
    if (line.kind == LineKind::kHeader) {
      close_pending();
      d.sections.emplace_back();
      d.AddToIndex(std::prev(d.sections.end()),
                   std::string_view(data + pos + line.name_begin, line.name_size));
    }
    pending.push_back(line);
    pos = found != nullptr ? end + 1 : size;
  }
  close_pending();
  return doc;
}

std::string ProfileDocument::Serialize() const {
  const Impl& d = *impl_;
  size_t total = 0;
  auto measure = [&](const std::vector<Line>& lines) {
    for (const Line& line : lines) total += line.size + EolText(line.eol).size();
  };
  auto append = [&](const std::vector<Line>& lines, std::string* out) {
    for (const Line& line : lines) {
      out->append(d.Text(line));
      out->append(EolText(line.eol));
    }
  };
  measure(d.preamble);
  for (const Section& section : d.sections) measure(section.lines);
  std::string out;
  out.reserve(total);
  append(d.preamble, &out);
  for (const Section& section : d.sections) append(section.lines, &out);
  return out;
}

std::optional<std::string> ProfileDocument::Find(std::string_view section,
                                                 std::string_view key) const {
  const Impl& d = *impl_;
  const auto it = d.FindSection(section);
  if (it == d.sections.end()) return std::nullopt;
  const size_t i = d.FindKey(*it, key);
  if (i == 0) return std::nullopt;
  return std::string(d.Value(it->lines[i]));
}

std::string ProfileDocument::Read(std::string_view section, std::string_view key,
                                  std::string_view default_value) const {
  std::optional<std::string> value = Find(section, key);
  return value ? std::move(*value) : std::string(default_value);
}

bool ProfileDocument::HasSection(std::string_view section) const {
  return impl_->FindSection(section) != impl_->sections.end();
}

void ProfileDocument::Write(std::string_view section, std::string_view key,
                            std::string_view value) {
  Impl& d = *impl_;
  const auto [body, closing_break] = SplitClosingBreak(value);
  const Eol style = d.Style();
  auto it = d.FindSection(section);
  if (it == d.sections.end()) {
    if (Line* last = d.LastLine(); last != nullptr && last->eol == Eol::kNone) last->eol = style;
    d.sections.emplace_back();
    it = std::prev(d.sections.end());
    std::string header;
    header.reserve(section.size() + 2);
    header.append("[").append(section).append("]");
    it->lines.push_back(d.MakeLine(header, style));
    d.AddToIndex(it);
  }
  std::vector<Line>& lines = it->lines;
  size_t i = d.FindKey(*it, key);
  if (i != 0) {
    if (d.Value(lines[i]) != body) {
      std::string text(d.Text(lines[i]).substr(0, lines[i].value_begin));
      text.append(body);
      lines[i] = d.MakeLine(text, lines[i].eol == Eol::kNone ? style : lines[i].eol);
    }
  } else {
    i = lines.size();
    while (i > 1 &&
           (lines[i - 1].kind == LineKind::kBlank || lines[i - 1].kind == LineKind::kComment)) {
      --i;
    }
    if (lines[i - 1].eol == Eol::kNone) lines[i - 1].eol = style;
    std::string text;
    text.reserve(key.size() + 1 + body.size());
    text.append(key).append("=").append(body);
    lines.insert(lines.begin() + static_cast<ptrdiff_t>(i), d.MakeLine(text, style));
  }
  if (closing_break) {
    if (lines[i].eol == Eol::kNone) lines[i].eol = style;
    if (i + 1 == lines.size() || lines[i + 1].kind != LineKind::kBlank) {
      lines.insert(lines.begin() + static_cast<ptrdiff_t>(i + 1), d.MakeLine("", style));
    }
  }
}

void ProfileDocument::DeleteSection(std::string_view section) {
  Impl& d = *impl_;
  const auto entry = d.index.find(UpperName(section));
  if (entry == d.index.end()) return;
  SameNamed& same = entry->second;
  d.sections.erase(same.first);
  if (same.more.empty()) {
    d.index.erase(entry);
  } else {
    same.first = same.more.front();
    same.more.erase(same.more.begin());
  }
}

void ProfileDocument::DeleteKey(std::string_view section, std::string_view key) {
  Impl& d = *impl_;
  const auto it = d.FindSection(section);
  if (it == d.sections.end()) return;
  const size_t i = d.FindKey(*it, key);
  if (i != 0) it->lines.erase(it->lines.begin() + static_cast<ptrdiff_t>(i));
}

bool LoadProfile(const std::string& path, ProfileDocument* doc, FileSnapshot* snapshot,
                 FileSystem& fs) {
  FileSnapshot local;
  FileSnapshot* read = snapshot != nullptr ? snapshot : &local;
  if (!ReadFileSnapshot(path, read, fs)) return false;
  *doc = ProfileDocument::Parse(read->bytes);
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
  return ProfileDocument::Parse(snapshot.bytes).Read(section, key, default_value);
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
