#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/SettingsDirectory.h"
#include "platform/TempDir.h"

namespace orvane {
namespace {

using Program = SettingsDirectory::Program;

SettingsDirectory::Inputs Installed(Program program) {
  SettingsDirectory::Inputs in;
  in.program = program;
  in.programDir = "/usr/bin/";
  in.programDirWritable = false;
  in.home = "/home/ann";
  return in;
}

TEST(SettingsDirectoryTest, DirOptionWinsOverEverything) {
  for (Program program : {Program::Desktop, Program::Daemon}) {
    SettingsDirectory::Inputs in = Installed(program);
    in.programDir = "/home/ann/build/";
    in.programDirWritable = true;
    in.stateDirectory = "/var/lib/orvane-ftpd";
    in.xdgConfigHome = "/home/ann/.cfg";
    in.dirOption = "/srv/conf";
    const auto choice = SettingsDirectory::Choose(in);
    EXPECT_EQ(choice.dir, "/srv/conf/");
    EXPECT_FALSE(choice.create);
  }
}

TEST(SettingsDirectoryTest, WritableProgramDirectoryIsKept) {
  for (Program program : {Program::Desktop, Program::Daemon}) {
    SettingsDirectory::Inputs in = Installed(program);
    in.programDir = "/home/ann/portable";
    in.programDirWritable = true;
    in.stateDirectory = "/var/lib/orvane-ftpd";
    EXPECT_EQ(SettingsDirectory::Choose(in).dir, "/home/ann/portable/");
  }
}

TEST(SettingsDirectoryTest, SystemProgramDirectoryIsNeverUsedEvenWhenWritable) {
  SettingsDirectory::Inputs in = Installed(Program::Daemon);
  in.programDirWritable = true;  // root can write /usr/bin
  EXPECT_EQ(SettingsDirectory::Choose(in).dir, "");
  in.programDir = "/usr/local/bin";
  EXPECT_EQ(SettingsDirectory::Choose(in).dir, "");
  EXPECT_FALSE(SettingsDirectory::IsSystemProgramDir("/usr/bin/extra/"));
}

TEST(SettingsDirectoryTest, DesktopProgramUsesXdgConfigHomeOrDotConfig) {
  SettingsDirectory::Inputs in = Installed(Program::Desktop);
  EXPECT_EQ(SettingsDirectory::Choose(in).dir, "/home/ann/.config/orvane-ftp-server/");
  EXPECT_TRUE(SettingsDirectory::Choose(in).create);
  in.xdgConfigHome = "/home/ann/cfg/";
  EXPECT_EQ(SettingsDirectory::Choose(in).dir, "/home/ann/cfg/orvane-ftp-server/");
  // A relative value is invalid and ignored, as the base directory rules say.
  in.xdgConfigHome = "cfg";
  EXPECT_EQ(SettingsDirectory::Choose(in).dir, "/home/ann/.config/orvane-ftp-server/");
  in.xdgConfigHome.reset();
  in.home.reset();
  const auto none = SettingsDirectory::Choose(in);
  EXPECT_EQ(none.dir, "");
  EXPECT_NE(none.reason.find("--dir"), std::string::npos);
  // The service's directory is the daemon's, never the desktop program's.
  in.stateDirectory = "/var/lib/orvane-ftpd";
  EXPECT_EQ(SettingsDirectory::Choose(in).dir, "");
}

TEST(SettingsDirectoryTest, DaemonUsesTheServiceDirectoryOrHasNone) {
  SettingsDirectory::Inputs in = Installed(Program::Daemon);
  in.xdgConfigHome = "/home/ann/cfg";
  const auto none = SettingsDirectory::Choose(in);
  EXPECT_EQ(none.dir, "");
  EXPECT_NE(none.reason.find("--dir DIR"), std::string::npos);
  in.stateDirectory = "/var/lib/orvane-ftpd:/var/lib/other";
  const auto choice = SettingsDirectory::Choose(in);
  EXPECT_EQ(choice.dir, "/var/lib/orvane-ftpd/");
  EXPECT_EQ(SettingsDirectory::StartLine(choice),
            "Settings directory: /var/lib/orvane-ftpd/ (from $STATE_DIRECTORY)");
}

TEST(SettingsDirectoryTest, ResolveCreatesTheDesktopDirectoryAndReportsFailure) {
  test::TempDir temp;
  SettingsDirectory::Inputs in = Installed(Program::Desktop);
  in.xdgConfigHome = temp / "a/b";
  const auto made = SettingsDirectory::Resolve(in);
  EXPECT_EQ(made.dir, temp / "a/b/orvane-ftp-server/");
  struct stat st {};
  ASSERT_EQ(::stat(made.dir.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(SettingsDirectory::Resolve(in).dir, made.dir);  // an existing one is fine

  test::WriteBytes(temp / "file", "x");
  in.xdgConfigHome = temp / "file";
  const auto failed = SettingsDirectory::Resolve(in);
  EXPECT_EQ(failed.dir, "");
  EXPECT_NE(failed.reason.find("file"), std::string::npos);
}

TEST(SettingsDirectoryTest, DirectoryOthersMayWriteIsRefusedWithTheReason) {
  test::TempDir temp;
  SettingsDirectory::Inputs in = Installed(Program::Daemon);
  in.dirOption = temp.Path();
  EXPECT_EQ(SettingsDirectory::Resolve(in).dir, temp.Path() + "/");  // mkdtemp's 0700
  for (const auto& [mode, who] : {std::pair{0770, "its group"}, {0757, "any user"}}) {
    ASSERT_EQ(::chmod(temp.Path().c_str(), static_cast<mode_t>(mode)), 0);
    const auto refused = SettingsDirectory::Resolve(in);
    EXPECT_EQ(refused.dir, "") << mode;
    EXPECT_NE(refused.reason.find(std::string("may be written by ") + who), std::string::npos)
        << refused.reason;
  }
  // The program's own directory is judged alike.
  in.dirOption.reset();
  in.programDir = temp.Path();
  in.programDirWritable = true;
  EXPECT_EQ(SettingsDirectory::Resolve(in).dir, "");
  ASSERT_EQ(::chmod(temp.Path().c_str(), 0755), 0);
  EXPECT_EQ(SettingsDirectory::Resolve(in).dir, temp.Path() + "/");
  // Another user's directory, where this process may change the owner (as root).
  if (::chown(temp.Path().c_str(), 65534, 65534) == 0) {
    const auto refused = SettingsDirectory::Resolve(in);
    EXPECT_EQ(refused.dir, "");
    EXPECT_NE(refused.reason.find("belongs to another user (uid 65534)"), std::string::npos);
    ASSERT_EQ(::chown(temp.Path().c_str(), ::geteuid(), ::getegid()), 0);
  }
}

}  // namespace
}  // namespace orvane
