// The Qt-free models the console windows present.
#include <gtest/gtest.h>

#include "console/ClientList.h"
#include "console/SelectedUser.h"
#include "console/StayOnTop.h"
#include "console/TipOfTheDay.h"
#include "console/TrayNotices.h"
#include "console/WindowGeometry.h"
#include "platform/IniFile.h"
#include "platform/TempDir.h"

namespace orvane::test {

TEST(ClientList, RowsAreTheLoggedInRecordsInOrderAndChangeOnlyWhenTheyDo) {
  Usrdata a, b, c;
  a.Account = "anonymous";
  c.Account = "bob";
  ClientList list;
  EXPECT_TRUE(list.Sync({&a, &b, &c}));
  ASSERT_EQ(list.Rows().size(), 2u);
  EXPECT_EQ(list.Rows()[0], (ClientList::Row{"anonymous", &a}));
  EXPECT_EQ(list.Rows()[1], (ClientList::Row{"bob", &c}));
  EXPECT_FALSE(list.Sync({&a, &b, &c}));
  b.Account = "carol";  // b logs in
  EXPECT_TRUE(list.Sync({&a, &b, &c}));
  EXPECT_EQ(list.RecordAt(1), &b);
  EXPECT_EQ(list.RecordAt(3), nullptr);
  EXPECT_EQ(list.RecordAt(-1), nullptr);
  // A session that switches to TLS changes its row, which carries the mark.
  c.Secure = true;
  EXPECT_TRUE(list.Sync({&a, &b, &c}));
  EXPECT_EQ(list.Rows()[2], (ClientList::Row{"bob", &c, true}));
  EXPECT_FALSE(list.Rows()[0].secure);
  EXPECT_TRUE(list.Sync({}));
  EXPECT_TRUE(list.Rows().empty());
}

TEST(SelectedUser, ClickAndTickRules) {
  Usrdata r;
  r.UserName = "bob";
  r.IP = "10.0.0.2";
  r.Status = "Current Directory C:\\pub\\";
  const SelectedUser::Panels shown{"bob", "IP:10.0.0.2", "Current Directory C:\\pub\\"};
  EXPECT_EQ(SelectedUser::Click({&r}), shown);
  EXPECT_EQ(SelectedUser::Click({}), std::nullopt);
  EXPECT_EQ(SelectedUser::Click({&r, &r}), std::nullopt);
  EXPECT_EQ(SelectedUser::Click({nullptr}), std::nullopt);

  EXPECT_EQ(SelectedUser::Tick({&r}, 1, 1), shown);
  // More rows than records: a row may be stale, nothing is touched.
  EXPECT_EQ(SelectedUser::Tick({&r}, 2, 1), std::nullopt);
  EXPECT_EQ(SelectedUser::Tick({nullptr}, 1, 1), std::nullopt);
  EXPECT_EQ(SelectedUser::Tick({}, 1, 1), SelectedUser::Panels{});
  EXPECT_EQ(SelectedUser::Tick({&r, &r}, 2, 2), SelectedUser::Panels{});
}

TEST(WindowGeometry, KeysCarryTheScreenSizeAndDefaultsCentre) {
  TempDir dir;
  IniFile ini(dir / "FTPsrv.ini");
  WindowGeometry g = WindowGeometry::Load(ini, 1024, 768);
  EXPECT_EQ(g.width, 530);
  EXPECT_EQ(g.height, 185);
  EXPECT_EQ(g.left, (1024 - 530) / 2);
  EXPECT_EQ(g.top, (768 - 185) / 2);

  g = WindowGeometry{10, 20, 640, 300};
  ASSERT_TRUE(g.Save(ini, 1024, 768));
  ini.Reload();
  EXPECT_EQ(ini.ReadString("FTPserver", "X1024", ""), "10");
  EXPECT_EQ(ini.ReadString("FTPserver", "Y768", ""), "20");
  EXPECT_EQ(ini.ReadString("FTPserver", "height1024", ""), "300");
  EXPECT_EQ(ini.ReadString("FTPserver", "width768", ""), "640");
  const WindowGeometry back = WindowGeometry::Load(ini, 1024, 768);
  EXPECT_EQ(back.left, 10);
  EXPECT_EQ(back.width, 640);
  // Another screen size keeps its own defaults; centring uses the size read.
  ASSERT_TRUE(ini.WriteInteger("FTPserver", "height1920", 400));
  const WindowGeometry other = WindowGeometry::Load(IniFile(dir / "FTPsrv.ini"), 1920, 1080);
  EXPECT_EQ(other.height, 400);
  EXPECT_EQ(other.width, 530);
  EXPECT_EQ(other.top, (1080 - 400) / 2);
}

TEST(StayOnTop, CommandWritesTheKeyAndDialogsTakeTheTopmostStateAway) {
  TempDir dir;
  IniFile ini(dir / "FTPsrv.ini");
  StayOnTop s;
  EXPECT_FALSE(StayOnTop::StoredOn(ini));
  s.DialogShown();
  ASSERT_TRUE(s.Toggle(ini));
  EXPECT_TRUE(s.Checked());
  EXPECT_FALSE(s.WantTopmost());
  s.DialogHidden();
  EXPECT_TRUE(s.WantTopmost());
  ini.Reload();
  EXPECT_TRUE(StayOnTop::StoredOn(ini));
  ASSERT_TRUE(s.Toggle(ini));
  EXPECT_FALSE(s.WantTopmost());
  EXPECT_EQ(IniFile(dir / "FTPsrv.ini").ReadString("FTPserver", "StayOnTop", ""), "0");
}

TEST(TipOfTheDay, FourteenTipsRoundBothWays) {
  TipOfTheDay t;
  EXPECT_EQ(std::string(t.Current()),
            "First, setup your FTP Server to select options you find interested.");
  t.Previous();
  EXPECT_EQ(t.Index(), 13u);
  EXPECT_EQ(std::string(t.Current()),
            "Add a '+' at the beginning of your links : this will be better to see that they "
            "are links.");
  t.Next();
  EXPECT_EQ(t.Index(), 0u);
  EXPECT_EQ(std::string(TipOfTheDay::kTips[11]), "You can see statitics in Files/Statistics.");
  TempDir dir;
  IniFile ini(dir / "FTPsrv.ini");
  EXPECT_TRUE(TipOfTheDay::ShowAtStartUp(ini));
  t.ShowOnStartup = false;
  ASSERT_TRUE(t.Store(ini));
  EXPECT_FALSE(TipOfTheDay::ShowAtStartUp(IniFile(dir / "FTPsrv.ini")));
}

TEST(TrayNotices, ReportsEachEventOnceAndNothingOldWhenTurnedOn) {
  TrayNotices n;
  EXPECT_FALSE(n.NoteServerState("FTP Server Off-line"));  // off-line at start: no stop
  EXPECT_FALSE(n.NoteServerState("FTP Server On-line/Port : 21"));
  EXPECT_EQ(n.NoteImage(1)->text, "A client is connected");
  EXPECT_FALSE(n.NoteImage(1));
  EXPECT_EQ(n.NoteBanList({"10.0.0.1", "10.0.0.2"})->text,
            "10.0.0.1, 10.0.0.2 added to the ban list");
  EXPECT_FALSE(n.NoteBanList({"10.0.0.2"}));  // an unban is no notice
  EXPECT_EQ(n.NoteServerState("FTP Server Off-line")->text, "FTP Server Off-line");
  EXPECT_FALSE(n.NoteServerState("FTP Server Off-line"));
  // Off, the events are followed but not reported; on again, only new ones are.
  n.Enabled = false;
  EXPECT_FALSE(n.NoteBanList({"10.0.0.2", "10.0.0.3"}));
  EXPECT_FALSE(n.NoteImage(0));
  n.Enabled = true;
  EXPECT_FALSE(n.NoteBanList({"10.0.0.2", "10.0.0.3"}));
  EXPECT_TRUE(n.NoteImage(1));
  TempDir dir;
  IniFile ini(dir / "FTPsrv.ini");
  n.Enabled = false;
  ASSERT_TRUE(n.Store(ini));
  TrayNotices loaded;
  loaded.Load(IniFile(dir / "FTPsrv.ini"));
  EXPECT_FALSE(loaded.Enabled);
}

}  // namespace orvane::test
