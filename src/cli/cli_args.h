// The command line of quillmap-cli: its grammar, the checks that make a usage error, and the
// help texts.
#pragma once

#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace quillmap::cli {

enum class CommandKind { kNone, kModels, kList, kCheck, kAdd, kModify, kDelete };

// The values of add and modify, as typed; a value not given is nullopt.
struct RegionValues {
  std::optional<std::string> name;
  std::optional<std::string> x;
  std::optional<std::string> y;
  std::optional<std::string> width;
  std::optional<std::string> height;
};

struct Arguments {
  CommandKind command = CommandKind::kNone;
  std::optional<std::string> data_folder;
  std::optional<std::string> model;
  bool help = false;
  bool version = false;
  bool json = false;
  bool custom_only = false;
  bool all_models = false;
  RegionValues values;
  std::vector<std::string> regions;  // the REGION operands of modify and delete
};

class UsageError : public std::exception {
 public:
  UsageError(CommandKind command, std::string message)
      : command_(command), message_(std::move(message)) {}
  CommandKind Command() const { return command_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  CommandKind command_;
  std::string message_;
};

// Options may stand before or after the command; "--name=N" and "--name N" are the same, and
// after "--" every argument is an operand. A repeated option keeps its last value. With --help
// or --version nothing else is checked. Throws UsageError.
Arguments ParseArguments(const std::vector<std::string>& args);

inline constexpr const char* kProgramName = "quillmap-cli";

// The full help of a command (kNone: of the program).
std::string HelpText(CommandKind command);
// The usage lines of a command and where to read more, for a usage error.
std::string ShortUsage(CommandKind command);

}  // namespace quillmap::cli
