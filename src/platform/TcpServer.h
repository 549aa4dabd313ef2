// The host's TCP listener: accepts connections on one port and runs a per-connection procedure
// on a thread of each connection's own, with blocking sockets. The server only frames bytes
// (a request is everything up to a NUL byte); what a request means is the business of the
// procedure that the owner installs with SetOnExecute.
//
// Thread safety:
//  - TTcpServer: SetPort, SetOnExecute, Activate, Deactivate and destruction are called by one
//    controlling thread (the main thread in the host), never from inside the per-connection
//    procedure. Active, BoundPort and ConnectionCount may be called from any thread.
//  - TTcpConnection: ReadRequest and Write belong to the connection's own thread, the one that
//    runs the per-connection procedure. Close, Connected and PeerAddress may be called from any
//    thread; Close is how the server ends a connection whose thread is blocked in a read.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>

namespace tcp_detail {
struct TServerState;
}

// A failed read, write or activation. what() is the text meant for the user or the log; for
// failures reported by the system it is the system's own message ("Address already in use"),
// and Code() carries the system error.
class ETcpError : public std::runtime_error {
 public:
  explicit ETcpError(const std::string& message, std::error_code code = {})
      : std::runtime_error(message), FCode(code) {}
  std::error_code Code() const { return FCode; }

 private:
  std::error_code FCode;
};

// One accepted connection as the per-connection procedure sees it. The server owns it and
// alone releases the socket; a handler only borrows it for the length of a call.
class TTcpConnection {
 public:
  // The most bytes a request may carry before its NUL.
  static constexpr std::size_t MaxRequestBytes = 16384;

  // Takes over a stream socket that is already connected, to run the per-connection procedure
  // without a listener (the request fuzz target does, over one end of a socketpair). The
  // connection owns the descriptor from then on and closes it when it is destroyed. Throws
  // ETcpError with the system's message when the descriptor cannot be taken over; it is closed
  // then too.
  static std::unique_ptr<TTcpConnection> Adopt(int descriptor);

  ~TTcpConnection();
  TTcpConnection(const TTcpConnection&) = delete;
  TTcpConnection& operator=(const TTcpConnection&) = delete;

  // Returns the next request: the bytes up to the first NUL, which is consumed and not returned.
  // Bytes after the NUL stay buffered as the start of the next request. Waits without a time
  // limit. Throws ETcpError when more than MaxRequestBytes precede the NUL, when the peer closes
  // first, or when the connection is or becomes closed (Close, from any thread); a failed read
  // leaves the connection closed, since the framing cannot be resumed after it. Buffered bytes
  // of a closed connection are dropped, never returned.
  std::string ReadRequest();

  // Sends every byte of `bytes` before returning; the caller builds the whole frame (response
  // text and its NUL) so that it leaves in one piece. Throws ETcpError with the system's message
  // when the send fails, or when the connection is already closed.
  void Write(const std::string& bytes);

  // Ends the connection: the peer sees it closed and a ReadRequest blocked on another thread
  // returns at once with ETcpError. Idempotent. The descriptor itself is released by the server
  // when the connection's thread ends, so that no other thread can ever act on a reused one.
  void Close();

  // False once Close was called or a read failed.
  bool Connected() const;

  // "address:port" of the peer as it was when the connection was accepted, for diagnostics.
  std::string PeerAddress() const;

 private:
  friend struct tcp_detail::TServerState;
  struct TSocket;

  explicit TTcpConnection(std::unique_ptr<TSocket> socket);
  [[noreturn]] void Fail(const std::string& message, std::error_code code = {});
  // Closes and releases the descriptor; only on the connection's thread, after its last use.
  void Release();

  std::unique_ptr<TSocket> FSocket;
  const int FHandle;  // the socket's descriptor, valid until Release
  const std::string FPeerAddress;
  mutable std::mutex FMutex;
  bool FClosed = false;  // guarded by FMutex
  std::string FPending;  // received bytes not yet returned; the connection's thread only
};

// The listener. Each activation accepts on its own thread and runs OnExecute on one thread per
// connection, again and again while the connection stays open after a call (so a kept
// connection carries any number of requests, one after another). The connection ends, and its
// thread with it, when OnExecute throws (the exception is swallowed: reporting it is the
// procedure's business), when OnExecute closes it, when the peer closes it (the next read
// throws) or when the server is deactivated. Ended threads are joined soon after they end (by
// the accept loop, or by another ending thread once a few have gathered), never one ending
// thread waiting for the next: so many connections may end at once, and a host serving many
// short connections gathers neither threads nor thread objects.
class TTcpServer {
 public:
  // The per-connection procedure. It must read or close on every call: returning with the
  // connection open and nothing done makes the server call it again at once.
  using TExecute = std::function<void(TTcpConnection&)>;

  TTcpServer();
  ~TTcpServer();  // Deactivate() with its default wait
  TTcpServer(const TTcpServer&) = delete;
  TTcpServer& operator=(const TTcpServer&) = delete;

  // Both take effect at the next Activate. Port 0 lets the system choose (see BoundPort). With
  // no procedure set, every connection is closed as soon as it is accepted.
  void SetPort(int port);
  void SetOnExecute(TExecute onExecute);

  // Binds every local IPv4 address on the port, listens with a backlog of 15 and starts
  // accepting; any number of connections at once. SO_REUSEADDR is set: on Linux it only lets the
  // port be bound again while connections of an earlier run linger in TIME_WAIT (a restart right
  // after a stop would otherwise fail for a minute); a port that another socket listens on still
  // fails. Throws ETcpError with the system's message when the port cannot be bound, or when it
  // is outside 0..65535. Does nothing when already active.
  void Activate();

  // Stops listening, closes every open connection at once (a connection waiting for a request
  // ends immediately), then waits for the connections' threads, at most `wait` in all. Returns
  // true when every thread has ended. A thread still busy when the wait is over (inside a long
  // device call, say) is detached; it shares ownership of the connection, the procedure and
  // everything else of the server it touches, so the server may be destroyed at once, and the
  // thread ends by itself when its call returns, finding its connection closed. Objects that the
  // procedure itself refers to are the owner's to keep alive. Idempotent.
  bool Deactivate(std::chrono::milliseconds wait = std::chrono::milliseconds(5000));

  bool Active() const;
  // The port actually bound (useful after SetPort(0)); 0 while inactive.
  int BoundPort() const;
  // Connections whose thread has not ended yet.
  std::size_t ConnectionCount() const;

 private:
  int FPort = 0;
  TExecute FOnExecute;
  mutable std::mutex FMutex;                         // guards FState for the any-thread queries
  std::shared_ptr<tcp_detail::TServerState> FState;  // set while active
};
