// The main window against a real host on a free port, driven as the operator drives it.
#include <QClipboard>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include "ui/DesktopTestSupport.h"
#include "ui/UiTestRegistry.h"

namespace orvane::test {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// FTPsrv.ini with the port, no client limit and no tip window; `server` adds lines to section
// ServerFTP, `window` to FTPserver, `other` further sections.
std::string ServerIni(int port, const std::string& server = "", const std::string& window = "",
                      const std::string& other = "") {
  return "[ServerFTP]\r\nport=" + std::to_string(port) + "\r\nmaxusr=0\r\n" + server +
         "[FTPServer]\r\nTip=0\r\n" + window + other;
}

const char kAuto[] = "demarrageauto=1\r\n";

}  // namespace

class MainFormTest : public QObject {
  Q_OBJECT

 private slots:
  void FirstStartWithoutConfiguration() {
    Desktop d("", true);
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    QCOMPARE(m.windowTitle(), QString("Orvane FTP Server v1.3"));
    QCOMPARE(m.size(), QSize(530, 185));
    const QSize screen = QGuiApplication::primaryScreen()->size();
    QCOMPARE(m.pos(), QPoint((screen.width() - 530) / 2, (screen.height() - 185) / 2));
    QVERIFY(m.isVisible());
    // The tip window came first, modally.
    QCOMPARE(d.modals, std::vector<std::string>{"Tip of the Day"});
    QCOMPARE(d.program->ConfigForm().Port.text(), QString("21"));
    QCOMPARE(FtpHostTestAccess::Engine(d.Host()).MaxClients, 2);
    QVERIFY(!d.Host().Active());
    QCOMPARE(m.Activer1.text(), QString("Activate"));
    // The panels lie inside the window and show their whole texts.
    int right = 0;
    for (int i = 0; i < 6; ++i) {
      QVERIFY(!m.StatusBar1.IsElided(i));
      right += m.StatusBar1.Width(i);
    }
    QVERIFY(right <= m.width());
    QCOMPARE(m.StatusBar1.Text(0), QString("No client"));
    QCOMPARE(m.StatusBar1.Text(1), QString("FTP Server Off-line"));
    QCOMPARE(m.StatusBar1.Text(2), QString("0 bytes/s"));
    // The product line, then the start-up report of the files that are not there yet.
    QCOMPARE(d.Memo(), (QStringList{"Orvane FTP Server v1.3",
                                    QString::fromStdString(d.Host().IniPath()) +
                                        " does not exist: every setting takes its default"}));
    QCOMPARE(m.Tray().Hint(), QString("No client"));
    QCOMPARE(m.Tray().Image(), 0);
    // The loading window has done its work.
    QCOMPARE(d.program->Progress().ProgressBar1.value(), 100);
    QVERIFY(!d.program->Progress().isVisible());
  }

  void MenusHaveTheirItemsInOrder() {
    Desktop d(ServerIni(FreePort()));
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    auto captions = [](const QMenu& menu) {
      QStringList texts;
      for (const QAction* a : menu.actions()) {
        if (!a->isSeparator()) texts << a->text();
      }
      return texts;
    };
    QCOMPARE(captions(m.Files), (QStringList{"Activate", "&Closed", "&Always On Top", "&Statistics",
                                             "&Users Infos", "&Exit"}));
    QCOMPARE(captions(m.Edit), QStringList{"&Clear"});
    QCOMPARE(captions(m.Setup), (QStringList{"&Setup", "&Free Files/Dirs", "&Log", "&Events",
                                             "&Users Account", "&Network", "Se&curity"}));
    QCOMPARE(captions(m.Help), QStringList{"&About"});
    QCOMPARE(captions(m.Tray().PopupMenu3),
             (QStringList{"Activate", "&Setup", "&Statistics", "&Always On Top", "&Exit"}));
    QVERIFY(!m.Tray().Configuration3.isVisible());
    QCOMPARE(captions(m.PopupMenu1),
             (QStringList{"&Kick", "&Mass kick", "&Ban", "&Users Infos", "&Spy user"}));
    QCOMPARE(captions(m.PopupMenu2), (QStringList{"&Add IP", "&Unban"}));
    QCOMPARE(m.Banlist.toolTip(), QString("Ban lists"));
    // "&Closed" is a switch of the host.
    m.Closed1.trigger();
    QVERIFY(d.Host().Closed() && m.Closed1.isChecked());
    m.Closed1.trigger();
    QVERIFY(!d.Host().Closed() && !m.Closed1.isChecked());
  }

