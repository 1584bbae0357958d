// quillmap-cli: the region file from the command line.
#include <string>
#include <vector>

#include "cli/cli.h"
#include "regions/global.h"
#include "settings/registry.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args = quillmap::cli::CommandLineArguments(argc, argv);
  quillmap::Global global;
  const quillmap::cli::CliInputs inputs{quillmap::RegistryStore::FromEnvironment(),
                                        quillmap::cli::ExecutableFolder()};
  std::ostream& out = quillmap::cli::StandardOutput();
  std::ostream& err = quillmap::cli::StandardError();
  const int status = quillmap::cli::RunCli(args, inputs, global, out, err);
  out.flush();
  err.flush();
  return status;
}
