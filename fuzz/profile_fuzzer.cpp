// The profile-file parser and writer. Four control bytes, then the file. The target parses the
// file, changes a key, deletes a section and changes a key again on a copy, writes the result
// and parses it again. A small model of its own, which knows only where sections begin, tells
// what must hold: every section that no change touched is still there byte for byte and in its
// place, each value written reads back, and the parse of the written bytes writes them again.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "settings/profile.h"

namespace {

using quillmap::ProfileDocument;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Windows-1252 letters compared without regard to case.
std::string Fold(std::string_view name) {
  std::string out(Trim(name));
  for (char& c : out) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7)) c = char(b - 0x20);
    if (b == 0x9A || b == 0x9C || b == 0x9E) c = char(b - 0x10);
    if (b == 0xFF) c = char(0x9F);
  }
  return out;
}

// A section of the model: its bytes from its header line up to the next header. The first
// entry is whatever stands before the first header and has no name.
struct ModelSection {
  std::string name;
  std::string bytes;
  bool touched = false;
  bool deleted = false;
  bool added = false;
};

// A header is a line whose first non-blank is "[" with a "]" somewhere after it.
bool HeaderName(std::string_view line, std::string* name) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i == line.size() || line[i] != '[') return false;
  const size_t close = line.rfind(']');
  if (close == std::string_view::npos || close <= i) return false;
  *name = std::string(Trim(line.substr(i + 1, close - i - 1)));
  return true;
}

// Where the line that starts at `pos` ends, its line break included: LF, CR LF or a lone CR.
size_t LineEnd(std::string_view bytes, size_t pos) {
  const size_t end = bytes.find_first_of("\r\n", pos);
  if (end == std::string_view::npos) return bytes.size();
  return bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n' ? end + 2 : end + 1;
}

std::vector<ModelSection> SplitSections(std::string_view bytes) {
  std::vector<ModelSection> sections(1);
  for (size_t pos = 0; pos < bytes.size();) {
    const size_t next = LineEnd(bytes, pos);
    const std::string_view line = bytes.substr(pos, next - pos);
    std::string name;
    if (HeaderName(line, &name)) sections.push_back({name, ""});
    sections.back().bytes += line;
    pos = next;
  }
  return sections;
}

// The first live section of that name, or 0 (the part before the first header never matches).
size_t FindModel(const std::vector<ModelSection>& sections, std::string_view name) {
  const std::string wanted = Fold(name);
  for (size_t i = 1; i < sections.size(); ++i) {
    if (!sections[i].deleted && Fold(sections[i].name) == wanted) return i;
  }
  return 0;
}

// The name of the first key line of a section, as the document would see it.
std::string FirstKey(const std::string& section_bytes) {
  const std::string_view bytes = section_bytes;
  for (size_t begin = LineEnd(bytes, 0); begin < bytes.size();) {
    const size_t next = LineEnd(bytes, begin);
    std::string_view line = bytes.substr(begin, next - begin);
    begin = next;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    const std::string_view trimmed = Trim(line);
    const size_t equals = trimmed.find('=');
    if (trimmed.empty() || trimmed[0] == ';' || equals == std::string_view::npos) continue;
    return std::string(Trim(trimmed.substr(0, equals)));
  }
  return "Name";
}

// What Write does to the model: the section it goes to is touched, or a new one is added.
void ModelWrite(std::vector<ModelSection>& sections, const std::string& section) {
  const size_t found = FindModel(sections, section);
  if (found != 0) {
    sections[found].touched = true;
    return;
  }
  sections.push_back({section, "", true, false, true});
}

// Values a hand-edited file or the program might hold. None starts with a blank or holds a
// line break: such a value cannot be read back, by design.
constexpr std::array<std::string_view, 12> kValues = {
    "",    "0",         "20000", "-0",       "1e308",    "NaN",
    "1,5", "Left half", "a=b",   ";comment", "\xe4\xff", std::string_view("x\0y", 3)};
