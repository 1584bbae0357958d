#include "cli/cli.h"

#include <exception>
#include <optional>

#include "cli/cli_args.h"
#include "cli/cli_commands.h"
#include "cli/cli_output.h"
#include "quillmap/version.h"
#include "regions/startup.h"
#include "settings/error.h"
#include "settings/file_system.h"
#include "sysfile/model_choice.h"
#include "sysfile/system_file.h"

namespace quillmap::cli {
namespace {

// A model table and no --model that names one: the window would ask, a script must say.
class ModelNotChosen : public std::exception {
 public:
  explicit ModelNotChosen(std::vector<std::string> models) : models_(std::move(models)) {}
  const std::vector<std::string>& Models() const { return models_; }

 private:
  std::vector<std::string> models_;
};

std::string ModelLines(const std::vector<std::string>& models) {
  if (models.empty()) return "  (none)\n";
  std::string lines;
  for (const std::string& model : models) {
    lines += "  " + (model.empty() ? "\"\"" : Printable(model)) + "\n";
  }
  return lines;
}

// The start-up's road to the two files: --data-folder, or the registry value Path and then
// the program's own folder.
void SettleDataFolder(const std::optional<std::string>& data_folder, const CliInputs& inputs,
                      Global& global) {
  if (data_folder) {
    quillmap::SettleNamedDataFolder(*data_folder, global);
  } else {
    quillmap::SettleDataFolder(ReadRegistryString(inputs.registry, RegistryRoot::kLocalMachine,
                                                  kMicroarrayKey, kPathValue, ""),
                               inputs.program_folder, global);
  }
}

// The model as the window settles it from its command line (upper-cased); a name that only its
// selection dialog offers (one with lower-case letters) is taken as the dialog would take it.
void SettleModel(const std::optional<std::string>& model, Global& global) {
  bool choice_needed = false;
  ChooseModel(global.SystemFilePath, model.value_or(""), global.Scanner,
              [&choice_needed] { choice_needed = true; });
  if (!choice_needed) return;
  if (!model) throw ModelNotChosen(global.Scanner.ModelList);
  try {
    SelectModel(global.SystemFilePath, *model, global.Scanner);
  } catch (const Error& error) {
    throw Error(error.Number(), error.Description() + "\nThe models of the file are:\n" +
                                    ModelLines(global.Scanner.ModelList));
  }
}

bool NeedsModel(const Arguments& args) {
  switch (args.command) {
    case CommandKind::kList:
    case CommandKind::kAdd:
    case CommandKind::kModify:
      return true;
    case CommandKind::kCheck:
      return !args.all_models;
    default:
      return args.model.has_value();  // a model named on the command line must exist
  }
}

int Dispatch(CommandContext& context) {
  switch (context.args.command) {
    case CommandKind::kModels:
      return RunModels(context);
    case CommandKind::kList:
      return RunList(context);
    case CommandKind::kCheck:
      return RunCheck(context);
    case CommandKind::kAdd:
      return RunAdd(context);
    case CommandKind::kModify:
      return RunModify(context);
    case CommandKind::kDelete:
      return RunDelete(context);
    case CommandKind::kNone:
      break;
  }
  return kExitUsage;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, const CliInputs& inputs, Global& global,
           std::ostream& out, std::ostream& err) {
  Arguments arguments;
  try {
    arguments = ParseArguments(args);
  } catch (const UsageError& error) {
    err << kProgramName << ": " << error.what() << "\n" << ShortUsage(error.Command());
    return kExitUsage;
  }
  if (arguments.help) {
    out << HelpText(arguments.command);
    return kExitDone;
  }
  if (arguments.version) {
    out << kProgramName << " " << kVersionText << "\n";
    return kExitDone;
  }

  global.DecimalSeparator = '.';
  try {
    SettleDataFolder(arguments.data_folder, inputs, global);
    if (NeedsModel(arguments)) SettleModel(arguments.model, global);
    CommandContext context{arguments, inputs.registry, global, out, err};
    return Dispatch(context);
  } catch (const ModelNotChosen& error) {
    err << kProgramName << ": " << kSystemFileName
        << " holds a table of scanner models; name one with --model:\n"
        << ModelLines(error.Models()) << ShortUsage(arguments.command);
    return kExitUsage;
  } catch (const Error& error) {
    err << WithNewlines(ErrorText(error, global.RegionFilePath)) << "\n";
  } catch (const std::exception& error) {
    err << error.what() << "\n";
  }
  return kExitRefused;
}

}  // namespace quillmap::cli
