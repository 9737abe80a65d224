#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/TempDir.h"

namespace orvane {
namespace {

using test::MakeDir;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

std::vector<std::string> Names(const std::vector<FileInfo>& entries) {
  std::vector<std::string> names;
  for (const FileInfo& entry : entries) names.push_back(entry.name);
  return names;
}

// Drive C is <tmp>/c, drive D is <tmp>/d; the process-wide map is reset afterwards.
class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeDir(c_);
    MakeDir(d_);
    FileSystem::SetDriveMap({{'c', c_ + "/"}, {'D', d_}});
  }
  void TearDown() override { FileSystem::SetDriveMap({}); }

  TempDir dir_;
  std::string c_ = dir_ / "c";
  std::string d_ = dir_ / "d";
};

TEST_F(FileSystemTest, DriveMapDefaultsToRootAndNormalisesLetters) {
  EXPECT_EQ(FileSystem::DriveMap(), (std::map<char, std::string>{{'C', c_}, {'D', d_}}));
  FileSystem::SetDriveMap({});
  EXPECT_EQ(FileSystem::DriveMap(), (std::map<char, std::string>{{'C', "/"}}));
  EXPECT_EQ(FileSystem::ToPosix("C:\\tmp"), "/tmp");
}

TEST_F(FileSystemTest, ResolvesComponentsWithoutCasePreferringExactNames) {
  MakeDir(c_ + "/Pub/Sub");
  WriteBytes(c_ + "/Pub/Sub/readme.txt", "lower");
  WriteBytes(c_ + "/Pub/Sub/README.TXT", "upper");
  WriteBytes(c_ + "/Pub/Sub/Readme.txt", "mixed");

  EXPECT_EQ(FileSystem::ToPosix("C:\\pub\\SUB\\readme.txt"), c_ + "/Pub/Sub/readme.txt");
  EXPECT_EQ(FileSystem::ToPosix("c:/PUB/sub/README.TXT"), c_ + "/Pub/Sub/README.TXT");
  // No exact match: the byte-wise smallest of the folded matches.
  EXPECT_EQ(FileSystem::ToPosix("C:\\Pub\\Sub\\readME.txt"), c_ + "/Pub/Sub/README.TXT");
  // Missing components keep the spelling given, also below a missing directory.
  EXPECT_EQ(FileSystem::ToPosix("C:\\PUB\\New\\File.TXT"), c_ + "/Pub/New/File.TXT");
  EXPECT_EQ(FileSystem::ToPosix("C:\\pub\\sub\\"), c_ + "/Pub/Sub");
  EXPECT_EQ(FileSystem::ToPosix("C:\\pub\\\\.\\sub"), c_ + "/Pub/Sub");
  EXPECT_EQ(FileSystem::ToPosix("C:\\"), c_);
  EXPECT_EQ(FileSystem::ToPosix("C:"), c_);
  EXPECT_EQ(FileSystem::ToPosix("d:\\x"), d_ + "/x");
  // UTF-8 names are not folded.
  MakeDir(c_ + "/\xc3\xa9t\xc3\xa9");
  EXPECT_EQ(FileSystem::ToPosix("C:\\\xc3\x89T\xc3\x89"), c_ + "/\xc3\x89T\xc3\x89");
}

TEST_F(FileSystemTest, RefusesPathsThatAreNotResolvedDriveLetterPaths) {
  EXPECT_FALSE(FileSystem::ToPosix("E:\\x"));
  EXPECT_EQ(FileSystem::LastError(), ENODEV);
  EXPECT_FALSE(FileSystem::ToPosix("\\ftp\\x"));
  EXPECT_FALSE(FileSystem::ToPosix("C:ftp"));
  EXPECT_FALSE(FileSystem::ToPosix("C:\\ftp\\..\\..\\etc"));
  EXPECT_FALSE(FileSystem::ToPosix("C:\\.."));
  EXPECT_FALSE(FileSystem::ToPosix("\\\\server\\share"));
  EXPECT_FALSE(FileSystem::ToPosix(std::string("C:\\a\0b", 6)));
  EXPECT_FALSE(FileSystem::ToPosix(""));
  EXPECT_FALSE(FileSystem::Stat("C:\\ftp\\.."));
  // "..." is an ordinary name on POSIX, not a way up.
  EXPECT_EQ(FileSystem::ToPosix("C:\\...\\x"), c_ + "/.../x");
}

