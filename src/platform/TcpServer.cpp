#include "platform/TcpServer.h"

#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

// Waking a blocked call. On Linux close() does not wake a thread blocked in recv() or accept()
// on the same descriptor, and would let the number be reused under it; shutdown() wakes it (recv
// returns end of file, accept fails) while the descriptor stays ours. So another thread only ever
// shuts a socket down, and the thread that uses the socket closes it after its last call.

struct TTcpConnection::TSocket {
  // Declared first so that it outlives the socket, which is registered with it.
  std::shared_ptr<asio::io_context> Io;
  asio::ip::tcp::socket Socket;

  explicit TSocket(std::shared_ptr<asio::io_context> io) : Io(std::move(io)), Socket(*Io) {}
};

namespace {

std::string EndpointText(const asio::ip::tcp::socket& socket) {
  asio::error_code ec;
  const auto endpoint = socket.remote_endpoint(ec);
  if (ec) return std::string();
  return endpoint.address().to_string() + ":" + std::to_string(endpoint.port());
}

}  // namespace

TTcpConnection::TTcpConnection(std::unique_ptr<TSocket> socket)
    : FSocket(std::move(socket)),
      FHandle(FSocket->Socket.native_handle()),
      FPeerAddress(EndpointText(FSocket->Socket)) {}

TTcpConnection::~TTcpConnection() = default;

std::unique_ptr<TTcpConnection> TTcpConnection::Adopt(int descriptor) {
  auto socket = std::make_unique<TSocket>(std::make_shared<asio::io_context>());
  asio::error_code ec;
  socket->Socket.assign(asio::ip::tcp::v4(), descriptor, ec);
  if (ec) {
    ::close(descriptor);
    throw ETcpError(ec.message(), ec);
  }
  return std::unique_ptr<TTcpConnection>(new TTcpConnection(std::move(socket)));
}

std::string TTcpConnection::ReadRequest() {
  std::size_t scanned = 0;  // FPending holds no NUL before this
  for (;;) {
    if (!Connected()) Fail("Connection closed");
    const std::size_t nul = FPending.find('\0', scanned);
    if (nul != std::string::npos) {
      if (nul > MaxRequestBytes) break;
      std::string request = FPending.substr(0, nul);
      FPending.erase(0, nul + 1);
      return request;
    }
    if (FPending.size() > MaxRequestBytes) break;
    scanned = FPending.size();

    char chunk[4096];
    asio::error_code ec;
    const std::size_t n = FSocket->Socket.read_some(asio::buffer(chunk), ec);
    if (ec == asio::error::interrupted) continue;
    if (ec) {
      if (!Connected()) Fail("Connection closed");
      if (ec == asio::error::eof) Fail("Connection closed by peer", ec);
      Fail(ec.message(), ec);
    }
    FPending.append(chunk, n);
  }
  Fail("Request longer than " + std::to_string(MaxRequestBytes) + " bytes");
}

void TTcpConnection::Write(const std::string& bytes) {
  if (!Connected()) throw ETcpError("Connection closed");
  std::size_t written = 0;
  while (written < bytes.size()) {
    asio::error_code ec;
    written += FSocket->Socket.write_some(
        asio::buffer(bytes.data() + written, bytes.size() - written), ec);
    if (ec == asio::error::interrupted) continue;
    if (ec) throw ETcpError(ec.message(), ec);
  }
}

void TTcpConnection::Close() {
  std::lock_guard<std::mutex> lock(FMutex);
  if (FClosed) return;
  FClosed = true;
  ::shutdown(FHandle, SHUT_RDWR);
}

bool TTcpConnection::Connected() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return !FClosed;
}

std::string TTcpConnection::PeerAddress() const {
  return FPeerAddress;
}

void TTcpConnection::Fail(const std::string& message, std::error_code code) {
  Close();
  throw ETcpError(message, code);
}

void TTcpConnection::Release() {
  // After Close no other thread touches FHandle, so closing needs no lock.
  Close();
  asio::error_code ignored;
  FSocket->Socket.close(ignored);
}

