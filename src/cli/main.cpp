// quillmap-cli: the region file from the command line.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "regions/global.h"
#include "settings/registry.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  quillmap::Global global;
  const quillmap::cli::CliInputs inputs{quillmap::RegistryStore::FromEnvironment(),
                                        quillmap::cli::ExecutableFolder()};
  return quillmap::cli::RunCli(args, inputs, global, std::cout, std::cerr);
}