  void ActivateStartsAndStopsTheServer() {
    const int port = FreePort();
    Desktop d(ServerIni(port));
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    m.Activer1.trigger();
    QVERIFY(d.Host().Active());
    const QString online = QString("FTP Server On-line on port %1 ...").arg(port);
    QCOMPARE(d.Memo().last(), online);
    QCOMPARE(m.StatusBar1.Text(1), QString("FTP Server On-line/Port : %1").arg(port));
    QCOMPARE(m.Activer1.text(), QString("Arrêter"));
    QCOMPARE(m.Tray().Activer2.text(), QString("Arrêter"));
    // The tray's twin does what the menu item does: stop, no clients, no question.
    m.Tray().Activer2.trigger();
    QVERIFY(!d.Host().Active());
    QVERIFY(d.questions.empty());
    QCOMPARE(d.Memo().last(), QString("FTP Server Off-line ..."));
    QCOMPARE(m.StatusBar1.Text(1), QString("FTP Server Off-line"));
    QCOMPARE(m.Activer1.text(), QString("Activate"));
  }

  void AutomaticStartTakesThePortArgument() {
    const int configured = FreePort();
    const int argument = FreePort();
    Desktop d(ServerIni(configured, kAuto));
    QVERIFY(d.Start(std::to_string(argument)));
    QCOMPARE(d.Port(), argument);
    QCOMPARE(d.program->ConfigForm().Port.text(), QString::number(configured));
  }

  void StopQuestionWithOneAndThreeClients() {
    Desktop d(ServerIni(FreePort(), kAuto));
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    auto one = d.Connect();
    QCOMPARE(m.StatusBar1.Text(0), QString("1 clients"));
    d.answers = {false};
    m.Activer1.trigger();
    QCOMPARE(d.questions, std::vector<std::string>{
                              "There is still 1 user connected, do you really want to stop the "
                              "server ?"});
    QVERIFY(d.Host().Active());
    QCOMPARE(one->Command("NOOP").substr(0, 3), std::string("200"));

    auto two = d.Connect(true, "127.0.0.2");
    auto three = d.Connect(true, "127.0.0.3");
    QCOMPARE(m.ListView1.count(), 3);
    d.answers = {false};
    m.Activer1.trigger();
    QCOMPARE(d.questions.back(),
             std::string("There are still 3 users connected, do you really want to stop the "
                         "server ?"));
    QVERIFY(d.Host().Active());

    d.answers = {true};
    m.Activer1.trigger();
    QVERIFY(!d.Host().Active());
    for (auto* c : {one.get(), two.get(), three.get()}) QVERIFY(c->WaitClosed());
    QTRY_COMPARE(m.StatusBar1.Text(0), QString("No client"));
    QCOMPARE(m.ListView1.count(), 0);
    // The stopped event runs inside the stop: its caption is the one that stays.
    QCOMPARE(m.Activer1.text(), QString("Activer"));
  }

  void CloseWithAClientAsksAndNoKeepsTheProgramOpen() {
    Desktop d(ServerIni(FreePort(), kAuto));
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    QSignalSpy finished(d.program.get(), &DesktopProgram::finished);
    auto c = d.Connect();
    d.answers = {false};
    QVERIFY(!m.close());
    QVERIFY(m.isVisible());
    QCOMPARE(d.questions.size(), size_t{1});
    QVERIFY(d.Host().Active());
    QCOMPARE(finished.count(), 0);

    d.answers = {true};
    QVERIFY(m.close());
    QCOMPARE(finished.count(), 1);
    QVERIFY(c->WaitClosed());
    d.program->Finish();
    const std::string log = ReadBytes(d.dir / "FTP.log");
    QVERIFY(log.find("anonymous (127.0.0.1) disconnected") != std::string::npos);
    QVERIFY(log.find("---------- Session closed  on ") != std::string::npos);
  }

