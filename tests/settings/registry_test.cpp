#include "settings/registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>
#include <tuple>

#include "settings/error.h"
#include "temp_folder.h"

namespace quillmap {
namespace {

constexpr auto kUser = RegistryRoot::kCurrentUser;
constexpr char kScanOptions[] = "Software\\Velmora\\Microarray\\Scanner\\ScanOptions\\";

class RegistryTest : public testing::Test {
 protected:
  std::string Read(std::string_view key, std::string_view name) const {
    return ReadRegistryString(store_, kUser, key, name, "<default>");
  }
  void Write(std::string_view key, std::string_view name, std::string_view value) const {
    WriteRegistryString(store_, kUser, key, name, value);
  }

  TempFolder dir_;
  RegistryStore store_{dir_.Data()};
  const std::string user_file_ = dir_ / "HKEY_CURRENT_USER.reg";
};

TEST_F(RegistryTest, WriteCreatesTheFileAndReadsBackIgnoringCase) {
  EXPECT_EQ(Read(kScanOptions, "RegionName"), "<default>");
  Write(kScanOptions, "RegionName", "Whole \"slide\" C:\\x");
  EXPECT_EQ(Read("SOFTWARE\\velmora\\Microarray\\Scanner\\ScanOptions", "regionNAME"),
            "Whole \"slide\" C:\\x");
  Write("software\\VELMORA\\microarray\\scanner\\scanoptions", "REGIONNAME", "Zon\u00E9 \\\"");
  Write(kScanOptions, "", "");
  Write(kScanOptions, "Cut", std::string("ab\0cd", 5));
  EXPECT_EQ(
      ReadBytes(user_file_),
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Velmora\\Microarray"
      "\\Scanner\\ScanOptions]\n\"RegionName\"=\"Zon\u00E9 \\\\\\\"\"\n@=\"\"\n\"Cut\"=\"ab\"\n");
  EXPECT_EQ(Read(kScanOptions, "RegionName"), "Zon\u00E9 \\\"");
  EXPECT_EQ(Read(kScanOptions, ""), "");
  EXPECT_THROW(Write(kScanOptions, "RegionName", "two\nlines"), Error);
}

TEST_F(RegistryTest, WriteKeepsEveryOtherLineByteForByte) {
  const std::string head =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n; kept as it is\r\n"
      "[HKEY_CURRENT_USER\\Software\\Other]  \r\n@=\"x\"\r\n\"Blob\"=hex:01,02,\\\r\n  03\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Velmora\\Microarray\\Scanner\\ScanOptions\\]\r\n"
      "\"RegionName\"=\"first\"\r\n\"Other\"  =  \"  spaced \\\\ \" ; "
      "noted\r\n\"Bad\"=\"a\\nb\"\r\n"
      "\"Count\"=dword:00000002\r\n\"Gone\"=-\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\velmora\\microarray\\scanner\\scanoptions]\r\n";
  WriteBytes(user_file_, head +
                             "\"regionname\"=hex(2):57,00,68,00,\\\r\n  00,00\r\n\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Tail]");
  // The last definition is the one in force; only the quoted form is a string.
  for (const char* name : {"RegionName", "Count", "Gone"})
    EXPECT_EQ(Read(kScanOptions, name), "<default>") << name;
  EXPECT_EQ(Read(kScanOptions, "Other"), "  spaced \\ ");
  EXPECT_EQ(Read("Software\\Other", ""), "x");

  Write(kScanOptions, "RegionName", "new");
  Write(kScanOptions, "Other", "o");
  Write(kScanOptions, "Added", "1");
  Write("Software\\Tail", "T", "2");
  Write("Software\\New", "N", "3");
  EXPECT_EQ(
      ReadBytes(user_file_),
      Replaced(head, "\"  spaced \\\\ \"", "\"o\"") +
          "\"regionname\"=\"new\"\r\n\"Added\"=\"1\"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Tail]\r\n"
          "\"T\"=\"2\"\r\n\r\n[HKEY_CURRENT_USER\\Software\\New]\r\n\"N\"=\"3\"\r\n");
  EXPECT_EQ(Read(kScanOptions, "RegionName"), "new");
}

TEST_F(RegistryTest, UsesWhatItUnderstandsTellsTheRestOnceAndWritesBackAsRead) {
  const std::string header = "Windows Registry Editor Version 5.00\n\n";
  const std::string good = "[HKEY_CURRENT_USER\\V]\n\"N\"=\"A\"\n";
  const auto utf16 = [](std::u16string_view text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return bytes;
  };
  // read nullptr: no registry export. No `written` bytes: a line not understood, told once.
  const std::tuple<std::string, const char*, std::string> files[] = {
      {utf16(u"REGEDIT4\r\n[HKEY_CURRENT_USER\\V]\r\n\"N\"=\"Zo\u00EB \U0001F600\"\r\n"),
       "Zo\u00EB \U0001F600", utf16(u"REGEDIT4\r\n[HKEY_CURRENT_USER\\V]\r\n\"N\"=\"\u00E9\"\r\n")},
      {"", "<default>", header + "[HKEY_CURRENT_USER\\V]\n\"N\"=\"\u00E9\"\n"},
      {good, nullptr, ""},                                                // no header
      {std::string("\xFF\xFEW\0\x00\xDC", 6), nullptr, ""},               // lone UTF-16 surrogate
      {header + good + "\"B\"=\"A\n", "A", ""},                           // unbalanced quote
      {header + good + "\"B\"=\"a\\nb\"\n", "A", ""},                     // unknown escape
      {header + "\"B\"=\"A\"\n" + good, "A", ""},                         // value outside a key
      {header + good + "N=B\n", "A", ""},                                 // not a value line
      {header + good + "\"B\"=hex:01,\\\n", "A", ""},                     // data cut short
      {header + good + "[HKEY_CURRENT_USER\\V\n\"N\"=\"B\"\n", "A", ""},  // key not closed
      {"REGEDIT4\r\n[HKEY_CURRENT_USER\\V]\r\n\"N\"=\"Zo\xEB \x80\"\r\n", "Zo\u00EB \u20AC",
       "REGEDIT4\r\n[HKEY_CURRENT_USER\\V]\r\n\"N\"=\"\xE9\"\r\n"},
  };
  for (const auto& [bytes, read, written] : files) {
    WriteBytes(user_file_, bytes);
    size_t told = 0;
    store_.TellProblemsTo([&told](const std::string&) { ++told; });
    for (int i = 0; i < 2; ++i) EXPECT_EQ(Read("V", "N"), read ? read : "<default>") << bytes;
    EXPECT_EQ(told, written.empty() ? 1u : 0u) << bytes;
    if (read == nullptr) {
      EXPECT_THROW(Write("V", "N", "\u00E9"), Error) << bytes;
      EXPECT_EQ(ReadBytes(user_file_), bytes);
    } else {
      Write("V", "N", "\u00E9");
      EXPECT_EQ(ReadBytes(user_file_),
                written.empty() ? Replaced(bytes, "\"N\"=\"A\"", "\"N\"=\"\u00E9\"") : written);
    }
  }
  EXPECT_THROW(Write("V", "N", "\u65E5"), Error);  // the last file's Windows-1252 has no such
}

TEST(RegistryEnvironmentTest, FolderVariableOrDefaultLocations) {
  const char* names[] = {"QUILLMAP_REGISTRY", "XDG_CONFIG_HOME", "HOME"};
  std::optional<std::string> saved[3];
  for (int i = 0; i < 3; ++i) saved[i] = getenv(names[i]) ? getenv(names[i]) : saved[i];
  setenv("QUILLMAP_REGISTRY", "/srv/reg/", 1);
  EXPECT_EQ(RegistryStore::FromEnvironment().FilePath(kUser), "/srv/reg/HKEY_CURRENT_USER.reg");
  unsetenv("QUILLMAP_REGISTRY");
  setenv("HOME", "/home/op", 1);
  for (const char* config : {"/cfg", "relative"}) {
    setenv("XDG_CONFIG_HOME", config, 1);
    const RegistryStore store = RegistryStore::FromEnvironment();
    EXPECT_EQ(store.FilePath(RegistryRoot::kLocalMachine), "/etc/velmora/HKEY_LOCAL_MACHINE.reg");
    EXPECT_EQ(store.FilePath(kUser), std::string(config[0] == '/' ? "/cfg" : "/home/op/.config") +
                                         "/velmora/HKEY_CURRENT_USER.reg");
  }
  for (int i = 0; i < 3; ++i)
    saved[i] ? setenv(names[i], saved[i]->c_str(), 1) : unsetenv(names[i]);
}

}  // namespace
}  // namespace quillmap
