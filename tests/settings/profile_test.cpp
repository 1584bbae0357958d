#include "settings/profile.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

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
  const char* const cases[][3] = {{"alpha", "KEY1", "one"},         {"Alpha", "Empty", ""},
                                  {"ALPHA", "caf\xC9", "cr\xE8me"}, {"Alpha", "Key2", "-"},
                                  {"Alpha", "just words", "-"},     {"Alpha", "Only", "-"},
                                  {"Alpha", "[ODD", "bracket key"}, {"Alpha", "", "nameless"},
                                  {"Orphan", "Orphan", "-"},        {"Missing", "Key1", "-"}};
  for (const auto& c : cases) EXPECT_EQ(doc.Read(c[0], c[1], "-"), c[2]) << c[0] << "/" << c[1];
  // A byte-order mark names the encoding; text it breaks is reported. That every file, these
  // included, writes back byte for byte is the profile fuzz replay's first check.
  const std::string utf16 = std::string("\xFF\xFE[\0A\0]\0\r\0\n\0k\0=\0\xE9\0", 18);
  const std::pair<std::string, const char*> refused[] = {
      {utf16 + "x", "is UTF-16 text that ends in half a character (line 2)"},
      {"\xFE\xFF", "is UTF-16 big-endian text, which Quillmap cannot read"},
      {"\xEF\xBB\xBF[A]\nk=\xE9\n",
       "is UTF-8 text holding a character that Windows-1252 cannot hold, or bytes that are not "
       "UTF-8 (line 2)"},
  };
  for (const auto& [bytes, message] : refused) {
    EXPECT_EQ(Doc::Parse(bytes).EncodingProblem(),
              message + std::string("; save it as Windows-1252 (ANSI) text and try again."));
  }
}

// The name rules and the lookup agree on every byte: a name differing only in one byte's case,
// or in a byte around it, finds the same section and key exactly when the rules say so.
TEST(ProfileReadTest, NameRulesAndLookupAgreeOnEveryByte) {
  std::string stripped;
  int case_pairs = 0;
  for (int c = 0; c < 256; ++c) {
    const char byte = static_cast<char>(c);
    if (byte == '\n' || byte == '\r' || byte == ']' || byte == '=') continue;  // line structure
    const std::string name = std::string("Sect") + byte + "ion with a longer name";
    const Doc doc = Doc::Parse("[" + name + "]\n" + name + "=1\n[" + byte + "Pad" + byte + "]\n" +
                               byte + "Key" + byte + "=" + byte + "v" + byte + "\n");
    std::string folded, other_folded;
    FoldProfileName(name, &folded);
    for (int d = 0; d < 256; ++d) {
      std::string other = name;
      other[4] = static_cast<char>(d);
      const bool same = SameProfileName(name, other);
      ASSERT_EQ(doc.HasSection(other), same) << c << " " << d;
      ASSERT_EQ(doc.Find(name, other).has_value(), same) << c << " " << d;
      FoldProfileName(other, &other_folded);
      ASSERT_EQ(folded == other_folded, same) << c << " " << d;
      case_pairs += same && c < d;
    }
    const bool blank = doc.Find("Pad", "Key") == "v";
    EXPECT_EQ(TrimProfileBlanks(std::string(1, byte) + "Pad" + byte) == "Pad", blank) << c;
    if (blank) stripped += byte;
  }
  EXPECT_EQ(stripped, "\t\v\f ");
  EXPECT_EQ(case_pairs, 26 + 30 + 4);  // a-z, à-þ but ÷, š œ ž ÿ
  EXPECT_EQ(UpperCp1252("\xFF\x9A\x9C\x9E\xE9\xF7\xDF\xB5"), "\x9F\x8A\x8C\x8E\xC9\xF7\xDF\xB5");
  EXPECT_EQ(UpperUtf8(" r7720c-\xC3\xBF\xC5\xA1 \xCE\xA9\xC3"),
            " R7720C-\xC5\xB8\xC5\xA0 \xCE\xA9\xC3");
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

TEST(ProfileWriteTest, DeletionTakesTheFirstOfItsNameWithEveryLineUpToTheNextHeader) {
  Doc doc = Doc::Parse("[A]\nk=1\n; note\n\n[a]\nk=2\n[B]\nk=3\n");
  doc.DeleteSection("a");
  EXPECT_EQ(doc.Serialize(), "[a]\nk=2\n[B]\nk=3\n");
  EXPECT_EQ(doc.Find("A", "k"), "2");
  doc.Write("A", "n", "4");  // into what is now the first A
  doc.DeleteSection("Missing");
  EXPECT_EQ(doc.Serialize(), "[a]\nk=2\nn=4\n[B]\nk=3\n");
  doc.DeleteSection("A");
  doc.DeleteSection("B");
  EXPECT_EQ(doc.Serialize(), "");
  EXPECT_FALSE(doc.HasSection("A"));
  doc.Write("S", "K", "V");  // nothing left to take the line ending from
  EXPECT_EQ(doc.Serialize(), "[S]\r\nK=V\r\n");
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