  void ClientCountTextsWithAndWithoutALimit() {
    Desktop d(ServerIni(FreePort(), kAuto));
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    auto a = d.Connect();
    QCOMPARE(m.StatusBar1.Text(0), QString("1 clients"));
    QCOMPARE(m.Tray().Hint(), QString("1 client"));
    QCOMPARE(m.Tray().Image(), 1);
    FtpHostTestAccess::Engine(d.Host()).MaxClients = 10;
    auto b = d.Connect(true, "127.0.0.2");
    auto c = d.Connect(true, "127.0.0.3");
    QCOMPARE(m.StatusBar1.Text(0), QString("3/10 clients"));
    QCOMPARE(m.Tray().Hint(), QString("3 users"));
    QCOMPARE(m.ListView1.count(), 3);
    QCOMPARE(m.ListView1.item(0)->text(), QString("anonymous"));
    // A session on TLS is marked in the list.
    FtpHostTestAccess::Clients(d.Host()).At(2).Secure = true;
    m.RefreshLists();
    QCOMPARE(m.ListView1.item(2)->text(), QString("anonymous [TLS]"));
    QCOMPARE(m.ListView1.item(1)->text(), QString("anonymous"));
    b->Command("QUIT");
    QTRY_COMPARE(m.ListView1.count(), 2);
    QCOMPARE(m.StatusBar1.Text(0), QString("2/10 clients"));
  }

  void SelectedUserPanelsFollowTimer1() {
    Desktop d(ServerIni(FreePort(), kAuto));
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    auto a = d.Connect();
    auto b = d.Connect(true, "127.0.0.2");
    QVERIFY(!m.Timer1().Enabled());
    m.ListView1.item(1)->setSelected(true);
    QCOMPARE(m.StatusBar1.Text(3), QString("anonymous"));
    QCOMPARE(m.StatusBar1.Text(4), QString("IP:127.0.0.2"));
    QVERIFY(m.Timer1().Enabled());

    QCOMPARE(b->Command("CWD /tmp").substr(0, 3), std::string("250"));
    const QString status = Q(FtpHostTestAccess::Clients(d.Host()).At(1).Status);
    QVERIFY(!status.isEmpty());
    QVERIFY(m.StatusBar1.Text(5) != status);
    // The tick refreshes the panels from the record; a real tick arrives within a second.
    QTRY_COMPARE_WITH_TIMEOUT(m.StatusBar1.Text(5), status, 3000);

    // Two rows selected: the click stops the timer and leaves the panels; a tick empties them.
    m.ListView1.item(0)->setSelected(true);
    QVERIFY(!m.Timer1().Enabled());
    QCOMPARE(m.StatusBar1.Text(3), QString("anonymous"));
    m.Timer1Timer();
    for (int i = 3; i <= 5; ++i) QCOMPARE(m.StatusBar1.Text(i), QString());
  }

  void MemoIsTrimmedToMaxLinesAndCleared() {
    Desktop d(ServerIni(FreePort(), kAuto, "", "[Screen]\r\n12=1\r\n"));
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    auto a = d.Connect();
    QCOMPARE(d.Memo().size(), 7);
    // Command echo lines are green, the others are not.
    const QStringList lines = d.Memo();
    const int echo = static_cast<int>(lines.indexOf(" (127.0.0.1) >USER anonymous"));
    QVERIFY(echo >= 0);
    QVERIFY(m.ServMemo.IsGreen(echo));
    QVERIFY(!m.ServMemo.IsGreen(0));

    d.Host().LogSwitches().MaxLines = "3";  // the log settings' field, live
    d.Host().Timer4Timer();
    QCOMPARE(d.Memo().size(), 3);
    QCOMPARE(d.Host().Memo().Lines().size(), size_t{3});
    QCOMPARE(d.Memo().last(), QString("anonymous (127.0.0.1) logged in"));
    // Between two ticks the memo holds the whole burst; the view draws only its last lines.
    for (int i = 0; i < 5; ++i) a->Command("NOOP");
    QCOMPARE(d.Host().Memo().Lines().size(), size_t{8});
    QCOMPARE(d.Memo(), (QStringList(3, "anonymous (127.0.0.1) >NOOP ")));
    d.Host().Timer4Timer();
    QCOMPARE(d.Memo(), (QStringList(3, "anonymous (127.0.0.1) >NOOP ")));
    // Between two ticks the maximum grows: the lines the view skipped come back.
    for (int i = 0; i < 4; ++i) a->Command("NOOP");
    d.Host().LogSwitches().MaxLines = "x";
    QCOMPARE(d.Memo().size(), 7);
    // Without a valid maximum nothing is trimmed and every line is shown.
    a->Command("NOOP");
    d.Host().Timer4Timer();
    QCOMPARE(d.Memo().size(), 8);

    m.Clear1.trigger();
    QCOMPARE(d.Memo(), QStringList());
    a->Command("NOOP");
    QCOMPARE(d.Memo(), QStringList{"anonymous (127.0.0.1) >NOOP "});
  }

