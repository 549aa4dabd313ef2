// A real connection whose every write fails, for tests of a handler's answer to a failed write:
// the peer sends one request, the host reads it and closes the connection, then the handler runs
// on it. No timing is involved: a write on a closed connection fails at once.
#pragma once

#include <functional>
#include <string>

#include "platform/TcpServer.h"

// Runs `handle` with the closed connection and the decoded request text. True when `handle`
// returned normally, false when it let an exception out or never ran within a few seconds.
bool HandleOnClosedConnection(
    const std::string& request,
    const std::function<void(TTcpConnection&, const std::string&)>& handle);
