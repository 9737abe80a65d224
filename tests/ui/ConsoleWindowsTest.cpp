// Kick, mass kick, ban, "&Closed", the ban list, "Users Infos" and the spy window, with real
// FTP clients connected to the desktop program.

#include <QTextBlock>

#include "ui/DesktopTestSupport.h"
#include "ui/UiTestRegistry.h"

namespace orvane::test {

namespace {

std::string Ini(int port) {
  return "[ServerFTP]\r\nport=" + std::to_string(port) +
         "\r\nmaxusr=0\r\ndemarrageauto=1\r\n[FTPServer]\r\nTip=0\r\n";
}

int RowOf(const TMainForm& m, const Usrdata* record) {
  for (int i = 0; i < static_cast<int>(m.Clients().Rows().size()); ++i) {
    if (m.Clients().Rows()[static_cast<size_t>(i)].data == record) return i;
  }
  return -1;
}

void SelectOnly(QListWidget& list, int row) {
  list.clearSelection();
  list.item(row)->setSelected(true);
}

std::string LogFile(Desktop& d) {
  d.Host().Log().Flush();
  return ReadBytes(d.Host().Log().FileName());
}

bool MemoHas(Desktop& d, const QString& line) {
  return d.Memo().contains(line);
}

}  // namespace

class ConsoleWindowsTest : public QObject {
  Q_OBJECT

 private slots:
  void KickDisconnectsTheSelectedClientOnly() {
    Desktop d(Ini(FreePort()));
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    auto one = d.Connect();
    auto two = d.Connect(true, "127.0.0.2");
    QCOMPARE(m.ListView1.count(), 2);
    const int row = RowOf(m, &FtpHostTestAccess::Clients(d.Host()).At(1));
    SelectOnly(m.ListView1, row);
    m.UpdatePopupMenus();
    QVERIFY(m.Kick1.isEnabled());
    int asked = 0;
    m.AskKick = [&] {
      ++asked;
      return KickAnswer::Cancel;
    };
    m.Kick1.trigger();
    QCOMPARE(asked, 1);
    QCOMPARE(two->Command("NOOP").substr(0, 3), std::string("200"));
    m.AskKick = [] { return KickAnswer::No; };
    m.Kick1.trigger();
    QVERIFY(two->WaitClosed());
    QTRY_COMPARE(m.ListView1.count(), 1);
    QCOMPARE(one->Command("NOOP").substr(0, 3), std::string("200"));
    QTRY_COMPARE(d.Memo().filter("(127.0.0.2) disconnected").size(), 1);
    QCOMPARE(d.Memo().filter("(127.0.0.1) disconnected").size(), 0);
    QVERIFY(d.Host().Bans().Items().empty());
    // Two selected entries: kick, ban and spy are disabled.
    auto three = d.Connect(true, "127.0.0.3");
    QTRY_COMPARE(m.ListView1.count(), 2);
    m.ListView1.selectAll();
    m.UpdatePopupMenus();
    QVERIFY(!m.Kick1.isEnabled() && !m.Ban1.isEnabled() && !m.Spyuser1.isEnabled());
    QVERIFY(m.Masskick1.isEnabled());
  }

  void KickOfAClientThatLeftDuringTheQuestionTouchesNobody() {
    Desktop d(Ini(FreePort()));
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    auto one = d.Connect();
    auto two = d.Connect(true, "127.0.0.2");
    SelectOnly(m.ListView1, RowOf(m, &FtpHostTestAccess::Clients(d.Host()).At(0)));
    m.AskKick = [&] {
      // The selected client leaves; the other one takes its row.
      one->Close();
      d.program->Loop().RunUntil([&] { return d.Host().Clients().Count() == 1; },
                                 std::chrono::seconds(3));
      m.RefreshLists();
      if (m.ListView1.count() == 1) m.ListView1.item(0)->setSelected(true);
      return KickAnswer::Yes;
    };
    m.Kick1.trigger();
    QCOMPARE(two->Command("NOOP").substr(0, 3), std::string("200"));
    QVERIFY(d.Host().Bans().Items().empty());
  }

