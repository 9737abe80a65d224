#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "access/Usrdata.h"
#include "host/AccountLimits.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/TempDir.h"

namespace orvane {
namespace {

class AccountLimitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FileSystem::SetDriveMap({{'C', root_.Path()}});
    std::filesystem::create_directories(root_ / "q/sub");
    std::filesystem::create_directories(root_ / "other");
    test::WriteBytes(root_ / "q/a", std::string(100, 'a'));
    test::WriteBytes(root_ / "q/sub/b", std::string(50, 'b'));
    test::WriteBytes(root_ / "other/c", std::string(7, 'c'));
    std::filesystem::create_symlink(root_ / "other/c", root_ / "q/link");
  }
  void TearDown() override { FileSystem::SetDriveMap({}); }

  Usrdata Session(int64_t quotaBytes, int64_t quotaFiles) {
    Usrdata r;
    r.Account = "q";
    r.QuotaBytes = quotaBytes;
    r.QuotaFiles = quotaFiles;
    r.Dirs[0] = TDir{"C:\\q", "RWDMLS"};
    r.Dirs[1] = TDir{"C:\\q\\sub", "RWDMLS"};  // inside entry 0: counted once
    r.Dirs[2] = TDir{"C:\\other", "RL"};
    return r;
  }

  test::TempDir root_;
  AccountLimits limits_;
};

// The count covers every entry's tree once, files only, no links; the usage belongs to the
// account and lives while one of its sessions does.
TEST_F(AccountLimitsTest, UsageIsCountedOncePerAccountAndForgottenWithItsLastSession) {
  Usrdata one = Session(1000, 0);
  Usrdata two = Session(1000, 0);
  limits_.LoggedIn(one);
  const AccountLimits::Usage* usage = limits_.UsageOf("q");
  ASSERT_NE(usage, nullptr);
  EXPECT_EQ(usage->bytes, 157);
  EXPECT_EQ(usage->files, 3);
  EXPECT_FALSE(usage->partial);
  EXPECT_EQ(limits_.QuotaText(one), "157 of 1000 bytes, 3 files");
  limits_.LoggedIn(two);
  test::WriteBytes(root_ / "q/new", std::string(10, 'n'));  // seen only by a new count
  EXPECT_EQ(limits_.UsageOf("q")->bytes, 157);
  EXPECT_EQ(limits_.UsageOf("q")->sessions, 2);
  limits_.LoggedOut(one);
  limits_.LoggedOut(one);  // twice is harmless
  EXPECT_EQ(limits_.UsageOf("q")->sessions, 1);
  limits_.LoggedOut(two);
  EXPECT_EQ(limits_.UsageOf("q"), nullptr);
  limits_.LoggedIn(one);
  EXPECT_EQ(limits_.UsageOf("q")->bytes, 167);
  // An account without a quota is not counted at all.
  Usrdata free = Session(0, 0);
  free.Account = "free";
  limits_.LoggedIn(free);
  EXPECT_EQ(limits_.UsageOf("free"), nullptr);
  EXPECT_EQ(limits_.QuotaText(free), "");
  EXPECT_EQ(limits_.RefuseUpload(free, "C:\\q\\x"), "");
  EXPECT_TRUE(limits_.Receive(free, int64_t{1} << 40));
}

