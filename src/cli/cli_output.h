// Text helpers for the command-line tool's output: JSON strings and numbers, aligned tables for
// people, and line breaks of the window's messages as the terminal writes them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/error.h"

namespace quillmap::cli {

// A JSON string: UTF-8 passes through; quotes, backslashes and control characters are escaped.
std::string JsonString(std::string_view utf8);

// True when `text` follows the JSON number grammar exactly.
bool IsJsonNumber(std::string_view text);

// The text itself when it is a JSON number of a finite double (a length such as 12.50), else
// the text as a JSON string (a value that the region file does not hold as a number, or one
// beyond the range of double).
std::string JsonNumberOrString(std::string_view text);

// `utf8` with its control characters written as escapes ("\t", "\r", "\n", "\0", "\x1b", and
// "\u0085" for one of the C1 set), so that a name can neither break a line nor drive the terminal.
std::string Printable(std::string_view utf8);

// The error's description; a conversion error ("Type mismatch", "Overflow") also names the key
// and the file that held the value. A key without a file was read from the region file, whose
// readers see its text alone.
std::string ErrorText(const Error& error, const std::string& region_file_path);

// A message with every CR LF line break written as the platform's line break.
std::string WithNewlines(std::string_view message);

// Millimetres with three decimals: the bounds are whole micrometres.
std::string Micrometres(double millimetres);

// Columns padded to their widest cell (counted in characters), two blanks apart, no blanks at
// the end of a line; the cells are written Printable.
class Table {
 public:
  enum class Align { kLeft, kRight };

  Table(std::vector<std::string> headings, std::vector<Align> aligns);
  void AddRow(std::vector<std::string> cells);
  // Every line starts with `indent`; without headings only the rows are written.
  std::string Render(std::string_view indent = "", bool with_headings = true) const;

 private:
  std::vector<std::string> headings_;
  std::vector<Align> aligns_;
  std::vector<std::vector<std::string>> rows_;
};

}  // namespace quillmap::cli
