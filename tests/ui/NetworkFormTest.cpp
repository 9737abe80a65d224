// "Network": the passive ports and the external address, checked on OK, written to FTPsrv.ini
// and given to the running server.
#include <QTest>

#include "ui/DesktopTestSupport.h"
#include "ui/UiTestRegistry.h"

namespace orvane::test {

namespace {

std::string Config(int port) {
  return "[ServerFTP]\r\nport=" + std::to_string(port) +
         "\r\ndemarrageauto=1\r\n[FTPServer]\r\nTip=0\r\n[Passive]\r\nports=70000\r\n";
}

// The port of a "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)." reply; 0 for another reply.
int PassivePort(const std::string& reply) {
  int h[4], p1 = 0, p2 = 0;
  const size_t open = reply.find('(');
  if (reply.rfind("227 ", 0) != 0 || open == std::string::npos) return 0;
  if (std::sscanf(reply.c_str() + open, "(%d,%d,%d,%d,%d,%d)", &h[0], &h[1], &h[2], &h[3], &p1,
                  &p2) != 6) {
    return 0;
  }
  return p1 * 256 + p2;
}

}  // namespace

class NetworkFormTest : public QObject {
  Q_OBJECT

 private slots:
  void ShownFromTheSetupMenuWithTheStoredText() {
    Desktop d(Config(FreePort()));
    QVERIFY(d.Start());
    d.Main().Network1.trigger();
    NetworkWindow& f = d.program->NetworkForm();
    QVERIFY(f.isVisible());
    QCOMPARE(f.windowTitle(), QString("Network"));
    QVERIFY(d.program->TopState().DialogOpen());
    // A range the server could not read is shown as it stands, so that it can be mended; the
    // server itself took any port.
    QCOMPARE(f.Ports.text(), QString("70000"));
    QVERIFY(FtpHostTestAccess::Engine(d.Host()).PassivePortRange.Any());
    f.Cancel.click();
    QVERIFY(!f.isVisible());
    QVERIFY(!d.program->TopState().DialogOpen());
  }

  void WrongFieldIsNamedAndTheWindowStaysOpen() {
    Desktop d(Config(FreePort()));
    QVERIFY(d.Start());
    NetworkWindow& f = d.program->NetworkForm();
    d.Main().Network1.trigger();
    f.Ports.setText("50100-50000");
    f.Ok.click();
    QCOMPARE(d.messages.size(), size_t{1});
    QVERIFY(d.messages[0].find("\"50100-50000\" is not a port range") != std::string::npos);
    QVERIFY(f.isVisible());
    QCOMPARE(d.Ini().ReadString("Passive", "ports", ""), std::string("70000"));
    f.Ports.clear();
    f.Address.setText("300.1.2.3");
    f.Ok.click();
    QCOMPARE(d.messages.size(), size_t{2});
    QVERIFY(d.messages[1].find("neither an IPv4 address nor a host name") != std::string::npos);
    QVERIFY(f.isVisible());
    // Cancel brings the stored text back.
    f.Cancel.click();
    d.Main().Network1.trigger();
    QCOMPARE(f.Ports.text(), QString("70000"));
    QCOMPARE(f.Address.text(), QString(""));
  }

  void OkCountsForTheNextPasvOfAConnectedClient() {
    Desktop d(Config(FreePort()));
    QVERIFY(d.Start());
    auto client = d.Connect(true);
    const int port = FreePort();
    NetworkWindow& f = d.program->NetworkForm();
    d.Main().Network1.trigger();
    f.Ports.setText(QString(" %1 ").arg(port));
    f.Address.setText("ftp.example.org");
    f.Ok.click();
    QVERIFY(d.messages.empty());
    QVERIFY(!f.isVisible());
    IniFile ini = d.Ini();
    QCOMPARE(ini.ReadString("Passive", "ports", ""), std::to_string(port));
    QCOMPARE(ini.ReadString("Passive", "address", ""), std::string("ftp.example.org"));
    QCOMPARE(FtpHostTestAccess::Engine(d.Host()).ExternalAddress.Text(), std::string("ftp.example.org"));
    // The client on the loopback network is told the local address, on the one port given.
    const std::string reply = client->Command("PASV");
    QCOMPARE(PassivePort(reply), port);
    QVERIFY(reply.find("(127,0,0,1,") != std::string::npos);
    // That port taken, a second client gets a refusal rather than another port.
    auto other = d.Connect(true);
    QVERIFY(other->Command("PASV").rfind("4", 0) == 0);
  }
};

ORVANE_UI_TEST(NetworkFormTest);

}  // namespace orvane::test

#include "NetworkFormTest.moc"
#include "support/FtpHostTestAccess.h"
