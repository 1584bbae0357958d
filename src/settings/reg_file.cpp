#include "settings/reg_file.h"

#include <utility>

#include "settings/cp1252.h"

namespace quillmap {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// False for an odd byte count or a surrogate without its partner: such a text would not come
// back byte for byte.
bool Utf16LeToUtf8(std::string_view bytes, std::string* out) {
  if (bytes.size() % 2 != 0) return false;
  const auto unit = [bytes](size_t i) {
    return static_cast<char32_t>(static_cast<unsigned char>(bytes[i]) |
                                 (static_cast<unsigned char>(bytes[i + 1]) << 8));
  };
  for (size_t i = 0; i < bytes.size(); i += 2) {
    char32_t c = unit(i);
    if (c >= 0xDC00 && c <= 0xDFFF) return false;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 3 >= bytes.size()) return false;
      const char32_t low = unit(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    AppendUtf8(c, out);
  }
  return true;
}

bool Utf8ToUtf16Le(std::string_view text, std::string* out) {
  const auto put = [out](char32_t unit) {
    out->push_back(static_cast<char>(unit & 0xFF));
    out->push_back(static_cast<char>(unit >> 8));
  };
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80         ? 1
                       : (lead >> 5) == 6  ? 2
                       : (lead >> 4) == 14 ? 3
                       : (lead >> 3) == 30 ? 4
                                           : 0;
    if (length == 0 || text.size() - i < static_cast<size_t>(length)) return false;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kMinimum[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    if (c >= 0x10000) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
    i += length;
  }
  return true;
}

// Decodes the bytes into file->text and sets its encoding.
bool DecodeText(std::string_view bytes, RegFile* file) {
  if (bytes.substr(0, kUtf16LeBom.size()) == kUtf16LeBom) {
    file->encoding = RegEncoding::kUtf16Le;
    return Utf16LeToUtf8(bytes.substr(kUtf16LeBom.size()), &file->text);
  }
  if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
    file->encoding = RegEncoding::kUtf8Bom;
    file->text = std::string(bytes.substr(kUtf8Bom.size()));
  } else if (bytes.substr(0, kRegedit4Header.size()) == kRegedit4Header) {
    file->encoding = RegEncoding::kCp1252;
    file->text = Cp1252ToUtf8(bytes);
  } else {
    file->encoding = RegEncoding::kUtf8;
    file->text = std::string(bytes);
  }
  return true;
}

// Reads a quoted string starting at text[*pos] == '"'; only \\ and \" are escapes.
bool ParseQuoted(std::string_view text, size_t* pos, std::string* out) {
  out->clear();
  for (size_t i = *pos + 1; i < text.size(); ++i) {
    if (text[i] == '"') {
      *pos = i + 1;
      return true;
    }
    if (text[i] == '\\') {
      if (i + 1 >= text.size() || (text[i + 1] != '\\' && text[i + 1] != '"')) return false;
      ++i;
    }
    *out += text[i];
  }
  return false;
}

bool IsTypeCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '(' ||
         c == ')';
}

// Parses a value line's text (line break excluded) that starts at `offset` of the file's text;
// `*continued` tells that the data goes on in the next line.
bool ParseValueLine(std::string_view line, size_t offset, RegEntry* entry, bool* continued) {
  size_t pos = 0;
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  if (line[pos] == '@') {
    entry->name.clear();
    ++pos;
  } else if (!ParseQuoted(line, &pos, &entry->name)) {
    return false;
  }
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  if (pos >= line.size() || line[pos] != '=') return false;
  ++pos;
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  entry->data_begin = offset + pos;
  entry->data_end = offset + line.size();
  *continued = false;
  if (pos < line.size() && line[pos] == '"') {
    if (!ParseQuoted(line, &pos, &entry->string_value)) return false;
    entry->is_string = true;
    entry->data_end = offset + pos;
    const std::string_view rest = Trim(line.substr(pos));
    return rest.empty() || rest.front() == ';';
  }
  const std::string_view data = Trim(line.substr(pos));
  if (data == "-") return true;  // a deletion mark: no string
  size_t type_end = 0;
  while (type_end < data.size() && IsTypeCharacter(data[type_end])) ++type_end;
  if (type_end == 0 || type_end >= data.size() || data[type_end] != ':') return false;
  *continued = data.back() == '\\';
  return true;
}

}  // namespace

