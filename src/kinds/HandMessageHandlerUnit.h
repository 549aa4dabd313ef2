// Hand tag requests from the PMS: one THandMessageHandler per request parses the XML text,
// selects the operation by the root's `type` attribute ("IssueHand", "ReadHand", "EraseHand"),
// runs it on HandDevice, answers with a DoorResponse carrying the tag's number and logs every
// step as the door lock handler does. Only `type` is read: the tag's number always comes from
// the device, never from the request.
//
// Thread safety: a handler belongs to the one connection thread that handles its request;
// handlers on different connections run at the same time and share only HandDevice (serialised
// by LockHandDevice) and LogFile (serialised).
#pragma once

#include <string>

class TTcpConnection;

// Names of this unit that the other interface kinds' handler units also define, each with their
// own fields, live in the unit's namespace.
namespace HandMessageHandlerUnit {

// The answer to one hand tag request; every field starts empty. RequestID is never filled.
struct TResponse {
  std::string RequestID;
  std::string ResultCode;     // "200" success, "500" failure
  std::string ResultMessage;  // fixed text per operation and outcome
  std::string HandNo;         // as the device handed it back
};

// "<DoorResponse><RequestID>…</RequestID><ResultCode>…</ResultCode><ResultMessage>…"
// "</ResultMessage><HandNo>…</HandNo></DoorResponse>", every element present, nothing between
// the pieces, no XML declaration. HandNo is the device's text and is XML-escaped, like every
// device-supplied value of the other kinds' answers.
std::string BuildResponseXml(const TResponse& response);

}  // namespace HandMessageHandlerUnit

class THandMessageHandler {
 public:
  // `memo` is the main window's message pane; the handler keeps it and never writes to it.
  explicit THandMessageHandler(const void* memo) : Memo(memo) {}
  THandMessageHandler(const THandMessageHandler&) = delete;
  THandMessageHandler& operator=(const THandMessageHandler&) = delete;

  // Handles one request text and writes at most one response on `thread`'s connection. A type
  // that matches none of the three gets no answer, though the untouched response is logged. A
  // request that is not XML throws ERequestError after the request was logged; the listener
  // then closes the connection.
  void HandleMessage(TTcpConnection& thread, const std::string& text);

  // Each hands back the device's number and its success flag; false with an empty number,
  // without calling the device, when HandDevice is none.
  bool IssueHand(std::string& HandNo);
  bool ReadHand(std::string& HandNo);
  bool EraseHand(std::string& HandNo);

  // Writes the response and its NUL in one write; a failed write is logged, not thrown.
  void SendResponse(TTcpConnection& thread, const HandMessageHandlerUnit::TResponse& response);

  const void* const Memo;
};
