#include "regions/edit_rules.h"

#include <algorithm>

#include "settings/number_text.h"
#include "settings/profile_names.h"

namespace quillmap {
namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

int CharCount(std::string_view text) {
  return static_cast<int>(
      std::count_if(text.begin(), text.end(), [](char c) { return !IsContinuationByte(c); }));
}

// The byte offset of character `index`, or the text's size when it has fewer characters.
size_t ByteOffset(std::string_view text, int index) {
  size_t pos = 0;
  for (int seen = 0; pos < text.size(); ++pos) {
    if (IsContinuationByte(text[pos])) continue;
    if (seen == index) return pos;
    ++seen;
  }
  return text.size();
}

size_t LastCharOffset(std::string_view text) {
  size_t pos = text.size();
  while (pos > 0 && IsContinuationByte(text[pos - 1])) --pos;
  return pos == 0 ? 0 : pos - 1;
}

}  // namespace

std::string TrimBlanks(std::string_view text) { return std::string(TrimProfileBlanks(text)); }

int NumericKeys(std::string_view text, int key_ascii, int sel_start, int sel_len, char sep) {
  const int separator = static_cast<unsigned char>(sep);
  if (key_ascii == separator && text.find(sep) != std::string_view::npos) {
    // A second separator may only replace a selection that holds the first one.
    sel_start = std::max(sel_start, 0);
    sel_len = std::max(sel_len, 0);
    const size_t begin = ByteOffset(text, sel_start);
    const size_t end = ByteOffset(text, sel_start + sel_len);
    return text.substr(begin, end - begin).find(sep) != std::string_view::npos ? key_ascii : 0;
  }
  const bool allowed = key_ascii == separator || (key_ascii >= '0' && key_ascii <= '9') ||
                       key_ascii == kKeyBackspace || key_ascii == kKeyEnter ||
                       key_ascii == kKeyCtrlC || key_ascii == kKeyCtrlV || key_ascii == kKeyCtrlX;
  return allowed ? key_ascii : 0;
}

std::optional<BoxText> LimitDecimals(std::string_view text, int caret, char sep) {
  std::string limited(text);
  bool changed = false;
  for (;;) {
    const size_t p = limited.find(sep);
    if (p == std::string::npos || CharCount(std::string_view(limited).substr(p + 1)) <= 2) break;
    // The last character goes, wherever the caret is: a digit typed amid the decimals stays.
    limited = TrimBlanks(std::string_view(limited).substr(0, LastCharOffset(limited)));
    changed = true;
  }
  if (!changed) return std::nullopt;
  return BoxText{limited, std::clamp(caret - 1, 0, CharCount(limited))};
}

MaxSizeLabel MaxSizeFor(double position, double max_edge, double max_size, double min_size,
                        char sep) {
  MaxSizeLabel label;
  const double room = max_edge - position;
  if (FallsBelowBound(room, max_size)) {
    label.red = FallsBelowBound(room, min_size);
    label.caption = FormatValue(room >= 0 ? room : 0, sep);
  } else {
    label.caption = FormatValue(max_size, sep);
  }
  return label;
}

std::optional<std::string> FormatPositionOnLeave(std::string_view text, char sep) {
  if (!IsNumber(text, sep)) return std::nullopt;
  return FormatValue(TextToDouble(TrimBlanks(text), sep), sep);
}

std::string FormatSizeOnLeave(std::string_view text, char sep) {
  std::string trimmed = TrimBlanks(text);
  if (!IsNumber(trimmed, sep)) return trimmed;
  return FormatValue(TextToDouble(trimmed, sep), sep);
}

InitialRanges InitialRangeCaptions(const ModelLimits& limits, std::string_view stored_x,
                                   std::string_view stored_y, char sep) {
  InitialRanges ranges;
  RangeCaptions& c = ranges.captions;
  c.min_x = FormatValue(limits.MinX, sep);
  c.max_x = FormatValue(limits.MaxX - limits.MinWidth, sep);
  c.min_y = FormatValue(limits.MinY, sep);
  c.max_y = FormatValue(limits.MaxY - limits.MinHeight, sep);
  c.min_width = FormatValue(limits.MinWidth, sep);
  if (IsNumber(stored_x, sep)) {
    MaxSizeLabel label =
        MaxSizeFor(TextToDouble(stored_x, sep), limits.MaxX, limits.MaxWidth, limits.MinWidth, sep);
    c.max_width = label.caption;
    ranges.max_width_red = label.red;
  } else {
    c.max_width = FormatValue(limits.MaxWidth, sep);
  }
  c.min_height = FormatValue(limits.MinHeight, sep);
  if (IsNumber(stored_y, sep)) {
    MaxSizeLabel label = MaxSizeFor(TextToDouble(stored_y, sep), limits.MaxY, limits.MaxHeight,
                                    limits.MinHeight, sep);
    c.max_height = label.caption;
    ranges.max_height_red = label.red;
  } else {
    c.max_height = FormatValue(limits.MaxHeight, sep);
  }
  return ranges;
}

