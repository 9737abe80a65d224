// "Setup users" and its auxiliary windows: the store order of "&Save", the name rules, the
// letter boxes, the directory list, and "&Ok" making the edited accounts the server's.
#include <sys/stat.h>

#include <QApplication>
#include <QProcess>
#include <QTest>

#include "ui/DesktopTestSupport.h"
#include "ui/UiTestRegistry.h"

namespace orvane::test {

namespace {

constexpr const char* kTwoAccounts =
    "[anonymous]\r\nLogin=anonymous\r\nEnableLogin=0\r\nEnablePass=0\r\nEnabled=1\r\n"
    "Dir0=C:\\\r\nAttr0=R---LS\r\n"
    "[bob]\r\nLogin=bob\r\nPass=pw\r\nEnableLogin=1\r\nEnablePass=1\r\nEnabled=1\r\n"
    "Dir0=C:\\FTP\r\nAttr0=RW-MLS\r\nDir1=C:\\pub\r\nAttr1=R---LS\r\n";

// A desktop on a temporary directory whose drive C is <dir>/c, with the account file given.
struct EditorDesktop {
  explicit EditorDesktop(const std::string& accounts = kTwoAccounts) : d(IniWithDrive(), false) {
    WriteBytes(d.dir / "Accounts.ini", accounts);
    ::mkdir((d0 / "c").c_str(), 0755);
    ::mkdir((d0 / "c/ftp").c_str(), 0755);
    ::mkdir((d0 / "c/ftp/in").c_str(), 0755);
    WriteBytes(d0 / "c/ftp/hello.txt", "hello editor\n");
  }
  std::string IniWithDrive() {
    port = FreePort();
    return "[ServerFTP]\r\nport=" + std::to_string(port) +
           "\r\ndemarrageauto=1\r\n[FTPServer]\r\nTip=0\r\n[Drives]\r\nC=" + d0.Path() + "/c\r\n";
  }
  bool Open() {
    if (!d.Start()) return false;
    d.Main().UsersAccount1.trigger();
    return u().isVisible();
  }
  TUseraccount& u() { return d.program->Useraccount(); }
  QStringList Names() {
    QStringList names;
    for (int i = 0; i < u().ListBox1.count(); ++i) names << u().ListBox1.item(i)->text();
    return names;
  }
  void SelectDir(int row) {
    u().ListView1.clearSelection();
    u().ListView1.topLevelItem(row)->setSelected(true);
  }
  // A new account through "New User".
  void AddAccount(const QString& name) {
    u().AddUser->trigger();
    u().NewUser.UserName.setText(name);
    u().NewUser.Ok.click();
  }

  // Declared first: the directory behind drive C, named in the desktop's FTPsrv.ini.
  TempDir d0;
  int port = 0;
  Desktop d;
};

// With ORVANE_SHOTS set to a directory, the windows are drawn there for a look by eye (under a
// real display server, to see the platform's own style).
void Shot(QWidget& window, const char* name) {
  const QByteArray dir = qgetenv("ORVANE_SHOTS");
  if (dir.isEmpty()) return;
  QApplication::processEvents();
  window.grab().save(QString::fromUtf8(dir) + "/" + name + ".png");
}

}  // namespace

class UseraccountTest : public QObject {
  Q_OBJECT

