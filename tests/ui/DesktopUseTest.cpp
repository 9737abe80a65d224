// The desktop program as a person uses it: a free file picked with "...", message boxes that
// belong to the window that asked, status panels that show their texts, the keyboard, the
// captioned lists, the memo's pop-up, and the tray's notifications.
#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>

#include "ui/AskingWindow.h"
#include "ui/DesktopTestSupport.h"
#include "ui/UiTestRegistry.h"

namespace orvane::test {

namespace {

std::string Ini(int port) {
  return "[ServerFTP]\r\nport=" + std::to_string(port) +
         "\r\nmaxusr=0\r\ndemarrageauto=1\r\n[FTPServer]\r\nTip=0\r\n";
}

// The letters after "&" in a menu's items: each item has one, and no two are the same.
bool MnemonicsUnique(const QMenu& menu) {
  QString seen;
  for (const QAction* a : menu.actions()) {
    if (a->isSeparator()) continue;
    const qsizetype at = a->text().indexOf('&');
    if (at < 0 || at + 1 >= a->text().size()) return false;
    const QChar letter = a->text()[at + 1].toLower();
    if (seen.contains(letter)) return false;
    seen += letter;
  }
  return true;
}

}  // namespace

class DesktopUseTest : public QObject {
  Q_OBJECT

 private slots:
  void FreeFilePickedIsStoredByItsDrivePath() {
    Desktop d(Ini(FreePort()));
    MakeDir(d.dir / "pub");
    WriteBytes(d.dir / "pub/readme.txt", "hello");
    WriteBytes(d.Ini().Path(),
               ReadBytes(d.Ini().Path()) + "[Drives]\r\nC=" + d.dir.Path() + "\r\n");
    QVERIFY(d.Start());
    QWidget* parent = nullptr;
    d.program->Ui().OnMessage = [&](const std::string& m) {
      d.messages.push_back(m);
      parent = d.program->Ui().MessageParent();
    };
    FreeFilesWindow& f = d.program->FreeFilesForm();
    f.show();
    std::string start;
    std::string picked = d.dir.Path() + "/pub/readme.txt";
    int opened = 0;
    f.ChooseFile = [&](const std::string& from) {
      ++opened;
      start = from;
      return std::optional<std::string>(picked);
    };
    f.SpeedButton1.click();
    QCOMPARE(start, d.dir.Path());
    QCOMPARE(f.Edit1.text(), QString("C:\\pub\\readme.txt"));
    QVERIFY(d.messages.empty());
    f.Button2.click();
    QVERIFY(d.Host().FreeFileList().Contains("C:\\pub\\readme.txt"));
    // A file on no drive is refused, by a box of this window.
    picked = "/etc/hostname";
    f.SpeedButton1.click();
    QCOMPARE(d.messages.size(), size_t{1});
    QVERIFY(d.messages[0].find("/etc/hostname is on no drive") == 0);
    QCOMPARE(parent, static_cast<QWidget*>(&f));
    QVERIFY(f.Edit1.text().isEmpty());
    // Enter in the field adds its text and opens no file dialog.
    f.Edit1.setText("index.txt");
    QTest::keyClick(&f.Edit1, Qt::Key_Return);
    QCOMPARE(opened, 2);
    QCOMPARE(f.ListBox1.findItems("index.txt", Qt::MatchExactly).size(), 1);
    QVERIFY(f.isVisible());
    f.Button3.click();
  }

