// A blocking TCP client for tests that speak the host's wire protocol: requests and responses
// ended by one NUL byte. Every receive gives up after a few seconds, so a missing answer fails
// the test instead of hanging it.
#pragma once

#include <optional>
#include <string>

class TTcpClient {
 public:
  explicit TTcpClient(int port, const char* host = "127.0.0.1");
  ~TTcpClient();
  TTcpClient(const TTcpClient&) = delete;
  TTcpClient& operator=(const TTcpClient&) = delete;

  bool Connected() const { return FFd >= 0; }
  void Send(const std::string& bytes);
  // Sends text followed by a NUL.
  void SendRequest(const std::string& text) { Send(text + std::string(1, '\0')); }
  // The next response without its NUL; empty optional when the host closed the connection (or
  // nothing came within the timeout) first.
  std::optional<std::string> ReadResponse(int timeoutMs = 5000);
  // True when the host closes the connection within the timeout (EOF or reset, no more bytes).
  bool WaitClosed(int timeoutMs = 5000);
  // Closes with a reset instead of an orderly shutdown.
  void Abort();
  void Close();

 private:
  int FFd = -1;
  std::string FPending;
};

// Sends one request on a new connection and returns the response, if any.
std::optional<std::string> Exchange(int port, const std::string& request);
