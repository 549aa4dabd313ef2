#include "support/TcpClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

TTcpClient::TTcpClient(int port, const char* host) {
  FFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, host, &address.sin_addr);
  if (::connect(FFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(FFd);
    FFd = -1;
  }
}

TTcpClient::~TTcpClient() { Close(); }

void TTcpClient::Close() {
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
}

void TTcpClient::Abort() {
  if (FFd < 0) return;
  linger option{1, 0};
  setsockopt(FFd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
  Close();
}

void TTcpClient::Send(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(FFd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // the host may close a connection it will not answer; the test sees it
    done += static_cast<size_t>(n);
  }
}

std::optional<std::string> TTcpClient::ReadResponse(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const size_t nul = FPending.find('\0');
    if (nul != std::string::npos) {
      std::string response = FPending.substr(0, nul);
      FPending.erase(0, nul + 1);
      return response;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (FFd < 0 || left.count() <= 0) return std::nullopt;
    pollfd p{FFd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
    char buffer[4096];
    const ssize_t n = ::recv(FFd, buffer, sizeof buffer, 0);
    if (n <= 0) return std::nullopt;
    FPending.append(buffer, static_cast<size_t>(n));
  }
}

bool TTcpClient::WaitClosed(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (FFd < 0) return true;
    if (left.count() <= 0) return false;
    pollfd p{FFd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    char buffer[4096];
    const ssize_t n = ::recv(FFd, buffer, sizeof buffer, 0);
    if (n <= 0) return true;
    FPending.append(buffer, static_cast<size_t>(n));
  }
}

std::optional<std::string> Exchange(int port, const std::string& request) {
  TTcpClient client(port);
  if (!client.Connected()) return std::nullopt;
  client.SendRequest(request);
  return client.ReadResponse();
}