constexpr std::array<std::string_view, 8> kKeys = {"Type", "Name", "Custom", "W",
                                                   "H",    "X",    "AFX",    "NumRegions"};

std::string ValueFor(uint8_t control, const std::string& key) {
  std::string value(kValues[control % kValues.size()]);
  // "[key=value]" would be a section header: a key that starts with "[" takes no "]".
  if (!key.empty() && key[0] == '[') {
    std::string kept;
    for (char c : value) {
      if (c != ']') kept += c;
    }
    value = kept;
  }
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const quillmap::fuzz::Controls controls(data, size, 4);
  const std::string_view file = controls.Rest();

  const ProfileDocument doc = ProfileDocument::Parse(file);
  FUZZ_CHECK(doc.Serialize() == file);
  // The model knows Windows-1252 bytes; a file with a byte-order mark is text in another
  // encoding, which only has to come back as it was.
  for (const std::string_view mark : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
    if (file.substr(0, mark.size()) == mark) return 0;
  }

  std::vector<ModelSection> model = SplitSections(file);
  const size_t headers = model.size() - 1;
  for (size_t i = 1; i < model.size(); ++i) FUZZ_CHECK(doc.HasSection(model[i].name));

  auto pick = [&](uint8_t control, const char* fallback) {
    const size_t i = control % (headers + 1);
    return i == headers ? std::string(fallback) : model[i + 1].name;
  };
  const std::string changed = pick(controls.Byte(0), "Fuzz Section");
  const std::string doomed = pick(controls.Byte(2), "No Such Section");
  const size_t changed_at = FindModel(model, changed);
  const std::string key = controls.Byte(1) & 0x80 && changed_at != 0
                              ? FirstKey(model[changed_at].bytes)
                              : std::string(kKeys[controls.Byte(1) % kKeys.size()]);
  const std::string value = ValueFor(controls.Byte(3), key);
  const std::string second_key(kKeys[(controls.Byte(1) >> 3) % kKeys.size()]);
  const std::string second_value = ValueFor(controls.Byte(3) >> 4, second_key);
  const bool closing_break = controls.Byte(3) & 0x08;

  ProfileDocument copy = doc;
  copy.Write(changed, key, value);
  ModelWrite(model, changed);
  FUZZ_CHECK(copy.Find(changed, key) == value);

  const size_t doomed_at = FindModel(model, doomed);
  copy.DeleteSection(doomed);
  if (doomed_at != 0) model[doomed_at].deleted = true;
  FUZZ_CHECK(copy.HasSection(doomed) == (FindModel(model, doomed) != 0));

  copy.Write(changed, second_key, closing_break ? second_value + "\r\n" : second_value);
  ModelWrite(model, changed);
  FUZZ_CHECK(copy.Find(changed, second_key) == second_value);
  // The change stays with the copy.
  FUZZ_CHECK(doc.Serialize() == file);

  const std::string written = copy.Serialize();
  const ProfileDocument again = ProfileDocument::Parse(written);
  FUZZ_CHECK(again.Serialize() == written);
  FUZZ_CHECK(again.Find(changed, second_key) == second_value);

  // Every section the changes did not touch, in its place and unchanged; the one before an
  // added section may have gained the line ending of its last line.
  std::vector<ModelSection> expected;
  for (const ModelSection& section : model) {
    if (!section.deleted) expected.push_back(section);
  }
  const std::vector<ModelSection> found = SplitSections(written);
  FUZZ_CHECK(found.size() == expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    FUZZ_CHECK(Fold(found[i].name) == Fold(expected[i].name));
    if (expected[i].touched) continue;
    const bool before_added = i + 1 < expected.size() && expected[i + 1].added;
    const std::string& was = expected[i].bytes;
    FUZZ_CHECK(found[i].bytes == was ||
               (before_added && !was.empty() && was.back() != '\n' && was.back() != '\r' &&
                (found[i].bytes == was + "\n" || found[i].bytes == was + "\r\n" ||
                 found[i].bytes == was + "\r")));
  }
  return 0;
}
