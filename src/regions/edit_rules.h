// The edit dialog's rules as plain functions, so they can be tested without widgets: the number
// boxes' keystroke filter and decimal limiter, the range labels, the formatting of a box that
// loses the focus, and the fourteen checks that a region must pass before it is saved.
// Texts are UTF-8; caret and selection positions count characters (code points).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "sysfile/scanner_state.h"

namespace quillmap {

// The control characters that the number boxes let through besides digits and the separator.
inline constexpr int kKeyCtrlC = 3;
inline constexpr int kKeyBackspace = 8;
inline constexpr int kKeyEnter = 13;
inline constexpr int kKeyCtrlV = 22;
inline constexpr int kKeyCtrlX = 24;

// The character code to let through (always `key_ascii`), or 0 to swallow the keystroke.
// `text` is the box's text before the keystroke; `sel_start` the caret, `sel_len` the length of
// the selection.
int NumericKeys(std::string_view text, int key_ascii, int sel_start, int sel_len, char sep);

struct BoxText {
  std::string text;
  int caret = 0;
};

// The text cut to two characters after its first separator, by dropping its last character (and
// trimming blanks) until it fits, with the caret one place left of `caret`; nullopt when the
// text already fits.
std::optional<BoxText> LimitDecimals(std::string_view text, int caret, char sep);

// What the upper width (or height) range label shows for a position.
struct MaxSizeLabel {
  std::string caption;
  bool red = false;
};

// `max_edge` is MaxX (MaxY), `max_size` MaxWidth (MaxHeight), `min_size` MinWidth (MinHeight).
MaxSizeLabel MaxSizeFor(double position, double max_edge, double max_size, double min_size,
                        char sep);

// Leaving the X or Y box: the "#0.00" form when the text reads as a number; otherwise nullopt
// and the text stays as it is.
std::optional<std::string> FormatPositionOnLeave(std::string_view text, char sep);
// Leaving the width or height box: trimmed, and in the "#0.00" form when it reads as a number.
std::string FormatSizeOnLeave(std::string_view text, char sep);

// Leading and trailing blanks removed: the blanks a read of the file strips, so a name written
// reads back as it was checked.
std::string TrimBlanks(std::string_view text);

enum class RegionBox { kName, kXPos, kYPos, kWidth, kHeight };

// The texts of txtName, txtXPos, txtYPos, txtWidth and txtHeight.
struct RegionTexts {
  std::string name;
  std::string x_pos;
  std::string y_pos;
  std::string width;
  std::string height;
};

// The captions of the eight range labels, as shown.
struct RangeCaptions {
  std::string min_x;
  std::string max_x;
  std::string min_y;
  std::string max_y;
  std::string min_width;
  std::string max_width;
  std::string min_height;
  std::string max_height;
};

// The captions that a newly created dialog shows; the upper size labels follow the stored
// position when it reads as a number.
struct InitialRanges {
  RangeCaptions captions;
  bool max_width_red = false;
  bool max_height_red = false;
};
InitialRanges InitialRangeCaptions(const ModelLimits& limits, std::string_view stored_x,
                                   std::string_view stored_y, char sep);

struct RegionCheck {
  RegionTexts trimmed;  // to be written back into the boxes whatever the outcome
  int rule = 0;         // the first rule that failed (2 to 14), 0 when all passed
  RegionBox focus = RegionBox::kName;
  std::string message;

  bool Passed() const { return rule == 0; }
};

// Asked only when every other rule has passed, with the trimmed name.
using NameExistsFn = std::function<bool(const std::string& trimmed_name)>;

// Runs the rules in order and stops at the first that fails. A caption that does not read as a
// number throws Error 13.
RegionCheck ValidateRegion(const RegionTexts& boxes, const RangeCaptions& captions,
                           const ModelLimits& limits, char sep, const NameExistsFn& name_exists);

}  // namespace quillmap
