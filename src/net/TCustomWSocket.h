#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "net/EventLoop.h"
#include "net/NameResolver.h"
#include "net/SocketAddress.h"
#include "net/SocketTransport.h"
#include "net/SocketTypes.h"
#include "platform/UniqueFd.h"

namespace orvane {

class TlsContext;
class TlsSession;
enum class TlsRole;

// The event-driven TCP/UDP socket. All system calls are made on a non-blocking handle; the
// loop's readiness reports are turned into events with the Windows Sockets event bits and error
// numbers, one at a time, on the loop's thread.
//
// Lifetime: an object must outlive every handler call it makes; it may be closed (Close, Abort)
// from inside its own handlers, but must not be destroyed there — owners free sockets from a
// task posted to the loop. Reports still queued for a closed handle are dropped.
//
// Failures follow one rule: the code is stored in LastError and either OnError is called (if
// assigned) or ESocketException is thrown with "Error N in function NAME\r\nTEXT".
//
// Handlers are called through a copy, so a handler may assign a new handler to its own event.
// An exception that escapes a data handler ends that delivery and is reported through
// EventLoop::OnUnhandledException; the rest of the report (a close among it) still runs.
//
// The class is kept to the socket itself: TCustomWSocket.cpp creates, addresses, connects and
// closes; TCustomWSocketReadiness.cpp turns readiness into events and drives sending and
// receiving. How the bytes travel over the handle is its transport's (net/SocketTransport): a
// PlainTransport, or the TlsTransport that StartTls puts in its place; the socket asks the
// transport to send, receive and run a handshake, and acts on what it answers. What needs no
// handle lives beside it: net/SocketAddress (parsing the Addr, Port and Proto texts),
// net/NameResolver (resolver calls, off the loop thread), net/ReserveFd (the spare descriptor for
// a full process) and platform/WinsockErrorText (the error texts).
class TCustomWSocket : private SocketTransport::Link {
 public:
  using NotifyEventHook = std::function<void(TCustomWSocket& sender)>;
  using SocketEventHook = std::function<void(TCustomWSocket& sender, uint16_t error)>;
  using TChangeState =
      std::function<void(TCustomWSocket& sender, TSocketState oldState, TSocketState newState)>;

  explicit TCustomWSocket(EventLoop& loop);
  virtual ~TCustomWSocket();
  TCustomWSocket(const TCustomWSocket&) = delete;
  TCustomWSocket& operator=(const TCustomWSocket&) = delete;

  // Events (see the trigger operations below for when each fires).
  SocketEventHook OnDataAvailable;
  SocketEventHook OnDataSent;
  SocketEventHook OnSessionClosed;
  SocketEventHook OnSessionAvailable;
  SocketEventHook OnSessionConnected;
  TChangeState OnChangeState;
  SocketEventHook OnDnsLookupDone;
  NotifyEventHook OnError;

  // Component name, for logs and diagnostics.
  std::string Name;

  // Properties.
  const std::string& Addr() const { return addrStr_; }
  void SetAddr(const std::string& value);
  const std::string& Port() const { return portStr_; }
  void SetPort(const std::string& value);
  const std::string& Proto() const { return protoStr_; }
  void SetProto(const std::string& value);
  const std::string& DnsResult() const { return dnsResult_; }
  const std::vector<std::string>& DnsResultList() const { return dnsResultList_; }
  TSocketState State() const { return state_; }
  int32_t ReadCount() const { return readCount_; }
  int32_t LastError() const { return lastError_; }
  int32_t FlushTimeout() const { return flushTimeout_; }
  void SetFlushTimeout(int32_t seconds) { flushTimeout_ = seconds; }
  TSocketSendFlags SendFlags() const;
  void SetSendFlags(int flags);
  TSocketLingerOnOff LingerOnOff() const { return lingerOnOff_; }
  void SetLingerOnOff(TSocketLingerOnOff value) { lingerOnOff_ = value; }
  int32_t LingerTimeout() const { return lingerTimeout_; }
  void SetLingerTimeout(int32_t seconds) { lingerTimeout_ = seconds; }
  bool AllSent() const { return allSent_; }
  // Bytes queued by Send and SendFile that the system has not taken yet.
  int64_t BufferedBytes() const;
  int HSocket() const { return handle_.Get(); }
  // Identifies the current handle for the life of the loop (0 without one): unlike the
  // descriptor number, it is never given to a later connection.
  EventLoop::Token HandleToken() const { return handleToken_; }
  EventLoop& Loop() const { return loop_; }

