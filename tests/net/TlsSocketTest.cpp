#include <fcntl.h>
#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "NetTestSupport.h"
#include "net/SelfSignedCertificate.h"
#include "net/TWSocket.h"
#include "net/TlsCredentials.h"
#include "platform/TempDir.h"
#include "platform/WinsockError.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;

char PatternByte(uint64_t i) {
  return static_cast<char>((i * 2654435761u) >> 13);
}

std::string Pattern(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = PatternByte(i);
  return data;
}

// A TLS server end adopted from the listener and a TLS client end connected to it, both driven
// by the loop.
class TlsSocketTest : public test::LoopbackTest {
 protected:
  void SetUp() override {
    LoopbackTest::SetUp();
    cert_ = dir_.Path() + "/cert.pem";
    key_ = dir_.Path() + "/key.pem";
    SelfSignedCertificate::Create(cert_, key_, "test.example");
    credentials_ = std::make_unique<TlsCredentials>(cert_, key_);
    credentials_->Load();
    clientContext_ = TlsContext::Client();
  }

  // Connects client to server over TLS; the server requires `identity` when not 0.
  void Pair(TWSocket& server, TWSocket& client, uint64_t identity = 0,
            const TlsSession* offer = nullptr) {
    target_ = &server;
    server.SetLingerOnOff(wsLingerOff);  // a graceful close, so that close_notify arrives
    client.SetAddr("127.0.0.1");
    client.SetPort(std::to_string(port_));
    client.Connect();
    client.StartTls(clientContext_, TlsRole::Client, 0, true, offer);
    ASSERT_TRUE(loop_.RunUntil([&] { return target_ == nullptr; }, 2s));
    server.StartTls(credentials_->Current(), TlsRole::Server, identity);
  }

  static void Collect(TWSocket& s, std::string& into) {
    s.OnDataAvailable = [&into](TCustomWSocket& socket, uint16_t) {
      char buf[8192];
      const int n = socket.Receive(buf, sizeof buf);
      if (n > 0) into.append(buf, static_cast<size_t>(n));
    };
  }

  test::TempDir dir_;
  std::string cert_;
  std::string key_;
  std::unique_ptr<TlsCredentials> credentials_;
  std::shared_ptr<TlsContext> clientContext_;
};

