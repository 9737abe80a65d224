// The tip window: its tips walk round both ways, and its check box is written when it closes.
#include <QTest>

#include "console/TipOfTheDay.h"
#include "platform/IniFile.h"
#include "platform/TempDir.h"
#include "ui/DesktopTestSupport.h"
#include "ui/TTipForm.h"
#include "ui/UiTestRegistry.h"

namespace orvane::test {

class TipFormTest : public QObject {
  Q_OBJECT

 private slots:
  void NextAndPreviousWrapAndTheSwitchIsWritten() {
    TempDir dir;
    const std::string ini = dir / "FTPsrv.ini";
    TTipForm tip(ini);
    tip.show();
    QCOMPARE(tip.windowTitle(), QString("Tip of the Day"));
    QCOMPARE(tip.TipText.text(), QString(TipOfTheDay::kTips[0]));
    tip.Previous.click();
    QCOMPARE(tip.TipText.text(), QString(TipOfTheDay::kTips[13]));
    tip.Next.click();
    for (int i = 0; i < 13; ++i) tip.Next.click();
    QCOMPARE(tip.TipText.text(), QString(TipOfTheDay::kTips[13]));
    tip.Next.click();
    QCOMPARE(tip.TipText.text(),
             QString("First, setup your FTP Server to select options you find interested."));
    QVERIFY(tip.ShowOnStartup.isChecked());
    tip.ShowOnStartup.setChecked(false);
    tip.Ok.click();
    QVERIFY(!tip.isVisible());
    QCOMPARE(IniFile(ini).ReadString("FTPServer", "Tip", ""), std::string("0"));
    // Shown again, it starts with the first tip.
    tip.Next.click();
    tip.show();
    QCOMPARE(tip.TipText.text(), QString(TipOfTheDay::kTips[0]));
    tip.ShowOnStartup.setChecked(true);
    tip.reject();
    QCOMPARE(IniFile(ini).ReadString("FTPServer", "Tip", ""), std::string("1"));
  }

  void StartUpShowsTheTipWindowBeforeTheAutomaticStart() {
    const int port = FreePort();
    Desktop d("[ServerFTP]\r\ndemarrageauto=1\r\nport=" + std::to_string(port) + "\r\n");
    bool activeDuringTip = true;
    d.onModal = [&](QDialog& dialog) {
      activeDuringTip = d.Host().Active();
      auto& tip = dynamic_cast<TTipForm&>(dialog);
      tip.ShowOnStartup.setChecked(false);
      tip.accept();
    };
    QVERIFY(d.Start());
    QVERIFY(!activeDuringTip);
    QVERIFY(d.Host().Active());
    QCOMPARE(d.Ini().ReadString("FTPServer", "Tip", ""), std::string("0"));
  }

  void AboutWindowShowsLinks() {
    Desktop d("[FTPServer]\r\nTip=0\r\n");
    QVERIFY(d.Start());
    d.Main().Apropos1.trigger();
    QCOMPARE(d.modals, std::vector<std::string>{"About ..."});
    QVERIFY(d.program->About().Web.openExternalLinks());
    QVERIFY(d.program->About().Mail.text().contains("mailto:"));
  }
};

ORVANE_UI_TEST(TipFormTest);

}  // namespace orvane::test

#include "TipFormTest.moc"
