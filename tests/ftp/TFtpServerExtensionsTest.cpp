// The extension commands: FEAT names exactly what works, classic makes each of them unknown,
// MDTM/MFMT keep times in UTC under the SIZE and STOR rights, MLSD/MLST facts and perm letters.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "ftp/CompatibilityPolicy.h"
#include "ftp/EngineTestSupport.h"
#include "ftp/ListingBuilder.h"
#include "platform/FileSystem.h"
#include "platform/TempDir.h"

namespace orvane::test {
namespace {

const std::vector<std::string> kExtensions = {"FEAT", "OPTS", "MDTM", "MFMT", "MLSD", "MLST",
                                              "STAT", "HELP", "ALLO", "MODE", "STRU", "XMKD",
                                              "XRMD", "XCWD", "XCUP", "EPSV", "EPRT", "SITE"};

class ExtensionTest : public DriveEngineTest {
 protected:
  std::string Joined(FtpClient& client, const std::string& command) {
    if (!client.Send(command + "\r\n")) return "<send failed>";
    std::string all;
    for (const std::string& line : client.ReadReply()) all += line + "\n";
    return all;
  }

  // PASV, the listing command, and everything the data connection carries.
  std::string Listing(FtpClient& control, const std::string& command) {
    const std::string pasv = control.Command("PASV");
    int p1 = 0, p2 = 0;
    EXPECT_EQ(std::sscanf(pasv.c_str() + pasv.find("(127,0,0,1,") + 11, "%d,%d", &p1, &p2), 2);
    FtpClient data(loop_, p1 * 256 + p2);
    EXPECT_EQ(control.Command(command), "150 Opening data connection for directory list.");
    EXPECT_TRUE(data.WaitClosed());
    EXPECT_EQ(control.ReadLine(), "226 File sent ok");
    return data.TakeInput();
  }
};

TEST_F(ExtensionTest, ClassicAnswersEveryAddedKeywordAsUnknown) {
  server_->Compatibility = CompatibilityPolicy(true);
  auto client = Login();
  for (const std::string& keyword : kExtensions) {
    EXPECT_EQ(client->Command(keyword + " x"), "500 '" + keyword + "': command not understood.");
  }
  server_->Compatibility = CompatibilityPolicy();
  for (const std::string& keyword : kExtensions) {
    EXPECT_NE(client->Command(keyword + " x").substr(0, 4), "500 ") << keyword;
  }
}

// The TLS keywords exist only while the server has a certificate: without one they are unknown
// and FEAT does not name them, and a login is still refused in clear where TLS is required.
TEST_F(ExtensionTest, TlsKeywordsNeedACertificate) {
  auto client = Connect();
  for (const std::string keyword : {"AUTH", "PBSZ", "PROT", "CCC"}) {
    EXPECT_EQ(client->Command(keyword + " TLS"), "500 '" + keyword + "': command not understood.");
  }
  EXPECT_EQ(Joined(*client, "FEAT").find("AUTH"), std::string::npos);
  server_->TlsRequireLogin = true;
  EXPECT_EQ(client->Command("USER someone"), "530 TLS required: send AUTH TLS before USER.");
  EXPECT_EQ(client->Command("PASS secret").substr(0, 4), "503 ");
}

// Every feature FEAT names answers as a known command, and every listed MLST fact is written.
TEST_F(ExtensionTest, FeatNamesExactlyWhatWorks) {
  WriteBytes(root_ / "a.txt", "abc");
  auto client = Login();
  const std::string feat = Joined(*client, "FEAT");
  EXPECT_EQ(feat.substr(0, 4), "211-");
  EXPECT_NE(feat.find("\n211 End\n"), std::string::npos);
  EXPECT_NE(feat.find(" UTF8\n"), std::string::npos);
  // Each feature line, and the command that shows it works.
  const std::map<std::string, std::string> probes = {{"EPRT", "EPRT |1|127.0.0.1|2048|"},
                                                     {"EPSV", "EPSV"},
                                                     {"MDTM", "MDTM a.txt"},
                                                     {"MFMT", "MFMT 20200101000000 a.txt"},
                                                     {"REST", "REST 0"},
                                                     {"SIZE", "SIZE a.txt"},
                                                     {"UTF8", "OPTS UTF8 ON"},
                                                     {"MLST", "MLST a.txt"}};
  size_t lines = 0;
  for (size_t pos = feat.find("\n "); pos != std::string::npos; pos = feat.find("\n ", pos + 1)) {
    ++lines;
    const std::string feature = feat.substr(pos + 2, 4);
    ASSERT_EQ(probes.count(feature), 1u) << feature;
    const std::string reply = client->Command(probes.at(feature));
    EXPECT_TRUE(reply[0] == '2' || reply[0] == '3') << feature << ": " << reply;
    if (feature == "MLST") client->ReadReply();  // the rest of its multi-line reply
  }
  EXPECT_EQ(lines, probes.size()) << feat;
  const std::string mlst = Joined(*client, "MLST a.txt");
  for (const char* fact : {"type=", "size=", "modify=", "perm="}) {
    EXPECT_NE(mlst.find(fact), std::string::npos) << fact;
    EXPECT_NE(feat.find(std::string(fact, std::strlen(fact) - 1) + "*;"), std::string::npos);
  }
}

TEST_F(ExtensionTest, MdtmAndMfmtKeepTimesInUtc) {
  WriteBytes(root_ / "a.txt", "abc");
  auto client = Login();
  EXPECT_EQ(client->Command("MFMT 20200229235958 a.txt"), "213 Modify=20200229235958; a.txt");
  EXPECT_EQ(client->Command("MDTM a.txt"), "213 20200229235958");
  EXPECT_EQ(FileSystem::Stat("C:\\a.txt")->mtime, 1583020798);
  EXPECT_EQ(client->Command("MFMT 2020022923595 a.txt"), "501 Syntax error in parameter.");
  EXPECT_EQ(client->Command("MFMT 20201301000000 a.txt"), "501 Syntax error in parameter.");
  EXPECT_EQ(client->Command("MFMT 20200101000000 missing.txt"),
            "550 missing.txt : No Such File or Directory.");
  EXPECT_EQ(client->Command("MDTM missing.txt"), "550 Command failed: File not found.");
}

TEST_F(ExtensionTest, MdtmAndMfmtAskTheSizeAndPutRights) {
  WriteBytes(root_ / "a.txt", "abc");
  server_->OnValidateSize = [](TFtpServer&, TFtpCtrlSocket&, std::string&, bool& allowed) {
    allowed = false;
  };
  server_->OnValidatePut = [](TFtpServer&, TFtpCtrlSocket&, std::string&, bool& allowed) {
    allowed = false;
  };
  auto client = Login();
  EXPECT_EQ(client->Command("MDTM a.txt"), "550 Command failed: File not found.");
  EXPECT_EQ(client->Command("MFMT 20200101000000 a.txt"), "550 No permission.");
}

// "MLST -a" is reduced to the current directory by the host, which must then still be asked
// whether it may be listed, as for a bare MLST.
TEST_F(ExtensionTest, MlstWithOnlyOptionsAsksTheListingRight) {
  int asked = 0;
  server_->OnValidateListingDir = [&asked](TFtpServer&, TFtpCtrlSocket&, bool& allowed) {
    ++asked;
    allowed = false;
  };
  server_->OnAlterDirectory = [](TFtpServer&, TFtpCtrlSocket&, std::string& directory, bool) {
    if (directory == "-a") directory.clear();
  };
  auto client = Login();
  EXPECT_EQ(client->Command("MLST -a").substr(0, 4), "550 ");
  EXPECT_EQ(client->Command("MLST").substr(0, 4), "550 ");
  EXPECT_EQ(asked, 2);
}

// Dot-files are left out of MDTM and MLST only where the host hides them, as in LIST and MLSD.
TEST_F(ExtensionTest, MdtmAndMlstShowDotFilesUnlessTheHostHidesThem) {
  WriteBytes(root_ / ".hid", "abc");
  bool hide = false;
  server_->OnCheckhidden = [&hide](TFtpServer&, TFtpCtrlSocket&, const std::string&, bool& hidden) {
    hidden = hide;
  };
  auto client = Login();
  EXPECT_EQ(client->Command("MDTM .hid").substr(0, 4), "213 ");
  EXPECT_EQ(Joined(*client, "MLST .hid").substr(0, 4), "250-");
  hide = true;
  EXPECT_EQ(client->Command("MDTM .hid"), "550 Command failed: File not found.");
  EXPECT_EQ(client->Command("MLST .hid"), "550 .hid : No Such File or Directory.");
}

// The perm letters follow the rights the host reports for each directory.
TEST_F(ExtensionTest, MlsdFactsAndPermFollowTheRights) {
  WriteBytes(root_ / "a.txt", "abc");
  WriteBytes(root_ / ".hidden", "");
  ASSERT_TRUE(FileSystem::CreateDirectory("C:\\sub"));
  ASSERT_TRUE(FileSystem::SetModificationTime("C:\\a.txt", 1583020798));
  server_->OnDirectoryRights = [](TFtpServer&, TFtpCtrlSocket&, const std::string& dir,
                                  std::string& rights) {
    rights = dir == "C:\\sub\\" ? "RLE" : "RLDE";
  };
  server_->OnCheckhidden = [](TFtpServer&, TFtpCtrlSocket&, const std::string&, bool& hidden) {
    hidden = true;
  };
  server_->OnAddLinks = [](TFtpServer&, TFtpCtrlSocket&, std::string& stream) {
    stream += "lrwxr-xr-x   1 ftp      ftp            0 Jan  1  1980 Link name -> \r\n";
  };
  auto client = Login();
  const std::string listing = Listing(*client, "MLSD");
  EXPECT_NE(listing.find("type=dir;perm=el; Link name\r\n"), std::string::npos) << listing;
  EXPECT_NE(listing.find("type=file;size=3;modify=20200229235958;perm=rdf; a.txt\r\n"),
            std::string::npos)
      << listing;
  EXPECT_NE(listing.find("perm=dfel; sub\r\n"), std::string::npos) << listing;
  EXPECT_EQ(listing.find(".hidden"), std::string::npos);
  EXPECT_EQ(listing.find(" .\r\n"), std::string::npos);

  EXPECT_EQ(Joined(*client, "MLST sub"),
            "250-Listing /sub\n type=dir;modify=" +
                ListingBuilder::UtcTimestamp(FileSystem::Stat("C:\\sub")->mtime) +
                ";perm=el; /sub\n250 End\n");
  EXPECT_EQ(client->Command("MLST nothing"), "550 nothing : No Such File or Directory.");
}

TEST_F(ExtensionTest, WriteAndDeleteGiveTheWritingLetters) {
  WriteBytes(root_ / "a.txt", "abc");
  server_->OnDirectoryRights = [](TFtpServer&, TFtpCtrlSocket&, const std::string&,
                                  std::string& rights) { rights = "RWDMLE"; };
  auto client = Login();
  EXPECT_NE(Joined(*client, "MLST a.txt").find("perm=rwadf;"), std::string::npos);
  EXPECT_NE(Joined(*client, "MLST").find("perm=elcmp;"), std::string::npos);
  server_->OnDirectoryRights = [](TFtpServer&, TFtpCtrlSocket&, const std::string&,
                                  std::string& rights) { rights = "RLE"; };
  EXPECT_NE(Joined(*client, "MLST a.txt").find("perm=r;"), std::string::npos);
  EXPECT_NE(Joined(*client, "MLST").find("perm=el;"), std::string::npos);
}

TEST_F(ExtensionTest, SmallCommandsAndAliases) {
  auto client = Login();
  EXPECT_EQ(client->Command("OPTS UTF8 ON"), "200 UTF8 set to on.");
  EXPECT_EQ(client->Command("OPTS MLST type;"), "501 Option not understood.");
  EXPECT_EQ(client->Command("ALLO 100"), "202 ALLO command ignored.");
  EXPECT_EQ(client->Command("MODE S"), "200 Mode set to S.");
  EXPECT_EQ(client->Command("MODE B"), "504 Only mode S is supported.");
  EXPECT_EQ(client->Command("STRU F"), "200 Structure set to F.");
  EXPECT_EQ(client->Command("STRU R"), "504 Only structure F is supported.");
  EXPECT_EQ(client->Command("XMKD d"), "257 \"/d\" directory created.");
  EXPECT_EQ(client->Command("XCWD d"), "250 CWD command successful. \"/d\" is current directory.");
  EXPECT_EQ(client->Command("XCUP"), "250 CWD command successful. \"/\" is current directory.");
  EXPECT_EQ(client->Command("XRMD d"), "250 '/d': directory removed.");
  const std::string stat = Joined(*client, "STAT");
  EXPECT_NE(stat.find(" Logged in as anna\n"), std::string::npos) << stat;
  EXPECT_NE(stat.find("\n211 End of status\n"), std::string::npos);
  const std::string help = Joined(*client, "HELP");
  EXPECT_NE(help.find(" MLSD"), std::string::npos);
  EXPECT_NE(help.find("\n214 Help OK.\n"), std::string::npos);
}

TEST_F(ExtensionTest, EpsvOpensAPassivePortAndEpsvAllKeepsToIt) {
  WriteBytes(root_ / "a.txt", "abc");
  auto client = Login();
  const std::string epsv = client->Command("EPSV");
  int port = 0;
  ASSERT_EQ(std::sscanf(epsv.c_str(), "229 Entering Extended Passive Mode (|||%d|)", &port), 1)
      << epsv;
  FtpClient data(loop_, port);
  ASSERT_TRUE(data.Connected());
  EXPECT_EQ(client->Command("RETR a.txt"), "150 Opening data connection for a.txt.");
  EXPECT_TRUE(data.WaitClosed());
  EXPECT_EQ(data.TakeInput(), "abc");
  EXPECT_EQ(client->ReadLine(), "226 File sent ok");

  EXPECT_EQ(client->Command("EPSV 2"), "522 Network protocol not supported, use (1)");
  EXPECT_EQ(client->Command("EPSV ALL"), "200 EPSV ALL command successful.");
  EXPECT_EQ(client->Command("PASV"), "503 PASV refused after EPSV ALL; use EPSV.");
  EXPECT_EQ(client->Command("PORT 127,0,0,1,8,0"), "503 PORT refused after EPSV ALL; use EPSV.");
  EXPECT_EQ(client->Command("EPRT |1|127.0.0.1|2048|"),
            "503 EPRT refused after EPSV ALL; use EPSV.");
  EXPECT_EQ(client->Command("EPSV").substr(0, 4), "229 ");
}

// As PORT: the data connection goes to the client's own address only, and not to a system port.
TEST_F(ExtensionTest, EprtKeepsToTheClientsOwnAddressAndHighPorts) {
  auto client = Login();
  EXPECT_EQ(client->Command("EPRT |1|10.1.2.3|2048|"),
            "501 EPRT refused: the address is not the client's own.");
  EXPECT_EQ(client->Command("EPRT |1|127.0.0.2|2048|"),
            "501 EPRT refused: the address is not the client's own.");
  EXPECT_EQ(client->Command("EPRT |1|127.0.0.1|25|"),
            "501 EPRT refused: the port must be between 1024 and 65535.");
  EXPECT_EQ(client->Command("EPRT |1|127.0.0.1|65536|"),
            "501 EPRT refused: the port must be between 1024 and 65535.");
  EXPECT_EQ(client->Command("EPRT |1|127.0.0.1|"), "501 Invalid EPRT command.");
  EXPECT_EQ(client->Command("EPRT |2|::1|2048|"), "522 Network protocol not supported, use (1)");
  EXPECT_EQ(client->Command("EPRT !1!127.0.0.1!2048!"), "200 EPRT command successful.");
}

// The same server over IPv6 (::1), when this machine can bind it.
class IPv6ExtensionTest : public ExtensionTest {
 protected:
  void SetUp() override {
    if (!FtpClient::IPv6LoopbackWorks()) GTEST_SKIP() << "::1 cannot be bound here";
    ExtensionTest::SetUp();
  }
  std::unique_ptr<FtpClient> Login6() {
    auto client = std::make_unique<FtpClient>(loop_, port_, 0, "::1");
    EXPECT_TRUE(client->Connected());
    EXPECT_EQ(client->ReadLine(), server_->Banner);
    EXPECT_EQ(client->Command("USER anna"), "331 Password required for anna.");
    EXPECT_EQ(client->Command("PASS secret"), "230 User anna logged in.");
    return client;
  }
  // A listener on ::1 for active connections, and the connection it accepts (stepping the loop).
  static UniqueFd ListenOnIPv6Loopback(int& port) {
    UniqueFd fd(::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_in6 at{};
    at.sin6_family = AF_INET6;
    at.sin6_addr = in6addr_loopback;
    socklen_t len = sizeof at;
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
        ::listen(fd.Get(), 1) != 0 ||
        ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&at), &len) != 0) {
      return UniqueFd();
    }
    port = ntohs(at.sin6_port);
    return fd;
  }
  std::string AcceptAndRead(int listener) {
    UniqueFd conn;
    loop_.RunUntil(
        [&] {
          conn.Reset(::accept(listener, nullptr, nullptr));
          return static_cast<bool>(conn);
        },
        3s);
    std::string bytes;
    loop_.RunUntil(
        [&] {
          char buf[256];
          const ssize_t n = ::recv(conn.Get(), buf, sizeof buf, MSG_DONTWAIT);
          if (n > 0) bytes.append(buf, static_cast<size_t>(n));
          return n == 0 || (n < 0 && errno != EAGAIN);
        },
        3s);
    return bytes;
  }
};