  void MassKickCancelKeepsEveryConnection() {
    Desktop d(Ini(FreePort()));
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    auto one = d.Connect();
    auto two = d.Connect(true, "127.0.0.2");
    m.AskMassKick = [] { return false; };
    m.Masskick1.trigger();
    QCOMPARE(one->Command("NOOP").substr(0, 3), std::string("200"));
    QCOMPARE(two->Command("NOOP").substr(0, 3), std::string("200"));
    m.AskMassKick = [] { return true; };
    m.Masskick1.trigger();
    QVERIFY(one->WaitClosed());
    QVERIFY(two->WaitClosed());
    QTRY_COMPARE(m.ListView1.count(), 0);
    m.UpdatePopupMenus();
    QVERIFY(!m.Masskick1.isEnabled());
  }

  void BanRefusesTheNextConnection() {
    Desktop d(Ini(FreePort()));
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    auto one = d.Connect();
    FtpHostTestAccess::Clients(d.Host()).At(0).UserName = "guest";
    SelectOnly(m.ListView1, 0);
    m.Ban1.trigger();
    QVERIFY(MemoHas(d, "127.0.0.1 added to the ban list !"));
    QVERIFY(LogFile(d).find(" guest (127.0.0.1) banned") != std::string::npos);
    QCOMPARE(m.Banlist.count(), 1);
    QCOMPARE(m.Banlist.item(0)->text(), QString("127.0.0.1"));
    // Still connected; a second ban of the address writes nothing.
    QCOMPARE(one->Command("NOOP").substr(0, 3), std::string("200"));
    m.Ban1.trigger();
    QCOMPARE(d.Memo().filter("added to the ban list").size(), 1);
    FtpClient next(d.program->Loop(), d.Port(), 0, "127.0.0.1");
    QCOMPARE(next.ReadReply().back(), std::string("421 Sorry, you are banned !"));
    QVERIFY(next.WaitClosed());
    // Unbanned, the address comes in again.
    m.Banlist.setCurrentRow(0);
    m.UpdatePopupMenus();
    QVERIFY(m.Unban1.isEnabled());
    m.Unban1.trigger();
    QCOMPARE(m.Banlist.count(), 0);
    m.UpdatePopupMenus();
    QVERIFY(!m.Unban1.isEnabled());
    FtpClient again(d.program->Loop(), d.Port(), 0, "127.0.0.1");
    QCOMPARE(again.ReadReply().back().substr(0, 3), std::string("220"));
  }

  void AddIPByHandAndClosedRefuseClients() {
    Desktop d(Ini(FreePort()));
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    m.AskIP = [] { return std::optional<std::string>("127.0.0.5"); };
    m.AddIP1.trigger();
    m.AddIP1.trigger();
    m.AskIP = [] { return std::optional<std::string>("127.0.0.5 "); };
    m.AddIP1.trigger();
    m.AskIP = [] { return std::nullopt; };
    m.AddIP1.trigger();
    QCOMPARE(m.Banlist.count(), 2);
    QCOMPARE(d.Memo().filter("ban list").size(), 0);
    {
      FtpClient c(d.program->Loop(), d.Port(), 0, "127.0.0.5");
      QCOMPARE(c.ReadReply().back(), std::string("421 Sorry, you are banned !"));
    }
    auto inside = d.Connect();
    m.Closed1.trigger();
    QVERIFY(m.Closed1.isChecked());
    QVERIFY(d.Host().Closed());
    {
      FtpClient c(d.program->Loop(), d.Port(), 0, "127.0.0.2");
      QCOMPARE(c.ReadReply().back(), std::string("421 Sorry, no more connections allowed."));
    }
    QCOMPARE(inside->Command("NOOP").substr(0, 3), std::string("200"));
    m.Closed1.trigger();
    QVERIFY(!d.Host().Closed());
    FtpClient c(d.program->Loop(), d.Port(), 0, "127.0.0.2");
    QCOMPARE(c.ReadReply().back().substr(0, 3), std::string("220"));
  }