  // Operations.
  virtual int Listen();
  virtual int Accept();
  virtual void Dup(int newHandle);
  virtual void Connect();
  virtual int Send(const void* data, int length);
  virtual int SendStr(const std::string& text);
  // With this on, what Send queues inside a round of the loop is written at the round's end, so
  // the answers one round gives a connection leave in one segment. Outside a round, and at a
  // Close, queued bytes are written at once as without it.
  void SetGatherSends(bool on) { gatherSends_ = on; }
  // Writes now what Send has gathered in this round, ahead of the round's end: for bytes that
  // must reach the client before something else happens (a transfer's "150" before its data).
  void WriteGatheredNow() {
    if (flushFor_ != 0) FlushQueued();
  }
  // Queues `length` bytes of the open file `fd`, from its current offset, behind the bytes
  // already queued; the system copies them to the connection (sendfile) without passing them
  // through this process, and advances the file's offset as a read would. OnDataSent follows
  // once the queue and these bytes have all left, as for Send. The descriptor is duplicated, so
  // the caller may close its own at any time. Returns length, or -1 (the error rule).
  int64_t SendFile(int fd, int64_t length);
  // The same from a descriptor the socket shares instead of copying: it holds it until the
  // bytes have left. A caller that sends a file in many chunks makes its copy once.
  int64_t SendFile(std::shared_ptr<const UniqueFd> file, int64_t length);
  // The bytes of the last SendFile that were never sent because the file ended before them (it
  // was shortened meanwhile); 0 after a complete one.
  int64_t FileShortfall() const { return out_.fileShortfall; }
  virtual int Receive(void* buffer, int size);
  virtual int ReceiveFrom(void* buffer, int size, SocketAddress& from);
  int RcvdCount();
  virtual void Close();
  virtual void Abort();
  void Shutdown(int how);
  void Pause();
  void Resume();
  // The peer's address as text (SocketAddress::Text: an IPv4 client of a dual-stack listener is
  // shown dotted); "error" when not connected.
  virtual std::string GetPeerAddr();
  int GetPeerName(SocketAddress& name);
  std::string GetXPort();
  int GetSockName(SocketAddress& name);
  virtual void DnsLookup(const std::string& hostName);
  virtual void ReverseDnsLookup(const std::string& hostAddr);
  virtual void CancelDnsLookup();

  // Delivers the data already waiting in the system to OnDataAvailable now, as a close report
  // would; for an owner about to close a connection whose last bytes must not be lost.
  void DeliverWaitingData();

  // TLS. StartTls switches the connection to TLS (a TlsTransport): at once when connected (bytes
  // already queued still leave in clear first, such as the reply that accepted AUTH TLS), or as
  // soon as a Connect under way completes. The handshake runs from the loop, also while the socket
  // is paused; until it is complete nothing is received, sends are queued, and OnDataSent waits.
  // Afterwards Send, SendFile, Receive and the events keep their meaning, over TLS. A failed
  // handshake closes the connection: OnSessionClosed with kWsaEconnaborted, the reason in
  // TlsFailure(). requiredIdentity, when not 0, is a session identity (TlsSession::Identity) the
  // peer must resume; a handshake that does not fails. Close sends close_notify; a peer's
  // close_notify is reported as a close; a peer that just goes is taken as a normal end.
  // A server connection with issueTickets false sends no session tickets: see
  // TlsSession::IssueNoTickets. A client offers `resume` (another connection's session, e.g. a
  // control connection's) for resumption; the socket keeps a reference until the handshake
  // begins. Throws TlsError when OpenSSL cannot make the connection object.
  void StartTls(std::shared_ptr<TlsContext> context, TlsRole role, uint64_t requiredIdentity = 0,
                bool issueTickets = true, const TlsSession* resume = nullptr);
  // TLS was started on this connection (the handshake may still be under way).
  bool Secure() const { return transport_->Secure(); }
  bool TlsEstablished() const;
  // The connection's TLS session, or null.
  const TlsSession* Tls() const { return transport_->Session(); }
  const std::string& TlsFailure() const { return transportFailure_; }
  // The failure text, cleared: for an owner that reports each failure once.
  std::string TakeTlsFailure() { return std::exchange(transportFailure_, std::string()); }
  // Called once the handshake is complete, before any data is delivered.
  SocketEventHook OnTlsEstablished;

  // Posts a readiness report with these event bits to this socket's current handle, as the
  // system would. Send uses it for its write report; tests use it to inject reports.
  void PostReadiness(uint16_t eventBits, uint16_t error);

  // Process-wide helpers.
  static std::string LocalMachineName();
  static const std::vector<std::string>& LocalIPList();
  // The text for a Windows Sockets error number.
  static std::string WSocketErrorDesc(int code);

 protected:
  // Event triggers: derived classes may react before or instead of the handler.
  virtual bool TriggerDataAvailable(uint16_t error);
  virtual void TriggerSessionAvailable(uint16_t error);
  virtual void TriggerSessionConnected(uint16_t error);
  virtual void TriggerSessionClosed(uint16_t error);
  virtual void TriggerDataSent(uint16_t error);
  virtual void TriggerChangeState(TSocketState oldState, TSocketState newState);
  virtual void TriggerDnsLookupDone(uint16_t error);
  virtual void TriggerError();

