// quillmap-cli as a user runs it: the built executable on a temporary copy of a data folder, with
// a registry folder of its own. The tests check what the tool adds to the core, whose rules
// tests/regions covers: arguments, exit status, output, messages on stderr, and that its
// changes go through the same rules and reach the file byte for byte.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "regions/startup.h"
#include "settings/registry.h"
#include "settings/temp_folder.h"
#include "sysfile/system_file_writer.h"

extern char** environ;

namespace quillmap {
namespace {

// The text before `marker`, which must be there.
std::string Before(const std::string& text, const std::string& marker) {
  const size_t at = text.find(marker);
  EXPECT_NE(at, std::string::npos) << marker;
  return text.substr(0, at);
}

// `text` as one word of the shell.
std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

struct Result {
  int status = -1;
  std::string out, err;
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The tool must not depend on the locale: none is passed on but what a test names.
    std::vector<std::string> locale;
    for (char** entry = environ; *entry; ++entry) {
      const std::string name = Before(*entry, "=");
      if (name.rfind("LC_", 0) == 0 || name.rfind("LANG", 0) == 0) locale.push_back(name);
    }
    for (const std::string& name : locale) unsetenv(name.c_str());
    WriteBytes(RegionFile(), fixture_);
    WriteSystemFile(folder_.Data(), "models.txt", SystemFileLayout::kModelTable);
  }

  std::string RegionFile() const { return folder_ / "ChipRegions.ini"; }
  static void WriteSystemFile(const std::string& folder, const char* models,
                              SystemFileLayout layout) {
    const std::string text = ReadBytes(std::string(QUILLMAP_CLI_DATA) + "/" + models);
    WriteBytes(folder + "/RegionDB.sys", BuildSystemFile(ParseModelDescriptions(text), layout));
  }
  void SetDefaultRegion(const std::string& name) const {
    WriteRegistryString(registry_, RegistryRoot::kCurrentUser, kScanOptionsKey, kRegionNameValue,
                        name);
  }
  std::string DefaultRegion() const {
    return ReadRegistryString(registry_, RegistryRoot::kCurrentUser, kScanOptionsKey,
                              kRegionNameValue, "(none)");
  }