namespace tcp_detail {

// Everything one activation owns. Shared by the server and every thread the activation
// started, so that a thread detached by Deactivate can outlive the TTcpServer safely.
struct TServerState {
  struct TEntry {
    std::shared_ptr<TTcpConnection> Connection;
    std::thread Thread;
  };

  explicit TServerState(TTcpServer::TExecute onExecute)
      : OnExecute(std::move(onExecute)), Io(std::make_shared<asio::io_context>()), Acceptor(*Io) {}

  void Listen(int port);
  static void AcceptLoop(std::shared_ptr<TServerState> self);
  static void StartConnection(const std::shared_ptr<TServerState>& self,
                              std::unique_ptr<TTcpConnection::TSocket> socket);
  static void RunConnection(std::shared_ptr<TServerState> self,
                            std::shared_ptr<TTcpConnection> connection);
  void ConnectionEnded(const TTcpConnection* connection);
  void StopAccepting();
  bool CloseAndAwait(std::chrono::steady_clock::time_point deadline);
  std::size_t Count();

  const TTcpServer::TExecute OnExecute;
  const std::shared_ptr<asio::io_context> Io;
  asio::ip::tcp::acceptor Acceptor;
  int ListenHandle = -1;
  int BoundPort = 0;
  std::thread AcceptThread;  // joined by StopAccepting

  std::mutex Mutex;
  std::condition_variable Changed;  // Stopping set, or a connection ended
  bool Stopping = false;
  std::unordered_map<const TTcpConnection*, TEntry> Connections;
  // Threads past their last use of the state, not joined yet. The accept loop joins them
  // before it starts the next connection, and CloseAndAwait joins the rest; ending threads never
  // wait for one another, so that many connections can end at once.
  std::vector<std::thread> Ended;
};

void TServerState::Listen(int port) {
  const asio::ip::tcp::endpoint endpoint(asio::ip::address_v4::any(),
                                         static_cast<unsigned short>(port));
  asio::error_code ec;
  Acceptor.open(endpoint.protocol(), ec);
  if (!ec) Acceptor.set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) Acceptor.bind(endpoint, ec);
  if (!ec) Acceptor.listen(15, ec);
  if (!ec) BoundPort = Acceptor.local_endpoint(ec).port();
  ListenHandle = Acceptor.native_handle();
  if (ec) throw ETcpError(ec.message(), ec);
}

void TServerState::AcceptLoop(std::shared_ptr<TServerState> self) {
  for (;;) {
    auto socket = std::make_unique<TTcpConnection::TSocket>(self->Io);
    asio::error_code ec;
    self->Acceptor.accept(socket->Socket, ec);
    std::unique_lock<std::mutex> lock(self->Mutex);
    if (self->Stopping) return;
    if (ec) {
      // Out of descriptors or memory, say: the peer stays queued, and retrying at once would
      // only spin. Wake early when the server stops.
      if (ec != asio::error::interrupted && ec != asio::error::connection_aborted) {
        self->Changed.wait_for(lock, std::chrono::milliseconds(100),
                               [&] { return self->Stopping; });
      }
      continue;
    }
    std::vector<std::thread> ended;
    ended.swap(self->Ended);
    lock.unlock();
    for (std::thread& thread : ended) thread.join();
    StartConnection(self, std::move(socket));
  }
}

void TServerState::StartConnection(const std::shared_ptr<TServerState>& self,
                                   std::unique_ptr<TTcpConnection::TSocket> socket) {
  std::shared_ptr<TTcpConnection> connection(new TTcpConnection(std::move(socket)));
  // The entry is complete before the thread can reach ConnectionEnded, which takes the lock.
  std::lock_guard<std::mutex> lock(self->Mutex);
  TEntry& entry = self->Connections[connection.get()];
  entry.Connection = connection;
  try {
    entry.Thread = std::thread(&TServerState::RunConnection, self, connection);
  } catch (const std::system_error&) {
    // No thread to be had: drop this connection and keep listening.
    self->Connections.erase(connection.get());
  }
}

