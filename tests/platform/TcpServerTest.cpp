#include "platform/TcpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Utf8.h"

using namespace std::chrono_literals;
using namespace std::string_literals;

namespace {

// How long anything that should happen promptly may take before a test gives up on it. Only a
// bound against hanging, never a speed requirement.
constexpr auto kPatience = 5s;

// A loopback client on plain POSIX sockets, so that it shares no code with the server under
// test. Every read gives up after kPatience.
class TClient {
 public:
  explicit TClient(int port) : FHandle(::socket(AF_INET, SOCK_STREAM, 0)) {
    const sockaddr_in address = Loopback(port);
    if (::connect(FHandle, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      const int error = errno;
      ::close(FHandle);
      throw std::system_error(error, std::system_category(), "connect");
    }
  }
  ~TClient() { ::close(FHandle); }
  TClient(const TClient&) = delete;
  TClient& operator=(const TClient&) = delete;

  static bool CanConnect(int port) {
    try {
      TClient probe(port);
      return true;
    } catch (const std::system_error&) {
      return false;
    }
  }

  void Send(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = ::send(FHandle, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw std::system_error(errno, std::system_category(), "send");
      sent += static_cast<std::size_t>(n);
    }
  }

  void ShutdownSending() { ::shutdown(FHandle, SHUT_WR); }

  // The next frame the server sent, without its NUL; nothing when the connection closes or no
  // whole frame arrives in time.
  std::optional<std::string> ReadFrame() {
    for (;;) {
      const std::size_t nul = FReceived.find('\0');
      if (nul != std::string::npos) {
        std::string frame = FReceived.substr(0, nul);
        FReceived.erase(0, nul + 1);
        return frame;
      }
      if (Receive() != TReceived::Data) return std::nullopt;
    }
  }

  // True when the server closes the connection (end of file or reset) without sending more.
  bool ClosedWithoutData() { return FReceived.empty() && Receive() == TReceived::Closed; }

  int LocalPort() const {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    ::getsockname(FHandle, reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port);
  }

 private:
  enum class TReceived { Data, Closed, TimedOut };

  static sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
  }

  TReceived Receive() {
    pollfd ready{FHandle, POLLIN, 0};
    const auto timeout = std::chrono::duration_cast<std::chrono::milliseconds>(kPatience);
    if (::poll(&ready, 1, static_cast<int>(timeout.count())) <= 0) return TReceived::TimedOut;
    char chunk[65536];
    const ssize_t n = ::recv(FHandle, chunk, sizeof chunk, 0);
    if (n <= 0) return TReceived::Closed;  // end of file, or reset by a server that had unread data
    FReceived.append(chunk, static_cast<std::size_t>(n));
    return TReceived::Data;
  }

  int FHandle;
  std::string FReceived;
};

bool Eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// Texts collected from connection threads.
class TRecorder {
 public:
  void Add(std::string text) {
    std::lock_guard<std::mutex> lock(FMutex);
    FTexts.push_back(std::move(text));
  }
  std::vector<std::string> Texts() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FTexts;
  }

 private:
  mutable std::mutex FMutex;
  std::vector<std::string> FTexts;
};

std::string Bytes(std::size_t count) {
  return std::string(count, 'x');
}

class TcpServerTest : public ::testing::Test {
 protected:
  void Start(TTcpServer::TExecute execute) {
    Server.SetPort(0);
    Server.SetOnExecute(std::move(execute));
    Server.Activate();
    Port = Server.BoundPort();
  }

  // A stand-in for a request handler: reads one request, answers "[request]" and NUL, and
  // closes the connection unless KeepConnection is set.
  void StartEcho() {
    Start([this](TTcpConnection& connection) {
      const std::string request = connection.ReadRequest();
      connection.Write(EncodeResponseFrame("[" + request + "]"));
      if (!KeepConnection) connection.Close();
    });
  }

  std::atomic<bool> KeepConnection{false};
  int Port = 0;
  TTcpServer Server;  // last, so that its threads end before the members they use
};

