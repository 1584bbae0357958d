// A private data folder (region file, system file, lock and state folders) per test, the
// command-line tool run as a user runs it, and what a test needs to make the disk refuse.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "regions/global.h"
#include "regions/region_file.h"
#include "regions/startup.h"
#include "settings/temp_folder.h"
#include "sysfile/system_file.h"
#include "sysfile/system_file_writer.h"

extern char** environ;

namespace quillmap {

inline std::string FixtureBytes(const std::string& name) {
  return ReadBytes(std::string(QUILLMAP_RELIABILITY_DATA) + "/" + name);
}

struct CliResult {
  bool exited = false;  // false: killed by a signal, which no input may cause
  int status = -1;
  std::string out;
  std::string err;
};

// Root may write anywhere; a folder without write bits only stops it once it gives up the
// override. The calling thread drops it for the guard's lifetime (a no-op for other users).
class WithoutOverride {
 public:
  WithoutOverride() {
    header_.version = _LINUX_CAPABILITY_VERSION_3;
    if (syscall(SYS_capget, &header_, saved_) != 0) return;
    __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
    reduced[0].effective &=
        ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
    dropped_ = syscall(SYS_capset, &header_, reduced) == 0;
  }
  ~WithoutOverride() {
    if (dropped_) syscall(SYS_capset, &header_, saved_);
  }
  WithoutOverride(const WithoutOverride&) = delete;
  WithoutOverride& operator=(const WithoutOverride&) = delete;

 private:
  __user_cap_header_struct header_{};
  __user_cap_data_struct saved_[2]{};
  bool dropped_ = false;
};

class ReliabilityTest : public ::testing::Test {
 protected:
  ReliabilityTest() {
    const std::string models = FixtureBytes("models.txt");
    WriteBytes(folder_ / kSystemFileName,
               BuildSystemFile(ParseModelDescriptions(models), SystemFileLayout::kModelTable));
    global_.DataFolderPath = folder_.Data() + "/";
    global_.RegionFilePath = RegionFile();
    global_.SystemFilePath = folder_ / kSystemFileName;
    SelectModel(global_.SystemFilePath, "VX4400", global_.Scanner);
  }
  ~ReliabilityTest() override {
    ::chmod(folder_.Data().c_str(), 0755);  // so the folder can be removed
  }

  std::string RegionFile() const { return folder_ / kRegionFileName; }
  std::string Fixture() const { return FixtureBytes(kRegionFileName); }

  // Everything in the data and state folders besides the two files: temporary files, side
  // copies. A finished operation leaves none.
  std::set<std::string> Leftovers() const {
    std::set<std::string> names = Entries(folder_.Data());
    names.erase(kRegionFileName);
    names.erase(kSystemFileName);
    for (const std::string& name : Entries(folder_.State())) names.insert("state/" + name);
    return names;
  }

  // quillmap-cli on the test's data folder, with a registry folder of its own.
  CliResult Cli(std::vector<std::string> args) const {
    args.insert(args.begin(), QUILLMAP_CLI);
    args.insert(args.end(), {"--data-folder", folder_.Data(), "--model", "VX4400"});
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) env.push_back(*entry);
    env.push_back("QUILLMAP_REGISTRY=" + folder_.Runtime());
    std::vector<char*> argv;
    std::vector<char*> envp;
    for (std::string& a : args) argv.push_back(a.data());
    for (std::string& e : env) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    const std::string out_path = folder_.Runtime() + "/stdout";
    const std::string err_path = folder_.Runtime() + "/stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid;
    const int started = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    CliResult result;
    if (started != 0) {
      ADD_FAILURE() << "cannot start " << QUILLMAP_CLI;
      return result;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exited = WIFEXITED(status);
    result.status = result.exited ? WEXITSTATUS(status) : -1;
    result.out = ReadBytes(out_path);
    result.err = ReadBytes(err_path);
    return result;
  }

  TempFolder folder_;
  Global global_;
};

}  // namespace quillmap
