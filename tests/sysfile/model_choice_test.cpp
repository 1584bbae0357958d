#include "sysfile/model_choice.h"

#include "sysfile/system_file.h"
#include "sysfile_fixture.h"

namespace quillmap::testing {
namespace {

using ::testing::ElementsAre;

class ModelChoiceTest : public SystemFileTest {
 protected:
  void SetUp() override {
    SystemFileTest::SetUp();
    Write(Header(2, 3) + Record("R1", {1000}) + Record("R2", {2000}) + Record("Vx", {3000}));
  }

  // Runs the choice with a dialog that picks `pick`, or declines when it is null.
  void Choose(const std::string& argument, const char* pick = nullptr) {
    ChooseModel(path_, argument, state_, [&] {
      ++dialogs_;
      if (pick) SelectModel(path_, pick, state_);
    });
  }

  int dialogs_ = 0;
};

TEST_F(ModelChoiceTest, SingleModelFileIgnoresTheArgument) {
  // A count of 1 over 40 bytes: reading it as a table would fail.
  Write(Header(1, 1) + Bounds({1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000}));
  Choose("R1", "R1");
  EXPECT_EQ(state_.ScannerModel, "R7720C");
  EXPECT_EQ(state_.Limits.MinHeight, 8.0);
  EXPECT_EQ(dialogs_, 0);
}

TEST_F(ModelChoiceTest, ListedArgumentIsSelectedWithoutTheDialog) {
  for (const char* argument : {"R2", "r2"}) {
    state_ = ScannerState();
    Choose(argument);
    EXPECT_EQ(state_.ScannerModel, "R2");
    EXPECT_EQ(state_.Limits.MinX, 2.0);
    EXPECT_THAT(state_.ModelList, ElementsAre("R1", "R2", "Vx"));
  }
  EXPECT_EQ(dialogs_, 0);
}

TEST_F(ModelChoiceTest, UnlistedArgumentAsksTheUser) {
  // Blanks are kept, and a stored lower-case name cannot be reached from the command line.
  for (const char* argument : {"R9", " R2", "", "vx"}) {
    state_ = ScannerState();
    Choose(argument, "Vx");
    EXPECT_EQ(state_.ScannerModel, "Vx") << argument;
    EXPECT_EQ(state_.Limits.MinX, 3.0);
  }
  EXPECT_EQ(dialogs_, 4);
}

TEST_F(ModelChoiceTest, DecliningTheDialogLeavesNoModel) {
  Choose("R9");
  EXPECT_EQ(dialogs_, 1);
  EXPECT_EQ(state_.ScannerModel, "");
  EXPECT_EQ(state_.Limits.MinX, 0.0);
  EXPECT_THAT(state_.ModelList, ElementsAre("R1", "R2", "Vx"));
}

TEST_F(ModelChoiceTest, EmptyArgumentSelectsAModelWithAnEmptyName) {
  Write(Header(2, 2) + Record("R1", {1000}) + Record("  ", {4000}));
  Choose("");
  EXPECT_EQ(dialogs_, 0);
  EXPECT_EQ(state_.Limits.MinX, 4.0);
}

TEST_F(ModelChoiceTest, MissingFileFailsWithoutTheDialog) {
  std::filesystem::remove(path_);
  EXPECT_EQ(ErrorOf([&] { Choose("R1", "R1"); }).first, kErrSystemFile);
  EXPECT_EQ(dialogs_, 0);
}

TEST(UpperCaseTextTest, UpperCasesTheLettersOfWindows1252Only) {
  EXPECT_EQ(UpperCaseText(" r7720c-x "), " R7720C-X ");
  // à é þ ÿ š œ ž up; ÷ ß µ have no upper case there; Ω and a stray byte pass through.
  EXPECT_EQ(UpperCaseText("\xC3\xA0\xC3\xA9\xC3\xBE\xC3\xBF\xC5\xA1\xC5\x93\xC5\xBE"),
            "\xC3\x80\xC3\x89\xC3\x9E\xC5\xB8\xC5\xA0\xC5\x92\xC5\xBD");
  EXPECT_EQ(UpperCaseText("\xC3\xB7\xC3\x9F\xC2\xB5\xCE\xA9\xC3"),
            "\xC3\xB7\xC3\x9F\xC2\xB5\xCE\xA9\xC3");
}

}  // namespace
}  // namespace quillmap::testing
