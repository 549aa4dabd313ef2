// What the listener does with a connection, by interface kind: its port, the lines the main
// window shows when it starts and stops, and the per-connection procedure that reads a request,
// hands it to a new handler of the kind and decides whether the connection stays open.
//
// Thread safety: ServeConnection runs on each connection's own thread; everything else is for
// the main thread. KeepConnection may be read and written from any thread.
#pragma once

#include <atomic>
#include <string>

class TTcpConnection;

// Whether door lock connections stay open after a request. Written only by the card issue, from
// an optional element of its request; read after every door lock request. The last write wins
// and holds for all connections.
extern std::atomic<bool> KeepConnection;

// The port of an interface kind from SysOption; -1 for an unknown kind (no port set).
int ListenerPort(int kind);
// The line the main window shows when the listener of a kind has started; empty for an unknown
// kind.
std::string ListenerStartLine(int kind);
// The line shown when the listener has stopped.
extern const char* const ListenerStopLine;

// The per-connection procedure: reads one request (waiting without a time limit), decodes it
// from UTF-8, has a new handler of the kind handle it, and closes the connection afterwards
// unless the door lock kind keeps it open; the police registration, member card and hand tag
// kinds always close it. Any failure (a failed read, a request that ends its handling with an
// error) passes out to the server, which closes the connection.
// `memo` is the main window's message pane, handed on to the handler, which never uses it.
void ServeConnection(int kind, TTcpConnection& connection, const void* memo);
