#include "sysfile/system_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <filesystem>
#include <tuple>
#include <vector>

#include "settings/error.h"
#include "settings/temp_folder.h"
#include "sysfile/model_choice.h"
#include "sysfile/system_file_writer.h"

namespace quillmap {
namespace {

using ::testing::DoubleEq;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Pair;

std::string Le32(int32_t value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>(static_cast<uint32_t>(value) >> (8 * i));
  return bytes;
}

std::string Header(int32_t version, int32_t count) { return Le32(version) + Le32(count); }

std::string Bounds(const std::array<int32_t, 8>& micrometres) {
  std::string bytes;
  for (int32_t value : micrometres) bytes += Le32(value);
  return bytes;
}

// The raw name field, NUL-padded; the 8 unused bytes are not zero, as nothing reads them.
std::string Record(std::string name, const std::array<int32_t, 8>& micrometres = {}) {
  name.resize(32, '\0');
  return name + std::string(8, '\xFF') + Bounds(micrometres);
}

std::string Table(int32_t count, const std::string& records) { return Header(2, count) + records; }

std::array<double, 8> AsArray(const ModelLimits& l) {
  return {l.MinX, l.MinY, l.MaxX, l.MaxY, l.MaxWidth, l.MaxHeight, l.MinWidth, l.MinHeight};
}

template <typename Action>
std::pair<int, std::string> ErrorOf(Action&& action) {
  try {
    action();
  } catch (const Error& error) {
    return {error.Number(), error.Description()};
  }
  return {0, "no error thrown"};
}

class SystemFileTest : public ::testing::Test {
 protected:
  void Write(const std::string& bytes) { WriteBytes(path_, bytes); }

