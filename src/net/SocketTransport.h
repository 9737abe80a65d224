#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/SendQueue.h"
#include "platform/UniqueFd.h"

namespace orvane {

class TlsSession;

// How a connection's bytes travel over its descriptor: what TCustomWSocket asks of it to send,
// receive and wait for readiness. A socket starts with a PlainTransport (the bytes as they are,
// files by sendfile); StartTls gives it a TlsTransport (records, a handshake first). The socket
// keeps its events, its queue and its handle; the transport keeps the state its way of
// carrying bytes needs, and is replaced by a plain one whenever the handle goes.
//
// A transport never closes its socket nor calls a handler: what it cannot do itself it returns
// (SendResult, HandshakeStep), and the socket acts on it once the transport call has returned.
class SocketTransport {
 public:
  // What a transport may ask of its socket; none of these closes it or calls a handler.
  class Link {
   public:
    virtual int Fd() const = 0;
    // Writes bytes as they are (send or sendto, never raising SIGPIPE): the count, or -1 with
    // errno.
    virtual int WriteRaw(const char* data, int length) = 0;
    // The bytes the system holds unread, or -1 (the socket's LastError says why).
    virtual int Unread() = 0;
    // The transport's own readiness needs changed (HandshakeInterest, ExtraInterest).
    virtual void InterestChanged() = 0;
    // Posts a readiness report to the socket's current handle, as the system would.
    virtual void Post(uint16_t eventBits, uint16_t error) = 0;
    // Why the transport ended or refused the connection, kept for the owner past the close.
    virtual void SetFailure(std::string reason) = 0;

   protected:
    ~Link() = default;
  };

  // What a socket has to send: its queue of chunks, and behind it one range of an open file.
  struct Outgoing {
    SendQueue queue;
    std::shared_ptr<const UniqueFd> file;  // the file SendFile queued, sent behind the queue
    int64_t fileLeft = 0;                  // its bytes still to send
    int64_t fileShortfall = 0;             // bytes never sent because the file ended before them
    void DropFile() {
      file.reset();
      fileLeft = 0;
    }
  };

  // How a Send ended: all sent; waiting for write readiness; stopped without wanting any
  // (the transport waits for something of its own); the connection is gone (error: why);
  // a failure for the socket's error rule (error: its code).
  enum class Progress { AllSent, WantWrite, Stalled, Reset, Failed };
  struct SendResult {
    Progress progress;
    int error = 0;
  };

  enum class HandshakeStep { Waiting, Done, Failed };

  explicit SocketTransport(Link& link) : link_(link) {}
  virtual ~SocketTransport() = default;
  SocketTransport(const SocketTransport&) = delete;
  SocketTransport& operator=(const SocketTransport&) = delete;

  // Sending. Send writes what `out` holds as far as the system takes it now.
  virtual SendResult Send(Outgoing& out) = 0;
  // Bytes taken from the queue or the file that have not left yet.
  virtual int64_t Staged() const { return 0; }
  // Whether what Send queues in a round may wait for the round's end.
  virtual bool GathersSends() const { return true; }
  // At a close: writes what the queue holds as far as the system takes it now, quietly.
  virtual void DrainQuietly(SendQueue& queue) = 0;
  // At a graceful close, before the descriptor's shutdown (TLS: close_notify).
  virtual void Shutdown() {}
  // At a failure: forgets the connection's state without a word to the peer.
  virtual void Abandon() {}

  // Receiving. Read returns the bytes read (0: the stream ended), or -1 with a Windows Sockets
  // error number.
  virtual int Read(void* buffer, int size, int& error) = 0;
  // The bytes waiting to be read (0 when none, -1 when the system cannot say).
  virtual int Waiting() = 0;
  // Called before each call of the socket's data handler.
  virtual void BeginDelivery() {}
  // The reads since BeginDelivery emptied what waits: no need to ask Waiting.
  virtual bool Drained() const { return false; }
  // A read report ended before everything was delivered: bytes that no readiness announces
  // are asked for again.
  virtual void AnnounceHeld() {}

  // Readiness. While Handshaking, the socket runs Handshake from read and write readiness,
  // also when paused, with HandshakeInterest as its readiness; ExtraInterest is added to an
  // established connection's; Ready turns a report into the socket's event bits.
  virtual bool Handshaking() const { return false; }
  virtual uint32_t HandshakeInterest() const { return 0; }
  virtual uint32_t ExtraInterest() const { return 0; }
  virtual uint16_t Ready(uint16_t eventBits) { return eventBits; }
  // The connection is up (at once, or once a Connect completes): `clearBytes` of the queue
  // were sent before the transport started and leave as they are. May throw.
  virtual void Begin(int64_t clearBytes) { (void)clearBytes; }
  // One step of the handshake; on Failed, `failure` says why.
  virtual HandshakeStep Handshake(std::string& failure) {
    (void)failure;
    return HandshakeStep::Done;
  }
  // The socket was resumed: reports that a pause dropped are posted again.
  virtual void Resumed() {}

  // The transport secures the connection (TLS started, its handshake perhaps under way).
  virtual bool Secure() const { return false; }
  virtual const TlsSession* Session() const { return nullptr; }

 protected:
  // Writes queued chunks as they are, at most `limit` bytes (which it lowers): AllSent once the
  // limit is reached or the queue is empty.
  SendResult WriteChunks(SendQueue& queue, int64_t& limit);
  // A peer that has gone raises SIGPIPE on a write that cannot say MSG_NOSIGNAL (sendfile,
  // OpenSSL's write), whose default action ends the process. It is ignored (the call then
  // fails with EPIPE, reported like a reset) unless the program has installed a handler of
  // its own.
  static void IgnoreBrokenPipe();

  Link& link_;
};

}  // namespace orvane