TEST_F(TcpServerTest, FramingOnAKeptConnection) {
  struct TStep {
    std::string Sent;
    std::vector<std::string> Answers;  // expected after this step, in order
  };
  struct TCase {
    const char* Name;
    std::vector<TStep> Steps;
    bool Closed;  // the server closes the connection, unanswered, after the last step
  };
  const std::string limit = Bytes(TTcpConnection::MaxRequestBytes);
  const std::string overLimit = Bytes(TTcpConnection::MaxRequestBytes + 1);
  const TCase cases[] = {
      {"two requests back to back", {{"first\0second\0"s, {"[first]", "[second]"}}}, false},
      {"lone NUL is an empty request", {{"\0"s, {"[]"}}}, false},
      {"bytes after the NUL start the next request",
       {{"ab\0cd"s, {"[ab]"}}, {"ef\0"s, {"[cdef]"}}},
       false},
      {"request arriving in pieces", {{"par"s, {}}, {"tial\0"s, {"[partial]"}}}, false},
      {"CR and LF are ordinary bytes", {{"a\r\nb\n\0"s, {"[a\r\nb\n]"}}}, false},
      {"exactly the limit", {{limit + '\0', {"[" + limit + "]"}}}, false},
      {"the limit counts per request, not per read",
       {{"a\0"s + limit + '\0', {"[a]", "[" + limit + "]"}}},
       false},
      {"one byte over the limit", {{overLimit + '\0' + "next\0"s, {}}}, true},
      {"over the limit with no NUL yet", {{Bytes(20000), {}}}, true},
      {"over the limit after an answered request", {{"ok\0"s + overLimit + '\0', {"[ok]"}}}, true},
  };

  KeepConnection = true;
  StartEcho();
  // Connected throughout, to show that a failing connection leaves the others alone.
  TClient bystander(Port);

  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TClient client(Port);  // a fresh connection for each row shows that the listener goes on
    for (const TStep& step : c.Steps) {
      client.Send(step.Sent);
      for (const std::string& answer : step.Answers) EXPECT_EQ(client.ReadFrame(), answer);
    }
    if (c.Closed) {
      EXPECT_TRUE(client.ClosedWithoutData());
    } else {
      client.Send("probe\0"s);
      EXPECT_EQ(client.ReadFrame(), "[probe]");
    }
    bystander.Send("still there\0"s);
    EXPECT_EQ(bystander.ReadFrame(), "[still there]");
  }
}

TEST_F(TcpServerTest, ProcedureThatClosesOrThrowsEndsTheConnection) {
  struct TCase {
    const char* Name;
    std::function<void(TTcpConnection&)> AfterAnswer;
  };
  const TCase cases[] = {
      {"closes", [](TTcpConnection& connection) { connection.Close(); }},
      {"throws std::runtime_error", [](TTcpConnection&) { throw std::runtime_error("bad"); }},
      {"throws something else", [](TTcpConnection&) { throw 42; }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::atomic<int> calls{0};
    TTcpServer server;
    server.SetPort(0);
    server.SetOnExecute([&](TTcpConnection& connection) {
      ++calls;
      const std::string request = connection.ReadRequest();
      connection.Write(EncodeResponseFrame("[" + request + "]"));
      c.AfterAnswer(connection);
    });
    server.Activate();

    TClient client(server.BoundPort());
    client.Send("one\0two\0"s);
    EXPECT_EQ(client.ReadFrame(), "[one]");
    EXPECT_TRUE(client.ClosedWithoutData()) << "the buffered second request is dropped";
    EXPECT_TRUE(Eventually([&] { return server.ConnectionCount() == 0; }));
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(TClient::CanConnect(server.BoundPort())) << "the listener goes on";
  }
}

TEST_F(TcpServerTest, PeerClosingBeforeTheNulFailsTheRead) {
  struct TCase {
    const char* Name;
    std::string Sent;
  };
  const TCase cases[] = {{"nothing sent", ""}, {"part of a request sent", "<Request type="}};

  TRecorder errors;
  Start([&](TTcpConnection& connection) {
    try {
      connection.ReadRequest();
    } catch (const ETcpError& e) {
      errors.Add(e.what());
      throw;
    }
    errors.Add("read returned");
  });
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    {
      TClient client(Port);
      client.Send(c.Sent);
      EXPECT_TRUE(Eventually([&] { return Server.ConnectionCount() == 1; }));
    }
    EXPECT_TRUE(Eventually([&] { return Server.ConnectionCount() == 0; }));
  }
  EXPECT_EQ(errors.Texts(),
            (std::vector<std::string>{"Connection closed by peer", "Connection closed by peer"}));
}