TEST_F(FileSystemTest, ReportsAttributesSizesAndTimes) {
  MakeDir(c_ + "/Dir");
  WriteBytes(c_ + "/data.bin", "12345");
  WriteBytes(c_ + "/.profile", "x");
  WriteBytes(c_ + "/locked.txt", "x");
  ASSERT_EQ(::chmod((c_ + "/locked.txt").c_str(), 0444), 0);
  struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (c_ + "/data.bin").c_str(), times, 0), 0);

  std::optional<FileInfo> data = FileSystem::Stat("C:\\DATA.BIN");
  ASSERT_TRUE(data);
  EXPECT_EQ(data->name, "data.bin");
  EXPECT_FALSE(data->directory || data->hidden || data->readOnly);
  EXPECT_EQ(data->size, 5);
  EXPECT_EQ(data->mtime, 1000000000);

  EXPECT_TRUE(FileSystem::Stat("C:\\.profile")->hidden);
  EXPECT_TRUE(FileSystem::Stat("C:\\locked.txt")->readOnly);
  std::optional<FileInfo> dir = FileSystem::Stat("C:\\dir\\");
  ASSERT_TRUE(dir);
  EXPECT_TRUE(dir->directory);
  EXPECT_EQ(dir->size, 0);
  std::optional<FileInfo> root = FileSystem::Stat("C:\\");
  ASSERT_TRUE(root);
  EXPECT_TRUE(root->directory);
  EXPECT_EQ(root->name, "");

  EXPECT_TRUE(FileSystem::FileExists("C:\\data.bin"));
  EXPECT_FALSE(FileSystem::FileExists("C:\\Dir"));
  EXPECT_TRUE(FileSystem::DirectoryExists("C:\\DIR"));
  EXPECT_FALSE(FileSystem::DirectoryExists("C:\\data.bin"));
  EXPECT_EQ(FileSystem::FileSize("C:\\data.bin"), 5);
  EXPECT_EQ(FileSystem::FileSize("C:\\Dir"), -1);
  EXPECT_EQ(FileSystem::FileSize("C:\\missing"), -1);
  EXPECT_FALSE(FileSystem::Stat("C:\\missing"));
  EXPECT_EQ(FileSystem::LastError(), ENOENT);
}

TEST_F(FileSystemTest, EnumeratesWithDotEntriesExceptAtADriveRoot) {
  MakeDir(c_ + "/sub/inner");
  WriteBytes(c_ + "/sub/b.txt", "bb");
  WriteBytes(c_ + "/sub/A.TXT", "a");
  WriteBytes(c_ + "/sub/noext", "");
  WriteBytes(c_ + "/sub/.hidden", "");
  WriteBytes(c_ + "/top.txt", "");

  std::vector<FileInfo> all = FileSystem::Enumerate("C:\\SUB\\*.*");
  ASSERT_EQ(Names(all),
            (std::vector<std::string>{".", "..", ".hidden", "A.TXT", "b.txt", "inner", "noext"}));
  EXPECT_TRUE(all[0].directory && all[1].directory);
  EXPECT_FALSE(all[0].hidden || all[1].hidden);
  EXPECT_TRUE(all[2].hidden);
  EXPECT_TRUE(all[5].directory);
  EXPECT_EQ(all[4].size, 2);

  EXPECT_EQ(Names(FileSystem::Enumerate("C:\\sub\\*")), Names(all));
  EXPECT_EQ(Names(FileSystem::Enumerate("C:\\sub\\*.txt")),
            (std::vector<std::string>{"A.TXT", "b.txt"}));
  EXPECT_EQ(Names(FileSystem::Enumerate("C:\\sub\\?.TXT")),
            (std::vector<std::string>{"A.TXT", "b.txt"}));
  EXPECT_EQ(Names(FileSystem::Enumerate("C:\\sub\\*.")),
            (std::vector<std::string>{"inner", "noext"}));
  EXPECT_EQ(Names(FileSystem::Enumerate("C:\\*.*")), (std::vector<std::string>{"sub", "top.txt"}));
  EXPECT_EQ(Names(FileSystem::Enumerate("C:/sub/inner/*.*")),
            (std::vector<std::string>{".", ".."}));
}