  void DropOntoTheBanListBansFromEitherClientList() {
    Desktop d(Ini(FreePort()));
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    auto one = d.Connect();
    auto two = d.Connect(true, "127.0.0.2");
    FtpHostTestAccess::Clients(d.Host()).At(0).UserName = "guest";
    SelectOnly(m.ListView1, RowOf(m, &FtpHostTestAccess::Clients(d.Host()).At(0)));
    QObject elsewhere;
    m.BanlistDrop(&elsewhere);
    m.BanlistDrop(nullptr);
    QCOMPARE(m.Banlist.count(), 0);
    m.BanlistDrop(&m.ListView1);
    QCOMPARE(m.Banlist.count(), 1);
    QVERIFY(MemoHas(d, "127.0.0.1 added to the ban list !"));
    QVERIFY(LogFile(d).find(" guest (127.0.0.1) banned") != std::string::npos);
    m.BanlistDrop(&m.ListView1);  // already listed: nothing
    QCOMPARE(d.Memo().filter("added to the ban list").size(), 1);

    Tuserinfo& u = d.program->Userinfo();
    u.show();
    QCOMPARE(u.ListView1.topLevelItemCount(), 2);
    for (int i = 0; i < 2; ++i) {
      QTreeWidgetItem* item = u.ListView1.topLevelItem(i);
      item->setSelected(item->text(1) == "127.0.0.2");
    }
    m.BanlistDrop(&u.ListView1);
    QCOMPARE(m.Banlist.count(), 2);
    QVERIFY(MemoHas(d, "127.0.0.2 added to the ban list !"));
  }

  void UsersInfosShowsTheClientsAndTheirFigures() {
    Desktop d(Ini(FreePort()));
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    auto one = d.Connect();
    auto two = d.Connect(true, "127.0.0.2");
    Tuserinfo& u = d.program->Userinfo();
    QVERIFY(!u.isVisible());
    emit m.ListView1.itemDoubleClicked(m.ListView1.item(0));
    QVERIFY(u.isVisible());
    QCOMPARE(u.windowTitle(), QString("Users Infos"));
    QCOMPARE(u.ListView1.topLevelItemCount(), 2);
    QCOMPARE(u.ListView1.headerItem()->text(2), QString("Action/Directory"));
    QVERIFY(u.Timer1().Enabled());
    Usrdata* second = &FtpHostTestAccess::Clients(d.Host()).At(1);
    second->Uploaded = 100000;
    second->Downloaded = 99999;
    second->EnableMaxdl = true;
    second->Credit = -50000;
    for (int i = 0; i < 2; ++i) {
      QTreeWidgetItem* item = u.ListView1.topLevelItem(i);
      item->setSelected(item->text(1) == "127.0.0.2");
    }
    second->IntervalBytes = 777;
    u.Timer1Timer();
    QCOMPARE(u.Panel(2), QString("Upload: 100 Kb"));
    QCOMPARE(u.Panel(3), QString("Download: 99999 bytes"));
    QCOMPARE(u.Panel(4), QString("Speed: 777 bytes/s"));
    QCOMPARE(u.Panel(5), QString("Max dl: -50 Kb"));
    QCOMPARE(second->IntervalBytes, 0);
    u.ListView1.selectAll();
    u.Timer1Timer();
    QCOMPARE(u.Panel(2), QString("Upload: "));
    u.Freezelist1.trigger();
    QVERIFY(!u.Timer1().Enabled());
    u.Freezelist1.trigger();
    QVERIFY(u.Timer1().Enabled());
    // A client leaving takes its entry away; the other stays.
    two->Close();
    QTRY_COMPARE(u.ListView1.topLevelItemCount(), 1);
    QCOMPARE(u.ListView1.topLevelItem(0)->text(1), QString("127.0.0.1"));
    u.hide();
    QVERIFY(!u.Timer1().Enabled());
  }

