#include "sysfile/system_file_writer.h"

#include <sys/wait.h>

#include <sstream>

#include "sysfile/system_file.h"
#include "sysfile_fixture.h"

namespace quillmap::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Pair;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class SystemFileWriterTest : public SystemFileTest {
 protected:
  // Every model of `models` read back from the file at path_ by its name.
  void ExpectFileHolds(const std::vector<ModelDescription>& models) {
    LoadModelList(path_, state_);
    ASSERT_EQ(state_.ModelList.size(), models.size());
    for (size_t i = 0; i < models.size(); ++i) {
      EXPECT_EQ(state_.ModelList[i], models[i].Name);
      SelectModel(path_, models[i].Name, state_);
      std::array<double, 8> mm;
      for (size_t b = 0; b < 8; ++b) mm[b] = models[i].Bounds[b] / 1000.0;
      EXPECT_THAT(AsArray(state_.Limits), ElementsAreArray(mm)) << models[i].Name;
    }
  }
};

TEST_F(SystemFileWriterTest, TableReadsBackAsWritten) {
  std::vector<ModelDescription> models = ParseModelDescriptions(
      "\xEF\xBB\xBF# comment\r\n\r\n"
      "  QM1 0 1 25.4 -0.5 1.0005 -1.0005 2147483.647 -2147483.648\r\n"
      "\t\"Caf\xC3\xA9 2 \" 7 .5 +3 0.0004 1. 6 7 8\n"
      "\"\" 1 2 3 4 5 6 7 8");
  ASSERT_EQ(models.size(), 3u);
  EXPECT_THAT(models[0].Bounds,
              ElementsAre(0, 1000, 25400, -500, 1001, -1001, INT32_MAX, INT32_MIN));
  EXPECT_EQ(models[1].Name, "Caf\xC3\xA9 2 ");
  EXPECT_THAT(models[1].Bounds, ElementsAre(7000, 500, 3000, 0, 1000, 6000, 7000, 8000));
  models[1].Name = std::string(30, 'x') + "\xC3\xA9\xC3\xA9";  // 32 bytes in Windows-1252

  std::string bytes = BuildSystemFile(models, SystemFileLayout::kModelTable);
  EXPECT_EQ(bytes.substr(0, 16), Header(2, 3) + "QM1" + std::string(5, '\0'));
  Write(bytes);
  ExpectFileHolds(models);
}

TEST_F(SystemFileWriterTest, SingleModelReadsBackAsR7720C) {
  Write(BuildSystemFile(ParseModelDescriptions("Any 1 2 3 4 5 6 7 8.25"),
                        SystemFileLayout::kSingleModel));
  ASSERT_EQ(GetSystemFileVersion(path_), 1);
  LoadSingleModel(path_, state_);
  EXPECT_EQ(state_.ScannerModel, "R7720C");
  EXPECT_THAT(AsArray(state_.Limits), ElementsAre(1, 2, 3, 4, 5, 6, 7, 8.25));
}

TEST(SystemFileWriterRefusalTest, RefusesWhatTheFileCannotHold) {
  const std::string bounds = " 1 2 3 4 5 6 7 8";
  struct Case {
    std::string text;
    int number;
    std::string message;
  } cases[] = {
      {"# ok\nA 1 2 3 4 5 6 7", 13, "line 2: a name and 8 bounds expected, found 7 bounds"},
      {"A 1 2 3 4 5 6 7 1,5", 13, "line 1: \"1,5\" is not a number"},
      {"A 1 2 3 4 5 6 7 1e3", 13, "\"1e3\" is not a number"},
      {"A 1 2 3 4 5 6 7 2147483.6475", 6, "does not fit"},
      {"A 1 2 3 4 5 6 7 -99999999999999999999", 6, "does not fit"},
      {"\"A" + bounds, 13, "closing quote"},
      {"A\"B" + bounds, 13, "quote"},
      {"\xCE\xA9" + bounds, 13, "Windows-1252"},
      {std::string(33, 'A') + bounds, 6, "takes 33 bytes; a name holds at most 32"},
  };
  for (const Case& c : cases) {
    auto error = ErrorOf([&] { ParseModelDescriptions(c.text); });
    EXPECT_EQ(error.first, c.number) << c.text;
    EXPECT_THAT(error.second, HasSubstr(c.message)) << c.text;
  }
  std::vector<ModelDescription> two(2);
  EXPECT_EQ(ErrorOf([&] { BuildSystemFile(two, SystemFileLayout::kSingleModel); }).first, 13);
  std::vector<ModelDescription> too_many(32767);
  EXPECT_EQ(ErrorOf([&] { BuildSystemFile(too_many, SystemFileLayout::kModelTable); }).first, 6);
}

// The demo file that the build wrote with the tool holds what its text says.
TEST_F(SystemFileWriterTest, DemoFileMatchesItsText) {
  path_ = QUILLMAP_DEMO_SYSTEM_FILE;
  ExpectFileHolds(ParseModelDescriptions(ReadText(QUILLMAP_DEMO_MODELS)));
}

TEST_F(SystemFileWriterTest, ToolExitsWithOneForBadInputAndTwoForBadUse) {
  auto run = [](const std::string& arguments) {
    int status = std::system((std::string(QUILLMAP_MAKE_REGIONDB) + " " + arguments).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  std::string text = folder_ + "/models.txt";
  std::ofstream(text) << "Q1 1 2 3 4 5 6 7 8\n";
  EXPECT_EQ(run("--single " + text + " " + path_ + " 2>/dev/null"), 0);
  LoadSingleModel(path_, state_);
  EXPECT_EQ(state_.Limits.MinHeight, 8.0);

  std::ofstream(text, std::ios::app) << "Q2 1 2 3 4 5 6 7\n";
  std::string bad_out = folder_ + "/bad.sys";
  EXPECT_EQ(run(text + " " + bad_out + " 2>/dev/null"), 1);
  EXPECT_FALSE(std::filesystem::exists(bad_out));
  EXPECT_EQ(run(text + " 2>/dev/null"), 2);
  EXPECT_EQ(run("--bogus " + text + " " + bad_out + " 2>/dev/null"), 2);
}

}  // namespace
}  // namespace quillmap::testing
