#include <gtest/gtest.h>

#include "access/ResolvedPaths.h"

namespace orvane {
namespace {

TEST(ResolvedPaths, DotDotNeverClimbsAboveTheDriveRoot) {
  EXPECT_EQ(ResolvePath("C:\\ftp\\pub\\..\\..\\etc\\passwd"), "C:\\etc\\passwd");
  EXPECT_EQ(ResolvePath("C:\\ftp\\..\\..\\..\\etc\\passwd"), "C:\\etc\\passwd");
  EXPECT_EQ(ResolvePath("C:\\..\\"), "C:\\");
  EXPECT_EQ(ResolvePath("C:"), "C:\\");
  EXPECT_EQ(ResolvePath("C:\\ftp\\.\\pub\\.\\a.txt"), "C:\\ftp\\pub\\a.txt");
}

TEST(ResolvedPaths, KeepsTheDirectoryFormOfThePath) {
  EXPECT_EQ(ResolvePath("C:\\ftp\\pub\\"), "C:\\ftp\\pub\\");
  EXPECT_EQ(ResolvePath("C:\\ftp\\pub"), "C:\\ftp\\pub");
  // A last "." or ".." names a directory.
  EXPECT_EQ(ResolvePath("C:\\ftp\\pub\\.."), "C:\\ftp\\");
  EXPECT_EQ(ResolvePath("C:\\ftp\\pub\\."), "C:\\ftp\\pub\\");
  // Repeated separators and "/" collapse into one "\".
  EXPECT_EQ(ResolvePath("C:\\ftp\\\\pub//x/"), "C:\\ftp\\pub\\x\\");
  // Names that merely contain dots are names.
  EXPECT_EQ(ResolvePath("C:\\ftp\\...\\a..b"), "C:\\ftp\\...\\a..b");
}

TEST(ResolvedPaths, PathsWithoutADriveAreLeftForTheChecksToRefuse) {
  EXPECT_EQ(ResolvePath("\\\\server\\share\\..\\x"), "\\\\server\\share\\..\\x");
  EXPECT_EQ(ResolvePath("..\\x"), "..\\x");
  EXPECT_EQ(ResolvePath(""), "");
}

TEST(ResolvedPaths, FileAndDirectoryForms) {
  EXPECT_EQ(ResolveFilePath("C:\\ftp\\sub\\"), "C:\\ftp\\sub");
  EXPECT_EQ(ResolveFilePath("C:\\ftp\\sub\\.."), "C:\\ftp");
  EXPECT_EQ(ResolveFilePath("C:\\ftp\\.."), "C:\\");
  EXPECT_EQ(ResolveDirectoryPath("C:\\ftp\\sub"), "C:\\ftp\\sub\\");
  EXPECT_EQ(ResolveDirectoryPath("C:\\ftp\\sub\\..\\"), "C:\\ftp\\");

  EXPECT_EQ(DirectoryPart("C:\\ftp\\a.txt"), "C:\\ftp\\");
  EXPECT_EQ(DirectoryPart("C:\\a.txt"), "C:\\");
  EXPECT_EQ(DirectoryPart("C:x"), "C:\\");
  EXPECT_EQ(DirectoryPart("a.txt"), "");
  EXPECT_EQ(FileNamePart("C:\\ftp\\a.txt"), "a.txt");
}

}  // namespace
}  // namespace orvane
