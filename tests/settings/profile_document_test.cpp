#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "settings/profile.h"

namespace quillmap {
namespace {

using Doc = ProfileDocument;

// Hand-written: a preamble, comments, odd lines, blanks in odd places, a duplicate section,
// a byte above 127, mixed line endings and no line break at the end.
const std::string kMessy =
    "; written by hand\r\n"
    "Orphan=before any section\r\n"
    "\r\n"
    "[ Alpha ]  \r\n"
    "  Key1 =  one  \t\r\n"
    "key1=shadowed\r\n"
    "just words\r\n"
    ";Key2=commented out\r\n"
    "Empty=\r\n"
    "[odd=bracket key\r\n"
    " = nameless\r\n"
    "Caf\xE9=cr\xE8me\n"
    "   \r\n"
    "[alpha]\r\n"
    "Only=in the second alpha\r\n"
    "[R\xC9GION]\r\n"
    "W=20000";

TEST(ProfileReadTest, FollowsTheWindowsReadingRules) {
  const Doc doc = Doc::Parse(kMessy);
  EXPECT_EQ(doc.Find("alpha", "KEY1"), "one");
  EXPECT_EQ(doc.Find("Alpha", "Empty"), "");
  EXPECT_EQ(doc.Find("ALPHA", "caf\xC9"), "cr\xE8me");
  EXPECT_EQ(doc.Find("r\xE9gion", "w"), "20000");
  EXPECT_EQ(doc.Find("Alpha", "Key2"), std::nullopt);
  EXPECT_EQ(doc.Find("Alpha", "just words"), std::nullopt);
  EXPECT_EQ(doc.Find("Alpha", "Only"), std::nullopt);   // the first Alpha hides the second
  EXPECT_EQ(doc.Find("Alpha", "[ODD"), "bracket key");  // no closing bracket: a key line
  EXPECT_EQ(doc.Find("Alpha", ""), "nameless");
  EXPECT_EQ(doc.Find("Orphan", "Orphan"), std::nullopt);
  EXPECT_EQ(doc.Read("Alpha", "Missing", "dflt"), "dflt");
  EXPECT_EQ(doc.Read("Missing", "Key1", "dflt"), "dflt");
  EXPECT_TRUE(doc.HasSection(" ALPHA"));
  EXPECT_FALSE(doc.HasSection("Orphan"));
}

TEST(ProfileReadTest, NamesMatchTheirCapitalsAndNothingElse) {
  // Windows-1252 pairs: a/A, e acute, thorn, s caron, oe, z caron, y diaeresis. The second
  // list differs in the same bits but holds no case pairs.
  const std::vector<std::pair<char, char>> same = {
      {'a', 'A'},       {'\xE9', '\xC9'}, {'\xFE', '\xDE'}, {'\x9A', '\x8A'},
      {'\x9C', '\x8C'}, {'\x9E', '\x8E'}, {'\xFF', '\x9F'}};
  const std::vector<std::pair<char, char>> different = {
      {'@', '`'}, {'\xF7', '\xD7'}, {'\xB5', '\x95'}, {'\xDF', '\xFF'}, {'1', '\x11'}};
  for (const bool match : {true, false}) {
    for (const auto& [lower, upper] : match ? same : different) {
      const std::string name = std::string("Sect") + lower + "ion with a longer name";
      const Doc doc = Doc::Parse("[" + name + "]\nk=1\n");
      std::string other = name;
      other[4] = upper;
      EXPECT_EQ(doc.HasSection(other), match) << int{static_cast<unsigned char>(lower)};
    }
  }
}

TEST(ProfileReadTest, NamesFarIntoTheirLineAreFound) {
  const std::string blanks(300, ' ');
  Doc doc = Doc::Parse("[" + blanks + "Far]\n" + blanks + "k=1\n");
  EXPECT_EQ(doc.Find("far", "K"), "1");
  doc.Write("FAR", "j", "2");  // the section now has lines of its own
  EXPECT_EQ(doc.Find("far", "K"), "1");
  EXPECT_EQ(doc.Find("far", "J"), "2");
}

TEST(ProfileReadTest, UnchangedDocumentSerializesToTheSameBytes) {
  for (const std::string& bytes :
       {kMessy, std::string(), std::string("\n\n"), std::string("[A]\rx=1\r\r\n"),
        std::string("no section at all")}) {
    EXPECT_EQ(Doc::Parse(bytes).Serialize(), bytes);
  }
}

TEST(ProfileWriteTest, ChangesOnlyTheLinesItTouches) {
  Doc doc = Doc::Parse(kMessy);
  doc.Write("ALPHA", "key1", "uno");         // replaced where it stands
  doc.Write("alpha", "New", "added");        // after the last key line
  doc.Write("r\xE9GION", "H", "60000\r\n");  // into the last section, no line break
  doc.Write("Fresh", "K", "v");              // a new section at the end
  EXPECT_EQ(doc.Serialize(),
            "; written by hand\r\n"
            "Orphan=before any section\r\n"
            "\r\n"
            "[ Alpha ]  \r\n"
            "  Key1 =  uno\r\n"
            "key1=shadowed\r\n"
            "just words\r\n"
            ";Key2=commented out\r\n"
            "Empty=\r\n"
            "[odd=bracket key\r\n"
            " = nameless\r\n"
            "Caf\xE9=cr\xE8me\n"
            "New=added\r\n"
            "   \r\n"
            "[alpha]\r\n"
            "Only=in the second alpha\r\n"
            "[R\xC9GION]\r\n"
            "W=20000\r\n"
            "H=60000\r\n"
            "\r\n"
            "[Fresh]\r\n"
            "K=v\r\n");
}

TEST(ProfileWriteTest, NewKeyGoesBeforeTheCommentsAndEmptyLinesClosingItsSection) {
  Doc doc = Doc::Parse("[A]\nk=1\n\n; about B\n\n[B]\n");
  doc.Write("A", "n", "2");
  doc.Write("B", "m", "3");
  EXPECT_EQ(doc.Serialize(), "[A]\nk=1\nn=2\n\n; about B\n\n[B]\nm=3\n");
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

TEST(ProfileWriteTest, NewLinesTakeTheFileLineEndingAndANewFileGetsCrLf) {
  Doc lf = Doc::Parse("[A]\nk=1");
  lf.Write("A", "n", "2");
  lf.Write("B", "m", "3");
  EXPECT_EQ(lf.Serialize(), "[A]\nk=1\nn=2\n[B]\nm=3\n");
  Doc fresh;
  fresh.Write("S", "K", "V");
  EXPECT_EQ(fresh.Serialize(), "[S]\r\nK=V\r\n");
}

// What WriteCurrentRegion does for the sixth region, key by key.
void WriteSixthRegion(Doc& doc) {
  doc.Write("ScanRegions", "NumRegions", "6");
  for (const auto& [key, value] :
       std::vector<std::pair<std::string, std::string>>{{"Type", "CustomerSlide5"},
                                                        {"Name", "Left half"},
                                                        {"Custom", "YES"},
                                                        {"X", "0"},
                                                        {"Y", "0"},
                                                        {"W", "20000"},
                                                        {"H", "60000\r\n"}}) {
    doc.Write("Region6", key, value);
  }
  doc.Write("CustomerSlide5", "X", "2000");
  doc.Write("CustomerSlide5", "Y", "5000");
  doc.Write("CustomerSlide5", "AFX", "500");
  doc.Write("CustomerSlide5", "AFY", "5000");
  doc.Write("CustomerSlide5", "PKG", "5\r\n");
}

TEST(ProfileWriteTest, RegionFileLayoutAndRewritingLeavesItUnchanged) {
  const std::string before =
      "[ScanRegions]\r\nNumRegions=5\r\n\r\n[Region5]\r\nType=S5\r\nH=1\r\n\r\n[S5]\r\nPKG="
      "0\r\n\r\n";
  Doc doc = Doc::Parse(before);
  WriteSixthRegion(doc);
  const std::string after = doc.Serialize();
  EXPECT_EQ(after,
            "[ScanRegions]\r\nNumRegions=6\r\n\r\n[Region5]\r\nType=S5\r\nH=1\r\n\r\n[S5]\r\nPKG=0"
            "\r\n\r\n"
            "[Region6]\r\nType=CustomerSlide5\r\nName=Left half\r\nCustom=YES\r\nX=0\r\nY=0\r\n"
            "W=20000\r\nH=60000\r\n\r\n"
            "[CustomerSlide5]\r\nX=2000\r\nY=5000\r\nAFX=500\r\nAFY=5000\r\nPKG=5\r\n\r\n");
  WriteSixthRegion(doc);
  EXPECT_EQ(doc.Serialize(), after);
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

// A batch of changes on one document must leave what the same changes leave when the file is
// read afresh before each one, and must read the same as a fresh read of its own bytes.
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
    std::string one_at_a_time = batch.Serialize();
    for (int step = 0; step < 200; ++step) {
      const unsigned op = random() % 10;
      const std::string section = pick(sections);
      const std::string key = pick(keys);
      const std::string value = pick(values);
      Doc fresh = Doc::Parse(one_at_a_time);
      for (Doc* doc : {&batch, &fresh}) {
        if (op == 0) {
          doc->DeleteSection(section);
        } else if (op == 1) {
          doc->DeleteKey(section, key);
        } else {
          doc->Write(section, key, value);
        }
      }
      one_at_a_time = fresh.Serialize();
      ASSERT_EQ(batch.Serialize(), one_at_a_time) << "seed " << seed << " step " << step;
    }
    const Doc reread = Doc::Parse(one_at_a_time);
    for (const std::string& section : sections) {
      for (const std::string& key : keys) {
        EXPECT_EQ(batch.Find(section, key), reread.Find(section, key)) << section << "/" << key;
      }
    }
  }
}

}  // namespace
}  // namespace quillmap
