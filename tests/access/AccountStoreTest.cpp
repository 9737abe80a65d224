#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "access/AccountStore.h"

namespace orvane {
namespace {

// A fresh directory under /tmp holding the account file, removed with everything in it.
class AccountStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvane-accounts-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/Accounts.ini";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void WriteFile(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  std::string ReadFile() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static std::string Names(const std::vector<users*>& list) {
    std::string names;
    for (const users* account : list) names += account->Name + ";";
    return names;
  }

  std::string dir_;
  std::string path_;
};

TEST_F(AccountStoreTest, MissingFileGivesEmptyLists) {
  AccountStore store;
  store.Load(path_);
  EXPECT_TRUE(store.AccountList().empty());
  EXPECT_TRUE(store.EditorList().empty());
}

TEST_F(AccountStoreTest, MissingKeysTakeTheirDefaults) {
  WriteFile("[bob]\r\n");
  AccountStore store;
  store.Load(path_);
  ASSERT_EQ(store.AccountList().size(), 1u);
  const users& bob = *store.AccountList()[0];
  EXPECT_EQ(bob.Login, "bob");
  EXPECT_EQ(bob.Pass, "");
  EXPECT_TRUE(bob.EnableLogin && bob.AllowNoop && bob.Enabled && bob.AllowTimeout);
  EXPECT_FALSE(bob.EnablePass || bob.EnableRatio || bob.EnableMaxdl || bob.HideHidden);
  EXPECT_EQ(bob.Maxdl, 0);
  EXPECT_EQ(bob.Xdl, 1);
  EXPECT_EQ(bob.Xupl, 1);
  EXPECT_EQ(bob.Timeout, 600);
  EXPECT_EQ(store.EditorList(), store.AccountList());
}

TEST_F(AccountStoreTest, NumbersAndFlagsFollowTheIniRules) {
  WriteFile(
      "[a]\nXupl=0\nXdl=-2\nMaxdl=0x100\nEnableLogin=yes\nlogin=Al\n"
      "[b]\nXupl=-2\nXdl=0\nMaxdl=abc\nEnableLogin=2\nTimeout=0X1e\n"
      "[c]\nEnableLogin=0\nEnabled=0\nTO=0\nEnablePass=7\nHide hidden Files=1\n");
  AccountStore store;
  store.Load(path_);
  ASSERT_EQ(store.AccountList().size(), 3u);
  const users& a = *store.AccountList()[0];
  const users& b = *store.AccountList()[1];
  const users& c = *store.AccountList()[2];
  EXPECT_EQ(a.Login, "Al");
  EXPECT_EQ(a.Xupl, 1);
  EXPECT_EQ(a.Xdl, -2);
  EXPECT_EQ(b.Xupl, -2);
  EXPECT_EQ(b.Xdl, 1);
  EXPECT_EQ(a.Maxdl, 256);
  EXPECT_EQ(b.Maxdl, 0);
  EXPECT_EQ(b.Timeout, 30);
  EXPECT_TRUE(a.EnableLogin);
  EXPECT_TRUE(b.EnableLogin);
  EXPECT_FALSE(c.EnableLogin || c.Enabled || c.AllowTimeout);
  EXPECT_TRUE(c.EnablePass && c.HideHidden);
}

TEST_F(AccountStoreTest, EntriesKeepTheirIndexAcrossGaps) {
  WriteFile("[a]\nDir0=C:\\ftp\nAttr0=R---L-\nDir3=C:\\up\nAttr3=RW--S\nDir150=D:\\\n");
  AccountStore store;
  store.Load(path_);
  ASSERT_EQ(store.AccountList().size(), 1u);
  const users& a = *store.AccountList()[0];
  EXPECT_EQ(a.Dirs[0].Dir, "C:\\ftp");
  EXPECT_TRUE(a.Dirs[1].Dir.empty() && a.Dirs[2].Dir.empty());
  EXPECT_EQ(a.Dirs[3].Dir, "C:\\up");
  EXPECT_EQ(a.Dirs[3].Attr, "RW--S");
  EXPECT_EQ(a.Dirs[150].Dir, "D:\\");
}

TEST_F(AccountStoreTest, SectionsLoadSortedIgnoringCaseAndSharedLoginsAreKept) {
  WriteFile("[zed]\nLogin=same\n[Bob]\n[alice]\nLogin=same\n[carl]\n");
  AccountStore store;
  store.Load(path_);
  EXPECT_EQ(Names(store.AccountList()), "alice;Bob;carl;zed;");
  EXPECT_EQ(store.AccountList()[0]->Login, "same");
  EXPECT_EQ(store.AccountList()[3]->Login, "same");
}

