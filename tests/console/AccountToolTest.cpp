#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "console/AccountTool.h"

namespace orvane {
namespace {

// A POSIX directory becomes the path of the deepest drive it lies under; one under no drive
// is refused with a reason that names [Drives]; rights are the editor's letters in any case.
TEST(AccountTool, DrivePathsAndLetters) {
  char pattern[] = "/tmp/accttoolXXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string dir = std::string(pattern) + "/";
  std::ofstream(dir + "FTPsrv.ini") << "[Drives]\r\nC=/srv/ftp\r\nD=/srv/ftp/big/\r\n";
  AccountTool tool(dir);

  std::string path;
  std::string error;
  EXPECT_TRUE(tool.DrivePath("/srv/ftp", path, error));
  EXPECT_EQ(path, "C:\\");
  EXPECT_TRUE(tool.DrivePath("/srv/ftp/pub/", path, error));
  EXPECT_EQ(path, "C:\\pub\\");
  EXPECT_TRUE(tool.DrivePath("/srv/ftp/big/iso", path, error));
  EXPECT_EQ(path, "D:\\iso\\");
  EXPECT_FALSE(tool.DrivePath("/srv/ftpx", path, error));
  EXPECT_NE(error.find("[Drives]"), std::string::npos);
  EXPECT_FALSE(tool.DrivePath("pub", path, error));

  std::array<bool, 6> on{};
  EXPECT_TRUE(AccountTool::Letters("lr", on));
  EXPECT_EQ(on, (std::array<bool, 6>{true, false, false, false, true, false}));
  EXPECT_FALSE(AccountTool::Letters("RX", on));

  // An account the tool cannot place is not written at all.
  EXPECT_FALSE(tool.Add("bob", "/elsewhere", "R", "", "pw", error));
  EXPECT_NE(::access((dir + "Accounts.ini").c_str(), F_OK), 0);
  std::remove((dir + "FTPsrv.ini").c_str());
  ::rmdir(pattern);
}

}  // namespace
}  // namespace orvane