// Both directions carry more than the socket buffers hold, through Send and SendFile; data is
// delivered only after the handshake, OnDataSent follows the last byte, and Close sends
// close_notify, which the peer reports as a close.
TEST_F(TlsSocketTest, CarriesStreamsBothWaysAndClosesWithCloseNotify) {
  TWSocket server(loop_), client(loop_);
  std::string atServer, atClient;
  bool established = false, serverSent = false, clientClosed = false;
  server.OnTlsEstablished = [&](TCustomWSocket&, uint16_t) { established = true; };
  Collect(server, atServer);
  Collect(client, atClient);
  client.OnSessionClosed = [&](TCustomWSocket&, uint16_t error) {
    EXPECT_EQ(error, 0);
    clientClosed = true;
  };
  const std::string upward = Pattern(3 * 1024 * 1024 + 17);
  const std::string path = dir_.Path() + "/file";
  const std::string downward = Pattern(5 * 1024 * 1024 + 3);
  {
    UniqueFd out(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_EQ(::write(out.Get(), downward.data(), downward.size()),
              static_cast<ssize_t>(downward.size()));
  }
  Pair(server, client);
  server.SendStr("hello ");  // queued until the handshake is complete
  client.Send(upward.data(), static_cast<int>(upward.size()));
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  server.SendFile(file.Get(), static_cast<int64_t>(downward.size()));
  file.Reset();
  server.OnDataSent = [&](TCustomWSocket& s, uint16_t) { serverSent = s.AllSent(); };
  ASSERT_TRUE(loop_.RunUntil(
      [&] { return atServer.size() == upward.size() && atClient.size() == downward.size() + 6; },
      20s));
  EXPECT_TRUE(established);
  EXPECT_TRUE(server.TlsEstablished());
  EXPECT_EQ(atServer, upward);
  EXPECT_EQ(atClient, "hello " + downward);
  EXPECT_TRUE(loop_.RunUntil([&] { return serverSent; }, 2s));
  EXPECT_NE(server.Tls()->Description().find("TLSv1."), std::string::npos);
  server.Close();
  EXPECT_TRUE(loop_.RunUntil([&] { return clientClosed; }, 2s));
}

// A second connection that offers the first one's session resumes it and carries its identity;
// one that does not is refused when the identity is required.
TEST_F(TlsSocketTest, RequiredIdentityAcceptsOnlyAResumedSession) {
  TWSocket control(loop_), controlClient(loop_);
  std::string atClient;
  Collect(controlClient, atClient);
  Pair(control, controlClient);
  control.SendStr("x");  // the client reads the session ticket with it
  ASSERT_TRUE(loop_.RunUntil([&] { return atClient == "x"; }, 5s));
  const uint64_t identity = control.Tls()->Identity();
  ASSERT_NE(identity, 0u);

  TWSocket data(loop_), dataClient(loop_);
  std::string got;
  Collect(dataClient, got);
  Pair(data, dataClient, identity, controlClient.Tls());
  data.SendStr("resumed");
  ASSERT_TRUE(loop_.RunUntil([&] { return got == "resumed"; }, 5s));
  EXPECT_TRUE(data.Tls()->Resumed());
  EXPECT_EQ(data.Tls()->Identity(), identity);

  TWSocket stranger(loop_), strangerClient(loop_);
  uint16_t closeError = 0;
  bool closed = false;
  stranger.OnSessionClosed = [&](TCustomWSocket&, uint16_t error) {
    closed = true;
    closeError = error;
  };
  Pair(stranger, strangerClient, identity);
  ASSERT_TRUE(loop_.RunUntil([&] { return closed; }, 5s));
  EXPECT_EQ(closeError, kWsaEconnaborted);
  EXPECT_NE(stranger.TlsFailure().find("not resumed"), std::string::npos);
  EXPECT_EQ(stranger.State(), wsClosed);
}

// A server end that issues no tickets sends nothing after its handshake, so a client that only
// writes and then closes finds nothing unread (which would make its close a reset that takes the
// end of its upload with it). With tickets, the same client has them waiting unread.
TEST_F(TlsSocketTest, WithoutTicketsNothingWaitsUnreadAtAWritingClient) {
  for (const bool tickets : {true, false}) {
    TWSocket server(loop_);
    target_ = &server;
    UniqueFd raw = test::ConnectPlain(port_);
    ASSERT_TRUE(raw);
    ASSERT_TRUE(loop_.RunUntil([&] { return target_ == nullptr; }, 2s));
    server.StartTls(credentials_->Current(), TlsRole::Server, 0, tickets);
    // A blocking OpenSSL client on its own thread: it completes the handshake, reads nothing.
    SSL* ssl = SSL_new(clientContext_->Native());
    ASSERT_NE(ssl, nullptr);
    SSL_set_fd(ssl, raw.Get());
    std::atomic<int> connected{0};
    std::thread client([&] { connected = SSL_connect(ssl) == 1 ? 1 : -1; });
    loop_.RunUntil([&] { return connected != 0 && server.TlsEstablished(); }, 5s);
    client.join();
    ASSERT_EQ(connected, 1);
    Settle(100ms);
    int unread = -1;
    ASSERT_EQ(::ioctl(raw.Get(), FIONREAD, &unread), 0);
    if (tickets) {
      EXPECT_GT(unread, 0) << "TLS 1.3 sends its tickets after the handshake";
    } else {
      EXPECT_EQ(unread, 0);
    }
    SSL_free(ssl);
    server.Close();
  }
}

// Garbage instead of a ClientHello, a peer that stops mid-handshake and one that goes without
// close_notify: each ends that one connection, with its descriptor closed.
TEST_F(TlsSocketTest, BrokenPeersEndOnlyTheirConnection) {
  {
    TWSocket server(loop_);
    bool closed = false;
    uint16_t error = 0;
    server.OnSessionClosed = [&](TCustomWSocket&, uint16_t e) {
      closed = true;
      error = e;
    };
    UniqueFd peer = Adopt(server);
    server.StartTls(credentials_->Current(), TlsRole::Server);
    ASSERT_TRUE(test::WriteAll(peer.Get(), std::string(300, '\x16') + "GET / HTTP/1.0\r\n\r\n"));
    ASSERT_TRUE(loop_.RunUntil([&] { return closed; }, 5s));
    EXPECT_EQ(error, kWsaEconnaborted);
    EXPECT_FALSE(server.TlsFailure().empty());
    EXPECT_LT(server.HSocket(), 0);
  }
  {
    // A ClientHello cut short, then the peer leaves.
    TWSocket server(loop_);
    bool closed = false;
    server.OnSessionClosed = [&](TCustomWSocket&, uint16_t) { closed = true; };
    UniqueFd peer = Adopt(server);
    server.StartTls(credentials_->Current(), TlsRole::Server);
    ASSERT_TRUE(test::WriteAll(peer.Get(), std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc", 9)));
    Settle(50ms);
    EXPECT_FALSE(closed);
    peer.Reset();
    ASSERT_TRUE(loop_.RunUntil([&] { return closed; }, 5s));
    EXPECT_LT(server.HSocket(), 0);
  }
  {
    // Established, data sent, then the client's descriptor closes without close_notify.
    TWSocket server(loop_), client(loop_);
    std::string got;
    bool closed = false;
    uint16_t error = 1;
    Collect(server, got);
    server.OnSessionClosed = [&](TCustomWSocket&, uint16_t e) {
      closed = true;
      error = e;
    };
    Pair(server, client);
    client.SendStr("last words");
    ASSERT_TRUE(loop_.RunUntil([&] { return got == "last words"; }, 5s));
    ::shutdown(client.HSocket(), SHUT_RDWR);
    ASSERT_TRUE(loop_.RunUntil([&] { return closed; }, 5s));
    EXPECT_EQ(error, 0);
    client.Abort();
  }
}

// A socket whose TLS connection failed is plain again for its next connection: the failure text
// stays for its owner until taken, the next connection's bytes are read and sent as they are,
// and StartTls may be called on it again.
TEST_F(TlsSocketTest, ASocketIsPlainAgainAfterItsTlsConnection) {
  TWSocket server(loop_);
  bool closed = false;
  server.OnSessionClosed = [&](TCustomWSocket&, uint16_t) { closed = true; };
  UniqueFd first = Adopt(server);
  server.StartTls(credentials_->Current(), TlsRole::Server);
  EXPECT_TRUE(server.Secure());
  ASSERT_TRUE(test::WriteAll(first.Get(), std::string(300, '\x16')));
  ASSERT_TRUE(loop_.RunUntil([&] { return closed; }, 5s));
  EXPECT_FALSE(server.Secure());
  EXPECT_EQ(server.Tls(), nullptr);
  EXPECT_FALSE(server.TakeTlsFailure().empty());
  EXPECT_TRUE(server.TlsFailure().empty());

  std::string got;
  Collect(server, got);
  UniqueFd second = Adopt(server);
  EXPECT_FALSE(server.Secure());
  ASSERT_TRUE(test::WriteAll(second.Get(), "in clear\r\n"));
  ASSERT_TRUE(loop_.RunUntil([&] { return got == "in clear\r\n"; }, 5s));
  server.SendStr("answer\r\n");
  std::string answer;
  ASSERT_TRUE(loop_.RunUntil(
      [&] {
        answer += test::ReadWaiting(second.Get());
        return answer == "answer\r\n";
      },
      5s));
  EXPECT_EQ(server.BufferedBytes(), 0);
  server.StartTls(credentials_->Current(), TlsRole::Server);
  EXPECT_TRUE(server.Secure());
  server.Close();
}

// Bytes queued before StartTls leave in clear first (the reply that accepts AUTH TLS); the
// handshake follows them on the same connection.
TEST_F(TlsSocketTest, QueuedBytesLeaveInClearBeforeTheHandshake) {
  std::string clear, secure;
  TWSocket upgraded(loop_), peer(loop_);
  target_ = &upgraded;
  peer.SetAddr("127.0.0.1");
  peer.SetPort(std::to_string(port_));
  bool answered = false;
  peer.OnDataAvailable = [&](TCustomWSocket& s, uint16_t) {
    if (!answered) {
      char buf[64];
      const int n = s.Receive(buf, sizeof buf);
      if (n > 0) clear.append(buf, static_cast<size_t>(n));
      if (clear == "234 go\r\n") {
        answered = true;
        s.StartTls(clientContext_, TlsRole::Client);
      }
      return;
    }
    char buf[64];
    const int n = s.Receive(buf, sizeof buf);
    if (n > 0) secure.append(buf, static_cast<size_t>(n));
  };
  peer.Connect();
  ASSERT_TRUE(loop_.RunUntil([&] { return target_ == nullptr; }, 2s));
  upgraded.SendStr("234 go\r\n");
  upgraded.StartTls(credentials_->Current(), TlsRole::Server);
  upgraded.SendStr("secret");
  ASSERT_TRUE(loop_.RunUntil([&] { return secure == "secret"; }, 5s));
  EXPECT_EQ(clear, "234 go\r\n");
}

// The generated key is readable by its owner only; a certificate replaced on disk is taken by
// the next connection, and a broken replacement keeps the one in use.
TEST_F(TlsSocketTest, CredentialsFollowTheFilesOnDisk) {
  struct stat info {};
  ASSERT_EQ(::stat(key_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  const std::shared_ptr<TlsContext> first = credentials_->Current();
  EXPECT_EQ(credentials_->Current(), first);
  EXPECT_EQ(first->Fingerprint().size(), 32u * 3 - 1);

  std::vector<std::string> lines;
  credentials_->OnReload = [&](const std::string& line) { lines.push_back(line); };
  SelfSignedCertificate::Create(cert_, key_, "renewed.example");
  const std::shared_ptr<TlsContext> second = credentials_->Current();
  EXPECT_NE(second, first);
  EXPECT_NE(second->Fingerprint(), first->Fingerprint());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(second->Fingerprint()), std::string::npos);

  {
    UniqueFd broken(::open(cert_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    ASSERT_EQ(::write(broken.Get(), "junk\n", 5), 5);
  }
  EXPECT_EQ(credentials_->Current(), second);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[1].find("not reloaded"), std::string::npos);
  EXPECT_THROW(TlsContext::Server(cert_, key_), TlsError);
}

}  // namespace
}  // namespace orvane
