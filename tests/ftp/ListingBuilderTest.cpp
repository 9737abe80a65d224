#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ftp/ClientPaths.h"
#include "ftp/ListingBuilder.h"
#include "platform/FileSystem.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

// Seconds since the epoch of a UTC date and time.
int64_t Utc(int year, int month, int day, int hour, int minute) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  return timegm(&t);
}

FileInfo Entry(const std::string& name, bool directory, int64_t size, int64_t mtime) {
  FileInfo info;
  info.name = name;
  info.directory = directory;
  info.size = size;
  info.mtime = mtime;
  return info;
}

class UtcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

using DetailedLineTest = UtcTest;

TEST_F(DetailedLineTest, FieldsAndPermissions) {
  const int64_t march7 = Utc(2024, 3, 7, 13, 5);
  EXPECT_EQ(ListingBuilder::DetailedLine(Entry("pub", true, 0, march7), 2024),
            "drw-rw-rw-   1 ftp      ftp            0 Mar 07 13:05 pub\r\n");
  EXPECT_EQ(ListingBuilder::DetailedLine(Entry("notes.txt", false, 1234, march7), 2024),
            "-rw-rw-rw-   1 ftp      ftp         1234 Mar 07 13:05 notes.txt\r\n");

  FileInfo tool = Entry("TOOL.EXE", false, 42, march7);
  tool.readOnly = true;
  EXPECT_EQ(ListingBuilder::DetailedLine(tool, 2024),
            "-r-xr-xr-x   1 ftp      ftp           42 Mar 07 13:05 TOOL.EXE\r\n");

  EXPECT_EQ(ListingBuilder::DetailedLine(Entry("X.COM", true, 0, march7), 2024),
            "drwxrwxrwx   1 ftp      ftp            0 Mar 07 13:05 X.COM\r\n");
}

TEST_F(DetailedLineTest, ExecutableExtensionIgnoresCaseAndUsesTheLastDot) {
  const int64_t t = Utc(2024, 1, 1, 0, 0);
  auto permissions = [&](const std::string& name) {
    return ListingBuilder::DetailedLine(Entry(name, false, 0, t), 2024).substr(0, 10);
  };
  EXPECT_EQ(permissions("run.bat"), "-rwxrwxrwx");
  EXPECT_EQ(permissions("x.Com"), "-rwxrwxrwx");
  EXPECT_EQ(permissions("a.b.exe"), "-rwxrwxrwx");
  EXPECT_EQ(permissions(".BAT"), "-rwxrwxrwx");
  EXPECT_EQ(permissions("setup.exe.txt"), "-rw-rw-rw-");
  EXPECT_EQ(permissions("EXE"), "-rw-rw-rw-");
  EXPECT_EQ(permissions("a.exec"), "-rw-rw-rw-");
}

TEST_F(DetailedLineTest, OtherYearsShowTheYear) {
  EXPECT_EQ(
      ListingBuilder::DetailedLine(Entry("old.zip", false, 7, Utc(2001, 12, 31, 23, 59)), 2024),
      "-rw-rw-rw-   1 ftp      ftp            7 Dec 31  2001 old.zip\r\n");
  // Next year's date is not "this year" either.
  EXPECT_EQ(ListingBuilder::DetailedLine(Entry("f", false, 7, Utc(2025, 1, 2, 3, 4)), 2024),
            "-rw-rw-rw-   1 ftp      ftp            7 Jan 02  2025 f\r\n");
}

TEST_F(DetailedLineTest, SizesAreSixtyFourBit) {
  const int64_t t = Utc(2001, 6, 15, 10, 20);
  EXPECT_EQ(ListingBuilder::DetailedLine(Entry("big.iso", false, 5LL << 30, t), 2024),
            "-rw-rw-rw-   1 ftp      ftp   5368709120 Jun 15  2001 big.iso\r\n");
  // A size of more than 11 digits widens the column instead of being cut.
  EXPECT_EQ(ListingBuilder::DetailedLine(Entry("huge", false, 123456789012345LL, t), 2024),
            "-rw-rw-rw-   1 ftp      ftp  123456789012345 Jun 15  2001 huge\r\n");
}

TEST_F(DetailedLineTest, UsesLocalTime) {
  setenv("TZ", "EST5", 1);
  tzset();
  // 2024-01-01 03:00 UTC is 2023-12-31 22:00 five hours west.
  EXPECT_EQ(ListingBuilder::DetailedLine(Entry("f", false, 0, Utc(2024, 1, 1, 3, 0)), 2023),
            "-rw-rw-rw-   1 ftp      ftp            0 Dec 31 22:00 f\r\n");
}