TEST_F(FileSystemTest, EnumeratesOneNamedEntryWithoutWildcards) {
  MakeDir(c_ + "/sub");
  WriteBytes(c_ + "/sub/Readme.txt", "x");
  EXPECT_EQ(Names(FileSystem::Enumerate("C:\\SUB\\README.TXT")),
            std::vector<std::string>{"Readme.txt"});
  std::vector<FileInfo> sub = FileSystem::Enumerate("C:\\sub");
  ASSERT_EQ(Names(sub), std::vector<std::string>{"sub"});
  EXPECT_TRUE(sub[0].directory);
  EXPECT_TRUE(FileSystem::Enumerate("C:\\sub\\").empty());
  EXPECT_TRUE(FileSystem::Enumerate("C:\\sub\\missing.txt").empty());
  EXPECT_TRUE(FileSystem::Enumerate("C:\\missing\\*.*").empty());
  EXPECT_TRUE(FileSystem::Enumerate("C:\\sub\\..").empty());
}

TEST_F(FileSystemTest, FollowsLinksListsDanglingOnesAndSkipsWhatIsNotAFileOrDirectory) {
  WriteBytes(dir_ / "outside.txt", "12345678");
  ASSERT_EQ(::symlink((dir_ / "outside.txt").c_str(), (c_ + "/link.txt").c_str()), 0);
  ASSERT_EQ(::symlink((dir_ / "nowhere").c_str(), (c_ + "/dangling.txt").c_str()), 0);
  ASSERT_EQ(::mkfifo((c_ + "/pipe.txt").c_str(), 0644), 0);

  std::vector<FileInfo> entries = FileSystem::Enumerate("C:\\*.txt");
  // A dangling link is listed as what it is; a pipe is not.
  ASSERT_EQ(Names(entries), (std::vector<std::string>{"dangling.txt", "link.txt"}));
  EXPECT_TRUE(entries[0].danglingLink);
  EXPECT_EQ(entries[0].linkTarget, std::string(dir_ / "nowhere"));
  EXPECT_FALSE(entries[1].danglingLink);
  EXPECT_EQ(entries[1].size, 8);
  ::chmod((dir_ / "outside.txt").c_str(), 0640);
  EXPECT_EQ(FileSystem::Enumerate("C:\\link.txt")[0].mode, 0640u);
  EXPECT_FALSE(FileSystem::FileExists("C:\\dangling.txt"));
  EXPECT_FALSE(FileSystem::FileExists("C:\\pipe.txt"));

  // Named exactly and in another case, a link is seen as what it points to.
  EXPECT_EQ(FileSystem::FileSize("C:\\link.txt"), 8);
  EXPECT_EQ(FileSystem::FileSize("C:\\LINK.TXT"), 8);
  MakeDir(dir_ / "target");
  ASSERT_EQ(::symlink((dir_ / "target").c_str(), (c_ + "/linked").c_str()), 0);
  EXPECT_TRUE(FileSystem::DirectoryExists("C:\\linked"));
  EXPECT_FALSE(FileSystem::FileExists("C:\\linked"));
  // A file in the middle of a path is no directory.
  EXPECT_FALSE(FileSystem::FileExists("C:\\link.txt\\x"));
  EXPECT_FALSE(FileSystem::DeleteFile("C:\\dangling.txt"));
  EXPECT_TRUE(FileSystem::DeleteFile("C:\\link.txt"));
  EXPECT_TRUE(std::filesystem::exists(dir_ / "outside.txt"));
}

TEST_F(FileSystemTest, RenameMovesAndRefusesAnExistingTarget) {
  MakeDir(c_ + "/from");
  MakeDir(c_ + "/to");
  WriteBytes(c_ + "/from/a.txt", "a");
  WriteBytes(c_ + "/to/b.txt", "b");

  EXPECT_FALSE(FileSystem::RenameFile("C:\\from\\a.txt", "C:\\to\\B.TXT"));
  EXPECT_EQ(FileSystem::LastError(), EEXIST);
  EXPECT_EQ(ReadBytes(c_ + "/to/b.txt"), "b");
  EXPECT_FALSE(FileSystem::RenameFile("C:\\from\\missing", "C:\\to\\new"));
  EXPECT_EQ(FileSystem::LastError(), ENOENT);

  ASSERT_TRUE(FileSystem::RenameFile("C:\\FROM\\A.TXT", "C:\\to\\Moved.txt"));
  EXPECT_EQ(ReadBytes(c_ + "/to/Moved.txt"), "a");
  ASSERT_TRUE(FileSystem::RenameFile("C:\\to", "C:\\from\\Nested"));
  EXPECT_EQ(ReadBytes(c_ + "/from/Nested/b.txt"), "b");
  EXPECT_FALSE(FileSystem::RenameFile("C:\\", "C:\\x"));
}