  TempFolder dir_;
  const std::string path_ = dir_ / "RegionDB.sys";
  ScannerState state_;
};

TEST_F(SystemFileTest, SingleModelIsR7720CWithTheBlockInMillimetres) {
  state_.ModelList = {"kept"};
  Write(Header(1, 0x7FFFFFFF) + Bounds({0, 1000, 25400, -500, 70000, 23000, 1, -1}) + "tail");
  EXPECT_EQ(GetSystemFileVersion(path_), 1);
  LoadSingleModel(path_, state_);
  EXPECT_EQ(state_.ScannerModel, "R7720C");
  EXPECT_THAT(AsArray(state_.Limits),
              ElementsAre(0.0, 1.0, DoubleEq(25.4), -0.5, 70.0, 23.0, 0.001, -0.001));
  EXPECT_THAT(state_.ModelList, ElementsAre("kept"));
}

TEST_F(SystemFileTest, ModelListHoldsEveryNameInFileOrder) {
  std::string full = std::string(31, 'A') + "Z";
  Write(Table(7, Record("R1") + Record(full) + Record(std::string("  short \0junk", 13)) +
                     Record(std::string(32, '\0')) + Record("\xE9t\x80") + Record("R1") +
                     Record("\tTab ")) +
        Record("beyond the count"));
  EXPECT_EQ(GetSystemFileVersion(path_), 2);
  state_.ModelList = {"old"};
  LoadModelList(path_, state_);
  EXPECT_THAT(state_.ModelList,
              ElementsAre("R1", full, "short", "", "\xC3\xA9t\xE2\x82\xAC", "R1", "\tTab"));
}

TEST_F(SystemFileTest, SelectModelTakesTheFirstRecordOfExactlyThatName) {
  Write(Table(
      3, Record("R1", {1000, 2000}) + Record("\xE9t\xE9", {3000}) + Record("R1", {9000, 9000})));
  SelectModel(path_, "R1", state_);
  EXPECT_EQ(state_.ScannerModel, "R1");
  EXPECT_THAT(AsArray(state_.Limits), ElementsAre(1.0, 2.0, 0, 0, 0, 0, 0, 0));
  EXPECT_THAT(ErrorOf([&] { SelectModel(path_, "r1", state_); }),
              Pair(5000, "Unable to locate the scan region r1 in system file (" + path_ + ")"));
  EXPECT_EQ(state_.ScannerModel, "R1");
  EXPECT_EQ(state_.Limits.MinX, 1.0);
  SelectModel(path_, "\xC3\xA9t\xC3\xA9", state_);
  EXPECT_EQ(state_.Limits.MinX, 3.0);
}

TEST_F(SystemFileTest, CountsBeyondSixteenBitsOverflowAndOthersBelowOneReadNoRecord) {
  for (int32_t count : {0, -1, -32768, 32768, -32769, INT32_MAX}) {
    SCOPED_TRACE(count);
    const bool overflows = count > 32767 || count < -32768;
    Write(Table(count, overflows ? "" : Record("")));  // a read of a record would fail
    EXPECT_EQ(ErrorOf([&] { LoadModelList(path_, state_); }).first, overflows ? 6 : 0);
    EXPECT_THAT(state_.ModelList, IsEmpty());
    EXPECT_EQ(ErrorOf([&] { SelectModel(path_, "", state_); }).first, overflows ? 6 : 5000);
  }
}

TEST_F(SystemFileTest, ShortOrMissingFilesFailNamingThePath) {
  auto read_error = Pair(57, "Unable to read the scan region system file (" + path_ + ")");
  for (const std::string& bytes : {std::string(), std::string(7, '\0')}) {
    Write(bytes);
    EXPECT_THAT(ErrorOf([&] { GetSystemFileVersion(path_); }), read_error);
    EXPECT_THAT(ErrorOf([&] { LoadModelList(path_, state_); }), read_error);
    EXPECT_THAT(ErrorOf([&] { SelectModel(path_, "", state_); }), read_error);
  }
  Write(Header(1, 0) + Bounds({1, 2, 3, 4, 5, 6, 7, 8}).substr(0, 31));
  EXPECT_THAT(ErrorOf([&] { LoadSingleModel(path_, state_); }), read_error);
  EXPECT_EQ(state_.ScannerModel, "");
  Write(Table(2, Record("R1", {1000}) + Record("R2").substr(0, 71)));
  EXPECT_THAT(ErrorOf([&] { LoadModelList(path_, state_); }), read_error);
  EXPECT_THAT(ErrorOf([&] { SelectModel(path_, "R2", state_); }), read_error);
  SelectModel(path_, "R1", state_);  // found before the read that would fail
  EXPECT_EQ(state_.ScannerModel, "R1");

  auto missing = Pair(5000, "Unable to locate the scan region system file (" + path_ + ")");
  std::filesystem::remove(path_);
  EXPECT_THAT(ErrorOf([&] { LoadModelList(path_, state_); }), missing);
  EXPECT_THAT(state_.ModelList, IsEmpty());
  EXPECT_THAT(ErrorOf([&] { LoadSingleModel(path_, state_); }), missing);
  EXPECT_THAT(ErrorOf([&] { SelectModel(path_, "R1", state_); }), missing);
  std::filesystem::create_directory(path_);
  EXPECT_THAT(ErrorOf([&] { GetSystemFileVersion(path_); }), missing);
}

TEST_F(SystemFileTest, ChooseModelTakesTheSingleModelTheListedArgumentOrAsksTheUser) {
  const std::string single = Header(1, 1) + Bounds({1000, 0, 0, 0, 0, 0, 0, 8000});
  const std::string table = Table(
      4, Record("R1", {1000}) + Record("R2", {2000}) + Record("Vx", {3000}) + Record("  ", {4000}));
  struct {
    const std::string& file;
    const char* argument;
    const char* pick;  // the dialog's choice; null: closed without one
    const char* model;
    double min_x;
    int dialogs;
  } const cases[] = {
      // A count of 1 over 40 bytes: read as a table it would fail.
      {single, "R1", "R1", "R7720C", 1, 0},
      {table, "R2", nullptr, "R2", 2, 0},
      {table, "r2", nullptr, "R2", 2, 0},
      // Blanks are kept, and a stored lower-case name cannot be reached from the command line.
      {table, " R2", "Vx", "Vx", 3, 1},
      {table, "vx", "Vx", "Vx", 3, 1},
      {table, "R9", nullptr, "", 0, 1},
      {table, "", nullptr, "", 4, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.argument);
    Write(c.file);
    state_ = ScannerState();
    int dialogs = 0;
    ChooseModel(path_, c.argument, state_, [&] {
      ++dialogs;
      if (c.pick) SelectModel(path_, c.pick, state_);
    });
    EXPECT_EQ(state_.ScannerModel, c.model);
    EXPECT_EQ(state_.Limits.MinX, c.min_x);
    EXPECT_EQ(dialogs, c.dialogs);
    EXPECT_EQ(state_.ModelList.size(), &c.file == &single ? 0u : 4u);
  }
  std::filesystem::remove(path_);
  EXPECT_EQ(ErrorOf([&] { ChooseModel(path_, "R1", state_, [] { ADD_FAILURE(); }); }).first, 5000);
}

// Every model read back from the file at path_ by its name.
void ExpectFileHolds(const std::string& path, const std::vector<ModelDescription>& models) {
  ScannerState state;
  LoadModelList(path, state);
  ASSERT_EQ(state.ModelList.size(), models.size());
  for (size_t i = 0; i < models.size(); ++i) {
    EXPECT_EQ(state.ModelList[i], models[i].Name);
    SelectModel(path, models[i].Name, state);
    std::array<double, 8> mm;
    for (size_t b = 0; b < 8; ++b) mm[b] = models[i].Bounds[b] / 1000.0;
    EXPECT_THAT(AsArray(state.Limits), ElementsAreArray(mm)) << models[i].Name;
  }
}

TEST_F(SystemFileTest, WrittenFilesReadBackAsDescribed) {
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
  const std::string bytes = BuildSystemFile(models, SystemFileLayout::kModelTable);
  EXPECT_EQ(bytes.substr(0, 16), Header(2, 3) + "QM1" + std::string(5, '\0'));
  Write(bytes);
  ExpectFileHolds(path_, models);

  Write(BuildSystemFile({models[2]}, SystemFileLayout::kSingleModel));
  LoadSingleModel(path_, state_);
  EXPECT_EQ(GetSystemFileVersion(path_), 1);
  EXPECT_THAT(AsArray(state_.Limits), ElementsAre(1, 2, 3, 4, 5, 6, 7, 8));
  // The demo file that the build wrote with the tool holds what its text says.
  ExpectFileHolds(QUILLMAP_DEMO_SYSTEM_FILE,
                  ParseModelDescriptions(ReadBytes(QUILLMAP_DEMO_MODELS)));
}

TEST(SystemFileWriterTest, RefusesWhatTheFileCannotHold) {
  const std::string bounds = " 1 2 3 4 5 6 7 8";
  const std::tuple<std::string, int, std::string> cases[] = {
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
  for (const auto& [text, number, message] : cases) {
    auto error = ErrorOf([&] { ParseModelDescriptions(text); });
    EXPECT_EQ(error.first, number) << text;
    EXPECT_THAT(error.second, HasSubstr(message)) << text;
  }
  EXPECT_EQ(ErrorOf([] { BuildSystemFile({{}, {}}, SystemFileLayout::kSingleModel); }).first, 13);
  const std::vector<ModelDescription> too_many(32767);
  EXPECT_EQ(ErrorOf([&] { BuildSystemFile(too_many, SystemFileLayout::kModelTable); }).first, 6);
}

TEST_F(SystemFileTest, ToolExitsWithOneForBadInputAndTwoForBadUse) {
  auto run = [](const std::string& arguments) {
    const int status = std::system(
        (std::string(QUILLMAP_MAKE_REGIONDB) + " " + arguments + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  const std::string text = dir_ / "models.txt", bad_out = dir_ / "bad.sys";
  WriteBytes(text, "Q1 1 2 3 4 5 6 7 8\n");
  EXPECT_EQ(run("--single " + text + " " + path_), 0);
  EXPECT_EQ(GetSystemFileVersion(path_), 1);
  WriteBytes(text, "Q2 1 2 3 4 5 6 7\n");
  EXPECT_EQ(run(text + " " + bad_out), 1);
  EXPECT_EQ(run(text), 2);
  EXPECT_EQ(run("--bogus " + text + " " + bad_out), 2);
  EXPECT_EQ(Entries(dir_.Data()), (std::set<std::string>{"RegionDB.sys", "models.txt"}));
}

}  // namespace
}  // namespace quillmap