TEST_F(DetailedLineTest, TodaysStyleShowsUtcTimesAndTheModesOnDisk) {
  setenv("TZ", "JST-9", 1);
  tzset();
  ListingStyle today;
  today.utcTimes = true;
  today.diskModes = true;
  FileInfo file = Entry("f", false, 3, Utc(2024, 1, 1, 3, 0));
  file.mode = 04750;
  EXPECT_EQ(ListingBuilder::DetailedLine(file, 2024, today),
            "-rwsr-x---   1 ftp      ftp            3 Jan 01 03:00 f\r\n");
  FileInfo dir = Entry("d", true, 0, Utc(2024, 1, 1, 3, 0));
  dir.mode = 01777;
  EXPECT_EQ(ListingBuilder::DetailedLine(dir, 2024, today).substr(0, 10), "drwxrwxrwt");
  FileInfo link = Entry("gone", false, 0, Utc(2024, 1, 1, 3, 0));
  link.mode = 0777;
  link.danglingLink = true;
  link.linkTarget = "../nowhere";
  EXPECT_EQ(ListingBuilder::DetailedLine(link, 2024, today),
            "lrwxrwxrwx   1 ftp      ftp            0 Jan 01 03:00 gone -> ../nowhere\r\n");
  // Local time on request: twelve o'clock nine hours east.
  today.utcTimes = false;
  EXPECT_EQ(ListingBuilder::DetailedLine(file, 2024, today).substr(41, 12), "Jan 01 12:00");
}

// A temporary directory mapped as drive C, and an empty one mapped as drive D:
//   C:\sub\           empty
//   C:\docs\          a.txt (5 bytes), b.TXT, c.dat, .secret, .hiddendir\, ro.txt (read-only)
class ListingBuildTest : public UtcTest {
 protected:
  void SetUp() override {
    UtcTest::SetUp();
    root_ = fs::temp_directory_path() / ("orvane-listing-" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "c" / "sub");
    fs::create_directories(root_ / "c" / "docs" / ".hiddendir");
    fs::create_directories(root_ / "d");
    for (const char* name : {"a.txt", "b.TXT", "c.dat", ".secret", "ro.txt"}) {
      std::ofstream(root_ / "c" / "docs" / name) << (std::string(name) == "a.txt" ? "hello" : "");
    }
    fs::permissions(root_ / "c" / "docs" / "ro.txt", fs::perms::owner_write,
                    fs::perm_options::remove);
    for (const fs::path& p : {root_ / "c" / "docs" / "a.txt", root_ / "c" / "docs" / "ro.txt"}) {
      const timespec times[2] = {{kStamp, 0}, {kStamp, 0}};
      ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
    }
    FileSystem::SetDriveMap({{'C', (root_ / "c").string()}, {'D', (root_ / "d").string()}});
  }

