#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/IniFile.h"
#include "platform/TempDir.h"

namespace orvane {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

class IniFileTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string path_ = dir_ / "test.ini";
};

TEST_F(IniFileTest, ReadsNamesWithoutCaseAndTrimsValues) {
  WriteBytes(path_,
             "outside=ignored\r\n"
             "[Setup]\r\n"
             "  Port = 21 \r\n"
             "Path=C:\\ftp\\pub\\\n"
             "Formula=a=b\n"
             "; Commented=1\n"
             "no equals sign\n"
             "Empty=\n"
             "\t[Other]  trailing text\n"
             "Key=other");
  IniFile ini(path_);
  EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"Setup", "Other"}));
  EXPECT_EQ(ini.Keys("SETUP"), (std::vector<std::string>{"Port", "Path", "Formula", "Empty"}));
  EXPECT_EQ(ini.ReadString("setup", "PORT", "x"), "21");
  EXPECT_EQ(ini.ReadString("Setup", "path", "x"), "C:\\ftp\\pub\\");
  EXPECT_EQ(ini.ReadString("Setup", "Formula", "x"), "a=b");
  EXPECT_EQ(ini.ReadString("Setup", "Empty", "x"), "");
  EXPECT_TRUE(ini.KeyExists("Setup", "Empty"));
  EXPECT_FALSE(ini.KeyExists("Setup", "; Commented"));
  EXPECT_FALSE(ini.KeyExists("Setup", "outside"));
  EXPECT_EQ(ini.ReadString("Setup", "Missing", "def"), "def");
  EXPECT_EQ(ini.ReadString("Nowhere", "Port", "def"), "def");
  EXPECT_EQ(ini.ReadString("other", "key", "x"), "other");
  EXPECT_TRUE(ini.SectionExists("OTHER"));
  EXPECT_FALSE(ini.SectionExists("Nowhere"));
}

TEST_F(IniFileTest, FirstOccurrenceOfDuplicatesWins) {
  WriteBytes(path_, "[A]\nk=1\nK=2\n[B]\nk=b\n[a]\nk=3\nonly=later\n");
  IniFile ini(path_);
  EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(ini.Keys("a"), (std::vector<std::string>{"k"}));
  EXPECT_EQ(ini.ReadInteger("a", "K", 0), 1);
  EXPECT_FALSE(ini.KeyExists("A", "only"));
}

TEST_F(IniFileTest, ReadsIntegersLikeTheProfileReader) {
  struct Case {
    const char* text;
    int32_t expected;
  };
  const Case cases[] = {
      {"21", 21},
      {" -5 ", -5},
      {"+7", 7},
      {"0x1F", 31},
      {"0X1f", 31},
      {"0x", -1},
      {"0", 0},
      {"abc", -1},
      {"yes", -1},
      {"12abc", -1},
      {"", -1},
      {"1 2", -1},
      {"-0x5", -1},
      {"0xG", -1},
      {"2147483647", 2147483647},
      {"2147483648", -1},
      {"-2147483648", INT32_MIN},
      {"-2147483649", -1},
      {"0x7FFFFFFF", 2147483647},
      {"0x80000000", -1},
      {"007", 7},
  };
  std::string content = "[N]\r\n";
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    content += "k" + std::to_string(i) + "=" + cases[i].text + "\r\n";
  }
  WriteBytes(path_, content);
  IniFile ini(path_);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(ini.ReadInteger("N", "k" + std::to_string(i), -1), cases[i].expected)
        << "value '" << cases[i].text << "'";
  }
}

TEST_F(IniFileTest, Reads64BitIntegersAndBooleans) {
  WriteBytes(path_,
             "[N]\nbig=9223372036854775807\nsmall=-9223372036854775808\n"
             "over=9223372036854775808\nhex=0x80000000\n"
             "one=1\nzero=0\ntwo=2\nword=yes\n");
  IniFile ini(path_);
  EXPECT_EQ(ini.ReadInt64("N", "big", 0), INT64_MAX);
  EXPECT_EQ(ini.ReadInt64("N", "small", 0), INT64_MIN);
  EXPECT_EQ(ini.ReadInt64("N", "over", 5), 5);
  EXPECT_EQ(ini.ReadInt64("N", "hex", 0), 0x80000000LL);
  EXPECT_TRUE(ini.ReadBool("N", "one", false));
  EXPECT_FALSE(ini.ReadBool("N", "zero", true));
  EXPECT_TRUE(ini.ReadBool("N", "two", false));
  EXPECT_TRUE(ini.ReadBool("N", "word", true));
  EXPECT_FALSE(ini.ReadBool("N", "word", false));
  EXPECT_TRUE(ini.ReadBool("N", "missing", true));
}

