// Draws the main window serving a client, as the README shows it, on Qt's offscreen platform:
//   ui_screenshot OUT.png [SETUP.png TRAYMENU.png [USERINFO.png SPY.png [ACCOUNTS.png [MISC.png]]]]
// The program runs on a temporary directory and a free port; one client logs in and sends a
// few commands, which the memo echoes in green.
#include <QApplication>
#include <QPixmap>
#include <cstdio>

#include "platform/TempDir.h"
#include "support/FtpClient.h"
#include "ui/DesktopProgram.h"
#include "ui/DesktopTestSupport.h"
#include "support/FtpHostTestAccess.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT.png [SETUP.png TRAYMENU.png]\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  using namespace orvane;
  using namespace orvane::test;
  const int port = FreePort();
  Desktop d("[ServerFTP]\r\nport=" + std::to_string(port) +
            "\r\nmaxusr=10\r\ndemarrageauto=1\r\n[FTPServer]\r\nTip=0\r\n[Screen]\r\n12=1\r\n");
  MakeDir(d.dir / "pub");
  WriteBytes(d.Ini().Path(), ReadBytes(d.Ini().Path()) + "[Drives]\r\nC=" + d.dir.Path() + "\r\n");
  // The anonymous account with a quota and a download rate, so that Users Infos shows them.
  WriteBytes(d.dir / "Accounts.ini",
             ReadBytes(d.dir / "Accounts.ini") + "DownloadRate=1024\r\nQuotaBytes=10485760\r\n");
  if (!d.Start()) return 1;
  d.Main().resize(780, 260);
  auto client = d.Connect(true, "127.0.0.1");
  client->Command("SYST");
  client->Command("CWD /pub");
  client->Command("PWD");
  client->Command("TYPE I");
  d.Main().ListView1.item(0)->setSelected(true);
  d.Main().ServMemo.Flush();
  QApplication::processEvents();
  bool ok = d.Main().grab().save(argv[1]);
  if (argc >= 4) {
    d.Main().Configuration1.trigger();
    QApplication::processEvents();
    ok = d.program->ConfigForm().grab().save(argv[2]) && ok;
    d.program->ConfigForm().Annuler.click();
    QMenu& menu = d.Main().Tray().PopupMenu3;
    menu.popup(QPoint(0, 0));
    QApplication::processEvents();
    ok = menu.grab().save(argv[3]) && ok;
    menu.hide();
  }
  if (argc >= 6) {
    // "Users Infos" with a second client, then the spy window following the first one.
    auto second = d.Connect(true, "127.0.0.2");
    second->Command("PWD");
    Tuserinfo& info = d.program->Userinfo();
    info.show();
    info.RefreshAll();
    info.ListView1.topLevelItem(0)->setSelected(true);
    FtpHostTestAccess::Clients(d.Host()).At(0).Uploaded = 123456;
    info.Timer1Timer();
    QApplication::processEvents();
    ok = info.grab().save(argv[4]) && ok;
    d.Main().Spyuser1.trigger();
    client->Command("NOOP");
    client->Command("CWD /pub");
    client->Command("PWD");
    second->Command("NOOP");
    QApplication::processEvents();
    ok = d.program->SpyForm().grab().save(argv[5]) && ok;
    if (argc >= 7) {
      // "Setup users" on the anonymous account.
      TUseraccount& accounts = d.program->Useraccount();
      d.Main().UsersAccount1.trigger();
      accounts.SelectAccount("anonymous");
      QApplication::processEvents();
      ok = accounts.grab().save(argv[6]) && ok;
      if (argc >= 8) {
        accounts.MiscButton.click();
        QApplication::processEvents();
        ok = accounts.Misc.grab().save(argv[7]) && ok;
        accounts.Misc.hide();
      }
      accounts.hide();
    }
    second->Command("QUIT");
  }
  client->Command("QUIT");
  return ok ? 0 : 1;
}
