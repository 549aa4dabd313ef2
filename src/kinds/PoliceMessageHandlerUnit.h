// Police registration requests: whatever a request holds, one TPoliceMessageHandler per request
// logs it and answers with the guest that PoliceDevice holds at that moment, as
// "<PoliceResponse>" + the guest XML + "</PoliceResponse>", or "<PoliceResponse></PoliceResponse>"
// when there is no guest. An unset PoliceDevice answers as a device without a guest.
//
// Thread safety: a handler belongs to the one connection thread that handles its request;
// handlers on different connections run at the same time and share only PoliceDevice and its
// record (serialised by LockPoliceDevice) and LogFile (serialised).
#pragma once

#include <string>

class TTcpConnection;
struct TPoliceGuest;

namespace PoliceMessageHandlerUnit {

// The response text for `guest`, none giving the empty response. Throws EConvertError as
// BuildGuestXml does.
std::string BuildResponseXml(const TPoliceGuest* guest);

}  // namespace PoliceMessageHandlerUnit

class TPoliceMessageHandler {
 public:
  // `memo` is the main window's message pane; the handler keeps it and never writes to it.
  explicit TPoliceMessageHandler(const void* memo) : Memo(memo) {}
  TPoliceMessageHandler(const TPoliceMessageHandler&) = delete;
  TPoliceMessageHandler& operator=(const TPoliceMessageHandler&) = delete;

  // Logs the request text (which is not parsed: any text, the empty one included, is answered)
  // and answers with the device's current guest.
  void HandleMessage(TTcpConnection& thread, const std::string& text);

  // Builds the response, logs it and writes it with its NUL in one write. A guest whose GenderID
  // is no integer throws EConvertError before anything is logged or sent; the listener then
  // closes the connection. A failed write is ignored: the peer has gone, and the listener closes
  // the connection anyway.
  void SendResponse(TTcpConnection& thread, const TPoliceGuest* guest);

  const void* const Memo;
};
