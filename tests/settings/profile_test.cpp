#include "settings/profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "faulty_file_system.h"
#include "settings/file_lock.h"
#include "temp_folder.h"

namespace quillmap {
namespace {

using Doc = ProfileDocument;

// Hand-written: a preamble, comments, odd lines, blanks in odd places, a duplicate section,
// a byte above 127, mixed line endings and no line break at the end.
const std::string kMessy =
    "; written by hand\r\nOrphan=before any section\r\n\r\n"
    "[ Alpha ]  \r\n  Key1 =  one  \t\r\nkey1=shadowed\r\njust words\r\n;Key2=commented out\r\n"
    "Empty=\r\n[odd=bracket key\r\n = nameless\r\nCaf\xE9=cr\xE8me\n   \r\n"
    "[alpha]\r\nOnly=in the second alpha\r\n"
    "[R\xC9GION]\r\nW=20000";

TEST(ProfileReadTest, FollowsTheWindowsReadingRules) {
  const Doc doc = Doc::Parse(kMessy);
  // Section, key, what Read gives ("-" for missing). The first Alpha hides the second; a
  // bracket that is not closed starts a key line.
  const char* const cases[][3] = {
      {"alpha", "KEY1", "one"},         {"Alpha", "Empty", ""},
      {"ALPHA", "caf\xC9", "cr\xE8me"}, {"r\xE9gion", "w", "20000"},
      {"Alpha", "Key2", "-"},           {"Alpha", "just words", "-"},
      {"Alpha", "Only", "-"},           {"Alpha", "[ODD", "bracket key"},
      {"Alpha", "", "nameless"},        {"Orphan", "Orphan", "-"},
      {"Missing", "Key1", "-"}};
  for (const auto& c : cases) EXPECT_EQ(doc.Read(c[0], c[1], "-"), c[2]) << c[0] << "/" << c[1];
  EXPECT_TRUE(doc.HasSection(" ALPHA"));
  EXPECT_FALSE(doc.HasSection("Orphan"));
  for (const std::string& bytes : {kMessy, std::string(), std::string("\n\n"),
                                   std::string("[A]\rx=1\r\r\n"), std::string("no section")}) {
    EXPECT_EQ(Doc::Parse(bytes).Serialize(), bytes);
  }
}

TEST(ProfileReadTest, NamesMatchTheirWindows1252CapitalsAndNothingElse) {
  // The case pairs, then pairs that differ in the same bits but are no case pairs.
  const std::tuple<char, char, bool> pairs[] = {
      {'a', 'A', true},        {'\xE9', '\xC9', true},  {'\xFE', '\xDE', true},
      {'\x9A', '\x8A', true},  {'\x9C', '\x8C', true},  {'\x9E', '\x8E', true},
      {'\xFF', '\x9F', true},  {'@', '`', false},       {'\xF7', '\xD7', false},
      {'\xB5', '\x95', false}, {'\xDF', '\xFF', false}, {'1', '\x11', false}};
  for (const auto& [lower, upper, match] : pairs) {
    const std::string name = std::string("Sect") + lower + "ion with a longer name";
    std::string other = name;
    other[4] = upper;
    EXPECT_EQ(Doc::Parse("[" + name + "]\nk=1\n").HasSection(other), match)
        << int{static_cast<unsigned char>(lower)};
  }
  const std::string blanks(300, ' ');  // names too far into their line for the short fields
  Doc far = Doc::Parse("[" + blanks + "Far]\n" + blanks + "k=1\n");
  EXPECT_EQ(far.Find("far", "K"), "1");
  far.Write("FAR", "j", "2");
  EXPECT_EQ(far.Find("far", "K"), "1");
  EXPECT_EQ(far.Find("far", "J"), "2");
}

TEST(ProfileWriteTest, ChangesOnlyTheLinesItTouches) {
  Doc doc = Doc::Parse(kMessy);
  doc.Write("ALPHA", "key1", "uno");         // replaced where it stands
  doc.Write("alpha", "New", "added");        // after the last key line
  doc.Write("r\xE9GION", "H", "60000\r\n");  // into the last section, no line break
  doc.Write("Fresh", "K", "v");              // a new section at the end
  std::string expected = kMessy;
  expected.replace(expected.find("one  \t"), 6, "uno");
  expected.insert(expected.find("   \r\n[alpha]"), "New=added\r\n");
  EXPECT_EQ(doc.Serialize(), expected + "\r\nH=60000\r\n\r\n[Fresh]\r\nK=v\r\n");
  Doc same = Doc::Parse("[S]\nSetting = on  \t\n");
  same.Write("s", "SETTING", "on");
  EXPECT_EQ(same.Serialize(), "[S]\nSetting = on  \t\n");
}

TEST(ProfileWriteTest, NewLinesGoBeforeClosingCommentsAndTakeTheFileLineEnding) {
  Doc doc = Doc::Parse("[A]\nk=1\n\n; about B\n\n[B]\n[C]\nc=1");
  doc.Write("A", "n", "2");
  doc.Write("B", "m", "3");
  doc.Write("C", "d", "4");
  doc.Write("D", "e", "5");
  EXPECT_EQ(doc.Serialize(), "[A]\nk=1\nn=2\n\n; about B\n\n[B]\nm=3\n[C]\nc=1\nd=4\n[D]\ne=5\n");
  Doc fresh;
  fresh.Write("S", "K", "V");
  EXPECT_EQ(fresh.Serialize(), "[S]\r\nK=V\r\n");
}

TEST(ProfileWriteTest, ValueWithClosingLineBreakLeavesExactlyOneEmptyLine) {
  Doc doc = Doc::Parse("[A]\r\nk=1\r\nj=2\r\n\r\n[B]\r\nx=1\r\n");
  doc.Write("A", "k", "5\r\n");  // the next line is a key: an empty line is added
  doc.Write("A", "j", "6\r\n");  // an empty line already follows
  doc.Write("B", "x", "7\n");    // at the end of the file
  const std::string once = doc.Serialize();
  EXPECT_EQ(once, "[A]\r\nk=5\r\n\r\nj=6\r\n\r\n[B]\r\nx=7\r\n\r\n");
  doc.Write("A", "k", "5\r\n");
  doc.Write("B", "x", "7\r\n");
  EXPECT_EQ(doc.Serialize(), once);
  EXPECT_EQ(doc.Find("B", "x"), "7");
}

TEST(ProfileWriteTest, DeletionTakesTheFirstOfItsNameWithEveryLineUpToTheNextHeader) {
  Doc doc = Doc::Parse("[A]\nk=1\n; note\n\n[a]\nk=2\n[B]\nk=3\n");
  doc.DeleteSection("a");
  EXPECT_EQ(doc.Serialize(), "[a]\nk=2\n[B]\nk=3\n");
  EXPECT_EQ(doc.Find("A", "k"), "2");
  doc.Write("A", "n", "4");  // into what is now the first A
  doc.DeleteKey("B", "K");
  doc.DeleteSection("Missing");
  doc.DeleteKey("Missing", "k");
  EXPECT_EQ(doc.Serialize(), "[a]\nk=2\nn=4\n[B]\n");
  doc.DeleteSection("A");
  doc.DeleteSection("B");
  EXPECT_EQ(doc.Serialize(), "");
  EXPECT_FALSE(doc.HasSection("A"));
}

// Random changes on one document must leave what the same changes leave when the text is
// parsed afresh before each one, written key by key; its lookups must agree with Find.
TEST(ProfileWriteTest, BatchOfChangesEqualsOneChangeAtATime) {
  const std::vector<std::string> sections = {"Alpha", "alpha", "Beta", "New", "R\xC9GION"};
  const std::vector<std::string> keys = {"Key1", "Only", "W",     "Added",      "Empty",
                                         "",     "[odd", ";Key2", "just words", "a=b"};
  const std::vector<std::string> values = {"1", "two words", "3\r\n", "", "4\n", "x\xE9"};
  for (unsigned seed = 1; seed <= 20; ++seed) {
    std::mt19937 random(seed);
    auto pick = [&random](const std::vector<std::string>& from) {
      return from[random() % from.size()];
    };
    Doc batch = Doc::Parse(seed % 2 ? kMessy : "[Alpha]\nKey1=1");
    for (int step = 0; step < 200; ++step) {
      const unsigned op = random() % 10;
      const std::string section = pick(sections), key = pick(keys), key2 = pick(keys);
      const std::string value = pick(values), value2 = pick(values);
      Doc fresh = Doc::Parse(batch.Serialize());
      if (op == 0) {
        batch.DeleteSection(section);
        fresh.DeleteSection(section);
      } else if (op == 1) {
        batch.DeleteKey(section, key);
        fresh.DeleteKey(section, key);
      } else if (op == 2) {
        batch.WriteKeys(section, {{key, value}, {key2, value2}});
        fresh.Write(section, key, value);
        fresh.Write(section, key2, value2);
      } else {
        batch.Write(section, key, value);
        fresh.Write(section, key, value);
      }
      ASSERT_EQ(batch.Serialize(), fresh.Serialize()) << "seed " << seed << " step " << step;
      const std::string_view asked[] = {key, key2};
      const auto found = batch.FindKeys(section, asked);
      for (int k = 0; k < 2; ++k) {
        const std::optional<std::string> expected = fresh.Find(section, asked[k]);
        EXPECT_EQ(batch.Find(section, asked[k]), expected) << seed << "/" << step;
        EXPECT_EQ(found[k] ? std::optional<std::string>(*found[k]) : std::nullopt, expected)
            << seed << "/" << step;
      }
    }
  }
}

class ProfileFileTest : public ::testing::Test {
 protected:
  TempFolder dir_;
  const std::string path_ = dir_ / "ChipRegions.ini";
};

TEST_F(ProfileFileTest, WritesReadBackAndDeletionsRemoveWholeSectionsOrKeys) {
  EXPECT_EQ(ReadProfileString("S", "K", "dflt", path_), "dflt");
  EXPECT_EQ(ReadProfileString("S", "K", "dflt", dir_.Data()), "dflt");  // not a file
  const std::string long_value(300, 'L');
  ASSERT_TRUE(WriteProfileString("Region1", "H", "60000\r\n", path_));
  ASSERT_TRUE(WriteProfileString("Region1", "Name", long_value, path_));
  ASSERT_TRUE(WriteProfileString("Slide", "PKG", "5", path_));
  EXPECT_EQ(ReadBytes(path_),
            "[Region1]\r\nH=60000\r\nName=" + long_value + "\r\n\r\n[Slide]\r\nPKG=5\r\n");
  EXPECT_EQ(ReadProfileString("region1", "name", "", path_), long_value);
  ASSERT_TRUE(WriteProfileString("Slide", "PKG", std::nullopt, path_));
  EXPECT_EQ(ReadProfileString("Slide", "PKG", "gone", path_), "gone");
  ASSERT_TRUE(WriteProfileString("REGION1", std::nullopt, std::nullopt, path_));
  EXPECT_EQ(ReadBytes(path_), "[Slide]\r\n");
  EXPECT_TRUE(WriteProfileString("S", std::nullopt, std::nullopt, dir_ / "absent.ini"));
  EXPECT_EQ(Entries(dir_.Data()), std::set<std::string>{"ChipRegions.ini"});
}

TEST_F(ProfileFileTest, RefusedWritesReturnFalseAndChangeNothing) {
  WriteBytes(path_, "[S]\r\nK=1\r\n");
  ::chmod(path_.c_str(), 0444);
  EXPECT_FALSE(WriteProfileString("S", std::nullopt, std::nullopt, path_));
  EXPECT_EQ(ReadBytes(path_), "[S]\r\nK=1\r\n");
  EXPECT_FALSE(WriteProfileString("S", "K", "2", dir_.Data()));
  ::chmod(path_.c_str(), 0644);
  for (int n = 1;; ++n) {
    WriteBytes(path_, "[S]\r\nK=1\r\n");
    FaultyFileSystem full_disk;
    full_disk.FailCall(n, ENOSPC);
    const bool written = WriteProfileString("S", "K", "2", path_, full_disk);
    EXPECT_EQ(ReadBytes(path_), written ? "[S]\r\nK=2\r\n" : "[S]\r\nK=1\r\n") << n;
    RemoveStaleTemporaryFiles(path_);  // what the next command's start removes
    EXPECT_EQ(Entries(dir_.Data()), std::set<std::string>{"ChipRegions.ini"}) << n;
    if (full_disk.calls() < n) break;
  }
}

// The file changes between the read and the write: the change is made again on top of it.
TEST_F(ProfileFileTest, SingleWriteRedoesItsChangeOnAFileChangedMeanwhile) {
  WriteBytes(path_, "[S]\r\nK=1\r\n");
  FaultyFileSystem counting;
  ReadProfileString("S", "K", "", path_, counting);
  FaultyFileSystem racing;
  racing.BeforeCall(counting.calls() + 1,
                    [this] { WriteBytes(path_, "[S]\r\nK=1\r\n[Scanner]\r\nBusy=0\r\n"); });
  ASSERT_TRUE(WriteProfileString("S", "K", "3", path_, racing));
  EXPECT_EQ(ReadBytes(path_), "[S]\r\nK=3\r\n[Scanner]\r\nBusy=0\r\n");
}

// The lock is on the file itself, so every spelling of its path meets it; a writer excludes
// readers and writers, readers share, and a writer's note says who holds it.
TEST_F(ProfileFileTest, LockIsOneForEverySpellingOfThePathAndNamesItsHolder) {
  WriteBytes(path_, "");
  WriteBytes(dir_ / "other.ini", "");
  ASSERT_EQ(::symlink("ChipRegions.ini", (dir_ / "link.ini").c_str()), 0);
  auto writer = std::make_unique<FileLock>(path_, LockKind::kExclusive);
  ASSERT_TRUE(writer->Locked());
  for (const LockKind kind : {LockKind::kShared, LockKind::kExclusive}) {
    for (const std::string& spelling : {dir_.Data() + "/./ChipRegions.ini", dir_ / "link.ini"}) {
      const FileLock waiting(spelling, kind, 30);
      EXPECT_EQ(waiting.Outcome(), LockOutcome::kBusy) << spelling;
      EXPECT_TRUE(waiting.HolderKnown());
      EXPECT_EQ(waiting.Holder().user, CurrentWriter().user);
    }
  }
  EXPECT_TRUE(FileLock(dir_ / "other.ini", LockKind::kExclusive, 0).Locked());
  writer.reset();
  const FileLock reader(path_, LockKind::kShared, 0);
  EXPECT_TRUE(reader.Locked());
  EXPECT_TRUE(FileLock(dir_ / "link.ini", LockKind::kShared, 0).Locked());
  EXPECT_EQ(FileLock(path_, LockKind::kExclusive, 0).Outcome(), LockOutcome::kBusy);
  EXPECT_EQ(Entries(dir_.Data()),
            (std::set<std::string>{"ChipRegions.ini", "link.ini", "other.ini"}));
}

}  // namespace
}  // namespace quillmap