  void CostlyMemoFlushPutsTheNextOneOffWithoutLosingLines() {
    Desktop d(ServerIni(FreePort()));
    QVERIFY(d.Start());
    MemoView& memo = d.Main().ServMemo;
    d.Host().LogSwitches().MaxLines = "50000";
    memo.Flush();
    // A flood of lines, as a busy client with every command logged makes: fifty thousand lines
    // take far longer than a twentieth of the usual batch time to reach the view.
    const int before = static_cast<int>(d.Host().Memo().Lines().size());
    for (int i = 0; i < 50000 - before; ++i) FtpHostTestAccess::Memo(d.Host()).Append("line " + std::to_string(i));
    memo.Flush();
    const int flood = memo.BatchInterval();
    QVERIFY(flood > MemoView::kBatchMs);
    QVERIFY(flood <= MemoView::kMaxBatchMs);
    const QStringList lines = memo.VisibleLines();
    QCOMPARE(lines.size(), 50000);
    QCOMPARE(lines.last(), QString("line %1").arg(50000 - before - 1));
    // Once the flood is over, the view follows the model line by line again.
    d.Main().Clear1.trigger();
    memo.Flush();
    FtpHostTestAccess::Memo(d.Host()).Append("quiet");
    memo.Flush();
    QCOMPARE(memo.VisibleLines().last(), QString("quiet"));
  }

  void SelectedMemoLinesAreCopiedInTheirOrder() {
    Desktop d(ServerIni(FreePort()));
    QVERIFY(d.Start());
    MemoView& memo = d.Main().ServMemo;
    for (const char* line : {"first", "second", "third"}) FtpHostTestAccess::Memo(d.Host()).Append(line);
    const QStringList lines = d.Memo();
    const int n = static_cast<int>(lines.size());
    QCOMPARE(lines.mid(n - 3), (QStringList{"first", "second", "third"}));
    // Picked from the bottom up, copied from the top down.
    memo.selectionModel()->select(memo.model()->index(n - 1, 0), QItemSelectionModel::Select);
    memo.selectionModel()->select(memo.model()->index(n - 3, 0), QItemSelectionModel::Select);
    QTest::keySequence(&memo, QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("first\nthird"));
  }

