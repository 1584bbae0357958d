// The program's registry: string values in a file-backed store, one file per root in the text
// format of registry exports. The files are UTF-8 text; values are UTF-8 in and out.
#pragma once

#include <string>
#include <string_view>

namespace quillmap {

enum class RegistryRoot { kLocalMachine, kCurrentUser };

// Where the two root files are. Holds paths only; every call opens and closes its file.
class RegistryStore {
 public:
  // Both root files in one folder: <folder>/HKEY_LOCAL_MACHINE.reg and
  // <folder>/HKEY_CURRENT_USER.reg.
  explicit RegistryStore(const std::string& folder_for_both);
  RegistryStore(std::string local_machine_path, std::string current_user_path);

  // The folder named by QUILLMAP_REGISTRY when it is set and not empty; otherwise
  // /etc/velmora/HKEY_LOCAL_MACHINE.reg and $XDG_CONFIG_HOME/velmora/HKEY_CURRENT_USER.reg
  // ($HOME/.config when XDG_CONFIG_HOME is unset or not an absolute path).
  static RegistryStore FromEnvironment();

  const std::string& FilePath(RegistryRoot root) const;

 private:
  std::string local_machine_path_;
  std::string current_user_path_;
};

// The string value `value_name` of key `sub_key` below `root`, or `default_value` when the file,
// the key or the value is missing, the value is of another type (only the quoted form is a
// string; hex(...) and dword forms are not), or the file cannot be parsed. Key paths and value
// names match without regard to ASCII letter case; a closing backslash on `sub_key` is optional.
// An empty `value_name` is the key's default value ("@"). The text ends at its first NUL.
std::string ReadRegistryString(const RegistryStore& store, RegistryRoot root,
                               std::string_view sub_key, std::string_view value_name,
                               std::string_view default_value);

// Sets the string value, creating the folder, the file (also when it is empty) and the key as
// needed; replaces a value of the same name of any type. Every other line of the file stays byte
// for byte; a new line takes the file's line breaks (a new file gets "\n"). Written atomically.
// Reports nothing: when the file cannot be read or parsed, was changed by another program
// meanwhile, or the name or value holds a line break, the file stays as it was. The value is
// written up to its first NUL, which is where a read would end.
void WriteRegistryString(const RegistryStore& store, RegistryRoot root, std::string_view sub_key,
                         std::string_view value_name, std::string_view value);

}  // namespace quillmap
