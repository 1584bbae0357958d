// The registry on Linux: two files in the text format of registry exports.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "settings/error.h"
#include "settings/registry.h"

namespace quillmap {
namespace {

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return home;
  const passwd* user = getpwuid(getuid());
  return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "";
}

}  // namespace

RegistryStore PlatformRegistryStore() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string config_folder =
      config != nullptr && config[0] == '/' ? std::string(config) : HomeFolder() + "/.config";
  return RegistryStore("/etc/velmora/HKEY_LOCAL_MACHINE.reg",
                       JoinPath(config_folder, "velmora/HKEY_CURRENT_USER.reg"));
}

std::string ReadNativeRegistryString(RegistryRoot, std::string_view, std::string_view,
                                     std::string_view default_value) {
  return std::string(default_value);
}

void WriteNativeRegistryString(RegistryRoot, std::string_view, std::string_view value_name,
                               std::string_view) {
  throw Error(kErrFileAccess, "Unable to write " + std::string(value_name) +
                                  ": this system has no registry of its own");
}

}  // namespace quillmap
