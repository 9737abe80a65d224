#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "host/TlsCredentialsMaker.h"
#include "net/SelfSignedCertificate.h"
#include "platform/TempDir.h"

namespace orvane {
namespace {

struct Logged {
  std::vector<std::string> lines;
  std::function<void(const std::string&)> Sink() {
    return [this](const std::string& line) { lines.push_back(line); };
  }
  bool Has(const std::string& text) const {
    for (const std::string& line : lines) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }
};

// Off without "enabled"; on without cert and key, the pair is made once beside FTPsrv.ini and
// kept at the next start, with the fingerprint logged each time.
TEST(TlsCredentialsMaker, MakesTheCertificateOnceWhenNoneIsConfigured) {
  test::TempDir dir;
  const std::string programDir = dir.Path() + "/";
  TlsStartSettings settings;
  Logged log;
  EXPECT_EQ(TlsCredentialsMaker::Prepare(settings, programDir, log.Sink()), nullptr);
  EXPECT_TRUE(log.lines.empty());

  settings.Enabled = true;
  auto first = TlsCredentialsMaker::Prepare(settings, programDir, log.Sink());
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(log.Has("made a self-signed certificate"));
  const std::string fingerprint = first->Current()->Fingerprint();
  EXPECT_TRUE(log.Has("SHA-256 fingerprint " + fingerprint));
  struct stat info {};
  ASSERT_EQ(::stat((programDir + TlsCredentialsMaker::kGeneratedKey).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  Logged again;
  auto second = TlsCredentialsMaker::Prepare(settings, programDir, again.Sink());
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(again.Has("made a self-signed certificate"));
  EXPECT_EQ(second->Current()->Fingerprint(), fingerprint);
}

// Configured files are used as they are; missing or unusable ones leave TLS off with the reason
// logged, and nothing is generated in their place.
// A generated key and certificate that do not belong together (two servers made them at once)
// are reported and made anew; servers starting together agree on one pair.
TEST(TlsCredentialsMaker, MismatchedGeneratedPairIsReportedAndReplaced) {
  test::TempDir dir;
  const std::string programDir = dir.Path() + "/";
  TlsStartSettings settings;
  settings.Enabled = true;
  const std::string cert = programDir + TlsCredentialsMaker::kGeneratedCert;
  SelfSignedCertificate::Create(cert, programDir + TlsCredentialsMaker::kGeneratedKey, "a");
  SelfSignedCertificate::Create(programDir + "other.pem", programDir + "other-key.pem", "b");
  ASSERT_EQ(std::rename((programDir + "other.pem").c_str(), cert.c_str()), 0);
  Logged log;
  ASSERT_NE(TlsCredentialsMaker::Prepare(settings, programDir, log.Sink()), nullptr);
  EXPECT_TRUE(log.Has("cannot be used")) << log.lines.at(0);
  EXPECT_TRUE(log.Has("made a self-signed certificate"));

  test::TempDir fresh;
  std::vector<std::shared_ptr<TlsCredentials>> made(4);
  std::vector<std::thread> starts;
  for (auto& credentials : made) {
    starts.emplace_back([&] {
      Logged quiet;
      credentials = TlsCredentialsMaker::Prepare(settings, fresh.Path() + "/", quiet.Sink());
    });
  }
  for (std::thread& t : starts) t.join();
  for (const auto& credentials : made) {
    ASSERT_NE(credentials, nullptr);
    EXPECT_EQ(credentials->Current()->Fingerprint(), made[0]->Current()->Fingerprint());
  }
}

TEST(TlsCredentialsMaker, ConfiguredFilesAreUsedOrTlsStaysOff) {
  test::TempDir dir;
  const std::string programDir = dir.Path() + "/";
  TlsStartSettings settings;
  settings.Enabled = true;
  settings.Cert = dir.Path() + "/own.crt";
  settings.Key = dir.Path() + "/own.key";
  Logged missing;
  EXPECT_EQ(TlsCredentialsMaker::Prepare(settings, programDir, missing.Sink()), nullptr);
  EXPECT_TRUE(missing.Has("TLS is off"));
  struct stat info {};
  EXPECT_NE(::stat((programDir + TlsCredentialsMaker::kGeneratedCert).c_str(), &info), 0);

  SelfSignedCertificate::Create(settings.Cert, settings.Key, "own.example");
  Logged used;
  auto credentials = TlsCredentialsMaker::Prepare(settings, programDir, used.Sink());
  ASSERT_NE(credentials, nullptr);
  EXPECT_EQ(credentials->CertFile(), settings.Cert);

  settings.Key.clear();  // a certificate without its key
  Logged half;
  EXPECT_EQ(TlsCredentialsMaker::Prepare(settings, programDir, half.Sink()), nullptr);
  EXPECT_TRUE(half.Has("both a certificate and a key"));
}

}  // namespace
}  // namespace orvane
