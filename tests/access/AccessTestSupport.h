#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "access/AccessHost.h"
#include "access/FreeList.h"
#include "access/Usrdata.h"
#include "ftp/CompatibilityPolicy.h"
#include "ftp/TFtpCtrlSocket.h"
#include "net/EventLoop.h"
#include "platform/FileSystem.h"
#include "platform/TempDir.h"

namespace orvane::test {

// An AccessHost that records what it is told.
class FakeAccessHost : public AccessHost {
 public:
  struct Line {
    int category;
    std::string screen;
    std::string file;
  };

  void LogEvent(int category, const std::string& text) override {
    log.push_back({category, text, text});
  }
  void LogEventSplit(int category, const std::string& screen, const std::string& file) override {
    log.push_back({category, screen, file});
  }
  void LogScreenOnly(const std::string& text) override { screenOnly.push_back(text); }
  void AddAcceptedLogin() override { ++accepted; }
  void AddAnonymousLogin() override { ++anonymous; }
  void AddRefusedLogin() override { ++refused; }
  void AddDownloaded(int64_t bytes) override { downloaded += bytes; }
  void AddUploaded(int64_t bytes) override { uploaded += bytes; }
  void ShowClientCount() override { ++clientCountShown; }
  void ClientLoggedIn(Usrdata& record) override { loggedIn.push_back(&record); }
  void ClientStatusChanged(Usrdata& record) override { statuses.push_back(record.Status); }
  int ClientRecordCount() override { return records; }
  std::string LocalIPAddr() override {
    ++localIpLookups;
    return "127.0.0.1";
  }
  const FreeList& FreeFiles() override { return freeList; }
  std::string CurrentDate() override { return "07/03/2024"; }
  std::string CurrentTime() override { return "13:05:09"; }
  const CompatibilityPolicy& Compatibility() override { return policy; }

  // Whether a line with exactly this screen text was logged under the category.
  bool Logged(int category, const std::string& text) const {
    return std::any_of(log.begin(), log.end(), [&](const Line& line) {
      return line.category == category && line.screen == text;
    });
  }

  std::vector<Line> log;
  std::vector<std::string> screenOnly;
  int accepted = 0;
  int anonymous = 0;
  int refused = 0;
  int64_t downloaded = 0;
  int64_t uploaded = 0;
  int clientCountShown = 0;
  std::vector<Usrdata*> loggedIn;
  std::vector<std::string> statuses;
  int records = 1;
  int localIpLookups = 0;  // each one a blocking resolver call in the real host
  FreeList freeList;
  CompatibilityPolicy policy;
};

// A session that is never connected: what the code under test sends is recorded instead.
class RecordingSession : public TFtpCtrlSocket {
 public:
  explicit RecordingSession(EventLoop& loop) : TFtpCtrlSocket(loop) {
    PeerAddr = "127.0.0.9";
    UserName = "bob";
  }
  int SendStr(const std::string& text) override {
    sent.push_back(text);
    return static_cast<int>(text.size());
  }
  std::vector<std::string> sent;
};

// Drive C mapped onto a fresh temporary directory, with helpers to lay out files there.
class DriveFixture : public ::testing::Test {
 protected:
  void SetUp() override { FileSystem::SetDriveMap({{'C', root_.Path()}}); }
  void TearDown() override { FileSystem::SetDriveMap({}); }

  // Paths relative to the drive root, with "/" separators.
  void Dir(const std::string& relative) { MakeDir(root_ / relative); }
  void File(const std::string& relative, const std::string& bytes = "x") {
    WriteBytes(root_ / relative, bytes);
  }
  std::string Posix(const std::string& relative) const { return root_ / relative; }

  TempDir root_;
  EventLoop loop_;
  FakeAccessHost host_;
};

}  // namespace orvane::test
