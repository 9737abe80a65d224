// The classic switch: what CompatibilityPolicy answers in each mode, and the engine's replies
// that follow from it; the restart offset that applies to the next transfer command only.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>

#include <cstdio>
#include <string>

#include "ftp/CompatibilityPolicy.h"
#include "ftp/EngineTestSupport.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/TempDir.h"

namespace orvane::test {
namespace {

const CompatibilityPolicy kToday;
const CompatibilityPolicy kClassic(true);

TEST(CompatibilityPolicy, ClassicIsReadFromServerFtpAndOffByDefault) {
  TempDir dir;
  IniFile ini(dir / "FTPsrv.ini");
  EXPECT_FALSE(CompatibilityPolicy::Read(ini).Classic());
  ini.WriteString("ServerFTP", "classic", "1");
  EXPECT_TRUE(CompatibilityPolicy::Read(ini).Classic());
}

TEST(CompatibilityPolicy, ListingFormOfEachModeAndTheLocalTimeSetting) {
  TempDir dir;
  IniFile ini(dir / "FTPsrv.ini");
  const ListingStyle today = CompatibilityPolicy::Read(ini).Listing();
  EXPECT_TRUE(today.utcTimes && today.diskModes && today.leavesOutDots && today.emptyWhenNothing);
  ini.WriteString("ServerFTP", "listlocaltime", "1");
  EXPECT_FALSE(CompatibilityPolicy::Read(ini).Listing().utcTimes);
  const ListingStyle classic = kClassic.Listing();
  EXPECT_FALSE(classic.utcTimes || classic.diskModes || classic.leavesOutDots ||
               classic.emptyWhenNothing);
  EXPECT_TRUE(kToday.ResolvesDotComponents() && kToday.NamesListedWithDirectory());
  EXPECT_FALSE(kClassic.ResolvesDotComponents() || kClassic.NamesListedWithDirectory());
  EXPECT_EQ(kToday.ReplyPath("C:\\home\\a.txt", "C:\\home\\"), "/home/a.txt");
  EXPECT_EQ(kClassic.ReplyPath("C:\\home\\a.txt", "C:\\home\\"), "C:\\home\\a.txt");
}

TEST(CompatibilityPolicy, PathsOnTheCurrentDriveLoseTheDriveUnlessClassic) {
  EXPECT_EQ(kToday.ShownPath("C:\\home\\user\\", "C:\\home\\user\\"), "/home/user");
  EXPECT_EQ(kToday.ShownPath("C:\\", "C:\\home\\"), "/");
  EXPECT_EQ(kToday.ShownPath("c:\\x\\new dir", "C:\\"), "/x/new dir");
  EXPECT_EQ(kToday.ShownPath("D:\\data\\x", "C:\\home\\"), "D:/data/x");
  EXPECT_EQ(kClassic.ShownPath("C:\\home\\user\\", "C:\\home\\user\\"), "C:/home/user/");
}

TEST(CompatibilityPolicy, RepliesOfEachMode) {
  EXPECT_EQ(kToday.DirectoryCreatedReply("C:\\a\\say \"hi\"", "C:\\a\\"),
            "257 \"/a/say \"\"hi\"\"\" directory created.");
  EXPECT_EQ(kClassic.DirectoryCreatedReply("C:\\a\\b", "C:\\a\\"),
            "257 'C:\\a\\b': directory created.");
  EXPECT_EQ(kToday.RightsRefusal("500 Cannot STOR. No permission"),
            "550 Cannot STOR. No permission");
  EXPECT_EQ(kClassic.RightsRefusal("500 Cannot STOR. No permission"),
            "500 Cannot STOR. No permission");
  EXPECT_EQ(kToday.AbortedDownloadReply("ABORT requested by client"),
            "426 Connection closed; transfer aborted.");
  EXPECT_EQ(kClassic.AbortedDownloadReply("ABORT requested by client"),
            "501 Cannot RETR. ABORT requested by client");
  EXPECT_EQ(kToday.AbortReply(true), "226 ABOR command successful.");
  EXPECT_EQ(kToday.AbortReply(false), "225 ABOR command successful.");
  EXPECT_EQ(kClassic.AbortReply(true), "225 ABOR command successful.");
  EXPECT_TRUE(kToday.KnowsExtensions());
  EXPECT_FALSE(kClassic.KnowsExtensions());
  EXPECT_EQ(kClassic.FeatureReply(), "");
  // The TLS keywords only when the server has a certificate; never in classic mode.
  const std::string withTls = kToday.FeatureReply(true);
  EXPECT_EQ(withTls.find("211-Features:\r\n AUTH TLS\r\n"), 0u);
  EXPECT_NE(withTls.find("\r\n PBSZ\r\n PROT\r\n REST STREAM\r\n"), std::string::npos);
  EXPECT_EQ(kToday.FeatureReply().find("AUTH"), std::string::npos);
  EXPECT_EQ(kClassic.FeatureReply(true), "");
}

// An engine on a temporary drive C (DriveEngineTest).
class EngineCompatibilityTest : public DriveEngineTest {
 protected:
  // PASV, then the data connection to the port it names.
  std::unique_ptr<FtpClient> Passive(FtpClient& control) {
    const std::string pasv = control.Command("PASV");
    int p1 = 0, p2 = 0;
    EXPECT_EQ(std::sscanf(pasv.c_str() + pasv.find("(127,0,0,1,") + 11, "%d,%d", &p1, &p2), 2);
    auto data = std::make_unique<FtpClient>(loop_, p1 * 256 + p2);
    EXPECT_TRUE(data->Connected());
    return data;
  }
};

TEST_F(EngineCompatibilityTest, MkdAndRestZeroAnswerAsTheModeSays) {
  auto client = Login();
  EXPECT_EQ(client->Command("MKD made"), "257 \"/made\" directory created.");
  EXPECT_EQ(client->Command("REST 0"), "350 REST supported. Ready to resume at byte offset 0.");
  EXPECT_EQ(client->Command("REST -1"), "501 Required byte offset parameter bad or missing.");
  server_->Compatibility = CompatibilityPolicy(true);
  EXPECT_EQ(client->Command("MKD old"), "257 'C:\\old': directory created.");
  EXPECT_EQ(client->Command("REST 0"), "501 Required byte offset parameter bad or missing.");
  EXPECT_TRUE(FileSystem::DirectoryExists("C:\\made\\"));
}

// The offset of a REST stayed until a data connection closed, so after "REST 100" and a refused
// RETR the next upload of a new file was written at offset 100 of a file that did not exist.
TEST_F(EngineCompatibilityTest, RestartOffsetAppliesToTheNextTransferCommandOnly) {
  for (bool classic : {false, true}) {
    server_->Compatibility = CompatibilityPolicy(classic);
    auto client = Login();
    EXPECT_EQ(client->Command("REST 100"),
              "350 REST supported. Ready to resume at byte offset 100.");
    EXPECT_EQ(client->Command("RETR missing.bin"), "550 missing.bin : No Such File or Directory.");
    auto data = Passive(*client);
    const std::string name = classic ? "new-classic.bin" : "new.bin";
    EXPECT_EQ(client->Command("STOR " + name), "150 Opening data connection for " + name + ".");
    ASSERT_TRUE(data->Send("whole file"));
    data->Close();
    EXPECT_EQ(client->ReadLine(), "226 File received ok");
    EXPECT_EQ(ReadBytes(root_ / name), "whole file");
  }
}

// Nagle's algorithm held each "226" behind the unacknowledged "150" for a delayed-ACK time.
TEST_F(EngineCompatibilityTest, ControlConnectionsSendEachReplyAtOnce) {
  auto client = Login();
  int on = 0;
  socklen_t length = sizeof on;
  ASSERT_EQ(::getsockopt(server_->Client(0).HSocket(), IPPROTO_TCP, TCP_NODELAY, &on, &length), 0);
  EXPECT_NE(on, 0);
}

}  // namespace
}  // namespace orvane::test
