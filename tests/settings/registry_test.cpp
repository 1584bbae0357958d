#include "settings/registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>

#include "temp_folder.h"

namespace quillmap {
namespace {

constexpr auto kUser = RegistryRoot::kCurrentUser;
constexpr auto kMachine = RegistryRoot::kLocalMachine;
constexpr char kScanOptions[] = "Software\\Velmora\\Microarray\\Scanner\\ScanOptions\\";

class RegistryTest : public testing::Test {
 protected:
  std::string Read(std::string_view key, std::string_view name) const {
    return ReadRegistryString(RegistryStore(dir_.Data()), kUser, key, name, "<default>");
  }
  void Write(std::string_view key, std::string_view name, std::string_view value) const {
    WriteRegistryString(RegistryStore(dir_.Data()), kUser, key, name, value);
  }

  TempFolder dir_;
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
  EXPECT_EQ(ReadBytes(user_file_),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software\\Velmora\\Microarray\\Scanner\\ScanOptions]\n"
            "\"RegionName\"=\"Zon\u00E9 \\\\\\\"\"\n"
            "@=\"\"\n"
            "\"Cut\"=\"ab\"\n");
  EXPECT_EQ(Read(kScanOptions, "RegionName"), "Zon\u00E9 \\\"");
  EXPECT_EQ(Read(kScanOptions, ""), "");
  EXPECT_EQ(Entries(dir_.Data()), std::set<std::string>{"HKEY_CURRENT_USER.reg"});
}

TEST_F(RegistryTest, CreatesFoldersAndEmptyFilesButRefusesLineBreaks) {
  const RegistryStore store(dir_ / "a/b");
  WriteRegistryString(store, kMachine, "Software\\Velmora\\Microarray\\", "Path", "/data");
  EXPECT_EQ(ReadRegistryString(store, kMachine, "Software\\Velmora\\Microarray", "Path", ""),
            "/data");
  EXPECT_EQ(ReadRegistryString(store, kUser, "Software\\Velmora\\Microarray", "Path", "-"), "-");

  Write(kScanOptions, "RegionName", "two\nlines");
  Write(kScanOptions, "Region\rName", "x");
  EXPECT_EQ(Entries(dir_.Data()), std::set<std::string>{"a"});
  WriteBytes(user_file_, "");  // empty: nothing to lose
  Write(kScanOptions, "RegionName", "x");
  EXPECT_EQ(Read(kScanOptions, "RegionName"), "x");
}

TEST_F(RegistryTest, WriteKeepsEveryOtherLineByteForByte) {
  const std::string head =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n; kept as it is\r\n"
      "[HKEY_CURRENT_USER\\Software\\Other]  \r\n@=\"x\"\r\n\"Blob\"=hex:01,02,\\\r\n  03\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Velmora\\Microarray\\Scanner\\ScanOptions\\]\r\n"
      "\"RegionName\"=\"first\"\r\n\"Other\"  =  \"  spaced \\\\ \"\r\n"
      "\"Count\"=dword:00000002\r\n\"Gone\"=-\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\velmora\\microarray\\scanner\\scanoptions]\r\n";
  WriteBytes(user_file_, head +
                             "\"regionname\"=hex(2):57,00,68,00,\\\r\n"
                             "  00,00\r\n"
                             "\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Tail]");
  // The last definition is the one in force; only the quoted form is a string.
  for (const char* name : {"RegionName", "Count", "Gone"}) {
    EXPECT_EQ(Read(kScanOptions, name), "<default>") << name;
  }
  EXPECT_EQ(Read(kScanOptions, "Other"), "  spaced \\ ");
  EXPECT_EQ(Read("Software\\Other", ""), "x");

  Write(kScanOptions, "RegionName", "new");
  Write(kScanOptions, "Added", "1");
  Write("Software\\Tail", "T", "2");
  Write("Software\\New", "N", "3");
  EXPECT_EQ(ReadBytes(user_file_), head +
                                       "\"regionname\"=\"new\"\r\n"
                                       "\"Added\"=\"1\"\r\n"
                                       "\r\n"
                                       "[HKEY_CURRENT_USER\\Software\\Tail]\r\n"
                                       "\"T\"=\"2\"\r\n"
                                       "\r\n"
                                       "[HKEY_CURRENT_USER\\Software\\New]\r\n"
                                       "\"N\"=\"3\"\r\n");
  EXPECT_EQ(Read(kScanOptions, "RegionName"), "new");
}

TEST_F(RegistryTest, UnparsableFileReadsAsMissingAndIsNeverWritten) {
  const std::string key =
      "[HKEY_CURRENT_USER\\Software\\Velmora\\Microarray\\Scanner\\ScanOptions]\n";
  const std::string header = "Windows Registry Editor Version 5.00\n\n";
  const std::string bad_files[] = {
      key + "\"RegionName\"=\"A\"\n",                            // no header
      "REGEDIT4\n\n" + key + "\"RegionName\"=\"A\"\n",           // older format
      header + key + "\"RegionName\"=\"A\n",                     // unbalanced quote
      header + key + "\"RegionName\"=\"A\\n\"\n",                // unknown escape
      header + "\"RegionName\"=\"A\"\n" + key,                   // value outside a key
      header + key + "RegionName=A\n",                           // not a value line
      header + key + "\"RegionName\"=\"A\"\n\"B\"=hex:01,\\\n",  // data cut short
      header + "[HKEY_CURRENT_USER\\Software\n",                 // key not closed
  };
  for (const std::string& bytes : bad_files) {
    WriteBytes(user_file_, bytes);
    EXPECT_EQ(Read(kScanOptions, "RegionName"), "<default>") << bytes;
    Write(kScanOptions, "RegionName", "B");
    EXPECT_EQ(ReadBytes(user_file_), bytes);
  }
}

TEST(RegistryEnvironmentTest, FolderVariableOrDefaultLocations) {
  const char* names[] = {"QUILLMAP_REGISTRY", "XDG_CONFIG_HOME", "HOME"};
  std::optional<std::string> saved[3];
  for (int i = 0; i < 3; ++i) {
    if (const char* value = getenv(names[i])) saved[i] = value;
  }
  setenv("QUILLMAP_REGISTRY", "/srv/reg/", 1);
  EXPECT_EQ(RegistryStore::FromEnvironment().FilePath(kUser), "/srv/reg/HKEY_CURRENT_USER.reg");
  unsetenv("QUILLMAP_REGISTRY");
  setenv("HOME", "/home/op", 1);
  for (const char* config : {"/cfg", "relative"}) {
    setenv("XDG_CONFIG_HOME", config, 1);
    const RegistryStore store = RegistryStore::FromEnvironment();
    EXPECT_EQ(store.FilePath(kMachine), "/etc/velmora/HKEY_LOCAL_MACHINE.reg");
    EXPECT_EQ(store.FilePath(kUser), std::string(config[0] == '/' ? "/cfg" : "/home/op/.config") +
                                         "/velmora/HKEY_CURRENT_USER.reg");
  }
  for (int i = 0; i < 3; ++i)
    saved[i] ? setenv(names[i], saved[i]->c_str(), 1) : unsetenv(names[i]);
}

}  // namespace
}  // namespace quillmap