  void MessageBoxesBelongToTheWindowThatAsked() {
    Desktop d(Ini(FreePort()));
    QVERIFY(d.Start());
    QWidget* parent = nullptr;
    d.program->Ui().OnMessage = [&](const std::string& m) {
      d.messages.push_back(m);
      parent = d.program->Ui().MessageParent();
    };
    TConfigForm& c = d.program->ConfigForm();
    d.Main().Configuration1.trigger();
    c.Port.setText("2121");
    c.Ok.click();
    QCOMPARE(
        d.messages.back(),
        std::string("You will need to restart the server for change of the port takes effect !"));
    QCOMPARE(parent, static_cast<QWidget*>(&c));
    // The box of the stay-on-top Setup stays on top with it.
    c.show();
    const auto box = QtHostUi::MakeBox(&c, QMessageBox::Information, "x", QMessageBox::Ok);
    QCOMPARE(box->parentWidget(), static_cast<QWidget*>(&c));
    QVERIFY(box->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    c.hide();
    // Users Infos asks its kick question as itself.
    auto client = d.Connect();
    Tuserinfo& u = d.program->Userinfo();
    u.show();
    u.ListView1.topLevelItem(0)->setSelected(true);
    QWidget* asked = nullptr;
    d.Main().AskKick = [&] {
      asked = d.Main().BoxParent();
      return KickAnswer::Cancel;
    };
    u.Kick1.trigger();
    QCOMPARE(asked, static_cast<QWidget*>(&u));
    d.Main().Kick1.trigger();  // no single selection in the main list: nothing asked
    d.Main().ListView1.item(0)->setSelected(true);
    d.Main().Kick1.trigger();
    QCOMPARE(asked, static_cast<QWidget*>(&d.Main()));
    // The Add IP dialog is wider than its caption.
    const auto addIp = d.Main().MakeAddIPDialog();
    QVERIFY(addIp->minimumWidth() >
            QFontMetrics(addIp->font()).horizontalAdvance(addIp->windowTitle()));
  }

  void StatusPanelsShowTheirWholeTexts() {
    Desktop d(Ini(FreePort()));
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    auto client = d.Connect();
    client->Command("CWD /");
    m.ListView1.item(0)->setSelected(true);
    m.Timer1Timer();
    QVERIFY(m.StatusBar1.Text(5).startsWith("Current Directory"));
    for (const int width : {1100, 530}) {
      m.resize(width, m.height());
      QApplication::processEvents();
      int right = 0;
      for (int i = 0; i < 6; ++i) {
        right += m.StatusBar1.Width(i);
        const QLabel& panel = m.StatusBar1.Panel(i);
        // Cut only when the window is narrow, and then the tooltip holds the whole text.
        if (width == 1100) QVERIFY2(!m.StatusBar1.IsElided(i), qPrintable(panel.text()));
        if (m.StatusBar1.IsElided(i)) QCOMPARE(panel.toolTip(), m.StatusBar1.Text(i));
      }
      QVERIFY(right <= m.StatusBar1.width());
    }
    QVERIFY(m.StatusBar1.IsElided(5));
    // Users Infos at its first size shows "Max dl: No limite" whole.
    Tuserinfo& u = d.program->Userinfo();
    u.show();
    u.ListView1.topLevelItem(0)->setSelected(true);
    u.Timer1Timer();
    QApplication::processEvents();
    QCOMPARE(u.Panel(5), QString("Max dl: No limite"));
    for (int i = 0; i < 6; ++i) QVERIFY2(!u.Panels.IsElided(i), qPrintable(u.Panel(i)));
  }

  void KeyboardOpensPopupsAndClosesWindows() {
    Desktop d(Ini(FreePort()));
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    auto client = d.Connect();
    Tuserinfo& u = d.program->Userinfo();
    TSpyForm& spy = d.program->SpyForm();
    QVERIFY(MnemonicsUnique(u.PopupMenu1));
    QCOMPARE(u.Spyuser1.text(), QString("&Spy user"));
    QVERIFY(MnemonicsUnique(m.PopupMenu1));
    QVERIFY(MnemonicsUnique(m.PopupMenu4));
    u.show();
    m.ListView1.item(0)->setSelected(true);
    m.Spyuser1.trigger();
    QVERIFY(spy.isVisible());
    const std::vector<std::pair<QWidget*, QMenu*>> popups = {{&m.ListView1, &m.PopupMenu1},
                                                             {&m.Banlist, &m.PopupMenu2},
                                                             {&m.ServMemo, &m.PopupMenu4},
                                                             {&u.ListView1, &u.PopupMenu1},
                                                             {&spy.RichEdit1, &spy.PopupMenu1}};
    for (const auto& [widget, menu] : popups) {
      QVERIFY(!menu->isVisible());
      QTest::keyClick(widget, Qt::Key_F10, Qt::ShiftModifier);
      QVERIFY2(menu->isVisible(), qPrintable(widget->objectName()));
      menu->hide();
    }
    // Escape from inside the window closes Users Infos and the spy window.
    QTest::keyClick(&u.ListView1, Qt::Key_Escape);
    QVERIFY(!u.isVisible());
    QTest::keyClick(&spy.RichEdit1, Qt::Key_Escape);
    QVERIFY(!spy.isVisible());
  }

  void ListsAreCaptionedAndKeepTheirWidth() {
    Desktop d(Ini(FreePort()));
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    QCOMPARE(m.ClientsCaption.text(), QString("&Clients"));
    QCOMPARE(m.ClientsCaption.buddy(), static_cast<QWidget*>(&m.ListView1));
    QCOMPARE(m.BanCaption.text(), QString("&Ban list"));
    QCOMPARE(m.BanCaption.buddy(), static_cast<QWidget*>(&m.Banlist));
    m.resize(250, m.height());
    QApplication::processEvents();
    QVERIFY(m.Banlist.width() >= 100);
    QVERIFY(m.ListView1.width() >= 100);
    QVERIFY(m.ServMemo.width() >= 100);
  }

  void MemoPopupCopiesAndSelectsAll() {
    Desktop d(Ini(FreePort()));
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    const QStringList lines = d.Memo();
    QVERIFY(lines.size() >= 2);
    QStringList texts;
    for (const QAction* a : m.PopupMenu4.actions()) texts << a->text();
    QCOMPARE(texts, (QStringList{"&Clear buffer", "", "Co&py", "Select &All"}));
    m.PopupMenu4.popup(QPoint(0, 0));
    QVERIFY(!m.Copy1.isEnabled());
    m.PopupMenu4.hide();
    m.SelectAll1.trigger();
    m.PopupMenu4.popup(QPoint(0, 0));
    QVERIFY(m.Copy1.isEnabled());
    m.PopupMenu4.hide();
    m.Copy1.trigger();
    QCOMPARE(QApplication::clipboard()->text(), lines.join('\n'));
  }

  void TrayNotifiesFirstClientBanAndStop() {
    Desktop d(Ini(FreePort()));
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    QStringList shown;
    bool service = true;
    m.Tray().HasNotificationService = [&] { return service; };
    m.Tray().ShowMessage = [&](const QString&, const QString& text) { shown << text; };
    auto one = d.Connect();
    auto two = d.Connect(true, "127.0.0.2");
    QCOMPARE(shown, QStringList{"A client is connected"});
    m.ListView1.item(0)->setSelected(true);
    m.Ban1.trigger();
    QCOMPARE(shown.back(), QString("127.0.0.1 added to the ban list"));
    d.answers = {true};
    m.Activer1.trigger();
    QTRY_COMPARE(shown.back(), QString("FTP Server Off-line"));
    QCOMPARE(shown.size(), 3);
    // Turned off in the setup window, stored on OK: nothing more is shown.
    TConfigForm& c = d.program->ConfigForm();
    m.Configuration1.trigger();
    QVERIFY(c.notifications.isChecked());
    c.notifications.setChecked(false);
    c.Ok.click();
    QCOMPARE(d.Ini().ReadBool("ServerFTP", "notifications", true), false);
    m.Activer1.trigger();
    auto three = d.Connect(true, "127.0.0.3");
    m.Activer1.trigger();
    QCOMPARE(shown.size(), 3);
    // On again, but the desktop has no notification service: still nothing.
    m.Configuration1.trigger();
    c.notifications.setChecked(true);
    c.Ok.click();
    service = false;
    m.Activer1.trigger();
    auto four = d.Connect(true, "127.0.0.4");
    QCOMPARE(shown.size(), 3);
  }
};

ORVANE_UI_TEST(DesktopUseTest);

}  // namespace orvane::test

#include "DesktopUseTest.moc"
