// The settings windows: Log Setup, Events, the free files and Statistics. Each edits the host's
// own settings, so a change counts before OK; OK stores, Cancel restores.
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "ui/DesktopTestSupport.h"
#include "ui/UiTestRegistry.h"

namespace orvane::test {

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Config(int port) {
  return "[ServerFTP]\r\nport=" + std::to_string(port) +
         "\r\ndemarrageauto=1\r\n[FTPServer]\r\nTip=0\r\n";
}

}  // namespace

class SettingsWindowsTest : public QObject {
  Q_OBJECT

 private slots:
  void LogSwitchCountsBeforeOkAndCancelRestores() {
    Desktop d(Config(FreePort()));
    QVERIFY(d.Start());
    TLogForm& f = d.program->LogForm();
    d.Main().Log1.trigger();
    QVERIFY(f.isVisible());
    QCOMPARE(f.windowTitle(), QString("Log Setup"));
    QCOMPARE(f.Tabs.tabText(0), QString("Screen"));
    QCOMPARE(f.Tabs.tabText(1), QString("File"));
    QCOMPARE(f.Screen[11].text(), QString("Show Answers from server"));
    QCOMPARE(f.File[12].text(), QString("Write Clients commands"));
    QVERIFY(f.Screen[1].isChecked() && !f.Screen[12].isChecked());
    QVERIFY(d.program->TopState().DialogOpen());

    // Switched off, not yet OK: the very next connection is silent on screen.
    f.Screen[1].click();
    auto c = d.Connect(false);
    for (const QString& line : d.Memo()) QVERIFY(!line.contains("try to connect"));
    f.Cancel.click();
    QVERIFY(!f.isVisible());
    QVERIFY(!d.program->TopState().DialogOpen());
    QVERIFY(d.Host().LogSwitches().Screen[1]);
    auto c2 = d.Connect(false);
    QVERIFY(d.Memo().filter("try to connect").size() == 1);
  }

  void MaxLinesTakesDigitsOnly() {
    Desktop d(Config(FreePort()));
    QVERIFY(d.Start());
    TLogForm& f = d.program->LogForm();
    d.Main().Log1.trigger();
    f.Edit2.setFocus();
    f.Edit2.end(false);
    QTest::keyClicks(&f.Edit2, "4a-");
    QCOMPARE(f.Edit2.text(), QString("1004"));
    QTest::keyClick(&f.Edit2, Qt::Key_Backspace);
    QCOMPARE(f.Edit2.text(), QString("1004"));
    f.Edit2.home(false);
    QTest::keyClick(&f.Edit2, Qt::Key_Delete);
    QCOMPARE(f.Edit2.text(), QString("004"));
    QCOMPARE(d.Host().LogSwitches().MaxLines, std::string("004"));
  }

  void ChangeOfLogFileWritesBothBlocks() {
    Desktop d(Config(FreePort()));
    QVERIFY(d.Start());
    TLogForm& f = d.program->LogForm();
    d.Main().Log1.trigger();
    const std::string oldName = d.dir.Path() + "/FTP.log";
    const std::string newName = d.dir.Path() + "/other.log";
    // The dialog opens on the log file itself, in its folder, not on "<DIR>FTP.log".
    std::string start;
    f.ChooseFile = [&](const std::string& from) {
      start = from;
      return std::optional<std::string>(newName);
    };
    f.SpeedButton1.click();
    QCOMPARE(start, oldName);
    QCOMPARE(f.Edit1.text(), QString("<DIR>other.log"));
    f.Ok.click();
    QVERIFY(!f.isVisible());
    d.Host().Log().Flush();
    const std::string before = ReadAll(oldName);
    QVERIFY(before.find("Log File changed  to : " + newName +
                        "\r\n\r\n---------- Session closed  on ") != std::string::npos);
    const std::string started = ReadAll(newName);
    QVERIFY(started.rfind("\r\n\r\n---------- Session created on ", 0) == 0);
    QCOMPARE(d.Ini().ReadString("File", "13", ""), std::string("<DIR>other.log"));

    // OK without a change, and the same name in capitals, touch neither file.
    d.Main().Log1.trigger();
    f.Ok.click();
    d.Main().Log1.trigger();
    f.Edit1.setText("<DIR>OTHER.LOG");
    f.Ok.click();
    d.Host().Log().Flush();
    QCOMPARE(ReadAll(oldName), before);
    QCOMPARE(ReadAll(newName), started);
  }

  void WelcomeStoredAsLinesThenShrinks() {
    Desktop d(Config(FreePort()));
    QVERIFY(d.Start());
    TWMessageForm& f = d.program->WMessageForm();
    d.Main().Messagedarrive1.trigger();
    QVERIFY(f.isVisible());
    QCOMPARE(f.windowTitle(), QString("Events"));
    f.Memo1.setPlainText("one\ntwo %IP\nthree");
    f.Button1.click();
    QVERIFY(!f.isVisible());
    IniFile ini = d.Ini();
    QCOMPARE(ini.ReadString("WMessage", "line2", "-"), std::string("three"));
    QCOMPARE(ini.ReadString("WMessage", "line1", "-"), std::string("two %IP"));
    d.Main().Messagedarrive1.trigger();
    QCOMPARE(f.Memo1.toPlainText(), QString("one\ntwo %IP\nthree"));
    f.Memo1.setPlainText("only");
    f.Button1.click();
    ini = d.Ini();
    QCOMPARE(ini.ReadString("WMessage", "line0", "-"), std::string("only"));
    QCOMPARE(ini.ReadString("WMessage", "line1", "-"), std::string("-"));
  }

