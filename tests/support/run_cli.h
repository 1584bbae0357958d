// A program run by the shell as a user runs it, with its output and exit status.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "settings/temp_folder.h"

namespace quillmap::testing {

// The exit status as a shell reports it: 128 + the signal when killed, which no input may cause.
struct CliResult {
  int status = -1;
  std::string out, err;
};

// `program` with `args` and the `env` settings ("NAME=value ..."); its output passes through
// files in `scratch`.
inline CliResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                            const std::string& scratch, const std::string& env = "") {
  auto quoted = [](const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
  };
  std::string command = "env " + env + " " + quoted(program);
  for (const std::string& arg : args) command += " " + quoted(arg);
  const std::string out = scratch + "/stdout", err = scratch + "/stderr";
  const int status = std::system((command + " >" + quoted(out) + " 2>" + quoted(err)).c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), ReadBytes(out),
          ReadBytes(err)};
}

}  // namespace quillmap::testing
