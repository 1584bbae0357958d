// The program's registry: string values in a file-backed store, one file per root in the text
// format of registry exports. A file is UTF-8 (with or without a byte-order mark), UTF-16LE with
// its byte-order mark, or, when it begins with "REGEDIT4", Windows-1252; it is written back in
// the encoding it was read in. Values are UTF-8 in and out.
#pragma once

#include <functional>
#include <memory>
#include <set>
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
  // PlatformRegistryStore().
  static RegistryStore FromEnvironment();
  // The platform's own registry, where it has one (Windows): no files, FilePath is empty.
  static RegistryStore Native();
  bool IsNative() const { return native_; }

  const std::string& FilePath(RegistryRoot root) const;

  // Where reads tell that a file could not be read in full, once per file: by default the
  // standard error stream. Copies made earlier keep the handler they had.
  void TellProblemsTo(std::function<void(const std::string& text)> handler);
  // Hands `text` to the handler unless a problem of the file at `path` was told already.
  void TellProblem(const std::string& path, const std::string& text) const;

 private:
  struct Problems {
    std::function<void(const std::string&)> handler;
    std::set<std::string> told_paths;
  };

  std::string local_machine_path_;
  std::string current_user_path_;
  bool native_ = false;
  // Shared by copies, so that a problem is told once whichever copy reads the file.
  std::shared_ptr<Problems> problems_;
};

// The string value `value_name` of key `sub_key` below `root`, or `default_value` when the file,
// the key or the value is missing, or the value is of another type (only the quoted form is a
// string; hex(...) and dword forms are not). Key paths and value names match without regard to
// ASCII letter case; a closing backslash on `sub_key` is optional. An empty `value_name` is the
// key's default value ("@"). The text ends at its first NUL. Lines that cannot be parsed define
// nothing; such lines, and a file that cannot be read or is no registry export, are told through
// the store's handler.
std::string ReadRegistryString(const RegistryStore& store, RegistryRoot root,
                               std::string_view sub_key, std::string_view value_name,
                               std::string_view default_value);

// Sets the string value, creating the folder, the file (also when it is empty) and the key as
// needed; replaces the data of a value of the same name of any type. Every other line of the
// file, and every line that cannot be parsed, stays byte for byte; a new line takes the file's
// line breaks (a new file gets "\n", UTF-8). Written atomically. Throws Error 5001, the file left
// as it was, when the file cannot be read, is no registry export, cannot hold the text in its
// encoding, was changed by another program meanwhile or cannot be replaced, or when the name or
// value holds a line break. The value is written up to its first NUL, where a read would end.
void WriteRegistryString(const RegistryStore& store, RegistryRoot root, std::string_view sub_key,
                         std::string_view value_name, std::string_view value);

// `file` in `folder`, with a separator between them unless `folder` ends with one.
std::string JoinPath(const std::string& folder, const char* file);

// The platform's side. The store used without QUILLMAP_REGISTRY: on Linux
// /etc/velmora/HKEY_LOCAL_MACHINE.reg and $XDG_CONFIG_HOME/velmora/HKEY_CURRENT_USER.reg
// ($HOME/.config when XDG_CONFIG_HOME is unset or not an absolute path); on Windows the Win32
// registry.
RegistryStore PlatformRegistryStore();
// Values of the platform's own registry, with the rules of the two calls above: Error 5001
// when a value cannot be written. Where the platform has no registry, reads give the default
// and writes fail.
std::string ReadNativeRegistryString(RegistryRoot root, std::string_view sub_key,
                                     std::string_view value_name, std::string_view default_value);
void WriteNativeRegistryString(RegistryRoot root, std::string_view sub_key,
                               std::string_view value_name, std::string_view value);

}  // namespace quillmap
