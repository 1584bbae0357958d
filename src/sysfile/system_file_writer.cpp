#include "sysfile/system_file_writer.h"

#include <cstddef>
#include <limits>

#include "settings/cp1252.h"
#include "settings/error.h"
#include "sysfile/system_file.h"

namespace quillmap {
namespace {

constexpr int32_t kModelTableVersion = 2;

// The name's Windows-1252 bytes, or an error that says why it cannot be stored.
std::string NameBytes(const std::string& name, const std::string& where) {
  std::string bytes;
  if (!Utf8ToCp1252(name, &bytes)) {
    throw Error(kErrTypeMismatch,
                where + "the name \"" + name + "\" holds a character that Windows-1252 lacks");
  }
  if (bytes.size() > kModelNameSize) {
    throw Error(kErrOverflow, where + "the name \"" + name + "\" takes " +
                                  std::to_string(bytes.size()) + " bytes; a name holds at most " +
                                  std::to_string(kModelNameSize));
  }
  return bytes;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal number of millimetres as micrometres; throws with `where` leading the text.
int32_t ParseMicrometres(std::string_view word, const std::string& where) {
  size_t i = 0;
  bool negative = false;
  if (i < word.size() && (word[i] == '+' || word[i] == '-')) negative = word[i++] == '-';
  // Beyond this the value is out of range anyway, and the sum cannot overflow.
  constexpr int64_t kCap = int64_t{1} << 40;
  int64_t micrometres = 0;
  bool any_digit = false;
  for (; i < word.size() && IsDigit(word[i]); ++i) {
    any_digit = true;
    if (micrometres < kCap) micrometres = micrometres * 10 + (word[i] - '0') * 1000;
  }
  if (i < word.size() && word[i] == '.') {
    ++i;
    int64_t unit = 100;  // micrometres per digit: tenths of a millimetre first
    for (; i < word.size() && IsDigit(word[i]); ++i) {
      any_digit = true;
      int digit = word[i] - '0';
      if (unit > 0) {
        micrometres += digit * unit;
      } else if (unit == 0 && digit >= 5) {
        ++micrometres;  // the first digit beyond the micrometre rounds
      }
      unit = unit > 0 ? unit / 10 : -1;
    }
  }
  if (!any_digit || i != word.size()) {
    throw Error(kErrTypeMismatch, where + "\"" + std::string(word) + "\" is not a number");
  }
  if (negative) micrometres = -micrometres;
  if (micrometres > std::numeric_limits<int32_t>::max() ||
      micrometres < std::numeric_limits<int32_t>::min()) {
    throw Error(kErrOverflow,
                where + std::string(word) + " mm does not fit a 32-bit count of " + "micrometres");
  }
  return static_cast<int32_t>(micrometres);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Splits a model line into its name and the words after it.
std::vector<std::string_view> SplitLine(std::string_view line, std::string& name,
                                        const std::string& where) {
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i < line.size() && line[i] == '"') {
    size_t close = line.find('"', i + 1);
    if (close == std::string_view::npos) {
      throw Error(kErrTypeMismatch, where + "the name's closing quote is missing");
    }
    name = std::string(line.substr(i + 1, close - i - 1));
    i = close + 1;
    if (i < line.size() && !IsBlank(line[i])) {
      throw Error(kErrTypeMismatch, where + "a blank must follow the quoted name");
    }
  } else {
    size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    name = std::string(line.substr(start, i - start));
    if (name.find('"') != std::string::npos) {
      throw Error(kErrTypeMismatch, where + "a quote may only enclose the whole name");
    }
  }
  std::vector<std::string_view> words;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

void PutInt32(std::string& bytes, int32_t value) {
  uint32_t bits = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((bits >> (8 * i)) & 0xFF);
}

void PutBounds(std::string& bytes, const std::array<int32_t, 8>& bounds) {
  for (int32_t bound : bounds) PutInt32(bytes, bound);
}

}  // namespace

std::vector<ModelDescription> ParseModelDescriptions(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<ModelDescription> models;
  int line_number = 0;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == '#') continue;

    std::string where = "line " + std::to_string(line_number) + ": ";
    ModelDescription model;
    std::vector<std::string_view> words = SplitLine(line, model.Name, where);
    if (words.size() != model.Bounds.size()) {
      throw Error(kErrTypeMismatch, where + "a name and 8 bounds expected, found " +
                                        std::to_string(words.size()) + " bounds");
    }
    NameBytes(model.Name, where);
    for (size_t i = 0; i < words.size(); ++i) model.Bounds[i] = ParseMicrometres(words[i], where);
    models.push_back(std::move(model));
  }
  return models;
}

std::string BuildSystemFile(const std::vector<ModelDescription>& models, SystemFileLayout layout) {
  std::string bytes;
  if (layout == SystemFileLayout::kSingleModel) {
    if (models.size() != 1) {
      throw Error(kErrTypeMismatch, "the single-model layout holds exactly one model, not " +
                                        std::to_string(models.size()));
    }
    PutInt32(bytes, kSingleModelVersion);
    PutInt32(bytes, 1);  // never read; the count of models it holds
    PutBounds(bytes, models.front().Bounds);
    return bytes;
  }
  if (models.size() > static_cast<size_t>(kMaxReadableModelCount)) {
    throw Error(kErrOverflow, "a model table holds at most " +
                                  std::to_string(kMaxReadableModelCount) + " models, not " +
                                  std::to_string(models.size()));
  }
  bytes.reserve(kSystemFileHeaderSize + kModelRecordSize * models.size());
  PutInt32(bytes, kModelTableVersion);
  PutInt32(bytes, static_cast<int32_t>(models.size()));
  for (const ModelDescription& model : models) {
    std::string name = NameBytes(model.Name, "");
    name.resize(kModelNameSize, '\0');
    bytes += name;
    bytes.append(8, '\0');  // unused
    PutBounds(bytes, model.Bounds);
  }
  return bytes;
}

}  // namespace quillmap