// The IPv4 client of the dual-stack listener keeps its dotted address; the IPv6 one is "::1".
// PASV cannot name an IPv6 address: such clients are sent to EPSV, which admits only the
// client's own address to its port.
TEST_F(IPv6ExtensionTest, PassiveModeOverIPv6IsEpsv) {
  WriteBytes(root_ / "a.txt", "abc");
  auto v4 = Login();
  auto client = Login6();
  EXPECT_EQ(server_->Client(0).PeerAddr, "127.0.0.1");
  EXPECT_EQ(server_->Client(1).PeerAddr, "::1");
  const std::string pasv = "227 Entering Passive Mode (127,0,0,1,";
  EXPECT_EQ(v4->Command("PASV").substr(0, pasv.size()), pasv);
  EXPECT_EQ(client->Command("PASV"), "522 PASV is not possible on an IPv6 connection; use EPSV.");
  EXPECT_EQ(client->Command("EPSV 1"), "522 Network protocol not supported, use (2)");
  EXPECT_EQ(client->Command("STAT").substr(0, 4), "211-");
  EXPECT_EQ(client->ReadLine(), " Connected to ::1");
  client->ReadReply();
  const std::string epsv = client->Command("EPSV 2");
  int port = 0;
  ASSERT_EQ(std::sscanf(epsv.c_str(), "229 Entering Extended Passive Mode (|||%d|)", &port), 1)
      << epsv;
  // SECURITY: an IPv4 stranger on the same port is dropped; the listener waits for ::1.
  FtpClient stranger(loop_, port);
  ASSERT_TRUE(stranger.Connected());
  EXPECT_TRUE(stranger.WaitClosed());
  EXPECT_EQ(server_->Client(1).Data().GetState(), DataChannel::State::Listening);
  FtpClient data(loop_, port, 0, "::1");
  ASSERT_TRUE(data.Connected());
  EXPECT_EQ(client->Command("RETR a.txt"), "150 Opening data connection for a.txt.");
  EXPECT_TRUE(data.WaitClosed());
  EXPECT_EQ(data.TakeInput(), "abc");
  EXPECT_EQ(client->ReadLine(), "226 File sent ok");
}

