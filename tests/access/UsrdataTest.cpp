#include <gtest/gtest.h>

#include "access/Usrdata.h"

namespace orvane {
namespace {

TEST(Usrdata, CopyAccountTakesTheAccountsSettings) {
  users account;
  account.Name = "guest";
  account.Maxdl = 5000;
  account.Xupl = 3;
  account.Xdl = -2;
  account.EnableRatio = account.EnableMaxdl = account.HideHidden = true;
  account.AllowNoop = account.AllowTimeout = false;
  account.Timeout = 42;
  account.Message = "C:\\m.txt";
  account.Links = "C:\\l.txt";
  account.Dirs[0] = {"C:\\ftp", "R---L-"};
  account.Dirs[4] = {"C:\\up", "RW--S"};
  account.Dirs[2] = {"", "RWDMLS"};  // an empty entry is not copied

  Usrdata client;
  client.UserName = "zed";
  client.Dirs[1] = {"C:\\earlier", "RWDMLS"};  // left by an earlier login
  client.LinkTable[0] = {"pub", "C:\\earlier"};
  client.CopyAccount(account);

  EXPECT_EQ(client.Account, "guest");
  EXPECT_EQ(client.Credit, 5000);
  EXPECT_EQ(client.Xupl, 3);
  EXPECT_EQ(client.Xdl, -2);
  EXPECT_TRUE(client.EnableRatio && client.EnableMaxdl && client.HideHidden);
  EXPECT_FALSE(client.AllowNoop || client.AllowTimeout);
  EXPECT_EQ(client.Timeout, 42);
  EXPECT_EQ(client.Message, "C:\\m.txt");
  EXPECT_EQ(client.Links, "C:\\l.txt");
  EXPECT_EQ(client.Dirs[0].Attr, "R---L-");
  EXPECT_EQ(client.Dirs[4].Dir, "C:\\up");
  EXPECT_TRUE(client.Dirs[1].Dir.empty() && client.Dirs[1].Attr.empty());
  EXPECT_TRUE(client.Dirs[2].Attr.empty());
  EXPECT_TRUE(client.LinkTable[0].Name.empty());
  EXPECT_EQ(client.UserName, "zed");  // session values are the caller's
}

}  // namespace
}  // namespace orvane
