// The commands of quillmap-cli on the data folder and scanner model that RunCli has settled.
// Each returns the exit status; a refusal from the core is thrown as Error and reported by
// RunCli.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "regions/global.h"
#include "settings/registry.h"
#include "sysfile/scanner_state.h"

namespace quillmap::cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitUsage = 2;

struct CommandContext {
  const Arguments& args;
  const RegistryStore& registry;
  Global& global;  // paths and, for the commands that need it, the scanner model in force
  std::ostream& out;
  std::ostream& err;
};

// One record of the system file's model table (or the single model) with its own bounds.
struct ModelRecord {
  std::string name;
  ModelLimits limits;
};
std::vector<ModelRecord> ReadModelRecords(const std::string& system_file_path);

int RunModels(CommandContext& context);
int RunList(CommandContext& context);
int RunCheck(CommandContext& context);
int RunAdd(CommandContext& context);
int RunModify(CommandContext& context);
int RunDelete(CommandContext& context);

}  // namespace quillmap::cli