// EPRT |2| under PORT's rules: only the client's own IPv6 address (in any spelling), not the
// IPv4 form of another client, not a system port; and the connection really goes there.
TEST_F(IPv6ExtensionTest, EprtOverIPv6KeepsToTheClientsOwnAddress) {
  WriteBytes(root_ / "a.txt", "abc");
  auto client = Login6();
  EXPECT_EQ(client->Command("EPRT |1|127.0.0.1|2048|"),
            "522 Network protocol not supported, use (2)");
  EXPECT_EQ(client->Command("EPRT |2|::2|2048|"),
            "501 EPRT refused: the address is not the client's own.");
  EXPECT_EQ(client->Command("EPRT |2|::ffff:127.0.0.1|2048|"),
            "501 EPRT refused: the address is not the client's own.");
  EXPECT_EQ(client->Command("EPRT |2|127.0.0.1|2048|"),
            "501 EPRT refused: the address is not the client's own.");
  EXPECT_EQ(client->Command("EPRT |2|::1|25|"),
            "501 EPRT refused: the port must be between 1024 and 65535.");
  // PORT names an IPv4 address, which is never this client's.
  EXPECT_EQ(client->Command("PORT 127,0,0,1,8,0"), "501 Invalid PORT command.");
  int port = 0;
  UniqueFd listener = ListenOnIPv6Loopback(port);
  ASSERT_TRUE(listener);
  EXPECT_EQ(client->Command("EPRT |2|0:0:0:0:0:0:0:1|" + std::to_string(port) + "|"),
            "200 EPRT command successful.");
  EXPECT_EQ(server_->Client(0).Data().DataAddr(), "::1");
  ASSERT_TRUE(client->Send("RETR a.txt\r\n"));
  EXPECT_EQ(AcceptAndRead(listener.Get()), "abc");
  EXPECT_EQ(client->ReadLine(), "150 Opening data connection for a.txt.");
  EXPECT_EQ(client->ReadLine(), "226 File sent ok");
}

// Classic: the server listens as it always has, on IPv4 only.
TEST_F(IPv6ExtensionTest, ClassicListensOnIPv4Only) {
  server_->Stop();
  server_->Compatibility = CompatibilityPolicy(true);
  server_->Start();
  ASSERT_TRUE(server_->Active());
  port_ = std::stoi(server_->ServerSocket().GetXPort());
  FtpClient v6(loop_, port_, 0, "::1");
  EXPECT_FALSE(v6.Connected());
  auto v4 = Connect();
}

TEST_F(ExtensionTest, UnloggedClientsGetTheLoginReply) {
  auto client = Connect();
  EXPECT_EQ(client->Command("MLST"), "530 Please login with USER and PASS.");
  EXPECT_EQ(client->Command("MDTM a"), "530 Please login with USER and PASS.");
}

}  // namespace
}  // namespace orvane::test
