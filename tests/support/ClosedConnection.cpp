#include "support/ClosedConnection.h"

#include <chrono>
#include <future>

#include "platform/Utf8.h"
#include "support/TcpClient.h"

bool HandleOnClosedConnection(
    const std::string& request,
    const std::function<void(TTcpConnection&, const std::string&)>& handle) {
  std::promise<bool> returned;
  TTcpServer server;
  server.SetPort(0);
  server.SetOnExecute([&](TTcpConnection& connection) {
    const std::string text = DecodeRequestText(connection.ReadRequest());
    connection.Close();
    bool normally = true;
    try {
      handle(connection, text);
    } catch (...) {
      normally = false;
    }
    // The connection is closed, so the server calls this procedure only once.
    returned.set_value(normally);
  });
  server.Activate();
  TTcpClient client(server.BoundPort());
  client.SendRequest(request);
  std::future<bool> result = returned.get_future();
  const bool ran = result.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  server.Deactivate();
  return ran && result.get();
}
