// quillmap-cli as a user runs it: the built executable on a temporary copy of a data folder, with
// a registry folder of its own. The core's rules have their tests in tests/regions; these check
// what the tool adds: commands, options, output, messages on stderr, exit status, and that its
// changes reach the file and the registry.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "regions/region_commands.h"
#include "regions/region_file.h"
#include "regions/startup.h"
#include "settings/registry.h"
#include "settings/temp_folder.h"
#include "support/run_cli.h"
#include "sysfile/system_file_writer.h"

namespace quillmap {
namespace {

using testing::CliResult;

// The text before `marker`, which must be there.
std::string Before(const std::string& text, const std::string& marker) {
  const size_t at = text.find(marker);
  EXPECT_NE(at, std::string::npos) << marker;
  return text.substr(0, at);
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUILLMAP_REGISTRY", (folder_.State() + "/registry").c_str(), 1);
    WriteBytes(RegionFile(), fixture_);
    WriteSystemFile("models.txt", SystemFileLayout::kModelTable);
  }

  std::string RegionFile() const { return folder_ / kRegionFileName; }
  void WriteSystemFile(const char* models, SystemFileLayout layout) const {
    const std::string text = ReadBytes(std::string(QUILLMAP_CLI_DATA) + "/" + models);
    WriteBytes(folder_ / kSystemFileName, BuildSystemFile(ParseModelDescriptions(text), layout));
  }
  std::string DefaultRegion() const {
    return ReadRegistryString(registry_, RegistryRoot::kCurrentUser, kScanOptionsKey,
                              kRegionNameValue, "(none)");
  }
  std::string Names() const {
    std::string names;
    for (const RegionRow& row : LoadRegionList(RegionFile(), false, ModelLimits(), '.').rows)
      names += row.cells[kColumnName] + "|";
    return names;
  }

