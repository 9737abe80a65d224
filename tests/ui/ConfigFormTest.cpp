// "FTP Server Setup": its fields are live, OK writes every key, the autostart entry follows the
// check box, and a failure to write the entry stops OK.
#include <sys/stat.h>

#include <QTest>

#include "ui/DesktopTestSupport.h"
#include "ui/UiTestRegistry.h"

namespace orvane::test {

class ConfigFormTest : public QObject {
  Q_OBJECT

 private slots:
  void OkWritesEveryKeyAndTheNewLimit() {
    const int port = FreePort();
    Desktop d("[ServerFTP]\r\nport=" + std::to_string(port) + "\r\n[FTPServer]\r\nTip=0\r\n");
    QVERIFY(d.Start());
    TConfigForm& f = d.program->ConfigForm();
    d.Main().Configuration1.trigger();
    QVERIFY(f.isVisible());
    QCOMPARE(f.windowTitle(), QString("FTP Server Setup"));
    QCOMPARE(f.maxusr.text(), QString("2"));
    QCOMPARE(f.Port.maxLength(), 5);

    f.minimize.setChecked(true);
    f.autolaunch.setChecked(true);
    f.sameipconnection.setChecked(true);
    // A change counts at once, before OK.
    QVERIFY(d.Host().Setup().SameIpConnection);
    f.maxusr.setText("7");
    f.Ok.click();
    QVERIFY(!f.isVisible());
    IniFile ini = d.Ini();
    QCOMPARE(ini.ReadString("ServerFTP", "minimize", ""), std::string("1"));
    QCOMPARE(ini.ReadString("ServerFTP", "demarrageauto", ""), std::string("1"));
    QCOMPARE(ini.ReadString("ServerFTP", "sameipconnection", ""), std::string("1"));
    QCOMPARE(ini.ReadString("ServerFTP", "port", ""), std::to_string(port));
    QCOMPARE(ini.ReadString("ServerFTP", "maxusr", ""), std::string("7"));
    QCOMPARE(FtpHostTestAccess::Engine(d.Host()).MaxClients, 7);
    // The engine, never started, still has the port it was made with (21).
    QCOMPARE(d.messages.size(), size_t{1});
    QCOMPARE(FtpHostTestAccess::Engine(d.Host()).Port, std::to_string(port));
    d.messages.clear();
    d.Main().Configuration1.trigger();
    f.Ok.click();
    QVERIFY(d.messages.empty());
  }

  void PortChangeIsAnnouncedAndTheRunningServerKeepsItsPort() {
    const int port = FreePort();
    Desktop d("[ServerFTP]\r\nport=" + std::to_string(port) +
              "\r\ndemarrageauto=1\r\n[FTPServer]\r\nTip=0\r\n");
    QVERIFY(d.Start());
    TConfigForm& f = d.program->ConfigForm();
    d.Main().Configuration1.trigger();
    f.Port.setText("2999");
    f.Ok.click();
    QCOMPARE(d.messages, std::vector<std::string>{
                             "You will need to restart the server for change of the port takes "
                             "effect !"});
    QCOMPARE(d.Port(), port);
    QCOMPARE(FtpHostTestAccess::Engine(d.Host()).Port, std::string("2999"));
    QCOMPARE(d.Ini().ReadString("ServerFTP", "port", ""), std::string("2999"));
    // A port that is not a number reads back as 21.
    d.Main().Configuration1.trigger();
    f.Port.setText("ab");
    f.Ok.click();
    QCOMPARE(f.Port.text(), QString("21"));
  }

  void InvalidMaxUsrFallsBackToTheCurrentLimit() {
    Desktop d("[ServerFTP]\r\nmaxusr=4\r\n[FTPServer]\r\nTip=0\r\n");
    QVERIFY(d.Start());
    TConfigForm& f = d.program->ConfigForm();
    d.Main().Configuration1.trigger();
    f.maxusr.setText("many");
    f.Ok.click();
    QCOMPARE(f.maxusr.text(), QString("4"));
    QCOMPARE(d.Ini().ReadString("ServerFTP", "maxusr", ""), std::string("4"));
    QCOMPARE(FtpHostTestAccess::Engine(d.Host()).MaxClients, 4);
    // Cancel reloads the stored values.
    d.Main().Configuration1.trigger();
    f.maxusr.setText("9");
    f.sameipconnection.setChecked(true);
    f.Annuler.click();
    QCOMPARE(f.maxusr.text(), QString("4"));
    QVERIFY(!d.Host().Setup().SameIpConnection);
  }

  void AutostartEntryIsCreatedAndRemoved() {
    Desktop d("[FTPServer]\r\nTip=0\r\n");
    QVERIFY(d.Start());
    TConfigForm& f = d.program->ConfigForm();
    const std::string entry = d.xdg / "autostart/orvane-ftp-server.desktop";
    d.Main().Configuration1.trigger();
    QVERIFY(!f.CheckBox1.isChecked());
    f.CheckBox1.setChecked(true);
    f.Ok.click();
    const std::string text = ReadBytes(entry);
    QVERIFY(text.find("Name=FTP Server Startup\n") != std::string::npos);
    QVERIFY(text.find("Exec=/opt/orvane/orvane-ftp-server --dir " + d.dir.Path() + "\n") !=
            std::string::npos);

    d.Main().Configuration1.trigger();
    QVERIFY(f.CheckBox1.isChecked());
    f.CheckBox1.setChecked(false);
    f.Ok.click();
    struct stat st {};
    QVERIFY(::stat(entry.c_str(), &st) != 0);
  }

  void AutostartFailureStopsOk() {
    if (::geteuid() == 0) QSKIP("root writes into a read-only directory");
    Desktop d("[FTPServer]\r\nTip=0\r\n");
    QVERIFY(d.Start());
    MakeDir(d.xdg / "autostart");
    ::chmod((d.xdg / "autostart").c_str(), 0500);
    TConfigForm& f = d.program->ConfigForm();
    d.Main().Configuration1.trigger();
    f.CheckBox1.setChecked(true);
    f.minimize.setChecked(true);
    f.Ok.click();
    ::chmod((d.xdg / "autostart").c_str(), 0700);
    QCOMPARE(d.messages.size(), size_t{1});
    QVERIFY(f.isVisible());
    QCOMPARE(d.Ini().ReadString("ServerFTP", "minimize", "none"), std::string("none"));
  }

  void AutostartFailureStopsOkEvenForRoot() {
    // A file where the directory should be cannot be written through by anybody.
    Desktop d("[FTPServer]\r\nTip=0\r\n");
    QVERIFY(d.Start());
    WriteBytes(d.xdg / "autostart", "not a directory");
    TConfigForm& f = d.program->ConfigForm();
    d.Main().Configuration1.trigger();
    f.CheckBox1.setChecked(true);
    f.minimize.setChecked(true);
    f.Ok.click();
    QCOMPARE(d.messages.size(), size_t{1});
    QVERIFY(f.isVisible());
    QCOMPARE(d.Ini().ReadString("ServerFTP", "minimize", "none"), std::string("none"));
  }
};

ORVANE_UI_TEST(ConfigFormTest);

}  // namespace orvane::test

#include "ConfigFormTest.moc"
#include "support/FtpHostTestAccess.h"