TEST_F(IniFileTest, CutsLongValuesAt1023Characters) {
  std::string longValue(1500, 'v');
  WriteBytes(path_, "[S]\nlong=" + longValue + "\nexact=" + std::string(1023, 'e') + "\n");
  IniFile ini(path_);
  EXPECT_EQ(ini.ReadString("S", "long", ""), std::string(1023, 'v'));
  EXPECT_EQ(ini.ReadString("S", "exact", ""), std::string(1023, 'e'));
}

TEST_F(IniFileTest, MissingUnreadableOrEmptyFilesHaveNoSections) {
  IniFile missing(dir_ / "missing.ini");
  EXPECT_TRUE(missing.Sections().empty());
  EXPECT_EQ(missing.ReadInteger("S", "k", 42), 42);

  IniFile directory(dir_.Path());
  EXPECT_TRUE(directory.Sections().empty());

  WriteBytes(path_, "");
  IniFile empty(path_);
  EXPECT_TRUE(empty.Sections().empty());

  WriteBytes(path_, std::string("\0\xff[\x01garbage\n=\n[\n", 16));
  IniFile garbage(path_);
  EXPECT_TRUE(garbage.Sections().empty());
}

TEST_F(IniFileTest, ReloadSeesChangesMadeByOthers) {
  WriteBytes(path_, "[S]\nk=1\n");
  IniFile ini(path_);
  WriteBytes(path_, "[S]\nk=2\n");
  EXPECT_EQ(ini.ReadInteger("S", "k", 0), 1);
  ini.Reload();
  EXPECT_EQ(ini.ReadInteger("S", "k", 0), 2);
}

TEST_F(IniFileTest, WritingKeepsEveryOtherByte) {
  WriteBytes(path_,
             "; header comment\n"
             "[First]\n"
             "Port = 21   \n"
             "unknown line\n"
             "Other=x\r\n"
             "\n"
             "; about Second\n"
             "[Second]\r\n"
             "A=1");
  IniFile ini(path_);
  ASSERT_TRUE(ini.WriteInteger("FIRST", "port", 2121));
  ASSERT_TRUE(ini.WriteString("first", "New", "v"));
  ASSERT_TRUE(ini.WriteBool("Second", "Flag", true));
  ASSERT_TRUE(ini.WriteInt64("Third", "Big", 5000000000LL));
  EXPECT_EQ(ReadBytes(path_),
            "; header comment\n"
            "[First]\n"
            "Port = 2121\n"
            "unknown line\n"
            "Other=x\r\n"
            "New=v\r\n"
            "\n"
            "; about Second\n"
            "[Second]\r\n"
            "A=1\r\n"
            "Flag=1\r\n"
            "[Third]\r\n"
            "Big=5000000000\r\n");
  EXPECT_EQ(ini.ReadInteger("First", "Port", 0), 2121);
  EXPECT_EQ(IniFile(path_).ReadInt64("third", "big", 0), 5000000000LL);
}

TEST_F(IniFileTest, WritingCreatesTheFileAndLeavesNoTemporaryFile) {
  IniFile ini(path_);
  ASSERT_TRUE(ini.WriteBool("Setup", "Enabled", false));
  ASSERT_TRUE(ini.WriteInteger("Setup", "Count", -3));
  EXPECT_EQ(ReadBytes(path_), "[Setup]\r\nEnabled=0\r\nCount=-3\r\n");
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);  // settings may hold passwords: the owner's only
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

TEST_F(IniFileTest, ValuesCannotInjectLinesAndBadNamesAreRefused) {
  IniFile ini(path_);
  ASSERT_TRUE(ini.WriteString("S", "Pass", "secret\r\n[Admin]\r\nEnabled=1"));
  EXPECT_EQ(ini.Sections(), std::vector<std::string>{"S"});
  EXPECT_EQ(IniFile(path_).ReadString("S", "Pass", ""), "secret[Admin]Enabled=1");

  std::string before = ReadBytes(path_);
  EXPECT_FALSE(ini.WriteString("S", "a=b", "v"));
  EXPECT_FALSE(ini.WriteString("S", "line\nbreak", "v"));
  EXPECT_FALSE(ini.WriteString("S", ";comment", "v"));
  EXPECT_FALSE(ini.WriteString("S", "", "v"));
  EXPECT_FALSE(ini.WriteString("Bad]Name", "k", "v"));
  EXPECT_FALSE(ini.WriteString("", "k", "v"));
  EXPECT_EQ(ReadBytes(path_), before);
}