  // `program` with `args`, the test's registry folder and the `env` settings ("NAME=value ...").
  Result RunProgram(const std::string& program, const std::vector<std::string>& args,
                    const std::string& env = "") const {
    const std::string out = folder_.State() + "/stdout";
    const std::string err = folder_.State() + "/stderr";
    std::string command =
        "env QUILLMAP_REGISTRY=" + Quoted(registry_folder_) + " " + env + " " + Quoted(program);
    for (const std::string& arg : args) command += " " + Quoted(arg);
    const int status = std::system((command + " >" + out + " 2>" + err).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadBytes(out), ReadBytes(err)};
  }
  // quillmap-cli on the test's data folder (options may stand after the command).
  Result Cli(std::vector<std::string> args, const std::string& env = "") const {
    args.insert(args.end(), {"--data-folder", folder_.Data()});
    return RunProgram(QUILLMAP_CLI, args, env);
  }
  // A refusal: exit status 1, `message` alone on stderr, nothing on stdout, the file untouched.
  void ExpectRefused(const std::vector<std::string>& args, const std::string& message) const {
    SCOPED_TRACE(args.front() + " ... " + message);
    const Result r = Cli(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, message + "\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadBytes(RegionFile()), fixture_);
  }
  static std::vector<std::string> Add(const std::string& name, const char* x, const char* width) {
    return {"add", "--model", "VX4400",  "--name", name,       "--x",
            x,     "--y=5",   "--width", width,    "--height", "5"};
  }

  TempFolder folder_;
  const std::string registry_folder_ = folder_.State() + "/registry";
  const RegistryStore registry_{registry_folder_};
  std::string fixture_ = ReadBytes(std::string(QUILLMAP_CLI_DATA) + "/ChipRegions.ini");
};

// --- models, list, check ---------------------------------------------------------------------

TEST_F(CliTest, ModelsListsEveryRecordWithItsBounds) {
  Result r = Cli({"models", "--json"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "[\n"
            "  {\"name\":\"VX4400\",\"min_x\":3,\"min_y\":1,\"max_x\":63,\"max_y\":24,"
            "\"max_width\":60,\"max_height\":23,\"min_width\":1,\"min_height\":1},\n"
            "  {\"name\":\"VX2200e\",\"min_x\":5,\"min_y\":1.25,\"max_x\":45,\"max_y\":23.75,"
            "\"max_width\":36,\"max_height\":20,\"min_width\":2,\"min_height\":2}\n"
            "]\n");
  r = Cli({"models"});
  EXPECT_EQ(r.out,
            "Model     MinX   MinY    MaxX    MaxY  MaxWidth  MaxHeight  MinWidth  MinHeight\n"
            "VX4400   3.000  1.000  63.000  24.000    60.000     23.000     1.000      1.000\n"
            "VX2200e  5.000  1.250  45.000  23.750    36.000     20.000     2.000      2.000\n");
}

// The tool never reads the locale: numbers stay "." in and out, and the file gets the same
// bytes, even where LC_ALL names a comma locale (which need not be installed for that).
const char kCommaLocale[] = "LC_ALL=de_DE.UTF-8 LC_NUMERIC=de_DE.UTF-8 LANG=de_DE.UTF-8";

TEST_F(CliTest, ListMarksTheValuesOutsideTheModelsBounds) {
  Result r = Cli({"list", "--custom-only", "--model", "VX2200e"}, kCommaLocale);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "Scanner VX2200e\n"
            "Section  Custom  Name    X Pos (mm)   Y Pos (mm)   Width (mm)   Height (mm)\n"
            "Region3  YES     Spot A       12.00         3.00        10.00          8.00\n"
            "Region4  YES     Spot B       30.00         5.00        20.00*        10.00\n"
            "* outside the bounds of scanner VX2200e\n");

  // JSON quotes names, and the file's text where no number that a reader can hold stands.
  WriteBytes(RegionFile(), Replaced(Replaced(fixture_, "W=10000", "W=1e400"), "Name=Spot A",
                                    "Name=Spot \"A\"\\"));
  r = Cli({"list", "--json", "--model", "VX2200e", "--custom-only"}, kCommaLocale);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "[\n"
            "  {\"section\":\"Region3\",\"custom\":\"YES\",\"name\":\"Spot \\\"A\\\"\\\\\","
            "\"x\":12.00,\"y\":3.00,\"width\":\"1e400\",\"height\":8.00,\"invalid\":[\"width\"]},\n"
            "  {\"section\":\"Region4\",\"custom\":\"YES\",\"name\":\"Spot B\",\"x\":30.00,"
            "\"y\":5.00,\"width\":20.00,\"height\":10.00,\"invalid\":[\"width\"]}\n"
            "]\n");
  // A table escapes control characters, so that a name breaks neither its lines nor columns.
  WriteBytes(RegionFile(), Replaced(fixture_, "Name=Spot A", std::string("Name=A\tB\0\x1b", 10)));
  EXPECT_NE(Cli({"list", "--model", "VX2200e"}).out.find(" YES     A\\tB\\0\\x1b  "),
            std::string::npos);
}

TEST_F(CliTest, CheckExitStatusFollowsTheRegionsValidity) {
  Result r = Cli({"check", "--model", "VX4400"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Scanner VX4400: 5 regions, all valid\n");
  EXPECT_EQ(r.err, "");

  r = Cli({"check", "--model", "VX2200e"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Before(r.err, "\n"), "Invalid regions are detected for this model of the scanner. ");
  EXPECT_EQ(r.out,
            "Scanner VX2200e: 5 regions, 4 invalid\n"
            "  Region1  Full Slide  x, y, width, height\n"
            "  Region2  Array Area  width, height\n"
            "  Region4  Spot B      width\n"
            "  Region5  Spot C      width\n");

  r = Cli({"check", "--all-models", "--json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "[\n"
            "  {\"model\":\"VX4400\",\"valid\":true,\"invalid_regions\":[]},\n"
            "  {\"model\":\"VX2200e\",\"valid\":false,\"invalid_regions\":["
            "{\"section\":\"Region1\",\"name\":\"Full Slide\",\"invalid\":[\"x\",\"y\",\"width\","
            "\"height\"]},{\"section\":\"Region2\",\"name\":\"Array Area\",\"invalid\":[\"width\","
            "\"height\"]},{\"section\":\"Region4\",\"name\":\"Spot B\",\"invalid\":[\"width\"]},"
            "{\"section\":\"Region5\",\"name\":\"Spot C\",\"invalid\":[\"width\"]}]}\n"
            "]\n");
}

TEST_F(CliTest, TheModelIsNamedOrTheOnlyOneOfTheFile) {
  Result r = Cli({"list"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(Before(r.err, "Usage:"),
            "quillmap-cli: RegionDB.sys holds a table of scanner models; name one with --model:\n"
            "  VX4400\n  VX2200e\n");
  // Upper-cased as the window's command line is.
  EXPECT_EQ(Before(Cli({"list", "--model", "vx4400"}).out, "\n"), "Scanner VX4400");
  r = Cli({"list", "--model", "VX9"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Unable to locate the scan region VX9 in system file (" + folder_.Data() +
                       "/RegionDB.sys)\nThe models of the file are:\n  VX4400\n  VX2200e\n\n");

  WriteSystemFile(folder_.Data(), "single_model.txt", SystemFileLayout::kSingleModel);
  r = Cli({"check"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Scanner R7720C: 5 regions, all valid\n");
}

TEST_F(CliTest, DataFolderComesFromTheRegistryThenTheProgramsFolder) {
  const std::string bin = folder_.State() + "/bin";
  std::filesystem::create_directories(bin);
  std::filesystem::copy_file(QUILLMAP_CLI, bin + "/quillmap-cli");
  auto check = [&] { return RunProgram(bin + "/quillmap-cli", {"check", "--model", "VX4400"}); };
  auto set_path = [&](const std::string& path) {
    WriteRegistryString(registry_, RegistryRoot::kLocalMachine, kMicroarrayKey, kPathValue, path);
  };
  set_path(" " + folder_.Data() + " ");
  EXPECT_EQ(check().status, 0);
  set_path(folder_.State() + "/nowhere");
  EXPECT_EQ(check().err, "Unable to locate " + bin + "/ChipRegions.ini\n");
  WriteBytes(bin + "/ChipRegions.ini", fixture_);
  WriteSystemFile(bin, "models.txt", SystemFileLayout::kModelTable);
  EXPECT_EQ(check().status, 0);
  // A folder named on the command line is taken as it stands, blanks and all.
  EXPECT_EQ(RunProgram(QUILLMAP_CLI, {"models", "--data-folder", folder_.Data() + " "}).err,
            "Unable to locate " + folder_.Data() + " /ChipRegions.ini\n");
}

TEST_F(CliTest, UsageErrorsExitWithTwoAndAShortUsage) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"add", "--name", "N", "--x", "4", "--y", "5", "--width", "5"}, "add needs --height"},
      {Add(std::string(31, 'n'), "4", "5"), "--name takes at most 30 characters"},
      {{"list", "--width", "5"}, "--width does not apply to list"},
      {{"list", "--json=yes"}, "--json takes no value"},
      {{"delete"}, "delete needs at least one REGION"},
      {{"rename", "Region3"}, "unknown command 'rename'"},
      {{"check", "--all-models", "--model", "VX4400"},
       "--all-models and --model exclude each other"},
  };
  for (const auto& [args, first_line] : cases) {
    const Result r = Cli(args);
    EXPECT_EQ(r.status, 2) << first_line;
    EXPECT_EQ(Before(r.err, "\n"), "quillmap-cli: " + first_line);
    EXPECT_NE(r.err.find("\nUsage: quillmap-cli "), std::string::npos) << r.err;
  }
  EXPECT_EQ(ReadBytes(RegionFile()), fixture_);

  // The help of the program and of each command starts with its usage line.
  EXPECT_EQ(Before(Cli({"--help"}).out, "\n"),
            "Usage: quillmap-cli [--data-folder DIR] [--model NAME] COMMAND [ARGS]");
  const Result r = Cli({"modify", "--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Before(r.out, "\n"),
            "Usage: quillmap-cli [--data-folder DIR] [--model NAME] modify "
            "REGION [--name N] [--x X] [--y Y] [--width W] [--height H]");
}

// --- add, modify, delete ----------------------------------------------------------------------

TEST_F(CliTest, AddWritesTheRegionAsTheWindowDoes) {
  const Result r = Cli(Add(" Left half ", "12.345", "20"), kCommaLocale);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Added Region6: Left half\n");
  // X keeps two decimals as its box does; AFX is the rounded X less 1.5.
  EXPECT_EQ(ReadBytes(RegionFile()),
            Replaced(fixture_, "NumRegions=5", "NumRegions=6") +
                Crlf("[Region6]\nType=CustomerSlide5\nName=Left half\nCustom=YES\nX=0\nY=0\n"
                     "W=20000\nH=5000\n\n[CustomerSlide5]\nX=12340\nY=5000\nAFX=10500\n"
                     "AFY=5000\nPKG=5\n\n"));
}

// The edit dialog's rules and messages, with the tool's own reading of the values.
TEST_F(CliTest, ChangesRefuseWithTheEditDialogsMessages) {
  // A comma is no decimal separator here, whatever the locale.
  ExpectRefused(Add("N", "4,5", "5"), "Please enter a valid X position");
  // The largest width follows from X: 63 - 50.
  ExpectRefused(Add("N", "50", "13.02"), "Width must be between 1.00 and 13.00");
  ExpectRefused(Add("spot a", "4", "5"),
                "This region name already exists. Please rename your region.");
  ExpectRefused({"modify", "full slide", "--model", "VX4400", "--width", "5"},
                "Cannot modify Velmora supplied regions Full Slide");
  ExpectRefused({"modify", "Region9", "--model", "VX4400"},
                "No region has the name or section Region9");
  std::filesystem::permissions(RegionFile(), std::filesystem::perms::owner_read);
  for (const std::vector<std::string>& args :
       {Add("N", "4", "5"),
        {"modify", "Region3", "--model", "VX4400", "--width", "9"},
        {"delete", "Region3"}}) {
    ExpectRefused(args, "Unable to open readonly file ");
  }
}

TEST_F(CliTest, ModifyKeepsWhatIsNotGivenAndTheDefaultRegionNameInStep) {
  SetDefaultRegion("Spot B");
  Result r = Cli({"modify", "spot b", "--model", "VX4400", "--width", "15", "--name", "Spot Z"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Modified Region4: Spot Z\n");
  EXPECT_EQ(DefaultRegion(), "Spot Z");
  const std::string modified =
      Replaced(Replaced(fixture_, "W=20000", "W=15000"), "Name=Spot B", "Name=Spot Z");
  EXPECT_EQ(ReadBytes(RegionFile()), modified);

  r = Cli({"modify", "Region4", "--model", "VX4400", "--width", "15.00"});
  EXPECT_EQ(r.out, "Unchanged Region4: Spot Z\n");
  EXPECT_EQ(Cli({"modify", "Region3", "--model", "VX4400", "--name", "Spot Y"}).status, 0);
  EXPECT_EQ(DefaultRegion(), "Spot Z");
  EXPECT_EQ(ReadBytes(RegionFile()), Replaced(modified, "Name=Spot A", "Name=Spot Y"));

  fixture_ = Replaced(ReadBytes(RegionFile()), "Name=Spot C", "Name=SPOT Y");
  WriteBytes(RegionFile(), fixture_);
  ExpectRefused({"modify", "spot y", "--model", "VX4400"},
                "spot y names several regions: Region3, Region5");
}

TEST_F(CliTest, DeleteWorksUpwardsRenumbersAndStopsAtASuppliedRegion) {
  SetDefaultRegion("Spot A");
  Result r = Cli({"delete", "spot a", "Region5"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Deleted Region5: Spot C\nDeleted Region3: Spot A\n");
  const std::string deleted =
      Replaced(Before(fixture_, "[Region3]"), "NumRegions=5", "NumRegions=3") +
      Crlf(
          "[Region3]\nType=CustomerSlide2\nName=Spot B\nCustom=YES\nX=0\nY=0\nW=20000\n"
          "H=10000\n\n[CustomerSlide2]\nX=30000\nY=5000\nAFX=28500\nAFY=5000\nPKG=5\n\n");
  EXPECT_EQ(ReadBytes(RegionFile()), deleted);
  // The supplied default region, named by [VelmoraDefault].
  EXPECT_EQ(DefaultRegion(), "Full Slide");

  // What was deleted before the supplied region stays deleted.
  r = Cli({"delete", "Region2", "Spot B"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Deleted Region3: Spot B\n");
  EXPECT_EQ(r.err, "Cannot delete Velmora supplied region Array Area\n");
  EXPECT_EQ(ReadBytes(RegionFile()),
            Replaced(Before(deleted, "[Region3]"), "NumRegions=3", "NumRegions=2"));
  EXPECT_EQ(DefaultRegion(), "Full Slide");
}

}  // namespace
}  // namespace quillmap