 private slots:
  void EmptyStateUntilAnAccountIsSelectedAndAfterItsDelete() {
    EditorDesktop e;
    QVERIFY(e.Open());
    TUseraccount& u = e.u();
    QCOMPARE(u.windowTitle(), QString("Setup users"));
    QCOMPARE(e.Names(), (QStringList{"anonymous", "bob"}));
    QVERIFY(!u.AllowLogin.isEnabled());
    QVERIFY(!u.xupl.isEnabled());
    QCOMPARE(u.Maxdl.text(), QString("0"));
    QCOMPARE(u.xdl.text(), QString("1"));
    QCOMPARE(u.Misc.timeout.text(), QString("0"));
    QVERIFY(!u.Misc.hidefiles.isEnabled());
    u.SelectAccount("bob");
    QVERIFY(u.AllowLogin.isEnabled());
    QCOMPARE(u.Pass.text(), QString("pw"));
    // The password is masked until "Show" is pressed, and masked again for the next account.
    QCOMPARE(u.Pass.echoMode(), QLineEdit::Password);
    u.ShowPass.click();
    QCOMPARE(u.Pass.echoMode(), QLineEdit::Normal);
    u.SelectAccount("anonymous");
    QCOMPARE(u.Pass.echoMode(), QLineEdit::Password);
    u.SelectAccount("bob");
    QCOMPARE(u.ListView1.topLevelItemCount(), 2);
    QCOMPARE(u.ListView1.topLevelItem(0)->text(1), QString("RW-MLS"));
    QVERIFY(!u.SaveButton.isEnabled());
    u.DeleteAccount();
    QCOMPARE(e.Names(), (QStringList{"anonymous"}));
    QVERIFY(!u.AllowLogin.isEnabled());
    QCOMPARE(u.Pass.text(), QString());
    QCOMPARE(u.ListView1.topLevelItemCount(), 0);
    // The server keeps bob until "&Ok".
    QCOMPARE(e.d.Host().Accounts().AccountList().size(), size_t{2});
  }

  void SaveAfterAddingZedLandsInTheSelectedOlderAccount() {
    EditorDesktop e;
    QVERIFY(e.Open());
    TUseraccount& u = e.u();
    e.AddAccount("zed");
    QVERIFY(!u.NewUser.isVisible());
    QCOMPARE(e.Names(), (QStringList{"anonymous", "bob", "zed"}));
    u.SelectAccount("bob");
    e.SelectDir(1);
    u.DeleteDirectory();
    QVERIFY(u.SaveButton.isEnabled());
    u.SaveButton.click();
    AccountStore& store = e.d.Host().Accounts();
    QCOMPARE(store.FindAccount("bob")->Dirs[1].Dir, std::string());
    QCOMPARE(store.FindAccount("zed")->Dirs[0].Dir, std::string());
  }

  void NameRulesOfNewUserAndEditUserName() {
    EditorDesktop e;
    QVERIFY(e.Open());
    TUseraccount& u = e.u();
    e.AddAccount("a b");
    QVERIFY(u.NewUser.isVisible());
    e.AddAccount("BOB");
    QCOMPARE(e.d.messages,
             (std::vector<std::string>{
                 "Please enter a name !",
                 "There is already a user with the same name ! Please choose an other name."}));
    u.NewUser.Cancel.click();
    e.d.messages.clear();

    u.SelectAccount("bob");
    u.EditUser->trigger();
    QCOMPARE(u.EditUserName.UserName.text(), QString("bob"));
    u.EditUserName.Ok.click();  // unchanged: closes without a word
    QVERIFY(!u.EditUserName.isVisible());
    QVERIFY(e.d.messages.empty());
    u.EditUser->trigger();
    u.EditUserName.UserName.setText("Bob");
    u.EditUserName.Ok.click();
    QCOMPARE(e.d.messages, std::vector<std::string>{
                               "This name is already in the list ! Please choose an other one"});
    QVERIFY(u.EditUserName.isVisible());
    u.EditUserName.UserName.setText("a b");
    u.EditUserName.Ok.click();
    QVERIFY(!u.EditUserName.isVisible());
    QCOMPARE(e.Names(), (QStringList{"a b", "anonymous"}));
    QCOMPARE(e.d.Host().Accounts().FindAccount("a b")->Login, std::string("bob"));
  }