TEST_F(AccountLimitsTest, UploadsAreRefusedAtTheLimitByAnnouncedSizeAndWhileTheyRun) {
  Usrdata r = Session(300, 4);
  limits_.LoggedIn(r);  // 157 bytes, 3 files
  // Announced: 157 + 200 > 300.
  limits_.Command(r, "ALLO", "200");
  EXPECT_NE(limits_.RefuseUpload(r, "C:\\q\\big").find("announced 200 bytes"), std::string::npos);
  // The announcement counts for one upload only; an overwrite frees the old size first.
  limits_.Command(r, "ALLO", "240 R 10");
  limits_.Command(r, "STOR", "a");
  EXPECT_EQ(limits_.RefuseUpload(r, "C:\\q\\a"), "");
  EXPECT_TRUE(limits_.Receive(r, 100));
  test::WriteBytes(root_ / "q/a", std::string(100, 'A'));
  EXPECT_FALSE(limits_.UploadEnded(r));
  EXPECT_EQ(limits_.UsageOf("q")->bytes, 157);
  // A new file: counted while it runs, ended when the next block would pass the quota; the
  // partial file goes and the usage is as before.
  limits_.Command(r, "STOR", "n");
  ASSERT_EQ(limits_.RefuseUpload(r, "C:\\q\\n"), "");
  EXPECT_TRUE(limits_.Receive(r, 100));
  test::WriteBytes(root_ / "q/n", std::string(100, 'n'));
  EXPECT_FALSE(limits_.Receive(r, 100));
  EXPECT_FALSE(limits_.Receive(r, 1));  // stays refused
  EXPECT_TRUE(limits_.UploadEnded(r));
  EXPECT_FALSE(std::filesystem::exists(root_ / "q/n"));
  EXPECT_EQ(limits_.UsageOf("q")->bytes, 157);
  EXPECT_EQ(limits_.UsageOf("q")->files, 3);
  // An append that passes keeps its file (what was there and what fitted).
  limits_.Command(r, "APPE", "a");
  ASSERT_EQ(limits_.RefuseUpload(r, "C:\\q\\a"), "");
  EXPECT_FALSE(limits_.Receive(r, 200));
  EXPECT_TRUE(limits_.UploadEnded(r));
  EXPECT_TRUE(std::filesystem::exists(root_ / "q/a"));
  // The file limit: a fourth file fits, a fifth does not; an existing one may be replaced.
  limits_.Command(r, "STOR", "f");
  ASSERT_EQ(limits_.RefuseUpload(r, "C:\\q\\f"), "");
  test::WriteBytes(root_ / "q/f", "");
  limits_.UploadEnded(r);
  EXPECT_EQ(limits_.UsageOf("q")->files, 4);
  EXPECT_NE(limits_.RefuseUpload(r, "C:\\q\\g").find("file quota reached"), std::string::npos);
  EXPECT_EQ(limits_.RefuseUpload(r, "C:\\q\\f"), "");
  limits_.UploadEnded(r);
  // At the byte limit, an upload of unknown size is refused at once.
  limits_.Command(r, "STOR", "a");
  ASSERT_EQ(limits_.RefuseUpload(r, "C:\\q\\a"), "");
  EXPECT_TRUE(limits_.Receive(r, 143));
  test::WriteBytes(root_ / "q/a", std::string(243, 'A'));
  limits_.UploadEnded(r);
  EXPECT_EQ(limits_.UsageOf("q")->bytes, 300);
  limits_.Command(r, "APPE", "sub/b");
  EXPECT_NE(limits_.RefuseUpload(r, "C:\\q\\sub\\b").find("byte quota reached"), std::string::npos);
}

TEST_F(AccountLimitsTest, DeletesCountOnlyWhenTheFileIsGone) {
  Usrdata r = Session(1000, 0);
  limits_.LoggedIn(r);
  limits_.DeleteAsked(r, "C:\\q\\a");
  limits_.AfterCommand(r);  // the delete failed: the file is still there
  EXPECT_EQ(limits_.UsageOf("q")->bytes, 157);
  limits_.DeleteAsked(r, "C:\\q\\a");
  std::filesystem::remove(root_ / "q/a");
  limits_.AfterCommand(r);
  EXPECT_EQ(limits_.UsageOf("q")->bytes, 57);
  EXPECT_EQ(limits_.UsageOf("q")->files, 2);
  limits_.AfterCommand(r);  // once only
  EXPECT_EQ(limits_.UsageOf("q")->bytes, 57);
}

TEST_F(AccountLimitsTest, ServerRatesReadInKiBAndTextsSayNoneForUnset) {
  test::WriteBytes(root_ / "FTPsrv.ini", "[ServerFTP]\r\ndownloadrate=2048\r\nuploadrate=-4\r\n");
  limits_.Load(IniFile(root_ / "FTPsrv.ini"));
  EXPECT_EQ(limits_.ServerDownloadRate(), 2048 * 1024);
  EXPECT_EQ(limits_.ServerUploadRate(), 0);
  EXPECT_EQ(AccountLimits::RatesText(0, 0), "");
  EXPECT_EQ(AccountLimits::RatesText(1024 * 1024, 0), "download 1024 KiB/s, upload none");
}

}  // namespace
}  // namespace orvane