TEST_F(AccountStoreTest, SaveWritesTheExactForm) {
  AccountStore store;
  store.HashPasswords = false;  // the classic form, with the clear key
  store.Load(path_);
  users* bob = store.NewAccount("bob");
  bob->Pass = "secret";
  bob->EnablePass = true;
  bob->Maxdl = 1000;
  bob->Message = "C:\\msg.txt";
  bob->Dirs[0] = {"C:\\ftp", "RWDMLS"};
  bob->Dirs[2] = {"C:\\pub", ""};
  bob->Dirs[5] = {"", "R"};
  std::string error;
  ASSERT_TRUE(store.Save(error)) << error;
  EXPECT_EQ(ReadFile(),
            "[bob]\r\nLogin=bob\r\nPass=secret\r\nMessage=C:\\msg.txt\r\nLinks=\r\n"
            "EnableLogin=1\r\nEnablePass=1\r\nAllowNoop=1\r\nEnableMaxdl=0\r\nEnableRatio=0\r\n"
            "Hide hidden Files=0\r\nTO=0\r\nEnabled=1\r\nMaxdl=1000\r\nXupl=1\r\nXdl=1\r\n"
            "Timeout=600\r\nDir0=C:\\ftp\r\nAttr0=RWDMLS\r\nDir2=C:\\pub\r\nAttr5=R\r\n");
}

TEST_F(AccountStoreTest, SavedAccountsReadBackIdentically) {
  AccountStore store;
  store.Load(path_);
  users* x = store.NewAccount("x");
  *x = users{"x",  "login x", "pw", "", false, true, true,  -3,          7,          123456,
             true, true,      true, 45, false, {},   false, "C:\\m.txt", "C:\\l.txt"};
  x->Dirs[0] = {"C:\\", "RWDMLS"};
  x->Dirs[9] = {"C:\\a b", "R-D-L-"};
  store.NewAccount("A2");
  std::string error;
  ASSERT_TRUE(store.Save(error)) << error;

  AccountStore again;
  again.Load(path_);
  ASSERT_EQ(Names(again.AccountList()), "A2;x;");
  const users& y = *again.AccountList()[1];
  EXPECT_EQ(y.Login, x->Login);
  EXPECT_EQ(y.Pass, x->Pass);
  EXPECT_EQ(std::tie(y.EnableLogin, y.EnablePass, y.EnableRatio, y.HideHidden, y.EnableMaxdl,
                     y.AllowTimeout, y.AllowNoop, y.Enabled),
            std::tie(x->EnableLogin, x->EnablePass, x->EnableRatio, x->HideHidden, x->EnableMaxdl,
                     x->AllowTimeout, x->AllowNoop, x->Enabled));
  EXPECT_EQ(std::tie(y.Xdl, y.Xupl, y.Maxdl, y.Timeout, y.Message, y.Links),
            std::tie(x->Xdl, x->Xupl, x->Maxdl, x->Timeout, x->Message, x->Links));
  for (std::size_t i = 0; i < kDirEntries; ++i) {
    EXPECT_EQ(y.Dirs[i].Dir, x->Dirs[i].Dir) << i;
    EXPECT_EQ(y.Dirs[i].Attr, x->Dirs[i].Attr) << i;
  }
}

TEST_F(AccountStoreTest, RequireTlsIsWrittenOnlyWhenSet) {
  WriteFile("[a]\nRequireTLS=1\n[b]\n");
  AccountStore store;
  store.Load(path_);
  ASSERT_EQ(store.EditorList().size(), 2u);
  EXPECT_TRUE(store.EditorList()[0]->RequireTLS);
  EXPECT_FALSE(store.EditorList()[1]->RequireTLS);
  std::string error;
  ASSERT_TRUE(store.Save(error)) << error;
  const std::string text = ReadFile();
  EXPECT_NE(text.find("Timeout=600\r\nRequireTLS=1\r\n"), std::string::npos);
  EXPECT_EQ(text.find("RequireTLS", text.find("[b]")), std::string::npos);
}

TEST_F(AccountStoreTest, LineBreaksInValuesCannotAddKeys) {
  AccountStore store;
  store.HashPasswords = false;
  store.Load(path_);
  store.NewAccount("a")->Pass = "pw\r\nDir1=C:\\";
  std::string error;
  ASSERT_TRUE(store.Save(error)) << error;
  AccountStore again;
  again.Load(path_);
  ASSERT_EQ(again.AccountList().size(), 1u);
  EXPECT_EQ(again.AccountList()[0]->Pass, "pwDir1=C:\\");
  EXPECT_TRUE(again.AccountList()[0]->Dirs[1].Dir.empty());
}

