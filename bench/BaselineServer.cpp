// doorlock-baseline: the least a server with the host's framing and threading can do. It listens
// on a loopback port with the host's backlog of 15, gives every accepted connection a thread of
// its own with blocking reads, reads each request up to its NUL (at most 16384 bytes) and answers
// with one fixed text and a NUL in a single write, without parsing, logging or a device. After
// the answer it closes the connection, or with --keep waits for the next request on it.
//
//   doorlock-baseline [--port N] [--keep] [--response TEXT]
//
// Prints "listening on <port>" once it accepts; runs until a signal ends it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "LoadGenerator.h"

namespace {

constexpr std::size_t kMaxRequestBytes = 16384;
constexpr int kBacklog = 15;

// Consumes the next request from `pending`, reading more as needed; false when the peer is gone
// or the request is too long.
bool NextRequest(int fd, std::string& pending) {
  std::size_t scanned = 0;
  for (;;) {
    const std::size_t nul = pending.find('\0', scanned);
    if (nul != std::string::npos) {
      pending.erase(0, nul + 1);
      return true;
    }
    if (pending.size() > kMaxRequestBytes) return false;
    scanned = pending.size();
    char chunk[4096];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    pending.append(chunk, static_cast<std::size_t>(n));
  }
}

void Serve(int fd, const std::string& frame, bool keep) {
  std::string pending;
  while (NextRequest(fd, pending) && SendAll(fd, frame) && keep) {
  }
  ::shutdown(fd, SHUT_RDWR);
  ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  int port = 0;
  bool keep = false;
  std::string response =
      "<DoorResponse><RequestID></RequestID><ResultCode>200</ResultCode><ResultMessage>"
      "读卡成功</ResultMessage><CardNo>1</CardNo></DoorResponse>";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--port" && i + 1 < argc) {
      port = std::atoi(argv[++i]);
    } else if (arg == "--keep") {
      keep = true;
    } else if (arg == "--response" && i + 1 < argc) {
      response = argv[++i];
    } else {
      std::fprintf(stderr, "usage: %s [--port N] [--keep] [--response TEXT]\n", argv[0]);
      return 2;
    }
  }
  RaiseDescriptorLimit();
  const std::string frame = response + std::string(1, '\0');

  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int yes = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, kBacklog) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::fprintf(stderr, "doorlock-baseline: %s\n", std::strerror(errno));
    return 1;
  }
  std::printf("listening on %d\n", ntohs(address.sin_port));
  std::fflush(stdout);

  for (;;) {
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno != EINTR && errno != ECONNABORTED) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      continue;
    }
    try {
      std::thread(Serve, fd, std::cref(frame), keep).detach();
    } catch (const std::system_error&) {
      ::close(fd);
    }
  }
}
