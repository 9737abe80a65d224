// "Security": the TLS settings of FTPsrv.ini, edited and checked on OK; they count from the
// next start of the server.
#include <QTest>

#include "ui/DesktopTestSupport.h"
#include "ui/UiTestRegistry.h"

namespace orvane::test {

namespace {

std::string Config(int port) {
  return "[ServerFTP]\r\nport=" + std::to_string(port) +
         "\r\ndemarrageauto=1\r\n[FTPServer]\r\nTip=0\r\n[TLS]\r\nrequirereuse=1\r\n"
         "implicitport=2990\r\n";
}

}  // namespace

class SecurityFormTest : public QObject {
  Q_OBJECT

 private slots:
  void ShowsTheFileAndWritesEveryKeyOnOk() {
    Desktop d(Config(FreePort()));
    QVERIFY(d.Start());
    d.Main().Security1.trigger();
    SecurityWindow& f = d.program->SecurityForm();
    QVERIFY(f.isVisible());
    QCOMPARE(f.windowTitle(), QString("Security"));
    QVERIFY(f.Note.text().contains("next started"));
    QVERIFY(d.program->TopState().DialogOpen());
    QVERIFY(!f.Enabled.isChecked() && !f.RequireLogin.isChecked() && !f.Implicit.isChecked());
    QVERIFY(f.RequireReuse.isChecked());
    QCOMPARE(f.ImplicitPort.text(), QString("2990"));
    QVERIFY(!f.ImplicitPort.isEnabled());
    f.Implicit.setChecked(true);
    QVERIFY(f.ImplicitPort.isEnabled());

    f.Enabled.setChecked(true);
    f.RequireLogin.setChecked(true);
    f.RequireReuse.setChecked(false);
    f.ChooseCert = [] { return std::optional<std::string>("/etc/orvane/cert.pem"); };
    f.ChooseKey = [] { return std::optional<std::string>("/etc/orvane/key.pem"); };
    f.CertBrowse.click();
    f.KeyBrowse.click();
    QCOMPARE(f.Cert.text(), QString("/etc/orvane/cert.pem"));
    f.ImplicitPort.setText("990");
    f.Ok.click();
    QVERIFY(d.messages.empty());
    QVERIFY(!f.isVisible());
    QVERIFY(!d.program->TopState().DialogOpen());
    TlsStartSettings stored;
    stored.Load(d.Ini());
    QVERIFY(stored.Enabled && stored.RequireLogin && stored.Implicit && !stored.RequireReuse);
    QCOMPARE(stored.Cert, std::string("/etc/orvane/cert.pem"));
    QCOMPARE(stored.Key, std::string("/etc/orvane/key.pem"));
    QCOMPARE(stored.ImplicitPort, 990);

    // Cancel forgets the edits: the window shows the file again.
    d.Main().Security1.trigger();
    f.Enabled.setChecked(false);
    f.Cert.clear();
    f.Cancel.click();
    d.Main().Security1.trigger();
    QVERIFY(f.Enabled.isChecked());
    QCOMPARE(f.Key.text(), QString("/etc/orvane/key.pem"));
    f.CertBrowse.click();  // an abandoned dialog keeps the field
    f.ChooseCert = [] { return std::optional<std::string>(); };
    f.CertBrowse.click();
    QCOMPARE(f.Cert.text(), QString("/etc/orvane/cert.pem"));
  }

  void WrongFieldsAreNamedAndNothingIsWritten() {
    const int port = FreePort();
    Desktop d(Config(port));
    QVERIFY(d.Start());
    d.Main().Security1.trigger();
    SecurityWindow& f = d.program->SecurityForm();
    // Digits only reach the port field, which is open while implicit TLS is on.
    f.Implicit.setChecked(true);
    f.ImplicitPort.clear();
    f.ImplicitPort.setFocus();
    QTest::keyClicks(&f.ImplicitPort, "9a-9x0");
    QCOMPARE(f.ImplicitPort.text(), QString("990"));
    QTest::keyClicks(&f.ImplicitPort, "999");
    QCOMPARE(f.ImplicitPort.text(), QString("99099"));  // five digits at most
    f.Ok.click();
    QCOMPARE(d.messages.size(), size_t{1});
    QCOMPARE(d.messages[0],
             std::string("The implicit TLS port must be a number from 1 to 65535, not \"99099\"."));
    QVERIFY(f.isVisible());
    for (const char* bad : {"", "0"}) {
      f.ImplicitPort.setText(bad);
      f.Ok.click();
      QVERIFY(d.messages.back().find("from 1 to 65535") != std::string::npos);
    }
    f.ImplicitPort.setText(QString::number(port));
    f.Ok.click();
    QVERIFY(d.messages.back().find("must differ from the server's port") != std::string::npos);
    f.ImplicitPort.setText("990");
    f.Cert.setText("/etc/orvane/cert.pem");
    f.Ok.click();
    QVERIFY(d.messages.back().find("both the certificate file and the key file") !=
            std::string::npos);
    QCOMPARE(d.messages.size(), size_t{5});
    QVERIFY(f.isVisible());
    QCOMPARE(d.Ini().ReadString("TLS", "implicitport", ""), std::string("2990"));
    QCOMPARE(d.Ini().ReadString("TLS", "implicit", "-"), std::string("-"));
  }
};

ORVANE_UI_TEST(SecurityFormTest);

}  // namespace orvane::test

#include "SecurityFormTest.moc"