  // An IPv6 client is listed under its address, and the IP column grows to show a long one whole.
  void UsersInfosShowsIPv6AddressesWhole() {
    if (!FtpClient::IPv6LoopbackWorks()) QSKIP("::1 cannot be bound here");
    Desktop d(Ini(FreePort()));
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    auto one = d.Connect(true, "::1");
    Tuserinfo& u = d.program->Userinfo();
    emit m.ListView1.itemDoubleClicked(m.ListView1.item(0));
    QCOMPARE(u.ListView1.topLevelItemCount(), 1);
    QCOMPARE(u.ListView1.topLevelItem(0)->text(1), QString("::1"));
    QCOMPARE(u.ListView1.columnWidth(1), 95);
    const QString wide = "2001:db8:85a3:1234:5678:8a2e:370:7334";
    FtpHostTestAccess::Clients(d.Host()).At(0).IP = wide.toStdString();
    u.Refreshall1.trigger();
    QCOMPARE(u.ListView1.topLevelItem(0)->text(1), wide);
    QVERIFY(u.ListView1.columnWidth(1) > u.ListView1.fontMetrics().horizontalAdvance(wide));
    u.hide();
  }

  void SpyShowsTheSpiedClientOnly() {
    Desktop d(Ini(FreePort()));
    QVERIFY(d.Start());
    TMainForm& m = d.Main();
    auto one = d.Connect();
    auto two = d.Connect(true, "127.0.0.2");
    FtpHostTestAccess::Clients(d.Host()).At(0).UserName = "guest";
    SelectOnly(m.ListView1, RowOf(m, &FtpHostTestAccess::Clients(d.Host()).At(0)));
    m.Spyuser1.trigger();
    TSpyForm& spy = d.program->SpyForm();
    QVERIFY(spy.isVisible());
    QCOMPARE(spy.windowTitle(), QString("Spy user : anonymous"));
    QCOMPARE(spy.UserNamePanel.text(), QString("UserName: guest"));
    QCOMPARE(spy.IpPanel.text(), QString("IP: 127.0.0.1"));
    QCOMPARE(one->Command("NOOP").substr(0, 3), std::string("200"));
    QCOMPARE(two->Command("PWD").substr(0, 3), std::string("257"));
    QTextDocument& doc = *spy.RichEdit1.document();
    QCOMPARE(doc.blockCount(), 2);
    const QTextBlock command = doc.firstBlock();
    QCOMPARE(command.text(), QString("Command> NOOP "));
    QCOMPARE(command.begin().fragment().charFormat().foreground().color(), QColor(0, 128, 0));
    const QTextBlock answer = command.next();
    QVERIFY(answer.text().startsWith("Answer> 200 "));
    QCOMPARE(answer.begin().fragment().charFormat().foreground().color(), QColor(0, 0, 0));
    QVERIFY(!spy.RichEdit1.toPlainText().contains("PWD"));
    QCOMPARE(doc.maximumBlockCount(), static_cast<int>(SpyFeed::kMaxLines));
    std::string shown;
    spy.ShowMessage = [&](const std::string& text) { shown = text; };
    spy.Showmoreinformations1.trigger();
    QVERIFY(shown.rfind("Name: anonymous\r\nUserName: guest\r\nIP: 127.0.0.1\r\n", 0) == 0);
    // Hidden: nothing recorded; shown again: empty.
    spy.hide();
    one->Command("NOOP");
    spy.show();
    QVERIFY(spy.RichEdit1.toPlainText().isEmpty());
    // The spied client leaves: the window hides.
    one->Close();
    QTRY_VERIFY(!spy.isVisible());
    QCOMPARE(two->Command("NOOP").substr(0, 3), std::string("200"));
  }
};

ORVANE_UI_TEST(ConsoleWindowsTest);

}  // namespace orvane::test

#include "ConsoleWindowsTest.moc"
#include "support/FtpHostTestAccess.h"