RegionCheck ValidateRegion(const RegionTexts& boxes, const RangeCaptions& captions,
                           const ModelLimits& limits, char sep, const NameExistsFn& name_exists) {
  RegionCheck check;
  RegionTexts& t = check.trimmed;
  t.name = TrimBlanks(boxes.name);
  t.x_pos = TrimBlanks(boxes.x_pos);
  t.y_pos = TrimBlanks(boxes.y_pos);
  t.width = TrimBlanks(boxes.width);
  t.height = TrimBlanks(boxes.height);

  auto fail = [&check](int rule, RegionBox focus, std::string message) {
    check.rule = rule;
    check.focus = focus;
    check.message = std::move(message);
    return check;
  };

  if (t.name.empty()) return fail(2, RegionBox::kName, "Please enter a valid Name");
  if (!IsNumber(t.x_pos, sep)) return fail(3, RegionBox::kXPos, "Please enter a valid X position");
  if (!IsNumber(t.y_pos, sep)) return fail(4, RegionBox::kYPos, "Please enter a valid Y position");
  if (!IsNumber(t.width, sep)) return fail(5, RegionBox::kWidth, "Please enter a valid width");
  if (!IsNumber(t.height, sep)) return fail(6, RegionBox::kHeight, "Please enter a valid height");

  const double x = TextToDouble(t.x_pos, sep);
  const double y = TextToDouble(t.y_pos, sep);
  const double w = TextToDouble(t.width, sep);
  const double h = TextToDouble(t.height, sep);

  // The corner must leave room for the smallest size.
  const double max_x = limits.MaxX - limits.MinWidth;
  if (ExceedsBound(x, max_x) || FallsBelowBound(x, limits.MinX)) {
    return fail(8, RegionBox::kXPos,
                "X coordinate must be between " + captions.min_x + " and " + captions.max_x);
  }
  const double max_y = limits.MaxY - limits.MinHeight;
  if (ExceedsBound(y, max_y) || FallsBelowBound(y, limits.MinY)) {
    return fail(9, RegionBox::kYPos,
                "Y coordinate must be between " + captions.min_y + " and " + captions.max_y);
  }
  // The size bounds are the captions, which follow the position last left.
  const double w_min = TextToDouble(captions.min_width, sep);
  const double w_max = TextToDouble(captions.max_width, sep);
  if (ExceedsBound(w, w_max) || FallsBelowBound(w, w_min)) {
    return fail(10, RegionBox::kWidth,
                "Width must be between " + captions.min_width + " and " + captions.max_width);
  }
  const double h_min = TextToDouble(captions.min_height, sep);
  const double h_max = TextToDouble(captions.max_height, sep);
  if (ExceedsBound(h, h_max) || FallsBelowBound(h, h_min)) {
    return fail(11, RegionBox::kHeight,
                "Height must be between " + captions.min_height + " and " + captions.max_height);
  }
  const double right = x + w;
  if (ExceedsBound(right, limits.MaxX)) {
    return fail(12, RegionBox::kWidth,
                "X coordinate + Width cannot be greater than " + FormatValue(limits.MaxX, sep) +
                    "\r\nEither reduce the X coordinate or the Width.");
  }
  const double bottom = y + h;
  if (ExceedsBound(bottom, limits.MaxY)) {
    return fail(13, RegionBox::kHeight,
                "Y coordinate + Height cannot be greater than " + FormatValue(limits.MaxY, sep) +
                    "\r\nEither reduce the Y coordinate or the Height.");
  }
  if (name_exists && name_exists(t.name)) {
    return fail(14, RegionBox::kName,
                "This region name already exists. Please rename your region.");
  }
  return check;
}

}  // namespace quillmap
