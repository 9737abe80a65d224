#include <gtest/gtest.h>

#include <string>

#include "ftp/ClientPaths.h"

namespace orvane {
namespace {

const std::string kPub = "C:\\FTP\\pub\\";
const char kDotRefused[] = "Cannot accept relative path using dot notation";

// The refusal text of ApplyDirectory, or "" when the value is accepted.
std::string Refusal(const std::string& current, const std::string& value) {
  try {
    ApplyDirectory(current, value);
  } catch (const FtpPathError& e) {
    return e.what();
  }
  return "";
}

std::string BuildRefusal(const std::string& dir, const std::string& name) {
  try {
    BuildFilePath(dir, name);
  } catch (const FtpPathError& e) {
    return e.what();
  }
  return "";
}

TEST(ClientPaths, SeparatorConversion) {
  EXPECT_EQ(SlashesToBackSlashes("C:/FTP/pub/"), "C:\\FTP\\pub\\");
  EXPECT_EQ(BackSlashesToSlashes("C:\\FTP\\pub\\"), "C:/FTP/pub/");
  EXPECT_EQ(SlashesToBackSlashes(""), "");
}

TEST(ClientPaths, DrivePart) {
  EXPECT_EQ(ExtractFileDrive("C:\\FTP\\"), "C:");
  EXPECT_EQ(ExtractFileDrive("d:x"), "d:");
  EXPECT_EQ(ExtractFileDrive("a:b:c"), "a:");
  EXPECT_EQ(ExtractFileDrive("\\\\server\\share\\dir\\x"), "\\\\server\\share");
  EXPECT_EQ(ExtractFileDrive("\\\\server\\share"), "\\\\server\\share");
  EXPECT_EQ(ExtractFileDrive("\\\\server"), "\\\\server");
  EXPECT_EQ(ExtractFileDrive("\\\\"), "\\\\");
  EXPECT_EQ(ExtractFileDrive("\\FTP\\"), "");
  EXPECT_EQ(ExtractFileDrive("C"), "");
  EXPECT_EQ(ExtractFileDrive(""), "");
}

TEST(ClientPaths, DirectoryAcceptedValues) {
  EXPECT_EQ(ApplyDirectory(kPub, "sub"), "C:\\FTP\\pub\\sub\\");
  EXPECT_EQ(ApplyDirectory(kPub, "sub\\deeper\\"), "C:\\FTP\\pub\\sub\\deeper\\");
  EXPECT_EQ(ApplyDirectory(kPub, "\\incoming"), "C:\\incoming\\");
  EXPECT_EQ(ApplyDirectory(kPub, ".."), "C:\\FTP\\");
  EXPECT_EQ(ApplyDirectory(kPub, "."), kPub);
  EXPECT_EQ(ApplyDirectory(kPub, ""), kPub);
  EXPECT_EQ(ApplyDirectory(kPub, "\\"), "C:\\");
  EXPECT_EQ(ApplyDirectory(kPub, "D:"), "D:\\");
  EXPECT_EQ(ApplyDirectory(kPub, "c:"), "c:\\FTP\\pub\\");
  EXPECT_EQ(ApplyDirectory(kPub, "D:\\x"), "D:\\x\\");
  EXPECT_EQ(ApplyDirectory(kPub, "c:sub"), "c:\\FTP\\pub\\sub\\");
  EXPECT_EQ(ApplyDirectory(kPub, "a.b"), "C:\\FTP\\pub\\a.b\\");
}

TEST(ClientPaths, DirectoryValueEqualToCurrentIsKeptAsItIs) {
  // Even a current directory the rules would not produce is left alone when named exactly.
  EXPECT_EQ(ApplyDirectory("C:\\odd", "C:\\odd"), "C:\\odd");
  EXPECT_EQ(ApplyDirectory(kPub, kPub), kPub);
}

TEST(ClientPaths, DirectoryRefusals) {
  EXPECT_EQ(Refusal(kPub, "D:x"), "Cannot accept path not relative to current directory");
  EXPECT_EQ(Refusal(kPub, "..\\x"), kDotRefused);
  EXPECT_EQ(Refusal(kPub, "sub\\.."), kDotRefused);
  EXPECT_EQ(Refusal(kPub, ".\\x"), kDotRefused);
  EXPECT_EQ(Refusal(kPub, "\\.."), kDotRefused);
  EXPECT_EQ(Refusal(kPub, "sub\\."), kDotRefused);
  EXPECT_EQ(Refusal(kPub, "a:b:c"), "Invalid directory name syntax");
  EXPECT_EQ(Refusal(kPub, "x:y"), "Cannot accept path not relative to current directory");
  EXPECT_EQ(Refusal(kPub, "sub:x"), "Invalid directory name syntax");
  EXPECT_EQ(Refusal(kPub, "\\\\server\\share"), "Cannot accept UNC path");
  EXPECT_EQ(Refusal(kPub, "\\\\"), "Cannot accept UNC path");
}

TEST(ClientPaths, ParentStopsAtTheDriveRoot) {
  EXPECT_EQ(ApplyDirectory("C:\\", ".."), "C:\\");
  EXPECT_EQ(ApplyDirectory("C:\\FTP\\", ".."), "C:\\");
  EXPECT_EQ(ApplyDirectory("d:\\A\\B\\", ".."), "d:\\A\\");
}

TEST(ClientPaths, DriveLettersCompareWithoutCase) {
  EXPECT_EQ(ApplyDirectory("c:\\ftp\\", "C:"), "C:\\ftp\\");
  EXPECT_EQ(ApplyDirectory("c:\\ftp\\", "C:sub"), "C:\\ftp\\sub\\");
  EXPECT_EQ(ApplyDirectory("c:\\ftp\\", "d:"), "d:\\");
}

TEST(ClientPaths, DirectoryNeverReadsPastShortCurrentValues) {
  // A malformed current directory must give some answer, never an out-of-range access.
  EXPECT_EQ(ApplyDirectory("", ".."), "");
  EXPECT_EQ(ApplyDirectory("", "sub"), "sub\\");
  EXPECT_EQ(ApplyDirectory("C", "D:"), "D:\\");
  EXPECT_EQ(ApplyDirectory("C:", ".."), "C:");
  EXPECT_EQ(ApplyDirectory("C:", "x"), "C:x\\");
}

TEST(ClientPaths, BuildFilePathResolvesAgainstTheCurrentDirectory) {
  EXPECT_EQ(BuildFilePath(kPub, "file.txt"), "C:\\FTP\\pub\\file.txt");
  EXPECT_EQ(BuildFilePath(kPub, "sub/file.txt"), "C:\\FTP\\pub\\sub\\file.txt");
  EXPECT_EQ(BuildFilePath(kPub, "/etc/x"), "C:\\etc\\x");
  EXPECT_EQ(BuildFilePath(kPub, "D:\\x"), "D:\\x");
  EXPECT_EQ(BuildFilePath(kPub, "d:/x"), "D:\\x");
  EXPECT_EQ(BuildFilePath(kPub, "C:x"), "C:\\FTP\\pub\\x");
  EXPECT_EQ(BuildFilePath(kPub, ""), kPub);
  EXPECT_EQ(BuildFilePath(kPub, "\\\\server\\share\\x"), "\\\\server\\share\\x");
  EXPECT_EQ(BuildFilePath(kPub, "//server/share/x"), "\\\\server\\share\\x");
  EXPECT_EQ(BuildFilePath(kPub, "."), "C:\\FTP\\pub\\.");
  EXPECT_EQ(BuildFilePath(kPub, "...x"), "C:\\FTP\\pub\\...x");
}

TEST(ClientPaths, BuildFilePathRefusesAnotherDriveWithoutRoot) {
  EXPECT_EQ(BuildRefusal(kPub, "D:x"), "No current dir for 'D:'");
  EXPECT_EQ(BuildRefusal(kPub, "d:"), "No current dir for 'D:'");
  // The explicit drive is upper-cased and compared exactly with the stored one.
  EXPECT_EQ(BuildRefusal("c:\\ftp\\", "c:x"), "No current dir for 'C:'");
  EXPECT_EQ(BuildFilePath("c:\\ftp\\", "x"), "c:\\ftp\\x");
}

TEST(ClientPaths, BuildFilePathLeavesDotComponentsToTheHost) {
  EXPECT_EQ(BuildFilePath(kPub, ".."), "C:\\FTP\\pub\\..");
  EXPECT_EQ(BuildFilePath(kPub, "../x"), "C:\\FTP\\pub\\..\\x");
  EXPECT_EQ(BuildFilePath(kPub, "/FTP/pub/../../secret"), "C:\\FTP\\pub\\..\\..\\secret");
}

TEST(ClientPaths, BuildFilePathWithShortCurrentDirectory) {
  EXPECT_EQ(BuildFilePath("", "x"), "x");
  EXPECT_EQ(BuildFilePath("C", "\\x"), "C\\x");
}

TEST(ClientPaths, DotComponentsResolveByTheirTextWithinTheDrive) {
  const std::string dir = "C:\\FTP\\pub\\";
  EXPECT_EQ(ResolveDotComponents(dir, "..\\sibling"), "C:\\FTP\\sibling\\");
  EXPECT_EQ(ResolveDotComponents(dir, ".\\a\\.\\b\\.."), "C:\\FTP\\pub\\a\\");
  EXPECT_EQ(ResolveDotComponents(dir, "\\x\\..\\y"), "C:\\y\\");
  EXPECT_EQ(ResolveDotComponents(dir, "D:\\a\\..\\b"), "D:\\b\\");
  EXPECT_EQ(ResolveDotComponents(dir, "..\\.."), "C:\\");
  // Left to the directory rule as they are: whole "." and "..", no dot component, and what
  // the rule refuses for another reason.
  for (const char* kept :
       {".", "..", "sub", "\\a\\b", "D:x\\..", "\\\\srv\\share\\..", "a:b\\.."}) {
    EXPECT_EQ(ResolveDotComponents(dir, kept), kept);
  }
  EXPECT_THROW(ResolveDotComponents(dir, "..\\..\\.."), FtpPathLeavesRoot);
  EXPECT_THROW(ResolveDotComponents(dir, "\\.."), FtpPathLeavesRoot);
  EXPECT_EQ(ApplyDirectory(dir, ResolveDotComponents(dir, "..\\sibling")), "C:\\FTP\\sibling\\");
}

}  // namespace
}  // namespace orvane
