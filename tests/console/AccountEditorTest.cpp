// The account editor's rules without its windows.
#include <gtest/gtest.h>

#include "console/AccountEditor.h"
#include "platform/TempDir.h"

namespace orvane::test {

namespace {

constexpr const char* kTwo =
    "[bob]\r\nLogin=bob\r\nDir0=C:\\ftp\r\nAttr0=RW-MLS\r\n"
    "[Anna]\r\nLogin=anna\r\nDir0=C:\\\r\nAttr0=R---LS\r\nDir1=C:\\ftp\r\nAttr1=R-----\r\n";

struct EditorOn {
  EditorOn() {
    WriteBytes(dir / "Accounts.ini", kTwo);
    store.Load(dir / "Accounts.ini");
  }
  TempDir dir;
  AccountStore store;
};

}  // namespace

TEST(AccountEditor, NamesSortedAndStoreLandsInTheSelectedRecordOnly) {
  EditorOn e;
  AccountEditor editor(e.store);
  EXPECT_EQ(editor.Names(), (std::vector<std::string>{"Anna", "bob"}));
  std::string message;
  ASSERT_TRUE(editor.AddAccount("zed", message));
  EXPECT_TRUE(editor.SaveEnabled());
  editor.Select("bob");
  EXPECT_FALSE(editor.SaveEnabled());
  ASSERT_TRUE(editor.AddDirectory("C:\\pub", "R---S", 99, message));
  std::string error;
  ASSERT_TRUE(editor.Save(error));
  EXPECT_EQ(e.store.FindAccount("bob")->Dirs[1].Dir, "C:\\pub");
  EXPECT_EQ(e.store.FindAccount("zed")->Dirs[0].Dir, "");
  EXPECT_EQ(e.store.FindAccount("zed")->Dirs[1].Dir, "");
}

TEST(AccountEditor, NameRulesForNewAndRenamedAccounts) {
  EditorOn e;
  AccountEditor editor(e.store);
  std::string message;
  EXPECT_FALSE(editor.AddAccount("a b", message));
  EXPECT_EQ(message, "Please enter a name !");
  EXPECT_FALSE(editor.AddAccount("", message));
  EXPECT_FALSE(editor.AddAccount("BOB", message));
  EXPECT_EQ(message, "There is already a user with the same name ! Please choose an other name.");

  editor.Select("bob");
  message.clear();
  EXPECT_TRUE(editor.RenameSelected("bob", message));  // unchanged: nothing happens
  EXPECT_EQ(message, "");
  EXPECT_FALSE(editor.SaveEnabled());
  EXPECT_FALSE(editor.RenameSelected("Bob", message));
  EXPECT_EQ(message, "This name is already in the list ! Please choose an other one");
  EXPECT_FALSE(editor.RenameSelected("", message));
  EXPECT_EQ(message, "Please enter a name !");
  EXPECT_TRUE(editor.RenameSelected("a b", message));
  EXPECT_EQ(editor.Names(), (std::vector<std::string>{"a b", "Anna"}));
  EXPECT_EQ(e.store.FindAccount("a b")->Login, "bob");  // a rename keeps the login
  EXPECT_TRUE(editor.SaveEnabled());
}

TEST(AccountEditor, LettersAreStoredAtOnceOtherEditsOnlyBySave) {
  EditorOn e;
  AccountEditor editor(e.store);
  editor.Select("Anna");
  EXPECT_EQ(editor.LettersOf(0), (std::array<bool, 6>{true, false, false, false, true, true}));
  editor.Fields().Login = "changed";
  editor.SetLetters(1, {true, true, false, true, false, false});
  EXPECT_TRUE(editor.SaveEnabled());
  EXPECT_EQ(e.store.FindAccount("Anna")->Dirs[1].Attr, "RW-M--");
  editor.Select("bob");
  editor.Select("Anna");
  EXPECT_EQ(editor.Fields().Login, "anna");
  EXPECT_EQ(editor.Fields().Dirs[1].Attr, "RW-M--");
}

TEST(AccountEditor, ZeroRatioSidesBecomeOneAndBadNumbersNameTheField) {
  EditorOn e;
  AccountEditor editor(e.store);
  editor.Select("bob");
  editor.Fields().Xupl = "0";
  editor.Fields().Xdl = "0";
  std::string error;
  ASSERT_TRUE(editor.Save(error));
  EXPECT_EQ(editor.Fields().Xupl, "1");
  EXPECT_EQ(e.store.FindAccount("bob")->Xupl, 1);
  EXPECT_EQ(e.store.FindAccount("bob")->Xdl, 1);

  editor.Fields().Login = "robert";
  editor.Fields().Maxdl = "5000";
  editor.Fields().Xdl = "two";
  editor.Fields().Links = "C:\\links.txt";
  EXPECT_FALSE(editor.Save(error));
  EXPECT_EQ(error, "'two' is not a valid integer value for the download side of the ratio.");
  const users* bob = e.store.FindAccount("bob");
  EXPECT_EQ(bob->Login, "robert");  // stored before the failing field
  EXPECT_EQ(bob->Maxdl, 5000);
  EXPECT_EQ(bob->Links, "");  // after it: untouched
  editor.Fields().Xdl = "2";
  editor.Fields().Timeout = "";
  EXPECT_FALSE(editor.Save(error));
  EXPECT_EQ(error, "'' is not a valid integer value for Time out.");
  // Ok writes nothing while a field does not convert.
  EXPECT_FALSE(editor.Ok(error));
  EXPECT_EQ(ReadBytes(e.dir / "Accounts.ini"), kTwo);
}

TEST(AccountEditor, LimitFieldsStoreNumbersOfZeroOrMoreAndRefuseTheRest) {
  EditorOn e;
  AccountEditor editor(e.store);
  editor.Select("bob");
  AccountFields& f = editor.Fields();
  EXPECT_EQ(f.DownloadRate, "0");
  EXPECT_EQ(f.QuotaBytes, "0");
  f.DownloadRate = "512";
  f.UploadRate = "+64";
  f.MaxSessions = "3";
  f.QuotaBytes = "10000000000";  // past 32 bits
  f.QuotaFiles = "20";
  std::string error;
  ASSERT_TRUE(editor.Save(error)) << error;
  const users& bob = *e.store.FindAccount("bob");
  EXPECT_EQ(bob.DownloadRate, 512);
  EXPECT_EQ(bob.UploadRate, 64);
  EXPECT_EQ(bob.MaxSessions, 3);
  EXPECT_EQ(bob.QuotaBytes, int64_t{10000000000});
  EXPECT_EQ(bob.QuotaFiles, 20);
  editor.Select("bob");
  EXPECT_EQ(editor.Fields().QuotaBytes, "10000000000");
  editor.Fields().MaxSessions = "-1";
  EXPECT_FALSE(editor.Save(error));
  EXPECT_EQ(error, "'-1' is not a valid value for Max sessions: 0 (none) or more.");
  editor.Fields().MaxSessions = "2";
  editor.Fields().UploadRate = "fast";
  EXPECT_FALSE(editor.Save(error));
  EXPECT_EQ(error, "'fast' is not a valid integer value for Upload rate.");
}

TEST(AccountEditor, DirectoryListEditing) {
  EditorOn e;
  AccountEditor editor(e.store);
  editor.Select("Anna");
  std::string message;
  EXPECT_FALSE(editor.AddDirectory("C:\\FTP", "R----", 9, message));
  EXPECT_EQ(message, "This directory is already in the list !");
  ASSERT_TRUE(editor.AddDirectory("C:\\in", "RW---", 1, message));  // "&Insert" before line 1
  EXPECT_EQ(editor.Fields().Dirs[1].Dir, "C:\\in");
  editor.SetHome(2);
  EXPECT_EQ(editor.Fields().Dirs[0].Dir, "C:\\ftp");
  EXPECT_EQ(editor.Fields().Dirs[0].Attr, "R-----");
  EXPECT_EQ(editor.Fields().Dirs[2].Dir, "C:\\");
  EXPECT_EQ(editor.Fields().Dirs[2].Attr, "R---LS");
  editor.DeleteDirectory(1);
  std::string error;
  ASSERT_TRUE(editor.Save(error));
  const users* anna = e.store.FindAccount("Anna");
  EXPECT_EQ(anna->Dirs[0].Dir, "C:\\ftp");
  EXPECT_EQ(anna->Dirs[1].Dir, "C:\\");
  EXPECT_EQ(anna->Dirs[2].Dir, "");
}

TEST(AccountEditor, DeleteKeepsTheRecordAliveUntilOk) {
  EditorOn e;
  AccountEditor editor(e.store);
  users* bob = e.store.FindAccount("bob");
  editor.Select("bob");
  editor.DeleteSelected();
  EXPECT_FALSE(editor.Selected());
  EXPECT_TRUE(editor.Fields().Dirs.empty());
  EXPECT_EQ(editor.Fields().Maxdl, "0");
  EXPECT_EQ(editor.Names(), (std::vector<std::string>{"Anna"}));
  EXPECT_EQ(e.store.AccountList().size(), 2u);  // the server still holds bob
  EXPECT_EQ(bob->Login, "bob");
  std::string error;
  ASSERT_TRUE(editor.Ok(error));
  EXPECT_EQ(e.store.AccountList().size(), 1u);
  editor.Reload();
  EXPECT_EQ(editor.Names(), (std::vector<std::string>{"Anna"}));
}

TEST(AccountEditor, ServerPathOfAPickedFileFollowsTheDriveMap) {
  const std::map<char, std::string> drives{{'C', "/srv/ftp/"}, {'D', "/srv/ftp/music"}};
  EXPECT_EQ(AccountEditor::ServerPath("/srv/ftp/texts/links.txt", drives), "C:\\texts\\links.txt");
  EXPECT_EQ(AccountEditor::ServerPath("/srv/ftp/music/a.txt", drives), "D:\\a.txt");
  EXPECT_EQ(AccountEditor::ServerPath("/srv/ftpx/a.txt", drives), std::nullopt);
  EXPECT_EQ(AccountEditor::ServerPath("/etc/motd.txt", {}), "C:\\etc\\motd.txt");
}

}  // namespace orvane::test