TEST_F(AccountStoreTest, EditorListBecomesLiveOnlyOnSave) {
  WriteFile("[b]\n[c]\n");
  AccountStore store;
  store.Load(path_);
  ASSERT_EQ(store.AccountList().size(), 2u);
  users* b = store.AccountList()[0];
  store.Reload();
  EXPECT_NE(store.EditorList()[0], b);  // new records; the live list keeps the old ones
  EXPECT_EQ(store.AccountList()[0], b);
  EXPECT_EQ(b->Name, "b");

  store.NewAccount("a");  // appended, not sorted in
  ASSERT_TRUE(store.DeleteAccount(store.FindAccount("c")));
  EXPECT_FALSE(store.DeleteAccount(b));
  EXPECT_EQ(store.FindAccount("B"), nullptr);
  EXPECT_TRUE(store.HasName("B"));
  EXPECT_EQ(Names(store.AccountList()), "b;c;");
  EXPECT_EQ(Names(store.EditorList()), "b;a;");

  std::string error;
  ASSERT_TRUE(store.Save(error)) << error;
  EXPECT_EQ(store.AccountList(), store.EditorList());
  EXPECT_EQ(b->Name, "b");  // dropped records stay valid for sessions still holding them
}

TEST_F(AccountStoreTest, SavingNoAccountsRemovesTheFile) {
  WriteFile("[a]\n");
  AccountStore store;
  store.Load(path_);
  ASSERT_EQ(store.EditorList().size(), 1u);
  store.DeleteAccount(store.EditorList()[0]);
  std::string error;
  ASSERT_TRUE(store.Save(error)) << error;
  EXPECT_FALSE(std::filesystem::exists(path_));
  EXPECT_TRUE(store.AccountList().empty());
}

TEST_F(AccountStoreTest, ReadOnlyFileIsReplaced) {
  WriteFile("[old]\n");
  ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
  AccountStore store;
  store.Load(path_);
  ASSERT_EQ(store.EditorList().size(), 1u);
  store.DeleteAccount(store.EditorList()[0]);
  store.NewAccount("new");
  std::string error;
  ASSERT_TRUE(store.Save(error)) << error;
  EXPECT_EQ(ReadFile().rfind("[new]\r\n", 0), 0u);
}

TEST_F(AccountStoreTest, SavedFileIsReadableByItsOwnerOnly) {
  AccountStore store;
  store.Load(path_);
  store.NewAccount("a");
  std::string error;
  struct stat st {};
  for (const auto& [before, after] : {std::pair{-1, 0600}, {0644, 0600}, {0400, 0400}}) {
    if (before >= 0) ASSERT_EQ(::chmod(path_.c_str(), static_cast<mode_t>(before)), 0);
    ASSERT_TRUE(store.Save(error)) << error;
    ASSERT_EQ(::stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, static_cast<mode_t>(after)) << before;
  }
}

TEST_F(AccountStoreTest, FailedSaveReportsAndKeepsTheLiveList) {
  WriteFile("[a]\n");
  AccountStore store;
  store.Load(path_);
  const std::vector<users*> live = store.AccountList();
  std::filesystem::remove_all(dir_);  // the file can no longer be created
  store.NewAccount("b");
  std::string error;
  EXPECT_FALSE(store.Save(error));
  EXPECT_NE(error.find(path_), std::string::npos);
  EXPECT_EQ(store.AccountList(), live);
}

}  // namespace
}  // namespace orvane