TEST_F(FileSystemTest, CreatesRemovesAndDeletes) {
  EXPECT_TRUE(FileSystem::CreateDirectory("C:\\NewDir\\"));
  EXPECT_TRUE(FileSystem::DirectoryExists("C:\\newdir"));
  EXPECT_FALSE(FileSystem::CreateDirectory("C:\\newdir"));
  EXPECT_EQ(FileSystem::LastError(), EEXIST);
  EXPECT_FALSE(FileSystem::CreateDirectory("C:\\missing\\child"));
  EXPECT_EQ(FileSystem::LastError(), ENOENT);

  WriteBytes(c_ + "/NewDir/f.txt", "x");
  EXPECT_FALSE(FileSystem::RemoveDirectory("C:\\newdir"));
  EXPECT_FALSE(FileSystem::DeleteFile("C:\\newdir"));
  EXPECT_EQ(FileSystem::LastError(), EISDIR);
  EXPECT_FALSE(FileSystem::RemoveDirectory("C:\\newdir\\f.txt"));

  ASSERT_EQ(::chmod((c_ + "/NewDir/f.txt").c_str(), 0444), 0);
  EXPECT_FALSE(FileSystem::DeleteFile("C:\\newdir\\F.TXT"));
  EXPECT_EQ(FileSystem::LastError(), EACCES);
  ASSERT_TRUE(FileSystem::ClearReadOnly("C:\\newdir\\F.TXT"));
  EXPECT_FALSE(FileSystem::Stat("C:\\newdir\\f.txt")->readOnly);
  ASSERT_TRUE(FileSystem::DeleteFile("C:\\newdir\\F.TXT"));
  EXPECT_FALSE(FileSystem::FileExists("C:\\newdir\\f.txt"));
  EXPECT_TRUE(FileSystem::RemoveDirectory("C:\\NEWDIR\\"));
  EXPECT_FALSE(FileSystem::DirectoryExists("C:\\newdir"));
  EXPECT_FALSE(FileSystem::RemoveDirectory("D:\\"));
  EXPECT_FALSE(FileSystem::DeleteFile("C:\\missing.txt"));
}

// Nothing is kept between lookups: another program's change is seen by the next one. A
// generation stays the same within a scope until a change is made through FileSystem, and is 0
// outside every scope.
TEST_F(FileSystemTest, LookupsAskTheSystemAndGenerationsEndWithChanges) {
  WriteBytes(c_ + "/a.txt", "abc");
  EXPECT_EQ(FileSystem::LookupGeneration(), 0u);
  {
    const FileSystem::GenerationScope scope;
    const uint64_t first = FileSystem::LookupGeneration();
    EXPECT_NE(first, 0u);
    EXPECT_EQ(FileSystem::FileSize("C:\\a.txt"), 3);
    WriteBytes(c_ + "/a.txt", "abcdef");  // another program
    EXPECT_EQ(FileSystem::FileSize("C:\\a.txt"), 6);
    ASSERT_EQ(::unlink((c_ + "/a.txt").c_str()), 0);
    EXPECT_FALSE(FileSystem::FileExists("C:\\a.txt"));
    {
      const FileSystem::GenerationScope inner;
      EXPECT_EQ(FileSystem::LookupGeneration(), first);
    }
    EXPECT_EQ(FileSystem::LookupGeneration(), first);
    ASSERT_TRUE(FileSystem::CreateDirectory("C:\\sub"));
    EXPECT_NE(FileSystem::LookupGeneration(), first);
  }
  EXPECT_EQ(FileSystem::LookupGeneration(), 0u);
  uint64_t before = 0;
  {
    const FileSystem::GenerationScope scope;
    before = FileSystem::LookupGeneration();
  }
  const FileSystem::GenerationScope again;
  EXPECT_NE(FileSystem::LookupGeneration(), before);
}

}  // namespace
}  // namespace orvane
