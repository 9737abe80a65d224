#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "host/ControlSocket.h"
#include "net/EventLoop.h"
#include "platform/UniqueFd.h"

namespace orvane {
namespace {

using Peer = ControlSocket::Peer;

// The server's user, root and members of the socket's group (primary or supplementary) pass;
// everyone else is refused, whatever other groups they are in.
TEST(ControlSocket, PeerRules) {
  const uid_t server = 120;
  const gid_t group = 130;
  EXPECT_TRUE(ControlSocket::PeerAllowed(Peer{120, 5, {}}, server, group));
  EXPECT_TRUE(ControlSocket::PeerAllowed(Peer{0, 0, {}}, server, group));
  EXPECT_TRUE(ControlSocket::PeerAllowed(Peer{1000, 130, {}}, server, group));
  EXPECT_TRUE(ControlSocket::PeerAllowed(Peer{1000, 1000, {27, 130}}, server, group));
  EXPECT_FALSE(ControlSocket::PeerAllowed(Peer{1000, 1000, {27, 131}}, server, group));
  EXPECT_FALSE(ControlSocket::PeerAllowed(Peer{65534, 65534, {}}, server, group));
}

TEST(ControlSocket, DirectoryIsTheServicesRuntimeDirectoryElseTheSettings) {
  EXPECT_EQ(ControlSocket::DirectoryFor("/etc/x/", nullptr), "/etc/x/");
  EXPECT_EQ(ControlSocket::DirectoryFor("/etc/x/", ""), "/etc/x/");
  EXPECT_EQ(ControlSocket::DirectoryFor("/etc/x/", "/run/orvane-ftpd"), "/run/orvane-ftpd/");
  EXPECT_EQ(ControlSocket::DirectoryFor("/etc/x/", "/run/a:/run/b"), "/run/a/");
}

class ControlSocketLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ctlsockXXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/" + ControlSocket::kFileName;
  }
  void TearDown() override { ::rmdir(dir_.c_str()); }

  UniqueFd Connect() {
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
    EXPECT_EQ(::connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
  }
  // Runs the loop until fd has seen the end of the stream; what came before it.
  std::string ReadToEnd(const UniqueFd& fd) {
    std::string text;
    bool ended = false;
    loop_.RunUntil(
        [&] {
          char buffer[65536];
          const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
          if (n > 0) text.append(buffer, static_cast<size_t>(n));
          ended = n == 0 || (n < 0 && errno != EAGAIN);
          return ended;
        },
        std::chrono::seconds(5));
    EXPECT_TRUE(ended);
    return text;
  }

  EventLoop loop_;
  std::string dir_;
  std::string path_;
};

// One answer per line, in order, split however the bytes came; the socket is 0660; a live
// server's socket is not taken over, and the file goes with the server.
TEST_F(ControlSocketLoop, LinesAnswersModeAndTakeOver) {
  {
    ControlSocket socket(loop_);
    std::string reason;
    ASSERT_TRUE(socket.Listen(path_, reason)) << reason;
    struct stat st {};
    ASSERT_EQ(::stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0660u);
    ControlSocket second(loop_);
    EXPECT_FALSE(second.Listen(path_, reason));
    EXPECT_NE(reason.find("another server is running"), std::string::npos);

    socket.OnRequest = [&](ControlSocket::Id id, const std::string& line) {
      socket.Send(id, "<" + line + ">");
      if (line == "last") socket.CloseAfterSend(id);
    };
    UniqueFd client = Connect();
    ASSERT_EQ(::write(client.Get(), "one\r\ntw", 7), 7);
    loop_.ProcessReady(10);
    ASSERT_EQ(::write(client.Get(), "o\nlast\nignored\n", 15), 15);
    EXPECT_EQ(ReadToEnd(client), "<one><two><last>");
  }
  struct stat st {};
  EXPECT_NE(::stat(path_.c_str(), &st), 0);
}

// A line without end past the bound, and a client that never reads its answers, are dropped
// without the loop ever waiting on them.
TEST_F(ControlSocketLoop, OverlongLineAndNonReaderAreDropped) {
  ControlSocket socket(loop_);
  std::string reason;
  ASSERT_TRUE(socket.Listen(path_, reason)) << reason;
  int closed = 0;
  socket.OnClosed = [&](ControlSocket::Id) { ++closed; };
  socket.OnRequest = [&](ControlSocket::Id id, const std::string&) {
    while (socket.Send(id, std::string(65536, 'x'))) {
    }
  };

  UniqueFd longLine = Connect();
  const std::string junk(ControlSocket::kMaxLine + 2, 'a');
  ASSERT_EQ(::write(longLine.Get(), junk.data(), junk.size()), static_cast<ssize_t>(junk.size()));
  ReadToEnd(longLine);

  UniqueFd nonReader = Connect();
  ASSERT_EQ(::write(nonReader.Get(), "who\n", 4), 4);
  loop_.RunUntil([&] { return closed == 2; }, std::chrono::seconds(5));
  EXPECT_EQ(closed, 2);
}

}  // namespace
}  // namespace orvane