namespace orvane {
namespace {

// Outside classic a save leaves no clear password in the file; classic writes "Pass=" as the
// file always had it, and keeps a hash it was given.
TEST_F(AccountStoreTest, SaveStoresHashesOnlyAndClassicKeepsTheClearKey) {
  WriteFile("[a]\nPass=alpha\nEnablePass=1\n[b]\nPassHash=$y$j9T$x$y\nPass=ignored\n[c]\n");
  AccountStore store;
  store.Load(path_);
  ASSERT_EQ(store.EditorList().size(), 3u);
  EXPECT_EQ(store.EditorList()[0]->Pass, "alpha");
  EXPECT_TRUE(store.EditorList()[1]->Pass.empty());  // the hash is the password
  EXPECT_EQ(store.EditorList()[1]->PassHash, "$y$j9T$x$y");

  store.HashPasswords = false;
  std::string error;
  ASSERT_TRUE(store.Save(error)) << error;
  std::string text = ReadFile();
  EXPECT_NE(text.find("[a]\r\nLogin=a\r\nPass=alpha\r\nMessage="), std::string::npos);
  EXPECT_NE(text.find("[b]\r\nLogin=b\r\nPassHash=$y$j9T$x$y\r\nMessage="), std::string::npos);

  store.HashPasswords = true;
  ASSERT_TRUE(store.Save(error)) << error;
  text = ReadFile();
  EXPECT_EQ(text.find("alpha"), std::string::npos);
  EXPECT_NE(text.find("[a]\r\nLogin=a\r\nPassHash=$y$"), std::string::npos);
  EXPECT_NE(text.find("[c]\r\nLogin=c\r\nPass=\r\n"), std::string::npos);  // no password at all
  AccountStore again;
  again.Load(path_);
  EXPECT_EQ(again.AccountList()[0]->PassHash, store.AccountList()[0]->PassHash);
}

TEST_F(AccountStoreTest, ALiveReloadReplacesBothListsOrKeepsThemWithTheReason) {
  WriteFile("[a]\nLogin=old\n");
  AccountStore store;
  store.Load(path_);
  users* const before = store.AccountList()[0];

  WriteFile("; comment\n\n[a]\nLogin=new\n[b]\r\n");
  std::string why;
  ASSERT_TRUE(store.ReloadLive(why)) << why;
  EXPECT_EQ(Names(store.AccountList()), "a;b;");
  EXPECT_EQ(store.AccountList(), store.EditorList());
  EXPECT_EQ(store.AccountList()[0]->Login, "new");
  EXPECT_EQ(before->Login, "old");  // a record taken before stays as it was

  WriteFile("[a]\nLogin=half\n[b\n");
  EXPECT_FALSE(store.ReloadLive(why));
  EXPECT_EQ(why, path_ + " line 3 is neither a section, a key nor a comment");
  std::filesystem::remove(path_);
  EXPECT_FALSE(store.ReloadLive(why));
  EXPECT_EQ(why, "Cannot read " + path_ + ": No such file or directory");
  EXPECT_EQ(Names(store.AccountList()), "a;b;");
  EXPECT_EQ(store.AccountList()[0]->Login, "new");
}

}  // namespace
}  // namespace orvane

namespace orvane {
namespace {

TEST_F(AccountStoreTest, LimitKeysReadAndAreWrittenOnlyWhenSet) {
  // A file as the editor writes it, without limits: saved again, it keeps every byte.
  const std::string plain =
      "[a]\r\nLogin=a\r\nPass=\r\nMessage=\r\nLinks=\r\nEnableLogin=1\r\nEnablePass=0\r\n"
      "AllowNoop=1\r\nEnableMaxdl=0\r\nEnableRatio=0\r\nHide hidden Files=0\r\nTO=1\r\n"
      "Enabled=1\r\nMaxdl=0\r\nXupl=1\r\nXdl=1\r\nTimeout=600\r\nDir0=C:\\ftp\r\n"
      "Attr0=RWDMLS\r\n";
  WriteFile(plain);
  {
    AccountStore store;
    store.HashPasswords = false;
    store.Load(path_);
    std::string error;
    ASSERT_TRUE(store.Save(error)) << error;
    EXPECT_EQ(ReadFile(), plain);
  }
  WriteFile(
      "[b]\nDownloadRate=1024\nUploadRate=0x10\nMaxSessions=2\nQuotaBytes=5000000000\n"
      "QuotaFiles=-3\n[c]\nMaxSessions=abc\n");
  AccountStore store;
  store.HashPasswords = false;
  store.Load(path_);
  const users& b = *store.EditorList()[0];
  EXPECT_EQ(b.DownloadRate, 1024);
  EXPECT_EQ(b.UploadRate, 16);
  EXPECT_EQ(b.MaxSessions, 2);
  EXPECT_EQ(b.QuotaBytes, int64_t{5000000000});  // past 32 bits
  EXPECT_EQ(b.QuotaFiles, 0);                    // negative reads as none
  EXPECT_EQ(store.EditorList()[1]->MaxSessions, 0);
  std::string error;
  ASSERT_TRUE(store.Save(error)) << error;
  const std::string text = ReadFile();
  EXPECT_NE(text.find("Timeout=600\r\nDownloadRate=1024\r\nUploadRate=16\r\nMaxSessions=2\r\n"
                      "QuotaBytes=5000000000\r\n"),
            std::string::npos);
  EXPECT_EQ(text.find("QuotaFiles"), std::string::npos);
  EXPECT_EQ(text.find("MaxSessions", text.find("[c]")), std::string::npos);
}

}  // namespace
}  // namespace orvane
