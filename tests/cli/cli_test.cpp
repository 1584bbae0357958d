// quillmap-cli as a user runs it: the built executable on a temporary copy of a data folder, with
// a registry folder of its own. Each test checks stdout, stderr, the exit status and the region
// file byte for byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "regions/startup.h"
#include "settings/registry.h"
#include "sysfile/system_file_writer.h"

extern char** environ;

namespace quillmap {
namespace {

namespace fs = std::filesystem;

constexpr const char* kInvalidRegions =
    "Invalid regions are detected for this model of the scanner. \n"
    "These could be valid regions for different models of the scanner. \n"
    "Invalid regions will be rejected by this model until they are fixed.\n";

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// The text before `marker`, which must be there.
std::string Before(const std::string& text, const std::string& marker) {
  const size_t at = text.find(marker);
  EXPECT_NE(at, std::string::npos) << marker;
  return text.substr(0, at);
}

std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quillmap-cli-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    data_ = root_ + "/data";
    fs::create_directories(data_);
    fs::create_directories(root_ + "/registry");
    fixture_ = ReadBytes(std::string(QUILLMAP_CLI_DATA) + "/ChipRegions.ini");
    ASSERT_FALSE(fixture_.empty());
    WriteBytes(RegionFile(), fixture_);
    WriteSystemFile(data_, "models.txt", SystemFileLayout::kModelTable);
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string RegionFile() const { return data_ + "/ChipRegions.ini"; }

  static void WriteSystemFile(const std::string& folder, const char* models,
                              SystemFileLayout layout) {
    const std::string text = ReadBytes(std::string(QUILLMAP_CLI_DATA) + "/" + models);
    WriteBytes(folder + "/RegionDB.sys", BuildSystemFile(ParseModelDescriptions(text), layout));
  }

  RegistryStore Registry() const { return RegistryStore(root_ + "/registry"); }
  void SetDefaultRegion(const std::string& name) const {
    WriteRegistryString(Registry(), RegistryRoot::kCurrentUser, kScanOptionsKey, kRegionNameValue,
                        name);
  }
  std::string DefaultRegion() const {
    return ReadRegistryString(Registry(), RegistryRoot::kCurrentUser, kScanOptionsKey,
                              kRegionNameValue, "(none)");
  }

  // The program with `args` as given; the environment loses every locale setting and gets the
  // test's registry folder, then `extra_env`.
  Result RunProgram(const std::string& program, std::vector<std::string> args,
                    const std::vector<std::string>& extra_env = {}) const {
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry) {
      const std::string text = *entry;
      if (text.rfind("QUILLMAP_REGISTRY=", 0) == 0 || text.rfind("LC_", 0) == 0 ||
          text.rfind("LANG", 0) == 0) {
        continue;
      }
      env.push_back(text);
    }
    env.push_back("QUILLMAP_REGISTRY=" + root_ + "/registry");
    env.insert(env.end(), extra_env.begin(), extra_env.end());
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    std::vector<char*> envp;
    for (std::string& a : args) argv.push_back(a.data());
    for (std::string& e : env) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    const std::string out_path = root_ + "/stdout";
    const std::string err_path = root_ + "/stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid;
    const int started =
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    Result result;
    if (started != 0) {
      ADD_FAILURE() << "cannot start " << program;
      return result;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadBytes(out_path);
    result.err = ReadBytes(err_path);
    return result;
  }

