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

class FileTest : public ::testing::Test {
 protected:
  void SetUp() override { FileSystem::SetDriveMap({{'C', dir_.Path()}}); }
  void TearDown() override { FileSystem::SetDriveMap({}); }

  static std::string ReadAll(File& file) {
    std::string result;
    char buffer[4];  // small, so reading takes several calls
    int64_t n;
    while ((n = file.Read(buffer, sizeof buffer)) > 0) result.append(buffer, n);
    EXPECT_EQ(n, 0);
    return result;
  }

  TempDir dir_;
};

TEST_F(FileTest, ReadsSeeksAndReportsSize) {
  WriteBytes(dir_ / "Data.txt", "0123456789");
  std::optional<File> file = File::Open("C:\\DATA.TXT", File::Mode::Read);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Size(), 10);
  EXPECT_EQ(ReadAll(*file), "0123456789");
  ASSERT_TRUE(file->Seek(7));
  EXPECT_EQ(ReadAll(*file), "789");
  EXPECT_FALSE(file->Seek(-1));
  EXPECT_EQ(file->Write("x", 1), -1);
}

TEST_F(FileTest, OpenFailsForMissingFilesDirectoriesAndBadPaths) {
  MakeDir(dir_ / "sub");
  EXPECT_FALSE(File::Open("C:\\missing.txt", File::Mode::Read));
  EXPECT_EQ(FileSystem::LastError(), ENOENT);
  EXPECT_FALSE(File::Open("C:\\missing.txt", File::Mode::Write));
  EXPECT_EQ(FileSystem::LastError(), ENOENT);
  EXPECT_FALSE(File::Open("C:\\sub", File::Mode::Read));
  EXPECT_EQ(FileSystem::LastError(), EISDIR);
  EXPECT_FALSE(File::Open("C:\\sub", File::Mode::Append));
  EXPECT_FALSE(File::Open("C:\\sub\\..\\x", File::Mode::CreateTruncate));
  ASSERT_EQ(::mkfifo((dir_ / "pipe").c_str(), 0644), 0);
  EXPECT_FALSE(File::Open("C:\\pipe", File::Mode::Read));  // must not block
}

TEST_F(FileTest, WriteModesCreateTruncateOverwriteAndAppend) {
  WriteBytes(dir_ / "f.bin", "old contents");
  {
    std::optional<File> file = File::Open("C:\\F.BIN", File::Mode::CreateTruncate);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->Size(), 0);
    EXPECT_EQ(file->Write("new", 3), 3);
  }
  EXPECT_EQ(ReadBytes(dir_ / "f.bin"), "new");
  {
    std::optional<File> file = File::Open("C:\\f.bin", File::Mode::Write);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->Seek(1));
    EXPECT_EQ(file->Write("E", 1), 1);
  }
  EXPECT_EQ(ReadBytes(dir_ / "f.bin"), "nEw");
  {
    std::optional<File> file = File::Open("C:\\f.bin", File::Mode::Append);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->Seek(0));
    EXPECT_EQ(file->Write("+1", 2), 2);
  }
  EXPECT_EQ(ReadBytes(dir_ / "f.bin"), "nEw+1");

  std::optional<File> created = File::Open("C:\\Appended.log", File::Mode::Append);
  ASSERT_TRUE(created);
  EXPECT_EQ(created->Write("line", 4), 4);
  created->Close();
  EXPECT_FALSE(created->IsOpen());
  EXPECT_EQ(created->Read(nullptr, 0), -1);
  EXPECT_EQ(ReadBytes(dir_ / "Appended.log"), "line");
  ASSERT_TRUE(File::Open("C:\\fresh.bin", File::Mode::CreateTruncate));
  EXPECT_EQ(FileSystem::FileSize("C:\\fresh.bin"), 0);

  // CreateNew never touches a file that exists, whatever the letter case of its name.
  EXPECT_FALSE(File::Open("C:\\F.BIN", File::Mode::CreateNew));
  EXPECT_EQ(FileSystem::LastError(), EEXIST);
  EXPECT_EQ(ReadBytes(dir_ / "f.bin"), "nEw+1");
  ASSERT_TRUE(File::Open("C:\\new.bin", File::Mode::CreateNew));
  EXPECT_EQ(FileSystem::FileSize("C:\\new.bin"), 0);
}

TEST_F(FileTest, ReadOnlyFileOpensOnlyForReading) {
  WriteBytes(dir_ / "ro.txt", "keep");
  ASSERT_EQ(::chmod((dir_ / "ro.txt").c_str(), 0444), 0);
  for (File::Mode mode : {File::Mode::CreateTruncate, File::Mode::Write, File::Mode::Append}) {
    EXPECT_FALSE(File::Open("C:\\ro.txt", mode));
    EXPECT_EQ(FileSystem::LastError(), EACCES);
  }
  EXPECT_EQ(ReadBytes(dir_ / "ro.txt"), "keep");
  EXPECT_TRUE(File::Open("C:\\ro.txt", File::Mode::Read));
}

TEST_F(FileTest, MovingTransfersOwnership) {
  WriteBytes(dir_ / "m.txt", "abc");
  std::optional<File> opened = File::Open("C:\\m.txt", File::Mode::Read);
  ASSERT_TRUE(opened);
  File moved(std::move(*opened));
  EXPECT_FALSE(opened->IsOpen());
  EXPECT_TRUE(moved.IsOpen());
  File assigned = std::move(moved);
  EXPECT_EQ(ReadAll(assigned), "abc");
}

TEST_F(FileTest, HandlesOffsetsBeyondFourGigabytes) {
  const int64_t size = 5LL * 1024 * 1024 * 1024;
  {
    int fd = ::open((dir_ / "big.bin").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);  // sparse: takes no disk space
    ::close(fd);
  }
  EXPECT_EQ(FileSystem::FileSize("C:\\big.bin"), size);
  EXPECT_EQ(FileSystem::Stat("C:\\big.bin")->size, size);

  const int64_t offset = 4LL * 1024 * 1024 * 1024 + 10;
  {
    std::optional<File> file = File::Open("C:\\big.bin", File::Mode::Write);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->Seek(offset));
    EXPECT_EQ(file->Write("far", 3), 3);
  }
  std::optional<File> file = File::Open("C:\\big.bin", File::Mode::Read);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Size(), size);
  ASSERT_TRUE(file->Seek(offset - 1));
  char buffer[5] = {};
  EXPECT_EQ(file->Read(buffer, 5), 5);
  EXPECT_EQ(std::string(buffer, 5), std::string("\0far\0", 5));
  ASSERT_TRUE(file->Seek(size - 2));
  EXPECT_EQ(file->Read(buffer, 5), 2);
  EXPECT_EQ(file->Read(buffer, 5), 0);
}

}  // namespace
}  // namespace orvane