void TServerState::RunConnection(std::shared_ptr<TServerState> self,
                                 std::shared_ptr<TTcpConnection> connection) {
  try {
    if (self->OnExecute) {
      while (connection->Connected()) self->OnExecute(*connection);
    }
  } catch (...) {
    // Whatever ends the procedure ends the connection; reporting it is the procedure's job.
  }
  connection->Release();
  self->ConnectionEnded(connection.get());
}

void TServerState::ConnectionEnded(const TTcpConnection* connection) {
  // With no new connection coming, the ended ones are joined here, a batch at a time: each of
  // them has left this block and is at most joining a batch of its own.
  constexpr std::size_t kBatch = 64;
  std::vector<std::thread> batch;
  {
    std::lock_guard<std::mutex> lock(Mutex);
    const auto it = Connections.find(connection);
    if (it == Connections.end()) return;  // detached by CloseAndAwait: nobody joins us
    if (Ended.size() >= kBatch) batch.swap(Ended);
    Ended.push_back(std::move(it->second.Thread));
    Connections.erase(it);
    Changed.notify_all();
  }
  for (std::thread& thread : batch) thread.join();
}

void TServerState::StopAccepting() {
  {
    std::lock_guard<std::mutex> lock(Mutex);
    Stopping = true;
    Changed.notify_all();
  }
  ::shutdown(ListenHandle, SHUT_RDWR);
  if (AcceptThread.joinable()) AcceptThread.join();
  asio::error_code ignored;
  Acceptor.close(ignored);
}

bool TServerState::CloseAndAwait(std::chrono::steady_clock::time_point deadline) {
  std::vector<std::thread> ended;
  bool allEnded;
  {
    std::unique_lock<std::mutex> lock(Mutex);
    for (auto& item : Connections) item.second.Connection->Close();
    allEnded = Changed.wait_until(lock, deadline, [&] { return Connections.empty(); });
    // The stragglers hold their own references to this state and their connection.
    for (auto& item : Connections) item.second.Thread.detach();
    Connections.clear();
    ended.swap(Ended);
  }
  // Each of these has left the block of ConnectionEnded above: they end at once.
  for (std::thread& thread : ended) thread.join();
  return allEnded;
}

std::size_t TServerState::Count() {
  std::lock_guard<std::mutex> lock(Mutex);
  return Connections.size();
}

}  // namespace tcp_detail

TTcpServer::TTcpServer() = default;

TTcpServer::~TTcpServer() {
  Deactivate();
}

void TTcpServer::SetPort(int port) {
  FPort = port;
}

void TTcpServer::SetOnExecute(TExecute onExecute) {
  FOnExecute = std::move(onExecute);
}

void TTcpServer::Activate() {
  if (Active()) return;
  if (FPort < 0 || FPort > 65535) {
    throw ETcpError("Port " + std::to_string(FPort) + " is outside 0..65535");
  }
  auto state = std::make_shared<tcp_detail::TServerState>(FOnExecute);
  state->Listen(FPort);
  try {
    state->AcceptThread = std::thread(&tcp_detail::TServerState::AcceptLoop, state);
  } catch (const std::system_error& e) {
    throw ETcpError(e.code().message(), e.code());
  }
  std::lock_guard<std::mutex> lock(FMutex);
  FState = std::move(state);
}

bool TTcpServer::Deactivate(std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  std::shared_ptr<tcp_detail::TServerState> state;
  {
    std::lock_guard<std::mutex> lock(FMutex);
    state = std::move(FState);
  }
  if (!state) return true;
  state->StopAccepting();
  return state->CloseAndAwait(deadline);
}

bool TTcpServer::Active() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FState != nullptr;
}

int TTcpServer::BoundPort() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FState ? FState->BoundPort : 0;
}

std::size_t TTcpServer::ConnectionCount() const {
  std::shared_ptr<tcp_detail::TServerState> state;
  {
    std::lock_guard<std::mutex> lock(FMutex);
    state = FState;
  }
  return state ? state->Count() : 0;
}