  // quillmap-cli on the test's data folder (options may stand after the command).
  Result Cli(std::vector<std::string> args, const std::vector<std::string>& extra_env = {}) const {
    args.insert(args.end(), {"--data-folder", data_});
    return RunProgram(QUILLMAP_CLI, std::move(args), extra_env);
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

  std::string root_;
  std::string data_;
  std::string fixture_;
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

TEST_F(CliTest, ListMarksTheValuesOutsideTheModelsBounds) {
  Result r = Cli({"list", "--json", "--model", "VX2200e"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "[\n"
            "  {\"section\":\"Region1\",\"custom\":\"NO\",\"name\":\"Full Slide\",\"x\":3.00,"
            "\"y\":1.00,\"width\":60.00,\"height\":23.00,\"invalid\":[\"x\",\"y\",\"width\","
            "\"height\"]},\n"
            "  {\"section\":\"Region2\",\"custom\":\"NO\",\"name\":\"Array Area\",\"x\":10.00,"
            "\"y\":1.50,\"width\":50.00,\"height\":22.00,\"invalid\":[\"width\",\"height\"]},\n"
            "  {\"section\":\"Region3\",\"custom\":\"YES\",\"name\":\"Spot A\",\"x\":12.00,"
            "\"y\":3.00,\"width\":10.00,\"height\":8.00,\"invalid\":[]},\n"
            "  {\"section\":\"Region4\",\"custom\":\"YES\",\"name\":\"Spot B\",\"x\":30.00,"
            "\"y\":5.00,\"width\":20.00,\"height\":10.00,\"invalid\":[\"width\"]},\n"
            "  {\"section\":\"Region5\",\"custom\":\"yes\",\"name\":\"Spot C\",\"x\":40.00,"
            "\"y\":12.00,\"width\":20.50,\"height\":6.00,\"invalid\":[\"width\"]}\n"
            "]\n");

  r = Cli({"list", "--custom-only", "--model", "VX2200e"});
  EXPECT_EQ(r.out,
            "Scanner VX2200e\n"
            "Section  Custom  Name    X Pos (mm)   Y Pos (mm)   Width (mm)   Height (mm)\n"
            "Region3  YES     Spot A       12.00         3.00        10.00          8.00\n"
            "Region4  YES     Spot B       30.00         5.00        20.00*        10.00\n"
            "* outside the bounds of scanner VX2200e\n");
}

TEST_F(CliTest, ListGivesTheFilesTextWhereNoNumberStandsAndQuotesNames) {
  WriteBytes(RegionFile(),
             Replaced(Replaced(fixture_, "W=10000", "W=abc"), "Name=Spot A", "Name=Spot \"A\"\\"));
  const Result r = Cli({"list", "--json", "--model", "VX4400", "--custom-only"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(
      r.out.find("{\"section\":\"Region3\",\"custom\":\"YES\",\"name\":\"Spot \\\"A\\\"\\\\\","
                 "\"x\":12.00,\"y\":3.00,\"width\":\"abc\",\"height\":8.00,"
                 "\"invalid\":[\"width\"]},\n"),
      std::string::npos)
      << r.out;
}

TEST_F(CliTest, CheckExitStatusFollowsTheRegionsValidity) {
  Result r = Cli({"check", "--model", "VX4400"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Scanner VX4400: 5 regions, all valid\n");
  EXPECT_EQ(r.err, "");

  r = Cli({"check", "--model", "VX2200e"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, kInvalidRegions);
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
  r = Cli({"list", "--model", "vx4400"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Before(r.out, "\n"), "Scanner VX4400");

  r = Cli({"list", "--model", "VX9"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Unable to locate the scan region VX9 in system file (" + data_ +
                       "/RegionDB.sys)\nThe models of the file are:\n  VX4400\n  VX2200e\n\n");

  WriteSystemFile(data_, "single_model.txt", SystemFileLayout::kSingleModel);
  r = Cli({"check"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Scanner R7720C: 5 regions, all valid\n");
}

// --- the data folder ---------------------------------------------------------------------------

TEST_F(CliTest, DataFolderComesFromTheRegistryThenTheProgramsFolder) {
  const std::string bin = root_ + "/bin";
  fs::create_directories(bin);
  const std::string program = bin + "/quillmap-cli";
  fs::copy_file(QUILLMAP_CLI, program);

  WriteRegistryString(Registry(), RegistryRoot::kLocalMachine, kMicroarrayKey, kPathValue,
                      " " + data_ + " ");
  Result r = RunProgram(program, {"check", "--model", "VX4400"});
  EXPECT_EQ(r.status, 0) << r.err;

  WriteRegistryString(Registry(), RegistryRoot::kLocalMachine, kMicroarrayKey, kPathValue,
                      root_ + "/nowhere");
  r = RunProgram(program, {"check", "--model", "VX4400"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Unable to locate " + bin + "/ChipRegions.ini\n");

  WriteBytes(bin + "/ChipRegions.ini", fixture_);
  r = RunProgram(program, {"check", "--model", "VX4400"});
  EXPECT_EQ(r.err, "Unable to locate " + bin + "/RegionDB.sys\n");

  WriteSystemFile(bin, "models.txt", SystemFileLayout::kModelTable);
  r = RunProgram(program, {"check", "--model", "VX4400"});
  EXPECT_EQ(r.status, 0) << r.err;

  r = RunProgram(program, {"models", "--data-folder", root_ + "/nowhere"});
  EXPECT_EQ(r.err, "Unable to locate " + root_ + "/nowhere/ChipRegions.ini\n");
}

// --- add ----------------------------------------------------------------------------------------

TEST_F(CliTest, AddWritesTheRegionAsTheWindowDoes) {
  const Result r = Cli({"add", "--model", "VX4400", "--name", " Left half ", "--x", "12.345", "--y",
                        "5", "--width", "20", "--height", " 7.5"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Added Region6: Left half\n");
  // X keeps two decimals as its box does; AFX is the rounded X less 1.5.
  EXPECT_EQ(ReadBytes(RegionFile()),
            Replaced(fixture_, "NumRegions=5", "NumRegions=6") +
                Crlf("[Region6]\nType=CustomerSlide5\nName=Left half\nCustom=YES\nX=0\nY=0\n"
                     "W=20000\nH=7500\n\n[CustomerSlide5]\nX=12340\nY=5000\nAFX=10500\n"
                     "AFY=5000\nPKG=5\n\n"));
}

TEST_F(CliTest, AddRefusesWithTheEditDialogsMessages) {
  const struct {
    std::vector<std::string> values;
    std::string message;
  } cases[] = {
      {{"--name", "  ", "--x", "4", "--y", "5", "--width", "5", "--height", "5"},
       "Please enter a valid Name"},
      {{"--name", "N", "--x", "4", "--y", "5", "--width", "5", "--height", "-"},
       "Please enter a valid height"},
      // A comma is no decimal separator here, whatever the locale.
      {{"--name", "N", "--x", "4,5", "--y", "5", "--width", "5", "--height", "5"},
       "Please enter a valid X position"},
      {{"--name", "N", "--x", "2.98", "--y", "5", "--width", "5", "--height", "5"},
       "X coordinate must be between 3.00 and 62.00"},
      // The largest width follows from X: 63 - 50.
      {{"--name", "N", "--x", "50", "--y", "5", "--width", "13.02", "--height", "5"},
       "Width must be between 1.00 and 13.00"},
      {{"--name", "N", "--x", "4", "--y", "20", "--width", "5", "--height", "4.5"},
       "Height must be between 1.00 and 4.00"},
      {{"--name", "spot a", "--x", "4", "--y", "5", "--width", "5", "--height", "5"},
       "This region name already exists. Please rename your region."},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"add", "--model", "VX4400"};
    args.insert(args.end(), c.values.begin(), c.values.end());
    ExpectRefused(args, c.message);
  }
}

TEST_F(CliTest, EveryChangeRefusesAReadOnlyFile) {
  fs::permissions(RegionFile(), fs::perms::owner_read | fs::perms::group_read);
  ExpectRefused({"add", "--model", "VX4400", "--name", "N", "--x", "4", "--y", "5", "--width", "5",
                 "--height", "5"},
                "Unable to open readonly file ");
  ExpectRefused({"modify", "Region3", "--model", "VX4400", "--width", "9"},
                "Unable to open readonly file ");
  ExpectRefused({"delete", "Region3"}, "Unable to open readonly file ");
}

TEST_F(CliTest, UsageErrorsExitWithTwoAndAShortUsage) {
  const struct {
    std::vector<std::string> args;
    std::string first_line;
  } cases[] = {
      {{"add", "--name", "N", "--x", "4", "--y", "5", "--width", "5"}, "add needs --height"},
      {{"add", "--name", std::string(31, 'n'), "--x", "4", "--y", "5", "--width", "5", "--height",
        "5"},
       "--name takes at most 30 characters"},
      {{"list", "--width", "5"}, "--width does not apply to list"},
      {{"delete"}, "delete needs at least one REGION"},
      {{"rename", "Region3"}, "unknown command 'rename'"},
      {{"check", "--all-models", "--model", "VX4400"},
       "--all-models and --model exclude each other"},
  };
  for (const auto& c : cases) {
    const Result r = Cli(c.args);
    EXPECT_EQ(r.status, 2) << c.first_line;
    EXPECT_EQ(Before(r.err, "\n"), "quillmap-cli: " + c.first_line);
    EXPECT_NE(r.err.find("\nUsage: quillmap-cli "), std::string::npos) << r.err;
  }
  EXPECT_EQ(ReadBytes(RegionFile()), fixture_);

  // Each command's help starts with its own usage line.
  for (const char* synopsis :
       {"models [--json]", "list [--custom-only] [--json]", "check [--all-models] [--json]",
        "add --name N --x X --y Y --width W --height H",
        "modify REGION [--name N] [--x X] [--y Y] [--width W] [--height H]", "delete REGION..."}) {
    const std::string command = Before(std::string(synopsis) + " ", " ");
    const Result r = Cli({command, "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Before(r.out, "\n"),
              std::string("Usage: quillmap-cli [--data-folder DIR] [--model NAME] ") + synopsis);
  }
}

// --- modify -------------------------------------------------------------------------------------

TEST_F(CliTest, ModifyRewritesTheRegionWithTheValuesNotGivenKept) {
  Result r = Cli({"modify", "spot b", "--model", "VX4400", "--width", "15"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Modified Region4: Spot B\n");
  const std::string modified = Replaced(fixture_, "W=20000", "W=15000");
  EXPECT_EQ(ReadBytes(RegionFile()), modified);

  r = Cli({"modify", "Region4", "--model", "VX4400", "--width", "15.00"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Unchanged Region4: Spot B\n");
  EXPECT_EQ(ReadBytes(RegionFile()), modified);
}

TEST_F(CliTest, ModifyKeepsTheDefaultRegionNameInStep) {
  SetDefaultRegion("Spot B");
  EXPECT_EQ(Cli({"modify", "Region3", "--model", "VX4400", "--name", "Spot Y"}).status, 0);
  EXPECT_EQ(DefaultRegion(), "Spot B");
  EXPECT_EQ(Cli({"modify", "Region4", "--model", "VX4400", "--name", "Spot Z"}).status, 0);
  EXPECT_EQ(DefaultRegion(), "Spot Z");
  EXPECT_EQ(ReadBytes(RegionFile()), Replaced(Replaced(fixture_, "Name=Spot A", "Name=Spot Y"),
                                              "Name=Spot B", "Name=Spot Z"));
}

TEST_F(CliTest, ModifyRefusesSuppliedUnknownAndAmbiguousRegions) {
  ExpectRefused({"modify", "full slide", "--model", "VX4400", "--width", "5"},
                "Cannot modify Velmora supplied regions Full Slide");
  ExpectRefused({"modify", "Region9", "--model", "VX4400"},
                "No region has the name or section Region9");
  ExpectRefused({"modify", "Region3", "--model", "VX4400", "--name", "SPOT B"},
                "This region name already exists. Please rename your region.");
  fixture_ = Replaced(fixture_, "Name=Spot C", "Name=SPOT A");
  WriteBytes(RegionFile(), fixture_);
  ExpectRefused({"modify", "spot a", "--model", "VX4400"},
                "spot a names several regions: Region3, Region5");
}

// --- delete -------------------------------------------------------------------------------------

TEST_F(CliTest, DeleteWorksUpwardsRenumbersAndMovesTheDefaultRegion) {
  SetDefaultRegion("Spot A");
  const Result r = Cli({"delete", "spot a", "Region5"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Deleted Region5: Spot C\nDeleted Region3: Spot A\n");
  EXPECT_EQ(ReadBytes(RegionFile()),
            Replaced(Before(fixture_, "[Region3]"), "NumRegions=5", "NumRegions=3") +
                Crlf("[Region3]\nType=CustomerSlide2\nName=Spot B\nCustom=YES\nX=0\nY=0\n"
                     "W=20000\nH=10000\n\n[CustomerSlide2]\nX=30000\nY=5000\nAFX=28500\n"
                     "AFY=5000\nPKG=5\n\n"));
  // The supplied default region, named by [VelmoraDefault].
  EXPECT_EQ(DefaultRegion(), "Full Slide");
}

TEST_F(CliTest, DeleteStopsAtASuppliedRegionAndKeepsWhatItDeleted) {
  SetDefaultRegion("Spot B");
  const Result r = Cli({"delete", "Region2", "Region5"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Deleted Region5: Spot C\n");
  EXPECT_EQ(r.err, "Cannot delete Velmora supplied region Array Area\n");
  EXPECT_EQ(ReadBytes(RegionFile()),
            Replaced(Before(fixture_, "[Region5]"), "NumRegions=5", "NumRegions=4"));
  EXPECT_EQ(DefaultRegion(), "Spot B");
}

// --- the locale ---------------------------------------------------------------------------------

// The tool never reads the locale: numbers stay "." in and out, and the file gets the same
// bytes, even where LC_ALL names a comma locale (which need not be installed for that).
TEST_F(CliTest, ACommaLocaleChangesNeitherOutputNorFile) {
  const std::vector<std::string> comma = {"LC_ALL=de_DE.UTF-8", "LC_NUMERIC=de_DE.UTF-8",
                                          "LANG=de_DE.UTF-8"};
  const std::vector<std::string> list = {"list", "--model", "VX2200e"};
  EXPECT_EQ(Cli(list, comma).out, Cli(list).out);
  const std::vector<std::string> json = {"list", "--json", "--model", "VX2200e"};
  EXPECT_EQ(Cli(json, comma).out, Cli(json).out);

  const Result r = Cli({"add", "--model", "VX4400", "--name", "Left half", "--x", "12.345", "--y",
                        "5", "--width", "20", "--height", "7.5"},
                       comma);
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string after = ReadBytes(RegionFile());
  EXPECT_NE(after.find("[CustomerSlide5]\r\nX=12340\r\nY=5000\r\nAFX=10500\r\n"), std::string::npos)
      << after;
}

}  // namespace
}  // namespace quillmap