  void OtherAccountDropsEditsButTheLettersStoredAtTheirChange() {
    EditorDesktop e;
    QVERIFY(e.Open());
    TUseraccount& u = e.u();
    u.SelectAccount("bob");
    u.Login.setText("robert");
    e.SelectDir(1);
    QVERIFY(u.CheckBox1.isChecked());
    QVERIFY(!u.CheckBox2.isChecked());
    u.CheckBox2.setChecked(true);  // Write
    QCOMPARE(u.ListView1.topLevelItem(1)->text(1), QString("RW--LS"));
    u.SelectAccount("anonymous");
    u.SelectAccount("bob");
    QCOMPARE(u.Login.text(), QString("bob"));
    QCOMPARE(u.ListView1.topLevelItem(1)->text(1), QString("RW--LS"));
    // Two entries selected: the boxes are cleared and change nothing.
    u.ListView1.topLevelItem(0)->setSelected(true);
    u.ListView1.topLevelItem(1)->setSelected(true);
    QVERIFY(!u.CheckBox1.isChecked());
    u.CheckBox3.setChecked(true);
    QCOMPARE(e.d.Host().Accounts().FindAccount("bob")->Dirs[0].Attr, std::string("RW-MLS"));
  }

  void ZeroRatioBadNumbersAndTheDirectoryList() {
    EditorDesktop e;
    QVERIFY(e.Open());
    TUseraccount& u = e.u();
    u.SelectAccount("bob");
    u.Ratio.setChecked(true);
    u.xupl.setText("0");
    u.SaveButton.setEnabled(true);
    u.Save();
    QCOMPARE(u.xupl.text(), QString("1"));
    QCOMPARE(e.d.Host().Accounts().FindAccount("bob")->Xupl, 1);
    u.Maxdl.setText("lots");
    u.Save();
    QCOMPARE(e.d.messages,
             std::vector<std::string>{"'lots' is not a valid integer value for Max download."});
    e.d.messages.clear();
    u.Maxdl.setText("0");

    // NewDir shows the drive map only; C:\FTP is C:\ftp.
    u.OpenNewDir(false);
    QCOMPARE(u.NewDir.DriveComboBox1.count(), 1);
    QVERIFY(u.NewDir.SelectDirectory("C:\\ftp"));
    u.NewDir.Add.click();
    QCOMPARE(e.d.messages, std::vector<std::string>{"This directory is already in the list !"});
    QVERIFY(u.NewDir.isVisible());
    QVERIFY(u.NewDir.SelectDirectory("C:\\ftp\\in"));
    u.NewDir.CheckBox1.setChecked(true);
    u.NewDir.CheckBox5.setChecked(true);
    e.SelectDir(1);
    u.InsertDir->trigger();
    QVERIFY(u.NewDir.SelectDirectory("C:\\ftp\\in"));
    u.NewDir.CheckBox1.setChecked(true);
    u.NewDir.CheckBox5.setChecked(true);
    u.NewDir.Add.click();
    QVERIFY(!u.NewDir.isVisible());
    QCOMPARE(u.ListView1.topLevelItem(1)->text(0), QString("C:\\ftp\\in"));
    QCOMPARE(u.ListView1.topLevelItem(1)->text(1), QString("R---S"));

    // Set as Home dir swaps the entry with entry 0, letters and all.
    e.SelectDir(2);
    u.SetHomeDirectory();
    QCOMPARE(u.ListView1.topLevelItem(0)->text(0), QString("C:\\pub"));
    QCOMPARE(u.ListView1.topLevelItem(0)->text(1), QString("R---LS"));
    QCOMPARE(u.ListView1.topLevelItem(2)->text(0), QString("C:\\FTP"));
    QCOMPARE(u.ListView1.topLevelItem(2)->text(1), QString("RW-MLS"));
  }

  void MiscOkEnablesSaveOnlyForAChangeAndCancelRestores() {
    EditorDesktop e;
    QVERIFY(e.Open());
    TUseraccount& u = e.u();
    u.SelectAccount("bob");
    u.MiscButton.click();
    QCOMPARE(u.Misc.windowTitle(), QString("Miscellaneous setup"));
    u.Misc.Ok.click();
    QVERIFY(!u.SaveButton.isEnabled());
    u.MiscButton.click();
    u.Misc.hidefiles.setChecked(true);
    u.Misc.Cancel.click();
    QVERIFY(!u.Misc.hidefiles.isChecked());
    u.MiscButton.click();
    u.Misc.hidefiles.setChecked(true);
    u.Misc.Ok.click();
    QVERIFY(u.SaveButton.isEnabled());
    QVERIFY(!e.d.Host().Accounts().FindAccount("bob")->HideHidden);
    u.Save();
    QVERIFY(e.d.Host().Accounts().FindAccount("bob")->HideHidden);
  }

