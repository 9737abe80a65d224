#include <gtest/gtest.h>

#include <fstream>

#include "host/TlsStartSettings.h"
#include "platform/IniFile.h"
#include "platform/TempDir.h"

namespace orvane {
namespace {

TEST(TlsStartSettings, OffByDefaultAndRoundTrips) {
  test::TempDir dir;
  IniFile ini(dir / "FTPsrv.ini");
  TlsStartSettings settings;
  settings.Load(ini);
  EXPECT_FALSE(settings.Enabled || settings.RequireLogin || settings.RequireReuse ||
               settings.Implicit);
  EXPECT_EQ(settings.Cert, "");
  EXPECT_EQ(settings.ImplicitPort, 990);

  settings.Enabled = settings.RequireReuse = settings.Implicit = true;
  settings.Cert = "/etc/ftp/cert.pem";
  settings.Key = "/etc/ftp/key.pem";
  settings.ImplicitPort = 2990;
  ASSERT_TRUE(settings.Store(ini));
  TlsStartSettings loaded;
  loaded.Load(IniFile(dir / "FTPsrv.ini"));
  EXPECT_TRUE(loaded.Enabled && loaded.RequireReuse && loaded.Implicit);
  EXPECT_FALSE(loaded.RequireLogin);
  EXPECT_EQ(loaded.Cert, "/etc/ftp/cert.pem");
  EXPECT_EQ(loaded.Key, "/etc/ftp/key.pem");
  EXPECT_EQ(loaded.ImplicitPort, 2990);
}

TEST(TlsStartSettings, ImplicitPortOutOfRangeReadsAsDefault) {
  test::TempDir dir;
  std::ofstream(dir / "FTPsrv.ini") << "[TLS]\nimplicitport=70000\nenabled=yes\n";
  TlsStartSettings settings;
  settings.Load(IniFile(dir / "FTPsrv.ini"));
  EXPECT_EQ(settings.ImplicitPort, 990);
  std::ofstream(dir / "FTPsrv.ini") << "[TLS]\nimplicitport=0\n";
  settings.Load(IniFile(dir / "FTPsrv.ini"));
  EXPECT_EQ(settings.ImplicitPort, 990);
}

}  // namespace
}  // namespace orvane