  void CancelledWelcomeGreetsTheNextClient() {
    Desktop d(Config(FreePort()) + "[WMessage]\r\nline0=stored\r\n");
    QVERIFY(d.Start());
    TWMessageForm& f = d.program->WMessageForm();
    d.Main().Messagedarrive1.trigger();
    QCOMPARE(f.Memo1.toPlainText(), QString("stored"));
    f.Memo1.setPlainText("typed hello");
    f.Button2.click();
    auto c = std::make_unique<FtpClient>(d.program->Loop(), d.Port());
    const std::vector<std::string> greeting = c->ReadReply();
    QVERIFY(!greeting.empty());
    QCOMPARE(greeting.back(), std::string("220 typed hello"));
    d.Main().Messagedarrive1.trigger();
    QCOMPARE(f.Memo1.toPlainText(), QString("stored"));
    QCOMPARE(d.Host().MessageTexts().Welcome, std::vector<std::string>{"stored"});
  }

  // "Setup" and "Events" come up in the middle of the screen at every showing, also after the
  // user moved them away.
  void CentredWindowsShowInTheMiddleOfTheScreen() {
    Desktop d(Config(FreePort()));
    QVERIFY(d.Start());
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const std::vector<std::pair<QWidget*, QAction*>> windows = {
        {&d.program->ConfigForm(), &d.Main().Configuration1},
        {&d.program->WMessageForm(), &d.Main().Messagedarrive1}};
    for (const auto& [window, action] : windows) {
      for (int showing = 0; showing < 2; ++showing) {
        action->trigger();
        QVERIFY(window->isVisible());
        QVERIFY2((window->frameGeometry().center() - area.center()).manhattanLength() <= 2,
                 qPrintable(window->objectName()));
        window->move(area.topLeft());
        window->hide();
      }
    }
  }

  void FreeFilesAddCountsAtOnceAndOkClosesTheGap() {
    Desktop d(Config(FreePort()) + "[FreeFiles]\r\nFile0=*.zip\r\nFile2=index.txt\r\n");
    QVERIFY(d.Start());
    FreeFilesWindow& f = d.program->FreeFilesForm();
    bool checkedWhileOpen = false;
    d.onModal = [&](QDialog& dialog) {
      QCOMPARE(&dialog, static_cast<QDialog*>(&f));
      dialog.show();
      QCOMPARE(f.windowTitle(), QString("Files/Dirs free to download"));
      QCOMPARE(f.ListBox1.count(), 1);
      QVERIFY(!f.Button4.isEnabled() && !f.Delete1->isEnabled());
      f.Edit1.setText("C:\\temp\\");
      f.Button2.click();
      QVERIFY(f.Edit1.text().isEmpty());
      f.Edit1.setText("*.ZIP");
      f.Button2.click();  // already listed in another case
      QCOMPARE(f.ListBox1.count(), 2);
      checkedWhileOpen = d.Host().FreeFileList().Contains("C:\\temp\\x.bin");
      f.ListBox1.setCurrentRow(0);
      QVERIFY(f.Button4.isEnabled() && f.Delete1->isEnabled());
      f.Button1.click();
    };
    d.Main().FreeFiles1.trigger();
    QVERIFY(checkedWhileOpen);
    IniFile ini = d.Ini();
    QCOMPARE(ini.ReadString("FreeFiles", "File0", "-"), std::string("*.zip"));
    QCOMPARE(ini.ReadString("FreeFiles", "File1", "-"), std::string("C:\\temp\\"));
    QCOMPARE(ini.ReadString("FreeFiles", "File2", "-"), std::string("-"));

    // Cancel drops what was changed.
    d.onModal = [&](QDialog& dialog) {
      dialog.show();
      f.ListBox1.setCurrentRow(0);
      f.Delete1->trigger();
      QCOMPARE(d.Host().FreeFileList().Items().size(), size_t{1});
      f.Button3.click();
    };
    d.Main().FreeFiles1.trigger();
    QCOMPARE(d.Host().FreeFileList().Items().size(), size_t{2});
  }

