// Every window fits the screen it shows on: at most the available area (frame included) and
// inside it, also after its showing again. CTest runs this on a 1280 x 720 screen at scale 1
// and on a 1280 x 800 one at QT_SCALE_FACTOR=2 (640 x 400 logical pixels).
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include "ui/DesktopTestSupport.h"
#include "ui/UiTestRegistry.h"

namespace orvane::test {

class WindowFitTest : public QObject {
  Q_OBJECT

 private slots:
  void EveryWindowFitsTheScreen() {
    // A main window saved larger than the screen and partly off it.
    const QSize size = QGuiApplication::primaryScreen()->size();
    const std::string w = std::to_string(size.width()), h = std::to_string(size.height());
    Desktop d("[ServerFTP]\r\nport=" + std::to_string(FreePort()) +
              "\r\n[FTPServer]\r\nTip=0\r\nX" + w + "=900\r\nY" + h + "=0\r\nheight" + w +
              "=900\r\nwidth" + h + "=1400\r\n");
    QVERIFY(d.Start());
    const QScreen* screen = QGuiApplication::primaryScreen();
    qInfo("screen %dx%d logical, device pixel ratio %g", screen->size().width(),
          screen->size().height(), screen->devicePixelRatio());
    const QRect area = screen->availableGeometry();
    DesktopProgram& p = *d.program;
    TUseraccount& accounts = p.Useraccount();
    TTipForm tip(d.Ini().Path());
    const std::vector<QWidget*> windows = {
        &d.Main(),          &p.ConfigForm(),        &p.Userinfo(),
        &p.SpyForm(),       &p.LogForm(),           &p.WMessageForm(),
        &p.FreeFilesForm(), &p.StatistikForm(),     &accounts,
        &accounts.NewUser,  &accounts.EditUserName, &accounts.NewDir,
        &accounts.Misc,     &p.NetworkForm(),       &p.SecurityForm(),
        &p.About(),         &p.Progress(),          &tip};
    QStringList faults;
    for (QWidget* window : windows) {
      for (int showing = 0; showing < 2; ++showing) {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QMargins frame = window->windowHandle()->frameMargins();
        const QSize least = window->minimumSize().expandedTo(window->minimumSizeHint()) +
                            QSize(frame.left() + frame.right(), frame.top() + frame.bottom());
        const QString name = window->objectName() + " " + window->windowTitle();
        if (least.width() > area.width() || least.height() > area.height()) {
          faults << name + QString(" needs %1x%2").arg(least.width()).arg(least.height());
        }
        const QRect outer = window->frameGeometry();
        if (!area.contains(outer)) {
          faults << name + QString(" at %1,%2 %3x%4")
                               .arg(outer.x())
                               .arg(outer.y())
                               .arg(outer.width())
                               .arg(outer.height());
        }
        window->hide();
      }
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
  }

  void WindowShownAgainStaysWhereItWas() {
    Desktop d("[ServerFTP]\r\nport=" + std::to_string(FreePort()) + "\r\n[FTPServer]\r\nTip=0\r\n");
    QVERIFY(d.Start());
    for (QWidget* window :
         std::vector<QWidget*>{&d.Main(), &d.program->Useraccount(), &d.program->ConfigForm()}) {
      window->show();
      QVERIFY(QTest::qWaitForWindowExposed(window));
      const QRect before = window->geometry();
      window->hide();
      window->show();
      QVERIFY(QTest::qWaitForWindowExposed(window));
      QCOMPARE(window->geometry(), before);
    }
  }
};

ORVANE_UI_TEST(WindowFitTest);

}  // namespace orvane::test

#include "WindowFitTest.moc"
