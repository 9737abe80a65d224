#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "access/FreeList.h"
#include "access/HostView.h"
#include "access/Usrdata.h"
#include "ftp/ClientPaths.h"
#include "ftp/CompatibilityPolicy.h"
#include "ftp/SessionView.h"
#include "platform/FileSystem.h"
#include "platform/TempDir.h"
#include "support/DriveMapScope.h"

namespace orvane::test {

// An HostView that records what it is told.
class FakeHostView : public HostView {
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
  int LoggedInSessions(const std::string& account) override { return sessionsOf[account]; }
  std::map<std::string, int> sessionsOf;  // logged-in sessions per account name
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

// A session as the access rules see it, with no socket behind it: its fields are set by the
// test, and what a rule sends or refuses is recorded instead.
class FakeSession : public SessionView {
 public:
  std::string GetPeerAddr() override { return PeerAddr; }
  const std::string& LoginName() const override { return UserName; }
  const std::string& HomeDirectory() const override { return HomeDir; }
  const std::string& Directory() const override { return directory_; }
  bool CommandWithoutArgument() const override { return CurCmdWithoutArgument; }
  const std::string& TransferFilePath() const override { return FilePath; }
  const std::string& TransferFileName() const override { return FileName; }
  int64_t FoundFileSize(const std::string& path) override { return FileSystem::FileSize(path); }
  void SetHomeDirectory(const std::string& directory) override { HomeDir = directory; }
  // The engine's own directory rule, as the real session applies it.
  void SetDirectory(const std::string& value) override {
    directory_ = ApplyDirectory(directory_, value);
  }
  void AddReplyLine(const std::string& line) override { sent.push_back(line + "\r\n"); }
  [[noreturn]] void RefuseTransfer(const std::string& reason) override {
    FilePath.clear();
    refusals.push_back(reason);
    throw std::runtime_error(reason);
  }

  std::string PeerAddr = "127.0.0.9";
  std::string UserName = "bob";
  std::string HomeDir = "C:\\TEMP\\";
  bool CurCmdWithoutArgument = false;
  std::string FilePath;
  std::string FileName;
  std::vector<std::string> sent;      // every reply line, with its CR LF
  std::vector<std::string> refusals;  // the reason of every refused transfer

 private:
  std::string directory_ = HomeDir;
};

// Drive C mapped onto a fresh temporary directory, with helpers to lay out files there.
class DriveFixture : public ::testing::Test {
 protected:
  void SetUp() override { drives_.emplace(std::map<char, std::string>{{'C', root_.Path()}}); }
  void TearDown() override { drives_.reset(); }

  // Paths relative to the drive root, with "/" separators.
  void Dir(const std::string& relative) { MakeDir(root_ / relative); }
  void File(const std::string& relative, const std::string& bytes = "x") {
    WriteBytes(root_ / relative, bytes);
  }
  std::string Posix(const std::string& relative) const { return root_ / relative; }

  TempDir root_;
  std::optional<DriveMapScope> drives_;
  FakeHostView host_;
};

}  // namespace orvane::test