// A group of keys in one write lands as the same keys written one by one (in place, after
// the section's last entry, a new section at the end), and one bad name writes none of them.
TEST_F(IniFileTest, SeveralKeysInOneWriteLandAsSingleWritesWould) {
  const std::string start = "[Stats]\r\nconnections=4\r\n\r\n; next\r\n[Other]\r\nA=1\r\n";
  WriteBytes(path_, start);
  IniFile one(path_);
  ASSERT_TRUE(one.WriteString("Stats", "maxconnections", "9"));
  ASSERT_TRUE(one.WriteString("Stats", "connections", "5"));
  ASSERT_TRUE(one.WriteString("Stats", "dl", "70"));
  ASSERT_TRUE(one.WriteString("New", "k", "v"));
  const std::string expected = ReadBytes(path_);

  WriteBytes(path_, start);
  IniFile group(path_);
  ASSERT_TRUE(
      group.WriteStrings("Stats", {{"maxconnections", "9"}, {"connections", "5"}, {"dl", "70"}}));
  ASSERT_TRUE(group.WriteStrings("New", {{"k", "v"}}));
  EXPECT_EQ(ReadBytes(path_), expected);
  EXPECT_EQ(group.ReadInteger("Stats", "dl", 0), 70);

  EXPECT_FALSE(group.WriteStrings("Stats", {{"dl", "1"}, {"bad=key", "2"}}));
  EXPECT_EQ(ReadBytes(path_), expected);
  EXPECT_EQ(group.ReadInteger("Stats", "dl", 0), 70);
}

TEST_F(IniFileTest, EraseSectionAndDeleteKey) {
  WriteBytes(path_,
             "[Keep]\nk=1\n[Gone]\na=1\n; its comment\n[keep2]\nx=1\ny=2\nX=3\n[GONE]\nb=2\n");
  IniFile ini(path_);
  ASSERT_TRUE(ini.EraseSection("gone"));
  EXPECT_EQ(ReadBytes(path_), "[Keep]\nk=1\n[keep2]\nx=1\ny=2\nX=3\n");
  EXPECT_FALSE(ini.SectionExists("Gone"));

  ASSERT_TRUE(ini.DeleteKey("KEEP2", "x"));
  EXPECT_EQ(ReadBytes(path_), "[Keep]\nk=1\n[keep2]\ny=2\n");
  EXPECT_TRUE(ini.EraseSection("Absent"));
  EXPECT_TRUE(ini.DeleteKey("Keep", "absent"));
  EXPECT_EQ(ReadBytes(path_), "[Keep]\nk=1\n[keep2]\ny=2\n");
}

TEST_F(IniFileTest, WriteRereadsTheFileSoOtherWritersAreKept) {
  IniFile first(path_);
  IniFile second(path_);
  ASSERT_TRUE(first.WriteString("S", "a", "1"));
  ASSERT_TRUE(second.WriteString("S", "b", "2"));
  IniFile check(path_);
  EXPECT_EQ(check.ReadString("S", "a", ""), "1");
  EXPECT_EQ(check.ReadString("S", "b", ""), "2");
}

TEST_F(IniFileTest, ReadOnlyFileRefusesWritesAndModeIsNeverWiderThanTheOwners) {
  WriteBytes(path_, "[S]\nk=1\n");
  ASSERT_EQ(::chmod(path_.c_str(), 0440), 0);
  IniFile ini(path_);
  EXPECT_FALSE(ini.WriteString("S", "k", "2"));
  EXPECT_EQ(ReadBytes(path_), "[S]\nk=1\n");

  ASSERT_EQ(::chmod(path_.c_str(), 0664), 0);
  ASSERT_TRUE(ini.WriteString("S", "k", "2"));
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  // A stricter mode the operator set stays.
  ASSERT_EQ(::chmod(path_.c_str(), 0200), 0);
  ASSERT_TRUE(ini.WriteString("S", "k", "3"));
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0200u);
}

TEST_F(IniFileTest, WritingThroughASymbolicLinkChangesItsTarget) {
  std::string target = dir_ / "real.ini";
  WriteBytes(target, "[S]\nk=1\n");
  ASSERT_EQ(::symlink(target.c_str(), path_.c_str()), 0);
  IniFile ini(path_);
  ASSERT_TRUE(ini.WriteString("S", "k", "2"));
  EXPECT_TRUE(std::filesystem::is_symlink(path_));
  EXPECT_EQ(ReadBytes(target), "[S]\nk=2\n");
}

}  // namespace
}  // namespace orvane