bool ParseRegFile(std::string_view bytes, RegFile* file, std::string* why) {
  if (!DecodeText(bytes, file)) {
    *why = "is not valid UTF-16 text";
    return false;
  }
  const std::string_view text = file->text;
  const size_t first_break = text.find('\n');
  if (first_break != std::string_view::npos) {
    file->line_break = first_break > 0 && text[first_break - 1] == '\r' ? "\r\n" : "\n";
  }
  std::string current_key;
  bool in_section = false;
  bool continuing = false;
  size_t line_number = 0;
  for (size_t pos = 0; pos < text.size();) {
    ++line_number;
    const size_t newline = text.find('\n', pos);
    const size_t end = newline == std::string_view::npos ? text.size() : newline + 1;
    size_t content_end = newline == std::string_view::npos ? text.size() : newline;
    if (content_end > pos && text[content_end - 1] == '\r') --content_end;
    const std::string_view line = text.substr(pos, content_end - pos);
    const std::string_view trimmed = Trim(line);

    if (continuing) {
      RegEntry& value = file->entries.back();
      value.content_end = content_end;
      value.data_end = content_end;
      value.end = end;
      continuing = !trimmed.empty() && trimmed.back() == '\\';
      pos = end;
      continue;
    }
    RegEntry entry;
    entry.begin = pos;
    entry.content_end = content_end;
    entry.end = end;
    if (line_number == 1) {
      if (trimmed != kRegHeader && trimmed != kRegedit4Header) {
        *why = "does not begin with \"" + std::string(kRegHeader) + "\" or \"" +
               std::string(kRegedit4Header) + "\"";
        return false;
      }
    } else if (trimmed.empty() || trimmed.front() == ';') {
      // blank line or comment
    } else if (trimmed.front() == '[') {
      // Values below a key line that cannot be read belong to no key we know.
      in_section = trimmed.size() >= 2 && trimmed.back() == ']';
      current_key = in_section ? std::string(trimmed.substr(1, trimmed.size() - 2)) : "";
      entry.kind = in_section ? RegEntryKind::kSection : RegEntryKind::kNotUnderstood;
      entry.key = current_key;
    } else {
      entry.kind = RegEntryKind::kValue;
      entry.key = current_key;
      if (!in_section || !ParseValueLine(line, pos, &entry, &continuing)) {
        entry.kind = RegEntryKind::kNotUnderstood;
        continuing = false;
      }
    }
    if (entry.kind == RegEntryKind::kNotUnderstood && file->first_not_understood_line == 0) {
      file->first_not_understood_line = line_number;
    }
    file->entries.push_back(std::move(entry));
    pos = end;
  }
  // Data cut short by the end of the file.
  if (continuing && file->first_not_understood_line == 0) {
    file->first_not_understood_line = line_number;
  }
  return true;
}

bool EncodeRegText(RegEncoding encoding, std::string_view text, std::string* bytes) {
  switch (encoding) {
    case RegEncoding::kUtf8:
      *bytes = std::string(text);
      return true;
    case RegEncoding::kUtf8Bom:
      *bytes = std::string(kUtf8Bom) + std::string(text);
      return true;
    case RegEncoding::kUtf16Le:
      *bytes = std::string(kUtf16LeBom);
      return Utf8ToUtf16Le(text, bytes);
    case RegEncoding::kCp1252:
      return Utf8ToCp1252(text, bytes);
  }
  return false;
}

}  // namespace quillmap
