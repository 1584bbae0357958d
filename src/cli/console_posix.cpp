// The process's side of quillmap-cli on Linux.
#include <unistd.h>

#include <iostream>

#include "cli/cli.h"
#include "settings/file_system.h"

namespace quillmap::cli {

std::string ExecutableFolder() {
  std::string target(4096, '\0');
  const ssize_t size = ::readlink("/proc/self/exe", target.data(), target.size());
  if (size <= 0 || static_cast<size_t>(size) >= target.size()) return std::string();
  target.resize(static_cast<size_t>(size));
  return FolderOf(target);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

std::ostream& StandardOutput() { return std::cout; }
std::ostream& StandardError() { return std::cerr; }

}  // namespace quillmap::cli
