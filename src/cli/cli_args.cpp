#include "cli/cli_args.h"

#include <array>
#include <string_view>

namespace quillmap::cli {
namespace {

// The edit dialog's name box takes no more characters than this.
constexpr size_t kNameBoxLength = 30;

size_t CharCount(std::string_view text) {
  size_t count = 0;
  for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

struct CommandInfo {
  CommandKind kind;
  const char* name;
  const char* synopsis;
  const char* summary;
  const char* description;
};

constexpr std::array<CommandInfo, 6> kCommands = {{
    {CommandKind::kModels, "models", "models [--json]",
     "the scanner models of RegionDB.sys and their bounds",
     "Lists the scanner models of RegionDB.sys in file order, each with its eight bounds in\n"
     "millimetres: MinX, MinY, MaxX, MaxY, MaxWidth, MaxHeight, MinWidth, MinHeight.\n"
     "A single-model file holds one model, R7720C.\n"
     "  --json         one JSON document: a list of objects with \"name\", \"min_x\",\n"
     "                 \"min_y\", \"max_x\", \"max_y\", \"max_width\", \"max_height\",\n"
     "                 \"min_width\" and \"min_height\" (numbers)\n"},
    {CommandKind::kList, "list", "list [--custom-only] [--json]",
     "the regions, with the values outside the model's bounds marked",
     "Lists the regions in file order: section, Custom, name, X, Y, width and height in\n"
     "millimetres. A value that breaks the bounds of the scanner model is marked with '*'.\n"
     "  --custom-only  only the regions whose Custom value is exactly YES\n"
     "  --json         one JSON document: a list of objects with \"section\", \"custom\",\n"
     "                 \"name\", \"x\", \"y\", \"width\", \"height\" (numbers, or the file's\n"
     "                 text where it holds no number) and \"invalid\", the list of the\n"
     "                 columns \"x\", \"y\", \"width\", \"height\" that break the bounds\n"},
    {CommandKind::kCheck, "check", "check [--all-models] [--json]",
     "exit status 0 when every region is valid for the model, 1 when not",
     "Checks every region against the bounds of the scanner model and names the values that\n"
     "break them. Exits with 0 when every region is valid, 1 when one is not.\n"
     "  --all-models   check against every model of RegionDB.sys in turn (no --model)\n"
     "  --json         one JSON document: a list of objects, one a model, with \"model\",\n"
     "                 \"valid\" and \"invalid_regions\", a list of objects with\n"
     "                 \"section\", \"name\" and \"invalid\" (as for list)\n"},
    {CommandKind::kAdd, "add", "add --name N --x X --y Y --width W --height H",
     "add a customer region",
     "Adds a customer region at the end of the file. The values pass the checks of the\n"
     "region edit dialog, in its order and with its messages: each number is cut to two\n"
     "decimals and formatted as the dialog does when its box is left, and the largest width\n"
     "and height follow from X and Y. A name may have at most 30 characters.\n"},
    {CommandKind::kModify, "modify",
     "modify REGION [--name N] [--x X] [--y Y] [--width W] [--height H]",
     "change a customer region",
     "Changes a customer region; the values not given keep what the file holds. The values\n"
     "pass the checks of the region edit dialog, as for add. Nothing is written when nothing\n"
     "changes. When the region is the default scan region and its name changes, the registry\n"
     "value RegionName follows the new name. Supplied regions (Custom NO) are refused.\n"},
    {CommandKind::kDelete, "delete", "delete REGION...", "delete customer regions",
     "Deletes customer regions, from the last one in the file upwards, and renumbers the ones\n"
     "after them. A supplied region (Custom NO) stops the deletion there: the regions deleted\n"
     "before it stay deleted. When the default scan region is deleted, the registry value\n"
     "RegionName becomes the name of the supplied default region. There is no question.\n"},
}};

constexpr const char* kGlobalOptions =
    "Options for every command:\n"
    "  --data-folder DIR  the folder of ChipRegions.ini and RegionDB.sys; without it the\n"
    "                     registry value Path, then the program's own folder\n"
    "  --model NAME       the scanner model; needed when RegionDB.sys holds a model table\n"
    "  --help             this help\n";

constexpr const char* kCommonNotes =
    "REGION is a region's name (letter case ignored) or its section name, such as Region7.\n"
    "Lengths are millimetres written with '.', whatever the locale.\n"
    "Exit status: 0 done, 1 refused or invalid (the message on stderr), 2 usage error.\n";

const CommandInfo* FindCommand(std::string_view name) {
  for (const CommandInfo& info : kCommands) {
    if (name == info.name) return &info;
  }
  return nullptr;
}

const CommandInfo* InfoOf(CommandKind kind) {
  for (const CommandInfo& info : kCommands) {
    if (info.kind == kind) return &info;
  }
  return nullptr;
}

std::string CommandName(CommandKind kind) {
  const CommandInfo* info = InfoOf(kind);
  return info ? info->name : "";
}

// Checks what the command takes; everything else is a usage error.
void CheckFits(const Arguments& a, const std::vector<std::string>& value_options) {
  const CommandKind c = a.command;
  auto refuse = [c](const std::string& what) {
    throw UsageError(c, what + " does not apply to " + CommandName(c));
  };
  const bool takes_values = c == CommandKind::kAdd || c == CommandKind::kModify;
  if (!takes_values && !value_options.empty()) refuse("--" + value_options.front());
  if (a.json && takes_values) refuse("--json");
  if (a.json && c == CommandKind::kDelete) refuse("--json");
  if (a.custom_only && c != CommandKind::kList) refuse("--custom-only");
  if (a.all_models && c != CommandKind::kCheck) refuse("--all-models");
  if (a.all_models && a.model) throw UsageError(c, "--all-models and --model exclude each other");

  switch (c) {
    case CommandKind::kModify:
      if (a.regions.size() != 1) throw UsageError(c, "modify takes exactly one REGION");
      break;
    case CommandKind::kDelete:
      if (a.regions.empty()) throw UsageError(c, "delete needs at least one REGION");
      break;
    default:
      if (!a.regions.empty()) {
        throw UsageError(c, "unexpected argument '" + a.regions.front() + "'");
      }
  }
  if (c == CommandKind::kAdd) {
    const std::pair<const std::optional<std::string>*, const char*> required[] = {
        {&a.values.name, "--name"},   {&a.values.x, "--x"},           {&a.values.y, "--y"},
        {&a.values.width, "--width"}, {&a.values.height, "--height"},
    };
    for (const auto& [value, option] : required) {
      if (!*value) throw UsageError(c, std::string("add needs ") + option);
    }
  }
  if (a.values.name && CharCount(*a.values.name) > kNameBoxLength) {
    throw UsageError(c, "--name takes at most 30 characters");
  }
}

}  // namespace

Arguments ParseArguments(const std::vector<std::string>& args) {
  Arguments a;
  std::vector<std::string> value_options;  // the region values given, for CheckFits
  bool operands_only = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool is_option = !operands_only && arg.size() > 1 && arg[0] == '-';
    if (!is_option) {
      if (a.command == CommandKind::kNone) {
        const CommandInfo* info = FindCommand(arg);
        if (!info) throw UsageError(CommandKind::kNone, "unknown command '" + arg + "'");
        a.command = info->kind;
      } else {
        a.regions.push_back(arg);
      }
      continue;
    }
    if (arg == "--") {
      operands_only = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      a.help = true;
      continue;
    }
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    std::optional<std::string> inline_value;
    if (equals != std::string::npos) inline_value = arg.substr(equals + 1);

    bool* flag = nullptr;
    if (name == "--json") flag = &a.json;
    if (name == "--custom-only") flag = &a.custom_only;
    if (name == "--all-models") flag = &a.all_models;
    if (name == "--version") flag = &a.version;
    if (flag) {
      if (inline_value) throw UsageError(a.command, name + " takes no value");
      *flag = true;
      continue;
    }

    std::optional<std::string>* target = nullptr;
    if (name == "--data-folder") target = &a.data_folder;
    if (name == "--model") target = &a.model;
    if (name == "--name") target = &a.values.name;
    if (name == "--x") target = &a.values.x;
    if (name == "--y") target = &a.values.y;
    if (name == "--width") target = &a.values.width;
    if (name == "--height") target = &a.values.height;
    if (!target) throw UsageError(a.command, "unknown option '" + name + "'");
    if (!inline_value) {
      // The next argument is the value even when it starts with '-', so that -3 can be given.
      if (i + 1 == args.size()) throw UsageError(a.command, name + " needs a value");
      inline_value = args[++i];
    }
    *target = std::move(inline_value);
    if (target != &a.data_folder && target != &a.model) value_options.push_back(name.substr(2));
  }
  if (a.help || a.version) return a;
  if (a.command == CommandKind::kNone) throw UsageError(CommandKind::kNone, "no command given");
  CheckFits(a, value_options);
  return a;
}

std::string HelpText(CommandKind command) {
  const std::string program = kProgramName;
  const CommandInfo* info = InfoOf(command);
  if (info) {
    return "Usage: " + program + " [--data-folder DIR] [--model NAME] " + info->synopsis + "\n\n" +
           info->description + "\n" + kGlobalOptions + "\n" + kCommonNotes;
  }
  std::string text = "Usage: " + program +
                     " [--data-folder DIR] [--model NAME] COMMAND [ARGS]\n\n"
                     "Keeps the scan regions of ChipRegions.ini with the rules and messages of "
                     "Quillmap.\n\nCommands:\n";
  for (const CommandInfo& c : kCommands) {
    text += "  " + std::string(c.name) + std::string(8 - std::string_view(c.name).size(), ' ') +
            c.summary + "\n";
  }
  text += "\n" + std::string(kGlobalOptions) + "  --version          the program's version\n\n" +
          kCommonNotes + "'" + program + " COMMAND --help' tells more of one command; see also " +
          program + "(1).\n";
  return text;
}

std::string ShortUsage(CommandKind command) {
  const std::string program = kProgramName;
  const CommandInfo* info = InfoOf(command);
  const std::string synopsis = info ? info->synopsis : "COMMAND [ARGS]";
  const std::string help = info ? program + " " + info->name + " --help" : program + " --help";
  return "Usage: " + program + " [--data-folder DIR] [--model NAME] " + synopsis + "\nTry '" +
         help + "' for more.\n";
}

}  // namespace quillmap::cli