  void StayOnTopIsWrittenAndYieldsToTheSetupWindow() {
    Desktop d(ServerIni(FreePort()));
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    auto topmost = [&m] { return m.windowFlags().testFlag(Qt::WindowStaysOnTopHint); };
    QVERIFY(!topmost());
    m.Toujoursvisible1.trigger();
    QVERIFY(m.Toujoursvisible1.isChecked() && m.Tray().ToujoursVisible2.isChecked());
    QVERIFY(topmost());
    QVERIFY(m.isVisible());
    QCOMPARE(d.Ini().ReadString("FTPserver", "StayOnTop", ""), std::string("1"));

    m.Configuration1.trigger();
    QVERIFY(d.program->ConfigForm().isVisible());
    QVERIFY(d.program->TopState().DialogOpen());
    QVERIFY(!topmost());
    d.program->ConfigForm().Annuler.click();
    QVERIFY(!d.program->TopState().DialogOpen());
    QVERIFY(topmost());

    m.Tray().ToujoursVisible2.trigger();
    QVERIFY(!m.Toujoursvisible1.isChecked() && !topmost());
    QCOMPARE(d.Ini().ReadString("FTPserver", "StayOnTop", ""), std::string("0"));

    // A stored "on" is applied at the next start.
    IniFile ini = d.Ini();
    ini.WriteBool("FTPserver", "StayOnTop", true);
    d.program.reset();
    QVERIFY(d.Start());
    QVERIFY(d.Main().Toujoursvisible1.isChecked());
    QVERIFY(d.Main().windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  }

  void GeometryIsSavedPerScreenSize() {
    const QSize screen = QGuiApplication::primaryScreen()->size();
    const std::string w = std::to_string(screen.width());
    const std::string h = std::to_string(screen.height());
    // A geometry saved for another screen size is not used.
    Desktop d(ServerIni(FreePort(), "", "X1=5\r\nY1=5\r\nheight1=300\r\nwidth1=300\r\n"));
    QVERIFY(d.Start());
    QCOMPARE(d.Main().size(), QSize(530, 185));
    d.Main().resize(600, 250);
    d.Main().move(40, 30);
    QVERIFY(d.Main().close());
    IniFile ini = d.Ini();
    QCOMPARE(ini.ReadInteger("FTPserver", "X" + w, -1), d.Main().x());
    QCOMPARE(ini.ReadInteger("FTPserver", "Y" + h, -1), d.Main().y());
    QCOMPARE(ini.ReadInteger("FTPserver", "height" + w, -1), 250);
    QCOMPARE(ini.ReadInteger("FTPserver", "width" + h, -1), 600);
    QCOMPARE(ini.ReadInteger("FTPserver", "height1", -1), 300);

    d.program.reset();
    QVERIFY(d.Start());
    QCOMPARE(d.Main().size(), QSize(600, 250));
    QCOMPARE(d.Main().pos(), QPoint(ini.ReadInteger("FTPserver", "X" + w, -1),
                                    ini.ReadInteger("FTPserver", "Y" + h, -1)));
  }

  void MinimiseWithoutNotificationAreaKeepsTheWindow() {
    // The offscreen platform has no notification area, like some desktops.
    Desktop d(ServerIni(FreePort(), "minimize=1\r\n"));
    QVERIFY(d.Start());
    QVERIFY(!d.Main().MinimizesToTray());
    QVERIFY(d.Main().isMinimized());
    d.Main().showNormal();
    d.Main().showMinimized();
    QTest::qWait(0);
    QVERIFY(d.Main().isVisible());
    d.Main().Restore();
    QVERIFY(!d.Main().isMinimized());
  }

  void ExitFromTheTrayMenuWhileTheWindowIsHidden() {
    Desktop d(ServerIni(FreePort(), kAuto));
    QVERIFY(d.Start());
    QSignalSpy finished(d.program.get(), &DesktopProgram::finished);
    d.Main().hide();
    d.Main().Tray().Quitter2.trigger();
    QCOMPARE(finished.count(), 1);
    QVERIFY(d.Ini().KeyExists(
        "FTPserver", "height" + std::to_string(QGuiApplication::primaryScreen()->size().width())));
  }

  void EndBySignalStopsWithoutAsking() {
    Desktop d(ServerIni(FreePort(), kAuto));
    QVERIFY(d.Start());
    auto c = d.Connect();
    d.answers = {false};  // would keep the program open if it were asked
    d.program->End();
    d.program->Finish();
    QVERIFY(c->WaitClosed());
    const std::string log = ReadBytes(d.dir / "FTP.log");
    QVERIFY(log.find("anonymous (127.0.0.1) disconnected\r\n") != std::string::npos);
    QVERIFY(log.find(" FTP Server Off-line ...\r\n") != std::string::npos);
    QVERIFY(log.rfind("---------- Session closed  on ") > log.rfind("disconnected"));
  }
};

ORVANE_UI_TEST(MainFormTest);

}  // namespace orvane::test

#include "MainFormTest.moc"
#include "support/FtpHostTestAccess.h"
