// Door lock requests from the PMS: one TDoorlockMessageHandler per request parses the XML text,
// selects the operation by the root's `type` attribute ("IssueCard", "ReadCard", "EraseCard"),
// runs it on the process-wide Doorlock, answers with a DoorResponse and logs every step.
//
// Thread safety: a handler belongs to the one connection thread that handles its request;
// handlers on different connections run at the same time and share only Doorlock (serialised),
// DoorlockRecordManager (serialised), LogFile (serialised), SysOption (read only) and
// KeepConnection (atomic).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include <pugixml.hpp>

#include "platform/DateTime.h"

class TTcpConnection;

// Names of this unit that the other interface kinds' handler units also define, each with their
// own fields, live in the unit's namespace.
namespace DoorlockMessageHandlerUnit {

// The answer to one door lock request; every field starts empty. RequestID is never filled.
struct TResponse {
  std::string RequestID;
  std::string ResultCode;     // "200" success, "500" failure
  std::string ResultMessage;  // fixed text per operation and outcome
  std::int64_t CardNo = 0;
};

// "<DoorResponse><RequestID>…</RequestID><ResultCode>…</ResultCode><ResultMessage>…"
// "</ResultMessage><CardNo>…</CardNo></DoorResponse>", nothing between the pieces, no XML
// declaration. The values need no escaping: RequestID is empty, the messages are fixed texts and
// CardNo is a number.
std::string BuildResponseXml(const TResponse& response);

}  // namespace DoorlockMessageHandlerUnit

// A request that ends its handling without an answer: not XML, no root element, a child that
// the operation reads is missing, a date-time that does not convert.
class ERequestError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TDoorlockMessageHandler {
 public:
  // `memo` is the main window's message pane; the handler keeps it and never writes to it.
  explicit TDoorlockMessageHandler(const void* memo) : Memo(memo) {}
  TDoorlockMessageHandler(const TDoorlockMessageHandler&) = delete;
  TDoorlockMessageHandler& operator=(const TDoorlockMessageHandler&) = delete;

  // Handles one request text and writes at most one response on `thread`'s connection. A request
  // that cannot be handled throws (ERequestError or EConvertError) before anything is sent; the
  // listener then closes the connection.
  void HandleMessage(TTcpConnection& thread, const std::string& text);

  // The card issue: reads the stay from the root's children by position, works out the validity
  // window, consults and updates the record store as the options ask, encodes the card and
  // records the attempt. True when the device encoded the card; CardNo is set only then.
  bool IssueCard(const pugi::xml_node& root, std::int64_t& CardNo);
  // False when Doorlock is not set, else the device's answer.
  bool ReadCard(std::int64_t& CardNo);
  bool EraseCard();

  // Writes the response and its NUL in one write; a failed write is logged, not thrown.
  void SendResponse(TTcpConnection& thread, const DoorlockMessageHandlerUnit::TResponse& response);

  const void* const Memo;
};

// The root's `type` attribute as every kind's handler reads it: the attribute name matched
// without regard to case, the value trimmed of characters with codes 0 to 32; empty when there
// is no such attribute.
std::string RequestType(const pugi::xml_node& root);
// The validity start of a card for the room `roomKey`. With the native store on, a new card
// starts now less DelayMinutes; a copy starts at the time kept for the room, and a room without
// one is inserted at once with now less DelayMinutes, before the card is written, so that later
// copies share that start. With the native store off the card starts at `requestStart`.
TDateTime ChooseCardStart(const std::string& roomKey, bool isCopy, TDateTime requestStart);

// The element child of `root` at `position` (counting from 0 in document order, element names not
// examined), or an empty node.
pugi::xml_node ChildAt(const pugi::xml_node& root, int position);
// The text of the element child at `position`; throws ERequestError when there is no such child.
std::string ChildText(const pugi::xml_node& root, int position);
