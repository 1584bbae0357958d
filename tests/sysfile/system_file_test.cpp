#include "sysfile/system_file.h"

#include "sysfile_fixture.h"

namespace quillmap::testing {
namespace {

using ::testing::DoubleEq;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

std::string Table(int32_t count, const std::string& records) { return Header(2, count) + records; }

TEST_F(SystemFileTest, VersionIsTheFirstField) {
  for (int32_t version : {1, 0, 2, -1}) {
    Write(Header(version, 12345));
    EXPECT_EQ(GetSystemFileVersion(path_), version);
  }
}

TEST_F(SystemFileTest, SingleModelIsR7720CWithTheBlockInMillimetres) {
  state_.ModelList = {"kept"};
  Write(Header(1, 0x7FFFFFFF) + Bounds({0, 1000, 25400, -500, 70000, 23000, 1, -1}) + "tail");
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
  state_.ModelList = {"old"};
  LoadModelList(path_, state_);
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

TEST_F(SystemFileTest, ZeroOrNegativeCountsReadNoRecordAndSelectNothing) {
  for (int32_t count : {0, -1, -32768}) {
    Write(Table(count, Record("")));
    LoadModelList(path_, state_);
    EXPECT_THAT(state_.ModelList, IsEmpty());
    EXPECT_EQ(ErrorOf([&] { SelectModel(path_, "", state_); }).first, kErrSystemFile);
  }
}

TEST_F(SystemFileTest, CountsBeyondSixteenBitsOverflowBeforeAnyRecord) {
  for (int32_t count : {32768, 40000, -32769, INT32_MAX}) {
    Write(Table(count, ""));  // a read of the first record would fail otherwise
    EXPECT_THAT(ErrorOf([&] { LoadModelList(path_, state_); }), Pair(6, "Overflow"));
    EXPECT_THAT(ErrorOf([&] { SelectModel(path_, "", state_); }), Pair(6, "Overflow"));
  }
}

TEST_F(SystemFileTest, Count32767OverflowsWhenTheCounterStepsPastTheLastRecord) {
  std::string records;
  for (int i = 1; i < 32767; ++i) records += Record("");
  Write(Table(32767, records + Record("LAST", {5000})));
  EXPECT_THAT(ErrorOf([&] { LoadModelList(path_, state_); }), Pair(6, "Overflow"));
  EXPECT_EQ(state_.ModelList.size(), 32767u);
  SelectModel(path_, "LAST", state_);
  EXPECT_EQ(state_.Limits.MinX, 5.0);
  EXPECT_THAT(ErrorOf([&] { SelectModel(path_, "NONE", state_); }), Pair(6, "Overflow"));

  Write(Table(32767, records));  // cut short: the read fails before the counter steps on
  EXPECT_EQ(ErrorOf([&] { LoadModelList(path_, state_); }).first, kErrFileRead);

  Write(Table(32766, records.substr(72) + Record("LAST")));
  LoadModelList(path_, state_);
  EXPECT_EQ(state_.ModelList.size(), 32766u);
  EXPECT_EQ(state_.ModelList.back(), "LAST");
}

TEST_F(SystemFileTest, ShortFilesFailWithAReadErrorNamingThePath) {
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
  EXPECT_EQ(state_.Limits.MinX, 0.0);

  Write(Table(2, Record("R1", {1000}) + Record("R2").substr(0, 71)));
  EXPECT_THAT(ErrorOf([&] { LoadModelList(path_, state_); }), read_error);
  EXPECT_THAT(ErrorOf([&] { SelectModel(path_, "R2", state_); }), read_error);
  SelectModel(path_, "R1", state_);  // found before the read that would fail
  EXPECT_EQ(state_.ScannerModel, "R1");
}

TEST_F(SystemFileTest, MissingFileFailsEveryReaderAndEmptiesTheList) {
  auto missing = Pair(5000, "Unable to locate the scan region system file (" + path_ + ")");
  state_.ModelList = {"old"};
  EXPECT_THAT(ErrorOf([&] { LoadModelList(path_, state_); }), missing);
  EXPECT_THAT(state_.ModelList, IsEmpty());
  EXPECT_THAT(ErrorOf([&] { GetSystemFileVersion(path_); }), missing);
  EXPECT_THAT(ErrorOf([&] { LoadSingleModel(path_, state_); }), missing);
  EXPECT_THAT(ErrorOf([&] { SelectModel(path_, "R1", state_); }), missing);
  std::filesystem::create_directory(path_);
  EXPECT_THAT(ErrorOf([&] { GetSystemFileVersion(path_); }), missing);
}

}  // namespace
}  // namespace quillmap::testing