  // The six windows' foot: the two buttons side by side at the right edge, "&Ok" first, and
  // Enter presses "&Ok" except in the free files window, where Enter belongs to "<< Add".
  void ButtonRowsAtTheFootOfTheSettingsWindows() {
    Desktop d(Config(FreePort()));
    QVERIFY(d.Start());
    DesktopProgram& p = *d.program;
    struct Row {
      QDialog* window;
      QPushButton* ok;
      QPushButton* cancel;
      bool enterPressesOk;
    };
    const std::vector<Row> rows = {
        {&p.ConfigForm(), &p.ConfigForm().Ok, &p.ConfigForm().Annuler, true},
        {&p.LogForm(), &p.LogForm().Ok, &p.LogForm().Cancel, true},
        {&p.WMessageForm(), &p.WMessageForm().Button1, &p.WMessageForm().Button2, true},
        {&p.FreeFilesForm(), &p.FreeFilesForm().Button1, &p.FreeFilesForm().Button3, false},
        {&p.NetworkForm(), &p.NetworkForm().Ok, &p.NetworkForm().Cancel, true},
        {&p.SecurityForm(), &p.SecurityForm().Ok, &p.SecurityForm().Cancel, true},
    };
    for (const Row& row : rows) {
      row.window->show();
      QVERIFY(QTest::qWaitForWindowExposed(row.window));
      const QString title = row.window->windowTitle();
      QCOMPARE(row.ok->text(), QString("&Ok"));
      QCOMPARE(row.cancel->text(), QString("&Cancel"));
      const QRect ok(row.ok->mapTo(row.window, QPoint(0, 0)), row.ok->size());
      const QRect cancel(row.cancel->mapTo(row.window, QPoint(0, 0)), row.cancel->size());
      QVERIFY2(ok.top() == cancel.top() && ok.right() < cancel.left(), qPrintable(title));
      // At the foot and at the right: nothing of the window lies below or right of the row.
      const int margin = row.window->layout()->contentsMargins().right();
      QVERIFY2(row.window->width() - cancel.right() - 1 <= margin + 1, qPrintable(title));
      QVERIFY2(row.window->height() - cancel.bottom() - 1 <= margin + 1, qPrintable(title));
      QCOMPARE(row.ok->isDefault(), row.enterPressesOk);
      QVERIFY(!row.cancel->isDefault());
      if (!row.enterPressesOk) QVERIFY(!row.ok->autoDefault() && !row.cancel->autoDefault());
      row.window->hide();
    }
  }

  void StatisticsShowCountersAndAddresses() {
    Desktop d(Config(FreePort()));
    QVERIFY(d.Start());
    Tstatistikform& f = d.program->StatistikForm();
    f.Resolve = [] { return NameResolver::Answer{0, {"192.0.2.7", "198.51.100.1"}}; };
    d.Main().Statistiques1.trigger();
    QVERIFY(f.isVisible());
    QCOMPARE(f.windowTitle(), QString("Statistics"));
    QCOMPARE(f.Captions[0].text(), QString("Total uploaded by clients :"));
    QCOMPARE(f.Values[0].text(), QString("0 Kb"));
    QCOMPARE(f.Values[1].text(), QString("0 Kb"));
    QCOMPARE(f.Values[2].text(), QString("0"));
    // The lookup answers on the loop, which keeps serving meanwhile.
    QVERIFY(d.program->Loop().RunUntil([&] { return f.ListBox1.count() == 2; },
                                       std::chrono::milliseconds(3000)));
    QCOMPARE(f.ListBox1.item(0)->text(), QString("192.0.2.7"));

    auto c = d.Connect(true);
    d.Host().AddDownloaded(12345);
    f.Refresh();
    QCOMPARE(f.Values[1].text(), QString("12 Kb"));
    QCOMPARE(f.Values[3].text(), QString("1"));
    d.Host().Timer3Timer();
    QCOMPARE(d.Main().StatusBar1.Text(2), QString("12 Kb/s"));
    d.Host().AddUploaded(9999);
    d.Host().Timer3Timer();
    QCOMPARE(d.Main().StatusBar1.Text(2), QString("9999 bytes/s"));
    f.Ok.click();
    QVERIFY(!f.isVisible() && !f.Timer1.isActive());
  }

  void StatisticsSavedWhenTheProgramCloses() {
    Desktop d(Config(FreePort()));
    QVERIFY(d.Start());
    // One client after the other: the peak rises (and is saved) only with the first, so the
    // second is in the file only when the end of the program saves the counters.
    for (int i = 0; i < 2; ++i) {
      auto c = d.Connect(true);
      c->Close();
      QVERIFY(d.program->Loop().RunUntil([&] { return d.Host().SessionCount() == 0; },
                                         std::chrono::milliseconds(3000)));
    }
    QCOMPARE(FtpHostTestAccess::Stats(d.Host()).Connections, int64_t{2});
    d.Main().close();
    d.program->Finish();
    IniFile ini = d.Ini();
    QCOMPARE(ini.ReadString("Stats", "maxconnections", ""), std::string("1"));
    QCOMPARE(ini.ReadString("Stats", "connections", ""), std::string("2"));
    QCOMPARE(std::atoi(ini.ReadString("Stats", "connectionsA", "0").c_str()) +
                 std::atoi(ini.ReadString("Stats", "connectionsAC", "0").c_str()),
             2);
  }
};

ORVANE_UI_TEST(SettingsWindowsTest);

}  // namespace orvane::test

#include "SettingsWindowsTest.moc"
#include "support/FtpHostTestAccess.h"
