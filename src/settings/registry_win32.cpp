// The registry on Windows: the Win32 registry itself, unless QUILLMAP_REGISTRY names a folder
// of export files (registry.cpp).
#include <windows.h>

#include <string>

#include "settings/error.h"
#include "settings/registry.h"
#include "settings/win32_text.h"

namespace quillmap {
namespace {

using win32::Utf8FromWide;
using win32::WideFromUtf8;

HKEY RootKey(RegistryRoot root) {
  return root == RegistryRoot::kLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

const char* RootName(RegistryRoot root) {
  return root == RegistryRoot::kLocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

// The key's path without the closing backslash that the export files allow.
std::wstring KeyName(std::string_view sub_key) {
  while (!sub_key.empty() && sub_key.back() == '\\') sub_key.remove_suffix(1);
  return WideFromUtf8(sub_key);
}

std::string Win32Message(LSTATUS status) {
  wchar_t* text = nullptr;
  const DWORD size = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(status), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = size > 0 ? std::wstring(text, size) : std::wstring();
  LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L'.' || message.back() == L' ')) {
    message.pop_back();
  }
  return message.empty() ? "error " + std::to_string(status) : Utf8FromWide(message);
}

}  // namespace

RegistryStore PlatformRegistryStore() { return RegistryStore::Native(); }

std::string ReadNativeRegistryString(RegistryRoot root, std::string_view sub_key,
                                     std::string_view value_name, std::string_view default_value) {
  const std::wstring key = KeyName(sub_key);
  const std::wstring name = WideFromUtf8(value_name);
  const wchar_t* name_or_default = value_name.empty() ? nullptr : name.c_str();
  std::wstring data(256, L'\0');
  for (;;) {
    DWORD size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    // Only REG_SZ is a string here, as only the quoted form is in an export file.
    const LSTATUS status = RegGetValueW(RootKey(root), key.c_str(), name_or_default, RRF_RT_REG_SZ,
                                        nullptr, data.data(), &size);
    if (status == ERROR_MORE_DATA) {
      data.resize(size / sizeof(wchar_t) + 1);
      continue;
    }
    if (status != ERROR_SUCCESS) return std::string(default_value);
    data.resize(size / sizeof(wchar_t));
    break;
  }
  return Utf8FromWide(data.substr(0, data.find(L'\0')));
}

void WriteNativeRegistryString(RegistryRoot root, std::string_view sub_key,
                               std::string_view value_name, std::string_view value) {
  const std::string where = std::string(RootName(root)) + "\\" + std::string(sub_key);
  const auto fail = [&](const std::string& why) {
    throw Error(kErrFileAccess,
                "Unable to write " +
                    (value_name.empty() ? std::string("@") : std::string(value_name)) + " to " +
                    where + ": " + why);
  };
  value = value.substr(0, value.find('\0'));
  // The same rule as for the export files, so that both stores take the same values.
  for (std::string_view text : {sub_key, value_name, value}) {
    if (text.find_first_of("\r\n") != std::string_view::npos) fail("a line break cannot be stored");
  }
  const std::wstring key = KeyName(sub_key);
  const std::wstring name = WideFromUtf8(value_name);
  const std::wstring data = WideFromUtf8(value);
  const LSTATUS status = RegSetKeyValueW(
      RootKey(root), key.c_str(), value_name.empty() ? nullptr : name.c_str(), REG_SZ, data.c_str(),
      static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  if (status != ERROR_SUCCESS) fail(Win32Message(status));
}

}  // namespace quillmap