TEST_F(TcpServerTest, DeactivateClosesWaitingConnectionsAtOnce) {
  TRecorder errors;
  Start([&](TTcpConnection& connection) {
    try {
      connection.ReadRequest();
    } catch (const ETcpError& e) {
      errors.Add(e.what());
      throw;
    }
  });
  std::vector<std::unique_ptr<TClient>> clients;
  for (int i = 0; i < 3; ++i) clients.push_back(std::make_unique<TClient>(Port));
  clients[0]->Send("half a request");  // waiting for the rest of it rather than for the start
  ASSERT_TRUE(Eventually([&] { return Server.ConnectionCount() == 3; }));

  const auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(Server.Deactivate());
  // Far below the 5000 ms the wait would take if closing did not wake the reads.
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2500ms);

  for (auto& client : clients) EXPECT_TRUE(client->ClosedWithoutData());
  // A thread that had not reached its read yet when the stop came ends without reading at all.
  for (const std::string& text : errors.Texts()) EXPECT_EQ(text, "Connection closed");
  EXPECT_LE(errors.Texts().size(), 3u);
  EXPECT_FALSE(Server.Active());
  EXPECT_EQ(Server.ConnectionCount(), 0u);
  EXPECT_FALSE(TClient::CanConnect(Port)) << "no longer listening";
  EXPECT_TRUE(Server.Deactivate()) << "a second Deactivate has nothing to do";
}

TEST(TcpServerShutdownTest, ThreadBusyPastTheWaitOutlivesTheServer) {
  // Owned only by the server's copy of the procedure once the test lets go of it, so its
  // destruction tells that the detached thread has let go of everything of the server.
  struct TProbe {
    explicit TProbe(std::shared_ptr<std::promise<void>> gone) : Gone(std::move(gone)) {}
    ~TProbe() { Gone->set_value(); }
    std::shared_ptr<std::promise<void>> Gone;
  };
  auto gone = std::make_shared<std::promise<void>>();
  std::future<void> serverReleased = gone->get_future();
  auto probe = std::make_shared<TProbe>(gone);
  std::promise<void> entered;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::promise<std::string> lateWrite;

  auto server = std::make_unique<TTcpServer>();
  server->SetPort(0);
  server->SetOnExecute([probe, &entered, released, &lateWrite](TTcpConnection& connection) {
    connection.ReadRequest();
    entered.set_value();
    released.wait();  // stands for a device call that takes longer than the server waits
    try {
      connection.Write(EncodeResponseFrame("late"));
      lateWrite.set_value("written");
    } catch (const ETcpError& e) {
      lateWrite.set_value(e.what());
    }
  });
  probe.reset();
  server->Activate();

  TClient client(server->BoundPort());
  client.Send("request\0"s);
  ASSERT_EQ(entered.get_future().wait_for(kPatience), std::future_status::ready);

  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(server->Deactivate(200ms));
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2000ms);
  EXPECT_TRUE(client.ClosedWithoutData()) << "closed at once although its thread is busy";
  server.reset();

  release.set_value();
  std::future<std::string> written = lateWrite.get_future();
  ASSERT_EQ(written.wait_for(kPatience), std::future_status::ready);
  EXPECT_EQ(written.get(), "Connection closed");
  EXPECT_EQ(serverReleased.wait_for(kPatience), std::future_status::ready);
}