  void ChangeState(TSocketState newState);
  // The error rule for a failed system call: the code and the name of the operation.
  void SocketError(int code, const std::string& operation);
  // The error rule for usage errors that carry no system code.
  void RaiseException(const std::string& message);

  bool Destroying() const { return destroying_; }

 private:
  // Counts the handler calls under way on this object, for the destructor's check.
  class HandlerScope {
   public:
    explicit HandlerScope(TCustomWSocket& socket) : depth_(socket.handlerDepth_) { ++depth_; }
    ~HandlerScope() { --depth_; }
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;

   private:
    int& depth_;
  };
  template <typename Handler, typename... Args>
  void CallHandler(const Handler& handler, Args... args);

  void Reset();
  void StartLookup(const std::string& name, NameResolver::Resolver resolve);
  void HandleReady(uint32_t epollEvents);
  void HandleReadiness(uint16_t eventBits, uint16_t error);
  // budget: the most handler calls for one read report (0 = until no data waits).
  void ReceiveLoop(uint16_t error, int budget);
  static constexpr int kReadBudget = 64;
  void TryToSend();
  // Writes what Send queued (the end of a gathered round).
  void FlushQueued();
  // At a close: writes what the queue holds as far as the system takes it now, without reports
  // (the connection is ending, so a failure changes nothing).
  void DrainQuietly();
  void DropFileBytes();
  // The transport: the connection's start once it is up, a step of its handshake, and the end
  // of a connection the transport failed (OnSessionClosed with kWsaEconnaborted).
  void BeginTransport();
  void StepHandshake();
  void FailTransport(std::string reason);
  int RawRcvdCount(int& count);
  // SocketTransport::Link: what the transport may ask of the socket.
  SocketTransport::Link& TransportLink() { return *this; }
  int Fd() const override { return handle_.Get(); }
  int WriteRaw(const char* data, int length) override;
  int Unread() override;
  void InterestChanged() override { UpdateInterest(); }
  void Post(uint16_t eventBits, uint16_t error) override { PostReadiness(eventBits, error); }
  void SetFailure(std::string reason) override { transportFailure_ = std::move(reason); }
  void ResolveAddr();
  void ApplyLinger();
  void SetBoolOption(int level, int option, const char* operation);
  void AdoptHandle(int fd, uint16_t mask);
  void CloseHandle();
  void UpdateInterest();
  void FinishClose(bool shutdownFirst);

  EventLoop& loop_;
  EventLoop::Token objectToken_;
  EventLoop::Token handleToken_ = 0;
  UniqueFd handle_;
  int lastAcceptHandle_ = -1;

  std::string addrStr_;
  std::string portStr_;
  std::string protoStr_ = "tcp";
  // The address to bind or connect to (IPv4 unless Addr is an IPv6 address, or a name that has
  // only IPv6 ones); after Accept, the accepted peer's.
  SocketAddress sin_ = SocketAddress::Any(AF_INET);
  int sockType_ = 1;  // 1 stream, 2 datagram (the system's SOCK_* values)
  int protocol_ = 6;
  bool portAssigned_ = false;
  bool addrAssigned_ = false;
  bool addrResolved_ = false;
  bool protoAssigned_ = true;
  uint16_t portNum_ = 0;
  uint16_t localPortNum_ = 0;

  TSocketState state_ = wsClosed;
  int32_t readCount_ = 0;
  int32_t lastError_ = 0;
  int32_t flushTimeout_ = 60;
  int sendFlags_ = 0;
  TSocketLingerOnOff lingerOnOff_ = wsLingerOn;
  int32_t lingerTimeout_ = 0;

  SocketTransport::Outgoing out_;  // the queued chunks and the file range behind them
  // How the bytes travel (never null): plain, or TLS from StartTls on; plain again whenever
  // the handle goes.
  std::unique_ptr<SocketTransport> transport_;
  // Why the transport ended or refused the connection, kept past the close for the owner.
  std::string transportFailure_;
  bool allSent_ = true;
  bool paused_ = false;
  bool closeReported_ = false;
  bool destroying_ = false;
  int handlerDepth_ = 0;  // handler calls under way (HandlerScope)

  // Which readiness the loop is asked for: a registered mask, and the Windows-style re-enabling
  // of read (after a Receive), accept (after an Accept) and write (after "would block").
  uint16_t mask_ = 0;
  bool readArmed_ = true;
  bool acceptArmed_ = true;
  bool writeArmed_ = false;
  bool dataSentDue_ = true;  // a Send (or the connection's start) awaits its OnDataSent
  bool gatherSends_ = false;
  EventLoop::Token flushFor_ = 0;  // the handle whose queued bytes wait for the round's end
  uint64_t bytesReceived_ = 0;     // progress marker for the receive loop

  std::string dnsResult_;
  std::vector<std::string> dnsResultList_;
  NameResolver lookup_{loop_, objectToken_};
};

}  // namespace orvane
