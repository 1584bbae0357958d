// quillmap-cli: every operation of Quillmap for scripts and terminals, on the same core, with
// the same rules and messages as the window. RunCli is the whole program; main only gathers
// what the process gives it.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "regions/global.h"
#include "settings/registry.h"

namespace quillmap::cli {

struct CliInputs {
  RegistryStore registry;
  // The folder of the executable, the data folder's last candidate.
  std::string program_folder;
};

// Runs one command line (the arguments after the program's name) and returns the exit status:
// 0 done, 1 refused or invalid (the message on `err`), 2 usage error (with a short usage).
// Lengths are read and written with '.' whatever the locale.
int RunCli(const std::vector<std::string>& args, const CliInputs& inputs, Global& global,
           std::ostream& out, std::ostream& err);

// The process's side, one file for each platform.
// The folder of the running executable; empty when it cannot be found.
std::string ExecutableFolder();
// The command line after the program's name, as UTF-8.
std::vector<std::string> CommandLineArguments(int argc, char** argv);
// Where the program writes: UTF-8 bytes, shown as text in a Windows console window.
std::ostream& StandardOutput();
std::ostream& StandardError();

}  // namespace quillmap::cli
