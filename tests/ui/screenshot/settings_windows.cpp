// Draws the settings windows for a look by eye, on whatever display Qt is given (an Xvfb
// server, or the offscreen platform):
//   ui_screenshot_settings DIR
// writes DIR/log-setup.png, log-setup-file.png, events.png, free-files.png, statistics.png,
// network.png, security.png and setup-menu.png, and
// leaves the windows open a few seconds so that the display can be photographed as a whole.
#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "ui/DesktopProgram.h"
#include "ui/DesktopTestSupport.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  using namespace orvane;
  using namespace orvane::test;
  const std::string dir = argv[1];
  Desktop d("[ServerFTP]\r\nport=" + std::to_string(FreePort()) +
            "\r\ndemarrageauto=1\r\n[FTPServer]\r\nTip=0\r\n[WMessage]\r\nline0=Welcome to "
            "%LOCALIP\r\nline1=It is %TIME\r\n[FreeFiles]\r\nFile0=*.zip\r\nFile1=C:\\temp\\\r\n"
            "[Passive]\r\nports=50000-50100\r\naddress=home.example.org\r\n[TLS]\r\nenabled=1\r\n"
            "implicit=1\r\ncert=/etc/orvane/cert.pem\r\nkey=/etc/orvane/key.pem\r\n");
  if (!d.Start()) return 1;
  auto client = d.Connect(true);
  d.Host().AddDownloaded(1234567);
  d.Host().AddUploaded(54321);
  d.Main().hide();
  d.Main().Log1.trigger();
  d.Main().Messagedarrive1.trigger();
  d.Main().Statistiques1.trigger();
  d.Main().Network1.trigger();
  d.Main().Security1.trigger();
  FreeFilesWindow& free = d.program->FreeFilesForm();
  free.show();
  free.ListBox1.setCurrentRow(0);
  d.program->LogForm().move(0, 0);
  d.program->WMessageForm().move(420, 0);
  d.program->StatistikForm().move(0, 470);
  free.move(420, 380);
  d.program->NetworkForm().move(840, 0);
  d.program->SecurityForm().move(840, 300);
  d.program->Loop().RunUntil([&] { return d.program->StatistikForm().ListBox1.count() > 0; },
                             std::chrono::milliseconds(3000));
  QApplication::processEvents();
  bool ok = d.program->LogForm().grab().save(QString::fromStdString(dir + "/log-setup.png"));
  d.program->LogForm().Tabs.setCurrentIndex(1);
  ok = d.program->LogForm().grab().save(QString::fromStdString(dir + "/log-setup-file.png")) && ok;
  ok = d.program->WMessageForm().grab().save(QString::fromStdString(dir + "/events.png")) && ok;
  ok = free.grab().save(QString::fromStdString(dir + "/free-files.png")) && ok;
  ok =
      d.program->StatistikForm().grab().save(QString::fromStdString(dir + "/statistics.png")) && ok;
  ok = d.program->NetworkForm().grab().save(QString::fromStdString(dir + "/network.png")) && ok;
  ok = d.program->SecurityForm().grab().save(QString::fromStdString(dir + "/security.png")) && ok;
  // The Setup menu, whose last items open the two windows above.
  QMenu& menu = d.Main().Setup;
  menu.popup(QPoint(0, 0));
  QApplication::processEvents();
  ok = menu.grab().save(QString::fromStdString(dir + "/setup-menu.png")) && ok;
  menu.hide();
  QTimer::singleShot(4000, &app, &QApplication::quit);
  app.exec();
  free.hide();
  return ok ? 0 : 1;
}