  void RequireTlsBoxReachesTheAccountFileAndComesBack() {
    EditorDesktop e;
    QVERIFY(e.Open());
    TUseraccount& u = e.u();
    QCOMPARE(u.Misc.requiretls.text(), QString("Require TLS before login"));
    QVERIFY(!u.Misc.requiretls.isEnabled());
    u.SelectAccount("bob");
    QVERIFY(u.Misc.requiretls.isEnabled());
    QVERIFY(!u.Misc.requiretls.isChecked());
    u.MiscButton.click();
    u.Misc.requiretls.setChecked(true);
    u.Misc.Ok.click();
    QVERIFY(u.SaveButton.isEnabled());
    u.OkButton.click();
    QVERIFY(e.d.messages.empty());
    const std::string written = ReadBytes(e.d.dir / "Accounts.ini");
    const size_t bob = written.find("[bob]");
    QVERIFY(bob != std::string::npos);
    QVERIFY(written.find("RequireTLS=1", bob) != std::string::npos);
    QVERIFY(written.find("RequireTLS") > bob);  // the anonymous account keeps it off
    QVERIFY(e.d.Host().Accounts().FindAccount("bob")->RequireTLS);

    // Shown again from the file; switched off, the key leaves the file.
    e.d.Main().UsersAccount1.trigger();
    u.Reload();
    u.SelectAccount("bob");
    QVERIFY(u.Misc.requiretls.isChecked());
    u.SelectAccount("anonymous");
    QVERIFY(!u.Misc.requiretls.isChecked());
    u.SelectAccount("bob");
    u.MiscButton.click();
    u.Misc.requiretls.setChecked(false);
    u.Misc.Ok.click();
    u.OkButton.click();
    QVERIFY(ReadBytes(e.d.dir / "Accounts.ini").find("RequireTLS") == std::string::npos);
  }

  void LimitFieldsOfTheMiscSheetReachTheAccountFile() {
    EditorDesktop e;
    QVERIFY(e.Open());
    TUseraccount& u = e.u();
    QVERIFY(!u.Misc.maxsessions.isEnabled());
    u.SelectAccount("bob");
    QCOMPARE(u.Misc.quotabytes.text(), QString("0"));
    u.MiscButton.click();
    u.Misc.maxsessions.setText("2");
    u.Misc.downloadrate.setText("1024");
    u.Misc.quotabytes.setText("1048576");
    u.Misc.Ok.click();
    QVERIFY(u.SaveButton.isEnabled());
    u.OkButton.click();
    QVERIFY(e.d.messages.empty());
    const std::string written = ReadBytes(e.d.dir / "Accounts.ini");
    QVERIFY(written.find("DownloadRate=1024\r\nMaxSessions=2\r\nQuotaBytes=1048576\r\n") !=
            std::string::npos);
    QVERIFY(written.find("UploadRate") == std::string::npos);
    QCOMPARE(e.d.Host().Accounts().FindAccount("bob")->MaxSessions, 2);
  }

  void FailedWriteIsShownAndTheServerKeepsItsList() {
    EditorDesktop e;
    QVERIFY(e.Open());
    TUseraccount& u = e.u();
    e.AddAccount("zed");
    // A directory in the file's place makes the write fail.
    const std::string file = e.d.dir / "Accounts.ini";
    ::unlink(file.c_str());
    ::mkdir(file.c_str(), 0755);
    u.OkButton.click();
    QCOMPARE(e.d.messages.size(), size_t{1});
    QVERIFY(u.isVisible());
    QCOMPARE(e.d.Host().Accounts().AccountList().size(), size_t{2});
    ::rmdir(file.c_str());
  }

