#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>
#include <string>
#include <vector>

#include "HostTestSupport.h"
#include "host/ConfigurationCheck.h"
#include "host/SettingsReference.h"
#include "platform/IniFile.h"
#include "platform/TempDir.h"

namespace orvane::test {

namespace {

using File = SettingsReference::File;

std::vector<std::string> Texts(const std::vector<ConfigurationCheck::Finding>& findings) {
  std::vector<std::string> texts;
  for (const auto& f : findings) texts.push_back(f.text);
  return texts;
}

}  // namespace

// Every kind of problem the start-up reports, each with its file, line, value and what the
// reader takes instead; a usable file says nothing.
TEST(ConfigurationCheckTest, ReportsEachUnusableThingOnceWithLineValueAndDefault) {
  TempDir dir;
  const std::string server = dir / "FTPsrv.ini";
  WriteBytes(server,
             "; comment\r\n[ServerFTP]\r\nmaxusr=ten\r\nclassic=yes\r\nprot=2121\r\n"
             "bantime=-5\r\nport=2121\r\n\r\n[Passive]\r\nports=9-3\r\nthis line has no equals\r\n"
             "[Nonsense]\r\na=b\r\n[File]\r\n13=<DIR>FTP.log\r\n7=0\r\n");
  const auto findings = ConfigurationCheck::Check(IniFile(server), File::Server);
  EXPECT_EQ(Texts(findings),
            (std::vector<std::string>{
                server + " line 11: neither a [section], a key=value line in a section nor a "
                         ";comment; ignored",
                server + " line 3: [ServerFTP] maxusr=ten is not a number; the default 2 is taken",
                server + " line 4: [ServerFTP] classic=yes is not a number; the default 0 is taken",
                server + " line 5: [ServerFTP] prot is not a known key; ignored",
                server + " line 6: [ServerFTP] bantime=-5 is not a number of 0 or more; the "
                         "default 3600 is taken",
                server + " line 10: [Passive] ports=9-3 is not a port range from 1024 to 65535 "
                         "such as 50000-50100; any port is used",
                server + ": section [Nonsense] is not known; ignored"}));
  EXPECT_FALSE(ConfigurationCheck::Fatal(findings));

  const std::string accounts = dir / "Accounts.ini";
  WriteBytes(accounts,
             "[anonymous]\r\nEnableLogin=0\r\nDir0=C:\\pub\r\nAttr0=r--lS\r\nMaxdl=lots\r\n"
             "Passwort=secret\r\n[user]\r\nPass=not shown\r\nAttr0=RWDMLS\r\n");
  EXPECT_EQ(Texts(ConfigurationCheck::Check(IniFile(accounts), File::Accounts)),
            (std::vector<std::string>{
                accounts + " line 4: [anonymous] Attr0=r--lS holds r, l, which are no right "
                           "letters (R W D M L S, - for none); they grant nothing",
                accounts + " line 5: [anonymous] Maxdl=lots is not a number; the default 0 is "
                           "taken",
                accounts + " line 6: [anonymous] Passwort is not a known key; ignored"}));

  WriteBytes(server, "[ServerFTP]\r\nport=21\r\nmaxusr=0x10\r\n[Drives]\r\nC=/srv\r\n");
  EXPECT_TRUE(ConfigurationCheck::Check(IniFile(server), File::Server).empty());
}

// Files that cannot be used at all, and bytes that are no INI text: one finding each, the
// passed-over lines named up to a limit and then counted.
TEST(ConfigurationCheckTest, MissingUnreadableAndGarbageFiles) {
  TempDir dir;
  const std::string server = dir / "FTPsrv.ini";
  const std::string accounts = dir / "Accounts.ini";
  EXPECT_EQ(
      Texts(ConfigurationCheck::Check(IniFile(server), File::Server)),
      (std::vector<std::string>{server + " does not exist: every setting takes its default"}));
  EXPECT_EQ(Texts(ConfigurationCheck::Check(IniFile(accounts), File::Accounts)),
            (std::vector<std::string>{accounts + " does not exist: no account can log in"}));

  // A directory in the file's place cannot be read, whoever runs the test (root reads a file of
  // mode 000).
  ASSERT_EQ(::mkdir(server.c_str(), 0755), 0);
  EXPECT_EQ(Texts(ConfigurationCheck::Check(IniFile(server), File::Server)),
            (std::vector<std::string>{"Cannot read " + server +
                                      " (Is a directory): every setting takes its default"}));
  ASSERT_EQ(::rmdir(server.c_str()), 0);

  std::string garbage;
  for (int i = 0; i < 9; ++i) garbage += std::string("\x01\xfe\x80 junk ") + char('a' + i) + "\n";
  WriteBytes(server, garbage);
  const auto findings = ConfigurationCheck::Check(IniFile(server), File::Server);
  ASSERT_EQ(findings.size(), ConfigurationCheck::kMaxIgnoredLines + 1);
  EXPECT_EQ(findings.front().text, server +
                                       " line 1: neither a [section], a key=value line in a "
                                       "section nor a ;comment; ignored");
  EXPECT_EQ(findings.back().text, server + ": 4 more lines like these ignored");

  WriteBytes(accounts, "");
  EXPECT_EQ(Texts(ConfigurationCheck::Check(IniFile(accounts), File::Accounts)),
            (std::vector<std::string>{accounts + " holds no account"}));
}

// A port that is no number leaves no safe default: the finding is fatal, and the host refuses
// to start after writing it (with the other findings) to the memo and the log file, once.
// Classic changes nothing of this.
TEST_F(HostTest, ConfigurationProblemsAreReportedOnceAndABadPortRefusesTheStart) {
  const std::string server = dir_ / "FTPsrv.ini";
  for (const char* classic : {"0", "1"}) {
    WriteBytes(server,
               std::string("[ServerFTP]\r\nclassic=") + classic + "\r\nport=abc\r\nmaxusr=x\r\n");
    ui_.memo.clear();
    ::unlink((dir_ / "FTP.log").c_str());
    FtpHost host(loop_, ui_, dir_.Path() + "/");
    EXPECT_FALSE(host.StartUp(std::nullopt, true));
    EXPECT_TRUE(host.ConfigurationRefused());
    EXPECT_FALSE(host.Active());
    const std::string portLine = server +
                                 " line 3: [ServerFTP] port=abc is not a port number (0 to "
                                 "65535); the server does not start; set it to a number such as 21";
    const std::string accountsLine =
        dir_ / "Accounts.ini" + std::string(" does not exist: no account can log in");
    EXPECT_EQ(ui_.MemoCount(portLine), 1);
    EXPECT_EQ(
        ui_.MemoCount(server + " line 4: [ServerFTP] maxusr=x is not a number; the default 2 is "
                               "taken"),
        1);
    EXPECT_EQ(ui_.MemoCount(accountsLine), 1);
    const std::string log = ReadBytes(dir_ / "FTP.log");
    EXPECT_NE(log.find(" " + portLine + "\r\n"), std::string::npos);
    EXPECT_EQ(log.find(portLine), log.rfind(portLine));
  }

  // A usable port starts, the problems still reported, and the start line names the port the
  // system chose for port 0.
  WriteBytes(server, "[ServerFTP]\r\nport=0\r\nmaxusr=x\r\n");
  StartHost();
  EXPECT_FALSE(host_->ConfigurationRefused());
  EXPECT_TRUE(ui_.MemoHas("FTP Server On-line on port " + std::to_string(port_) + " ..."));
}

// The table covers every key a program reads: the host's start-up, a login and the account
// file are watched, and each key read from FTPsrv.ini or Accounts.ini must have its row. A key
// added to a reader without a row in SettingsReference.cpp fails here.
TEST_F(HostTest, EveryKeyReadHasARowInTheSettingsTable) {
  std::set<std::string> unlisted;
  int seen = 0;
  IniFile::SetReadObserver([&](const std::string& path, const std::string& section,
                               const std::string& key) {
    const bool server = path.size() >= 10 && path.compare(path.size() - 10, 10, "FTPsrv.ini") == 0;
    const bool accounts =
        path.size() >= 12 && path.compare(path.size() - 12, 12, "Accounts.ini") == 0;
    if (!server && !accounts) return;
    ++seen;
    const File file = server ? File::Server : File::Accounts;
    const bool listed = key.empty() ? SettingsReference::KnowsSection(file, section)
                                    : SettingsReference::Find(file, section, key) != nullptr;
    if (!listed)
      unlisted.insert(std::string(SettingsReference::FileName(file)) + " [" + section + "] " + key);
  });
  WriteBytes(dir_ / "Accounts.ini",
             "[bob]\r\nPass=pw\r\nEnablePass=1\r\nDir0=C:" + dir_.Path() + "\r\nAttr0=RWDMLS\r\n");
  StartHost("[ServerFTP]\r\nport=0\r\n[Drives]\r\nC=/\r\n[Xferlog]\r\nEnabled=1\r\n");
  auto c = Connect();
  ASSERT_TRUE(c->Send("USER bob\r\nPASS pw\r\nLIST\r\nQUIT\r\n"));
  c->ReadReply();
  host_->SaveStats();
  IniFile::SetReadObserver(nullptr);
  EXPECT_GT(seen, 50);
  EXPECT_TRUE(unlisted.empty()) << "keys read without a row in SettingsReference.cpp: "
                                << ::testing::PrintToString(unlisted);
}

// The name patterns of the table: "#" digits, "@" a letter, "*" anything, case folded.
TEST(SettingsReferenceTest, PatternsAndRows) {
  EXPECT_TRUE(SettingsReference::Matches("Dir#", "dir150"));
  EXPECT_FALSE(SettingsReference::Matches("Dir#", "Dir"));
  EXPECT_FALSE(SettingsReference::Matches("Dir#", "Dir1a"));
  EXPECT_TRUE(SettingsReference::Matches("@", "d"));
  EXPECT_FALSE(SettingsReference::Matches("@", "dd"));
  EXPECT_TRUE(SettingsReference::Matches("*", "any name"));
  // An exact row goes before the pattern that also covers it.
  EXPECT_EQ(SettingsReference::Find(File::Server, "screen", "13")->type,
            SettingsReference::Type::Integer);
  EXPECT_EQ(SettingsReference::Find(File::Server, "Screen", "12")->type,
            SettingsReference::Type::Boolean);
  EXPECT_EQ(SettingsReference::Find(File::Accounts, "bob", "Hide Hidden Files")->type,
            SettingsReference::Type::Boolean);
  EXPECT_EQ(SettingsReference::Find(File::Accounts, "bob", "port"), nullptr);
}

}  // namespace orvane::test