  void TearDown() override {
    FileSystem::SetDriveMap({});
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  // The names at the end of each line, sorted (the enumeration order is the file system's).
  static std::vector<std::string> Names(const std::string& listing) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < listing.size()) {
      std::size_t end = listing.find("\r\n", start);
      if (end == std::string::npos) end = listing.size();
      std::string line = listing.substr(start, end - start);
      std::size_t blank = line.rfind(' ');
      names.push_back(blank == std::string::npos ? line : line.substr(blank + 1));
      start = end + 2;
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  static constexpr time_t kStamp = 992600400;  // 2001-06-15 10:20:00 UTC
  fs::path root_;
  ListingBuilder builder_;
};

using NameList = std::vector<std::string>;

TEST_F(ListingBuildTest, EmptySubdirectoryHasItsDotEntries) {
  const std::string listing = builder_.Build("C:\\", "sub\\", true);
  EXPECT_EQ(Names(listing), (NameList{".", ".."}));
  EXPECT_EQ(listing.substr(0, 10), "drw-rw-rw-");
  EXPECT_EQ(listing.substr(listing.find("\r\n") + 2, 10), "drw-rw-rw-");
}

TEST_F(ListingBuildTest, TrailingBackslashListsContentsOtherwiseTheEntryItself) {
  EXPECT_EQ(Names(builder_.Build("C:\\", "docs\\", false)),
            (NameList{".", "..", ".hiddendir", ".secret", "a.txt", "b.TXT", "c.dat", "ro.txt"}));
  const std::string own = builder_.Build("C:\\", "docs", true);
  EXPECT_EQ(Names(own), (NameList{"docs"}));
  EXPECT_EQ(own.substr(0, 1), "d");
  // Slashes from the client count as backslashes in the argument.
  EXPECT_EQ(Names(builder_.Build("C:\\", "/docs/*.dat", false)), (NameList{"c.dat"}));
}

TEST_F(ListingBuildTest, EmptyArgumentListsTheCurrentDirectory) {
  EXPECT_EQ(Names(builder_.Build("C:\\docs\\", "", false)),
            (NameList{".", "..", ".hiddendir", ".secret", "a.txt", "b.TXT", "c.dat", "ro.txt"}));
}

TEST_F(ListingBuildTest, RealEntriesGiveExactLines) {
  EXPECT_EQ(builder_.Build("C:\\docs\\", "a.txt", true),
            "-rw-rw-rw-   1 ftp      ftp            5 Jun 15  2001 a.txt\r\n");
  EXPECT_EQ(builder_.Build("C:\\docs\\", "RO.TXT", true),
            "-r--r--r--   1 ftp      ftp            0 Jun 15  2001 ro.txt\r\n");
  EXPECT_EQ(builder_.Build("C:\\docs\\", "a.txt", false), "a.txt\r\n");
}

TEST_F(ListingBuildTest, WildcardsMatchWithoutCase) {
  EXPECT_EQ(Names(builder_.Build("C:\\docs\\", "*.txt", true)),
            (NameList{"a.txt", "b.TXT", "ro.txt"}));
}

TEST_F(ListingBuildTest, NothingFoundGivesThePattern) {
  EXPECT_EQ(builder_.Build("C:\\", "missing\\", true), "C:\\missing\\*.* not found\r\n");
  EXPECT_EQ(builder_.Build("C:\\", "missing", false), "C:\\missing not found\r\n");
  EXPECT_EQ(builder_.Build("C:\\docs\\", "-la", true), "C:\\docs\\-la not found\r\n");
  // An empty drive root has no dot entries, so nothing at all is found there.
  EXPECT_EQ(builder_.Build("D:\\", "", true), "D:\\*.* not found\r\n");
}

TEST_F(ListingBuildTest, TodaysNamesLeaveOutDotsAndFindNothingWithoutANotFoundLine) {
  builder_.style.leavesOutDots = true;
  builder_.style.emptyWhenNothing = true;
  builder_.namePrefix = "docs/";
  EXPECT_EQ(builder_.Build("C:\\", "docs\\*.txt", false),
            "docs/a.txt\r\ndocs/b.TXT\r\ndocs/ro.txt\r\n");
  builder_.namePrefix.clear();
  EXPECT_EQ(builder_.Build("C:\\", "sub\\", false), "");  // an empty directory
  EXPECT_EQ(builder_.Build("C:\\docs\\", "*.nomatch", false), "");
  EXPECT_EQ(builder_.Build("D:\\", "", true), "");
  EXPECT_THROW(builder_.Build("C:\\docs\\", "missing", false), ListingNotFound);
  EXPECT_THROW(builder_.Build("C:\\", "missing\\", true), ListingNotFound);
  // A dangling link is listed, as a link.
  fs::create_symlink("nowhere", root_ / "c" / "sub" / "gone");
  builder_.style.diskModes = true;
  const std::string listing = builder_.Build("C:\\", "sub\\", true);
  EXPECT_NE(listing.find("gone -> nowhere\r\n"), std::string::npos) << listing;
  EXPECT_EQ(builder_.Build("C:\\", "sub\\", false), "gone\r\n");
}

TEST_F(ListingBuildTest, UnresolvableArgumentThrows) {
  EXPECT_THROW(builder_.Build("C:\\", "D:x", true), FtpPathError);
}

TEST_F(ListingBuildTest, HiddenEntriesLeftOutOfListOnlyWhenTheHostSaysSo) {
  std::vector<std::string> asked;
  bool hide = true;
  builder_.checkHidden = [&](const std::string& pattern) {
    asked.push_back(pattern);
    return hide;
  };

  EXPECT_EQ(Names(builder_.Build("C:\\", "docs\\", true)),
            (NameList{".", "..", "a.txt", "b.TXT", "c.dat", "ro.txt"}));
  EXPECT_EQ(asked, std::vector<std::string>(8, "C:\\docs\\*.*"));

  asked.clear();
  EXPECT_EQ(Names(builder_.Build("C:\\", "docs\\", false)).size(), 8u);
  EXPECT_TRUE(asked.empty());

  hide = false;
  EXPECT_EQ(Names(builder_.Build("C:\\", "docs\\", true)).size(), 8u);
}

TEST_F(ListingBuildTest, LinkLinesComeFirst) {
  const std::string link = "lrwxr-xr-x   1 ftp      ftp            0 Jan  1  1980 pub -> \r\n";
  builder_.addLinks = [&](std::string& stream) { stream += link; };

  const std::string listing = builder_.Build("C:\\docs\\", "a.txt", true);
  EXPECT_EQ(listing, link + "-rw-rw-rw-   1 ftp      ftp            5 Jun 15  2001 a.txt\r\n");
  // Link lines alone are a listing: no not-found line is added.
  EXPECT_EQ(builder_.Build("D:\\", "", true), link);
  EXPECT_EQ(builder_.Build("C:\\", "missing", false), link);
}

}  // namespace
}  // namespace orvane