  CliResult Run(const std::string& program, const std::vector<std::string>& args) const {
    // The tool must not read the locale: LC_ALL, which overrides every other locale setting,
    // names one with a decimal comma (which need not be installed for that).
    return testing::RunProgram(program, args, folder_.State(), "LC_ALL=de_DE.UTF-8");
  }
  // quillmap-cli on the test's data folder (options may stand after the command).
  CliResult Cli(std::vector<std::string> args) const {
    args.insert(args.end(), {"--data-folder", folder_.Data()});
    return Run(QUILLMAP_CLI, args);
  }
  TempFolder folder_;
  const RegistryStore registry_{folder_.State() + "/registry"};
  std::string fixture_ = ReadBytes(std::string(QUILLMAP_CLI_DATA) + "/ChipRegions.ini");
};

TEST_F(CliTest, EachCommandAnswersWithItsOutputMessageAndExitStatus) {
  const std::string invalid =
      std::regex_replace(std::string(kInvalidRegionsMessage), std::regex("\r\n"), "\n") + "\n";
  const struct {
    std::string args;
    int status;
    std::string out, err;
  } cases[] = {
      {"models --json", 0,
       "[\n"
       "  {\"name\":\"VX4400\",\"min_x\":3,\"min_y\":1,\"max_x\":63,\"max_y\":24,"
       "\"max_width\":60,\"max_height\":23,\"min_width\":1,\"min_height\":1},\n"
       "  {\"name\":\"VX2200e\",\"min_x\":5,\"min_y\":1.25,\"max_x\":45,\"max_y\":23.75,"
       "\"max_width\":36,\"max_height\":20,\"min_width\":2,\"min_height\":2}\n"
       "]\n",
       ""},
      {"models", 0,
       "Model     MinX   MinY    MaxX    MaxY  MaxWidth  MaxHeight  MinWidth  MinHeight\n"
       "VX4400   3.000  1.000  63.000  24.000    60.000     23.000     1.000      1.000\n"
       "VX2200e  5.000  1.250  45.000  23.750    36.000     20.000     2.000      2.000\n",
       ""},
      {"list --custom-only --model VX2200e", 0,
       "Scanner VX2200e\n"
       "Section  Custom  Name    X Pos (mm)   Y Pos (mm)   Width (mm)   Height (mm)\n"
       "Region3  YES     Spot A       12.00         3.00        10.00          8.00\n"
       "Region4  YES     Spot B       30.00         5.00        20.00*        10.00\n"
       "* outside the bounds of scanner VX2200e\n",
       ""},
      // The model is upper-cased as the window's command line is.
      {"check --model vx4400", 0, "Scanner VX4400: 5 regions, all valid\n", ""},
      {"check --model VX2200e", 1,
       "Scanner VX2200e: 5 regions, 4 invalid\n"
       "  Region1  Full Slide  x, y, width, height\n"
       "  Region2  Array Area  width, height\n"
       "  Region4  Spot B      width\n"
       "  Region5  Spot C      width\n",
       invalid},
      {"check --all-models --json", 1,
       "[\n"
       "  {\"model\":\"VX4400\",\"valid\":true,\"invalid_regions\":[]},\n"
       "  {\"model\":\"VX2200e\",\"valid\":false,\"invalid_regions\":["
       "{\"section\":\"Region1\",\"name\":\"Full Slide\",\"invalid\":[\"x\",\"y\",\"width\","
       "\"height\"]},{\"section\":\"Region2\",\"name\":\"Array Area\",\"invalid\":[\"width\","
       "\"height\"]},{\"section\":\"Region4\",\"name\":\"Spot B\",\"invalid\":[\"width\"]},"
       "{\"section\":\"Region5\",\"name\":\"Spot C\",\"invalid\":[\"width\"]}]}\n"
       "]\n",
       invalid},
      {"list --model VX9", 1, "",
       "Unable to locate the scan region VX9 in system file (" + folder_.Data() +
           "/RegionDB.sys)\nThe models of the file are:\n  VX4400\n  VX2200e\n\n"},
      {"modify region1 --model VX4400 --width 5", 1, "",
       "Cannot modify Velmora supplied regions Full Slide\n"},
      {"delete Region9", 1, "", "No region has the name or section Region9\n"},
      // A comma is no decimal separator here, whatever the locale; the largest width follows
      // from X: 63 - 50.
      {"add --model VX4400 --name N --x 4,5 --y=5 --width 5 --height 5", 1, "",
       "Please enter a valid X position\n"},
      {"add --model VX4400 --name N --x 50 --y=5 --width 13.02 --height 5", 1, "",
       "Width must be between 1.00 and 13.00\n"},
      // Usage errors: what comes before the short usage.
      {"list", 2, "",
       "RegionDB.sys holds a table of scanner models; name one with --model:\n  VX4400\n  "
       "VX2200e\n"},
      {"add --name N --x 4 --y 5 --width 5", 2, "", "add needs --height\n"},
      {"add --name " + std::string(31, 'n') + " --x 4 --y 5 --width 5 --height 5", 2, "",
       "--name takes at most 30 characters\n"},
      {"list --width 5", 2, "", "--width does not apply to list\n"},
      {"list --json=yes", 2, "", "--json takes no value\n"},
      {"delete", 2, "", "delete needs at least one REGION\n"},
      {"rename Region3", 2, "", "unknown command 'rename'\n"},
      {"check --all-models --model VX4400", 2, "", "--all-models and --model exclude each other\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    std::istringstream words(c.args);
    const CliResult r = Cli({std::istream_iterator<std::string>(words), {}});
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(c.status == 2 ? Before(r.err, "Usage: quillmap-cli ") : r.err,
              (c.status == 2 ? "quillmap-cli: " : "") + c.err);
  }
  EXPECT_EQ(ReadBytes(RegionFile()), fixture_);

  // The help of the program and of each command starts with its usage line.
  EXPECT_EQ(Before(Cli({"--help"}).out, "\n"),
            "Usage: quillmap-cli [--data-folder DIR] [--model NAME] COMMAND [ARGS]");
  const CliResult r = Cli({"modify", "--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Before(r.out, "\n"),
            "Usage: quillmap-cli [--data-folder DIR] [--model NAME] modify "
            "REGION [--name N] [--x X] [--y Y] [--width W] [--height H]");
}

TEST_F(CliTest, ListQuotesUnreadableNumbersAndEscapesControlCharacters) {
  WriteBytes(RegionFile(), Replaced(Replaced(fixture_, "W=10000", "W=1e400"), "Name=Spot A",
                                    "Name=Spot \"A\"\\"));
  EXPECT_EQ(Cli({"list", "--json", "--model", "VX2200e", "--custom-only"}).out,
            "[\n"
            "  {\"section\":\"Region3\",\"custom\":\"YES\",\"name\":\"Spot \\\"A\\\"\\\\\","
            "\"x\":12.00,\"y\":3.00,\"width\":\"1e400\",\"height\":8.00,\"invalid\":[\"width\"]},\n"
            "  {\"section\":\"Region4\",\"custom\":\"YES\",\"name\":\"Spot B\",\"x\":30.00,"
            "\"y\":5.00,\"width\":20.00,\"height\":10.00,\"invalid\":[\"width\"]}\n"
            "]\n");
  // So that a name breaks neither the table's lines nor its columns.
  WriteBytes(RegionFile(), Replaced(fixture_, "Name=Spot A", std::string("Name=A\tB\0\x1b", 10)));
  EXPECT_NE(Cli({"list", "--model", "VX2200e"}).out.find(" YES     A\\tB\\0\\x1b  "),
            std::string::npos);
  // A single-model file needs no --model.
  WriteSystemFile("single_model.txt", SystemFileLayout::kSingleModel);
  EXPECT_EQ(Cli({"check"}).out, "Scanner R7720C: 5 regions, all valid\n");
}

TEST_F(CliTest, DataFolderComesFromTheRegistryThenTheProgramsFolder) {
  const std::string bin = folder_.State() + "/bin";
  std::filesystem::create_directories(bin);
  std::filesystem::copy_file(QUILLMAP_CLI, bin + "/quillmap-cli");
  auto check = [&] { return Run(bin + "/quillmap-cli", {"check", "--model", "VX4400"}); };
  auto set_path = [&](const std::string& path) {
    WriteRegistryString(registry_, RegistryRoot::kLocalMachine, kMicroarrayKey, kPathValue, path);
  };
  set_path(" " + folder_.Data() + " ");
  EXPECT_EQ(check().status, 0);
  set_path(folder_.State() + "/nowhere");
  EXPECT_EQ(check().err, "Unable to locate " + bin + "/ChipRegions.ini\n");
  // A folder named on the command line is taken as it stands, blanks and all.
  EXPECT_EQ(Run(QUILLMAP_CLI, {"models", "--data-folder", folder_.Data() + " "}).err,
            "Unable to locate " + folder_.Data() + " /ChipRegions.ini\n");
}

TEST_F(CliTest, ChangesReachTheFileAndTheDefaultRegionName) {
  std::vector<std::string> add = {"add",    "--model", "VX4400",  "--name", " Left half ", "--x",
                                  "12.345", "--y=5",   "--width", "20",     "--height",    "5"};
  EXPECT_EQ(Cli(add).out, "Added Region6: Left half\n");
  // X keeps two decimals as its box does; AFX is the rounded X less 1.5.
  EXPECT_EQ(ReadBytes(RegionFile()),
            Replaced(fixture_, "NumRegions=5", "NumRegions=6") +
                Crlf("[Region6]\nType=CustomerSlide5\nName=Left half\nCustom=YES\nX=0\nY=0\n"
                     "W=20000\nH=5000\n\n[CustomerSlide5]\nX=12340\nY=5000\nAFX=10500\n"
                     "AFY=5000\nPKG=5\n\n"));
  WriteBytes(RegionFile(), fixture_);

  // Modify keeps what is not given, and the default region's name follows its new name.
  WriteDefaultRegionName(registry_, "Spot B");
  EXPECT_EQ(Cli({"modify", "spot b", "--model", "VX4400", "--width", "15", "--name", "Spot Z"}).out,
            "Modified Region4: Spot Z\n");
  EXPECT_EQ(DefaultRegion(), "Spot Z");
  EXPECT_EQ(ReadBytes(RegionFile()),
            Replaced(Replaced(fixture_, "W=20000", "W=15000"), "Name=Spot B", "Name=Spot Z"));
  EXPECT_EQ(Cli({"modify", "Region4", "--model", "VX4400", "--width", "15.00"}).out,
            "Unchanged Region4: Spot Z\n");

  // Delete works upwards, stops at a supplied region, and keeps what it deleted before.
  WriteDefaultRegionName(registry_, "Spot A");
  EXPECT_EQ(Cli({"delete", "spot a", "Region5"}).out,
            "Deleted Region5: Spot C\nDeleted Region3: Spot A\n");
  EXPECT_EQ(Names(), "Full Slide|Array Area|Spot Z|");
  EXPECT_EQ(DefaultRegion(), "Full Slide");  // the supplied default region
  CliResult r = Cli({"delete", "Region2", "Spot Z"});
  EXPECT_EQ(std::tie(r.status, r.out, r.err),
            std::make_tuple(1, "Deleted Region3: Spot Z\n",
                            "Cannot delete Velmora supplied region Array Area\n"));
  EXPECT_EQ(Names(), "Full Slide|Array Area|");

  // Refusals: exit status 1, the message alone on stderr, the file untouched.
  fixture_ = Replaced(fixture_, "Name=Spot C", "Name=SPOT a");
  WriteBytes(RegionFile(), fixture_);
  r = Cli({"delete", "spot a"});
  EXPECT_EQ(std::tie(r.status, r.out, r.err),
            std::make_tuple(1, "", "spot a names several regions: Region3, Region5\n"));
  std::filesystem::permissions(RegionFile(), std::filesystem::perms::owner_read);
  add[4] = "N";
  for (const std::vector<std::string>& args :
       {add, {"modify", "Region3", "--model", "VX4400", "--width", "9"}, {"delete", "Region3"}}) {
    r = Cli(args);
    EXPECT_EQ(std::tie(r.status, r.out, r.err),
              std::make_tuple(1, "", "Unable to open readonly file \n"));
  }
  EXPECT_EQ(ReadBytes(RegionFile()), fixture_);
}

}  // namespace
}  // namespace quillmap
