#include "cli/cli_output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "settings/number_text.h"

namespace quillmap::cli {
namespace {

size_t CharCount(std::string_view text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (char c : utf8) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

bool IsJsonNumber(std::string_view text) {
  size_t i = 0;
  auto digits = [&]() {
    const size_t start = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    return i > start;
  };
  if (i < text.size() && text[i] == '-') ++i;
  if (i < text.size() && text[i] == '0') {
    ++i;
  } else if (!digits()) {
    return false;
  }
  if (i < text.size() && text[i] == '.') {
    ++i;
    if (!digits()) return false;
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (!digits()) return false;
  }
  return i == text.size();
}

std::string JsonNumberOrString(std::string_view text) {
  // "1e400" or a run of a million digits follows the grammar, but no reader can hold it.
  return IsJsonNumber(text) && IsNumber(text, '.') ? std::string(text) : JsonString(text);
}

std::string Printable(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const auto next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
    char escaped[8];
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\0') {
      out += "\\0";
    } else if (c < 0x20 || c == 0x7F) {
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += escaped;
    } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {  // U+0080 to U+009F
      std::snprintf(escaped, sizeof escaped, "\\u%04x", next);
      out += escaped;
      ++i;
    } else {
      out += utf8[i];
    }
  }
  return out;
}

std::string ErrorText(const Error& error, const std::string& region_file_path) {
  if (error.Key().empty()) return error.Description();
  const std::string& file = error.File().empty() ? region_file_path : error.File();
  return error.Description() + ": " + error.Key() + " in " + file;
}

std::string WithNewlines(std::string_view message) {
  std::string out;
  for (size_t i = 0; i < message.size(); ++i) {
    if (message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n') continue;
    out += message[i];
  }
  return out;
}

std::string Micrometres(double millimetres) {
  const long long um = std::llround(millimetres * 1000.0);
  const unsigned long long magnitude = um < 0 ? 0ULL - static_cast<unsigned long long>(um) : um;
  char text[32];
  std::snprintf(text, sizeof text, "%s%llu.%03llu", um < 0 ? "-" : "", magnitude / 1000,
                magnitude % 1000);
  return text;
}

Table::Table(std::vector<std::string> headings, std::vector<Align> aligns)
    : headings_(std::move(headings)), aligns_(std::move(aligns)) {}

void Table::AddRow(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }

std::string Table::Render(std::string_view indent, bool with_headings) const {
  std::vector<size_t> widths(headings_.size(), 0);
  std::vector<std::vector<std::string>> rows;
  rows.reserve(rows_.size());
  for (const auto& row : rows_) {
    std::vector<std::string>& cells = rows.emplace_back();
    for (const std::string& cell : row) cells.push_back(Printable(cell));
  }
  auto measure = [&widths](const std::vector<std::string>& cells) {
    for (size_t c = 0; c < cells.size() && c < widths.size(); ++c) {
      widths[c] = std::max(widths[c], CharCount(cells[c]));
    }
  };
  if (with_headings) measure(headings_);
  for (const auto& row : rows) measure(row);

  std::string out;
  auto write = [&](const std::vector<std::string>& cells) {
    std::string line(indent);
    for (size_t c = 0; c < widths.size(); ++c) {
      const std::string& cell = c < cells.size() ? cells[c] : std::string();
      const std::string padding(widths[c] - CharCount(cell), ' ');
      if (c > 0) line += "  ";
      line += aligns_[c] == Align::kRight ? padding + cell : cell + padding;
    }
    line.erase(line.find_last_not_of(' ') + 1);
    out += line + "\n";
  };
  if (with_headings) write(headings_);
  for (const auto& row : rows) write(row);
  return out;
}

}  // namespace quillmap::cli