  void AccountMadeInTheEditorLogsInAtOnceWithItsRights() {
    // Without the anonymous account, which would take any user name first.
    EditorDesktop e(
        "[bob]\r\nLogin=bob\r\nPass=pw\r\nEnablePass=1\r\nDir0=C:\\\r\nAttr0=R---LS\r\n");
    QVERIFY(e.Open());
    QVERIFY(e.d.Port() != 0);
    TUseraccount& u = e.u();
    e.AddAccount("carol");
    u.SelectAccount("carol");
    u.AllowPass.setChecked(true);
    u.Pass.setText("secret");
    u.AddDir->trigger();
    QVERIFY(u.NewDir.SelectDirectory("C:\\ftp"));
    u.NewDir.CheckBox1.setChecked(true);
    u.NewDir.CheckBox5.setChecked(true);
    u.NewDir.Add.click();
    e.SelectDir(0);
    u.CheckBox6.setChecked(true);  // List
    QCOMPARE(u.ListView1.topLevelItem(0)->text(1), QString("R---LS"));
    Shot(u, "setup-users");
    u.MiscButton.click();
    Shot(u.Misc, "misc");
    u.Misc.Cancel.click();
    u.AddDir->trigger();
    u.NewDir.SelectDirectory("C:\\ftp\\in");
    Shot(u.NewDir, "newdir");
    u.NewDir.Cancel.click();
    u.AddUser->trigger();
    u.NewUser.UserName.setText("dave");
    Shot(u.NewUser, "new-user");
    u.NewUser.Cancel.click();
    u.EditUser->trigger();
    Shot(u.EditUserName, "edit-username");
    u.EditUserName.Cancel.click();
    u.OkButton.click();
    QVERIFY(e.d.messages.empty());
    QVERIFY(!u.isVisible());
    const std::string written = ReadBytes(e.d.dir / "Accounts.ini");
    QVERIFY(written.find("[carol]") != std::string::npos);
    // No clear password is left in the file, bob's older one neither.
    QVERIFY(written.find("secret") == std::string::npos);
    QVERIFY(written.find("Pass=pw") == std::string::npos);
    QVERIFY(written.find("\r\nPass=") == std::string::npos);
    QVERIFY(written.find("[carol]\r\nLogin=carol\r\nPassHash=$y$") != std::string::npos);

    const QString url = QString("ftp://127.0.0.1:%1/").arg(e.d.Port());
    auto curl = [&](const QStringList& args, QByteArray& out) {
      QProcess p;
      p.start("curl", QStringList{"-s", "-S", "--max-time", "20", "-u", "carol:secret"} + args);
      if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 30000)) {
        p.kill();
        p.waitForFinished();
        return -1;
      }
      out = p.readAllStandardOutput();
      return p.exitCode();
    };
    QByteArray out;
    QCOMPARE(curl({url}, out), 0);
    QVERIFY(out.contains("hello.txt"));
    QCOMPARE(curl({url + "hello.txt"}, out), 0);
    QCOMPARE(out, QByteArray("hello editor\n"));
    const std::string upload = e.d.dir / "up.txt";
    WriteBytes(upload, "no\n");
    QVERIFY(curl({"-T", QString::fromStdString(upload), url + "up.txt"}, out) != 0);
    struct stat st {};
    QVERIFY(::stat((e.d0 / "c/ftp/up.txt").c_str(), &st) != 0);

    // The file reads back as written, and a second "&Ok" writes the same bytes.
    e.d.Main().UsersAccount1.trigger();
    u.Reload();
    u.OkButton.click();
    QCOMPARE(ReadBytes(e.d.dir / "Accounts.ini"), written);
    e.d.Main().UsersAccount1.trigger();
    u.SelectAccount("carol");
    u.OkButton.click();
    QCOMPARE(ReadBytes(e.d.dir / "Accounts.ini"), written);
  }
};

ORVANE_UI_TEST(UseraccountTest);

}  // namespace orvane::test

#include "UseraccountTest.moc"
