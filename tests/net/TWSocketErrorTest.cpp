#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "NetTestSupport.h"
#include "net/ESocketException.h"
#include "net/NameResolver.h"
#include "net/TSockets.h"
#include "net/TWSocket.h"

namespace orvane {
namespace {

using test::LoopbackTest;
using namespace std::chrono_literals;

using TWSocketErrorTest = LoopbackTest;

std::string ExceptionText(const std::function<void()>& action) {
  try {
    action();
  } catch (const ESocketException& e) {
    return e.what();
  }
  return "(no exception)";
}

TEST_F(TWSocketErrorTest, ListenFailuresAndTheChosenPort) {
  TWSocket second(loop_);
  second.SetAddr("127.0.0.1");
  second.SetPort(std::to_string(port_));
  EXPECT_EQ(ExceptionText([&] { second.Listen(); }),
            "Error 10048 in function Bind\r\nAddress already in use");
  EXPECT_EQ(second.LastError(), 10048);

  int errors = 0;
  TWSocket third(loop_);
  third.OnError = [&](TCustomWSocket& s) {
    EXPECT_EQ(s.LastError(), 10048);
    ++errors;
  };
  third.SetAddr("127.0.0.1");
  third.SetPort(std::to_string(port_));
  EXPECT_EQ(third.Listen(), -1);
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(third.State(), wsClosed);
  EXPECT_EQ(third.HSocket(), -1);

  // The port is checked first, before the missing address.
  TWSocket unset(loop_);
  EXPECT_EQ(ExceptionText([&] { unset.Listen(); }),
            "Error 10022 in function listen: port not assigned\r\nInvalid argument");
  EXPECT_EQ(unset.LastError(), 10022);

  // Port "0" lets the system choose; the port cannot change while listening, and the
  // listener keeps working.
  EXPECT_EQ(listener_.GetXPort(), std::to_string(port_));
  EXPECT_EQ(ExceptionText([&] { listener_.SetPort("2121"); }), "Cannot change Port if not closed");
  TWSocket conn(loop_);
  UniqueFd peer = Adopt(conn);
  EXPECT_EQ(conn.State(), wsConnected);

  // A port number past 65535 is refused rather than wrapped onto another port; an unknown
  // service name likewise.
  TWSocket far(loop_);
  EXPECT_EQ(ExceptionText([&] { far.SetPort("70000"); }), "SetPort: Cannot convert port '70000'");
  EXPECT_EQ(ExceptionText([&] { far.SetPort("no-such-service"); }),
            "SetPort: Cannot convert port 'no-such-service'");
  EXPECT_NO_THROW(far.SetPort("ftp-data"));
}

TEST(ErrorTextTest, SocketAndComponentTables) {
  EXPECT_EQ(TCustomWSocket::WSocketErrorDesc(0), "No Error");
  EXPECT_EQ(TCustomWSocket::WSocketErrorDesc(10049), "Address not available");
  EXPECT_EQ(TCustomWSocket::WSocketErrorDesc(1), "Not a WinSock error");
  EXPECT_EQ(TCustomWSocket::WSocketErrorDesc(-5), "Not a WinSock error");

  EXPECT_EQ(TSockets::ErrorMessage(0, "Constructor (WSAStartup)"),
            "Error 0 in function Constructor (WSAStartup)\r\nNot a WinSock error");
  EXPECT_EQ(TSockets::ErrorMessage(10049, "x"),
            "Error 10049 in function x\r\nCan't assign requested address");
  EXPECT_EQ(TSockets::ErrorMessage(10053, "x"),
            "Error 10053 in function x\r\nSoftware caused connection abort");
}

// %LOCALIP: the first address the machine's own name resolves to, the same list the statistics
// window shows, and "0.0.0.0" when there is none.
TEST(LocalAddressTest, FirstOfTheLocalAddressList) {
  const std::vector<std::string> all = NameResolver::LocalAddresses();
  EXPECT_EQ(TSockets().LocalIPAddr(), all.empty() ? "0.0.0.0" : all.front());
  EXPECT_EQ(TCustomWSocket::LocalIPList(), all);
  EXPECT_FALSE(NameResolver::LocalMachineName().empty());
}

TEST(DnsLookupTest, DottedAtOnceNamesThroughTheLoopAndCancel) {
  EventLoop loop;
  int done = 0;
  uint16_t lastError = 1;
  TWSocket s(loop);
  s.OnDnsLookupDone = [&](TCustomWSocket&, uint16_t error) {
    ++done;
    lastError = error;
  };
  s.DnsLookup("127.0.0.1");
  EXPECT_EQ(done, 1);
  EXPECT_EQ(lastError, 0);
  EXPECT_EQ(s.DnsResult(), "127.0.0.1");

  s.DnsLookup("localhost");
  EXPECT_EQ(done, 1);
  EXPECT_EQ(s.DnsResult(), "");
  ASSERT_TRUE(loop.RunUntil([&] { return done == 2; }, 5s));
  EXPECT_EQ(lastError, 0);
  EXPECT_EQ(s.DnsResult(), "127.0.0.1");

  s.DnsLookup("localhost");
  s.CancelDnsLookup();
  EXPECT_EQ(done, 3);
  EXPECT_EQ(lastError, 10004);
  loop.RunUntil([] { return false; }, 200ms);  // the late answer is ignored
  EXPECT_EQ(done, 3);

  // Destroyed with a lookup under way: the answer finds nobody.
  auto doomed = std::make_unique<TWSocket>(loop);
  doomed->OnDnsLookupDone = [&](TCustomWSocket&, uint16_t) { ++done; };
  doomed->DnsLookup("localhost");
  doomed.reset();
  loop.RunUntil([] { return false; }, 200ms);
  EXPECT_EQ(done, 3);
}

}  // namespace
}  // namespace orvane