TEST_F(TcpServerTest, ActivationFailures) {
  StartEcho();
  struct TCase {
    const char* Name;
    int Port;
    std::string Message;
  };
  const TCase cases[] = {
      {"port another socket listens on", Port, std::system_category().message(EADDRINUSE)},
      {"port out of range", 65536, "Port 65536 is outside 0..65535"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTcpServer second;
    second.SetPort(c.Port);
    try {
      second.Activate();
      ADD_FAILURE() << "activated";
    } catch (const ETcpError& e) {
      EXPECT_EQ(e.what(), c.Message);
    }
    EXPECT_FALSE(second.Active());
  }
  TClient client(Port);
  client.Send("unaffected\0"s);
  EXPECT_EQ(client.ReadFrame(), "[unaffected]");
}

TEST_F(TcpServerTest, ReactivatesOnTheSamePortRightAfterServing) {
  // The server closes first, so its side of the connection lingers in TIME_WAIT.
  StartEcho();
  {
    TClient client(Port);
    client.Send("once\0"s);
    EXPECT_EQ(client.ReadFrame(), "[once]");
    EXPECT_TRUE(client.ClosedWithoutData());
  }
  const int port = Port;
  ASSERT_TRUE(Server.Deactivate());
  Server.SetPort(port);
  ASSERT_NO_THROW(Server.Activate());
  EXPECT_EQ(Server.BoundPort(), port);
  TClient client(port);
  client.Send("again\0"s);
  EXPECT_EQ(client.ReadFrame(), "[again]");
}

TEST_F(TcpServerTest, ManyConcurrentConnectionsAreAllAnswered) {
  constexpr std::size_t kClients = 200;
  StartEcho();
  std::vector<std::unique_ptr<TClient>> clients;
  // Each connect waits for its accept, so that the backlog of 15 never overflows: an overflow
  // costs nothing but time (the client's retry of its SYN a second later).
  for (std::size_t i = 1; i <= kClients; ++i) {
    clients.push_back(std::make_unique<TClient>(Port));
    ASSERT_TRUE(Eventually([&] { return Server.ConnectionCount() == i; }));
  }
  for (std::size_t i = 0; i < kClients; ++i) clients[i]->Send("client " + std::to_string(i) + '\0');
  for (std::size_t i = 0; i < kClients; ++i) {
    EXPECT_EQ(clients[i]->ReadFrame(), "[client " + std::to_string(i) + "]");
  }
  EXPECT_TRUE(Eventually([&] { return Server.ConnectionCount() == 0; }));
}

TEST_F(TcpServerTest, PeerAddressNamesTheClient) {
  TRecorder peers;
  Start([&](TTcpConnection& connection) {
    peers.Add(connection.PeerAddress());
    connection.Close();
  });
  TClient client(Port);
  EXPECT_TRUE(client.ClosedWithoutData());
  EXPECT_EQ(peers.Texts(),
            std::vector<std::string>{"127.0.0.1:" + std::to_string(client.LocalPort())});
}

TEST(TcpConnectionAdoptTest, FramesAnAdoptedSocketAndClosesItWhenReleased) {
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
  const std::string sent = "one\0two\0"s;
  ASSERT_EQ(::send(fds[1], sent.data(), sent.size(), 0), static_cast<ssize_t>(sent.size()));
  {
    const std::unique_ptr<TTcpConnection> connection = TTcpConnection::Adopt(fds[0]);
    EXPECT_EQ(connection->ReadRequest(), "one");
    EXPECT_EQ(connection->ReadRequest(), "two");
    connection->Write(EncodeResponseFrame("answer"));
  }
  char buffer[16] = {};
  EXPECT_EQ(::recv(fds[1], buffer, sizeof buffer, 0), 7);
  EXPECT_EQ(std::string(buffer, 7), "answer\0"s);
  EXPECT_EQ(::recv(fds[1], buffer, sizeof buffer, 0), 0) << "released with the connection";
  ::close(fds[1]);

  EXPECT_THROW(TTcpConnection::Adopt(-1), ETcpError);
}

}  // namespace
