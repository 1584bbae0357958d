#include "settings/registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace quillmap {
namespace {

namespace fs = std::filesystem;

constexpr auto kUser = RegistryRoot::kCurrentUser;
constexpr auto kMachine = RegistryRoot::kLocalMachine;
constexpr char kScanOptions[] = "Software\\Velmora\\Microarray\\Scanner\\ScanOptions\\";

class RegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quillmap_registry_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string UserFile() const { return folder_ + "/HKEY_CURRENT_USER.reg"; }
  static void Put(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string Get(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string Read(std::string_view key, std::string_view name) const {
    return ReadRegistryString(Store(), kUser, key, name, "<default>");
  }
  void Write(std::string_view key, std::string_view name, std::string_view value) const {
    WriteRegistryString(Store(), kUser, key, name, value);
  }
  RegistryStore Store() const { return RegistryStore(folder_); }

  std::string folder_;
};

TEST_F(RegistryTest, WriteCreatesTheFileAndReadsBackIgnoringCase) {
  EXPECT_EQ(Read(kScanOptions, "RegionName"), "<default>");
  Write(kScanOptions, "RegionName", "Whole \"slide\" C:\\x");
  EXPECT_EQ(Read("SOFTWARE\\velmora\\Microarray\\Scanner\\ScanOptions", "regionNAME"),
            "Whole \"slide\" C:\\x");
  Write("software\\VELMORA\\microarray\\scanner\\scanoptions", "REGIONNAME", "Zon\u00E9 \\\"");
  Write(kScanOptions, "", "");
  Write(kScanOptions, "Cut", std::string("ab\0cd", 5));
  EXPECT_EQ(Get(UserFile()),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software\\Velmora\\Microarray\\Scanner\\ScanOptions]\n"
            "\"RegionName\"=\"Zon\u00E9 \\\\\\\"\"\n"
            "@=\"\"\n"
            "\"Cut\"=\"ab\"\n");
  EXPECT_EQ(Read(kScanOptions, "RegionName"), "Zon\u00E9 \\\"");
  EXPECT_EQ(Read(kScanOptions, ""), "");
  EXPECT_FALSE(fs::exists(folder_ + "/HKEY_LOCAL_MACHINE.reg"));
}

TEST_F(RegistryTest, CreatesFoldersAndEmptyFilesButRefusesLineBreaks) {
  const RegistryStore store(folder_ + "/a/b");
  WriteRegistryString(store, kMachine, "Software\\Velmora\\Microarray\\", "Path", "/data");
  EXPECT_EQ(ReadRegistryString(store, kMachine, "Software\\Velmora\\Microarray", "Path", ""),
            "/data");
  EXPECT_EQ(ReadRegistryString(store, kUser, "Software\\Velmora\\Microarray", "Path", "-"), "-");

  Write(kScanOptions, "RegionName", "two\nlines");
  Write(kScanOptions, "Region\rName", "x");
  EXPECT_FALSE(fs::exists(UserFile()));
  Put(UserFile(), "");  // empty: nothing to lose
  Write(kScanOptions, "RegionName", "x");
  EXPECT_EQ(Read(kScanOptions, "RegionName"), "x");
}

TEST_F(RegistryTest, WriteKeepsEveryOtherLineByteForByte) {
  const std::string head =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
      "\r\n"
      "; kept as it is\r\n"
      "[HKEY_CURRENT_USER\\Software\\Other]  \r\n"
      "@=\"x\"\r\n"
      "\"Blob\"=hex:01,02,\\\r\n"
      "  03\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Software\\Velmora\\Microarray\\Scanner\\ScanOptions\\]\r\n"
      "\"RegionName\"=\"first\"\r\n"
      "\"Other\"  =  \"  spaced \\\\ \"\r\n"
      "\"Count\"=dword:00000002\r\n"
      "\"Gone\"=-\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Software\\velmora\\microarray\\scanner\\scanoptions]\r\n";
  Put(UserFile(), head +
                      "\"regionname\"=hex(2):57,00,68,00,\\\r\n"
                      "  00,00\r\n"
                      "\r\n"
                      "[HKEY_CURRENT_USER\\Software\\Tail]");
  // The last definition is the one in force.
  EXPECT_EQ(Read(kScanOptions, "RegionName"), "<default>");
  EXPECT_EQ(Read(kScanOptions, "Count"), "<default>");
  EXPECT_EQ(Read(kScanOptions, "Gone"), "<default>");
  EXPECT_EQ(Read(kScanOptions, "Other"), "  spaced \\ ");
  EXPECT_EQ(Read("Software\\Other", ""), "x");

  Write(kScanOptions, "RegionName", "new");
  Write(kScanOptions, "Added", "1");
  Write("Software\\Tail", "T", "2");
  Write("Software\\New", "N", "3");
  EXPECT_EQ(Get(UserFile()), head +
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

TEST_F(RegistryTest, UnparsableFileReadsEmptyAndIsNeverWritten) {
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
    Put(UserFile(), bytes);
    EXPECT_EQ(Read(kScanOptions, "RegionName"), "<default>") << bytes;
    Write(kScanOptions, "RegionName", "B");
    EXPECT_EQ(Get(UserFile()), bytes);
  }
}

class RegistryEnvironmentTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kNames) {
      const char* value = getenv(name);
      saved_.emplace_back(value != nullptr, value != nullptr ? value : "");
    }
  }
  void TearDown() override {
    for (size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i].first) {
        setenv(kNames[i], saved_[i].second.c_str(), 1);
      } else {
        unsetenv(kNames[i]);
      }
    }
  }

  static constexpr const char* kNames[] = {"QUILLMAP_REGISTRY", "XDG_CONFIG_HOME", "HOME"};
  std::vector<std::pair<bool, std::string>> saved_;
};

TEST_F(RegistryEnvironmentTest, FolderVariableOrDefaultLocations) {
  setenv("QUILLMAP_REGISTRY", "/srv/reg/", 1);
  RegistryStore store = RegistryStore::FromEnvironment();
  EXPECT_EQ(store.FilePath(kMachine), "/srv/reg/HKEY_LOCAL_MACHINE.reg");
  EXPECT_EQ(store.FilePath(kUser), "/srv/reg/HKEY_CURRENT_USER.reg");

  unsetenv("QUILLMAP_REGISTRY");
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  setenv("HOME", "/home/op", 1);
  store = RegistryStore::FromEnvironment();
  EXPECT_EQ(store.FilePath(kMachine), "/etc/velmora/HKEY_LOCAL_MACHINE.reg");
  EXPECT_EQ(store.FilePath(kUser), "/cfg/velmora/HKEY_CURRENT_USER.reg");

  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(RegistryStore::FromEnvironment().FilePath(kUser),
            "/home/op/.config/velmora/HKEY_CURRENT_USER.reg");
}

}  // namespace
}  // namespace quillmap
