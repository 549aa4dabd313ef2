// Member card requests from the PMS: one TMemberMessageHandler per request parses the XML text,
// selects the operation by the root's `type` attribute ("WriteMemberCard", "ReadMemberCard",
// "PrintMemberCard"), runs it on MemberDevice and answers with a DoorResponse of eight elements.
// It logs the request and one outcome line; unlike the door lock handler it logs no
// "执行操作->" line, neither the response nor a closing line.
//
// The request's values are the root's element children by position, counting from 0 (element 0
// carries nothing but must be there); their names are never examined:
//   WriteMemberCard  1 card number, 2 to 4 three further texts, 5 optional channel
//   ReadMemberCard   1 an integer, the device's flag being true exactly when it is 1;
//                    2 optional channel
//   PrintMemberCard  1 card number, 2 text to print
// An absent channel, or one that is no integer, is -1.
//
// Thread safety: a handler belongs to the one connection thread that handles its request;
// handlers on different connections run at the same time and share only MemberDevice
// (serialised by LockMemberDevice) and LogFile (serialised).
#pragma once

#include <cstdint>
#include <string>

#include <pugixml.hpp>

class TTcpConnection;

// Names of this unit that the other interface kinds' handler units also define, each with their
// own fields, live in the unit's namespace.
namespace MemberMessageHandlerUnit {

// The answer to one member card request; every field starts empty. RequestID is never filled.
struct TResponse {
  std::string RequestID;
  std::string ResultCode;     // "200" success, "500" failure
  std::string ResultMessage;  // fixed text per operation and outcome
  std::string CardNo;
  std::string Password;
  std::string ExpireDate;
  std::string GuestName;
  std::string Score;
};

// "<DoorResponse><RequestID>…</RequestID><ResultCode>…</ResultCode><ResultMessage>…"
// "</ResultMessage><CardNo>…</CardNo><ExpireDate>…</ExpireDate><GuestName>…</GuestName>"
// "<Score>…</Score><Password>…</Password></DoorResponse>", every element present, nothing
// between the pieces, no XML declaration. The values come from the device and the request, so
// each is XML-escaped: a holder's name with "<" or "&" in it cannot break the answer or add
// elements to it.
std::string BuildResponseXml(const TResponse& response);

}  // namespace MemberMessageHandlerUnit

class TMemberMessageHandler {
 public:
  // `memo` is the main window's message pane; the handler keeps it and never writes to it.
  explicit TMemberMessageHandler(const void* memo) : Memo(memo) {}
  TMemberMessageHandler(const TMemberMessageHandler&) = delete;
  TMemberMessageHandler& operator=(const TMemberMessageHandler&) = delete;

  // Handles one request text and writes at most one response on `thread`'s connection. A type
  // that matches none of the three gets no answer. A request that is not XML, lacks an element
  // that its type reads, or whose read flag is no integer throws (ERequestError or
  // EConvertError) after the request was logged and before the device is called or anything is
  // sent; the listener then closes the connection.
  void HandleMessage(TTcpConnection& thread, const std::string& text);

  // The steps read every element they need before they look at the device, so that a request's
  // own faults end it the same way with or without a device. Each is false, without calling
  // the device, when MemberDevice is none.
  bool WriteMemberCard(const pugi::xml_node& root);
  bool ReadMemberCard(bool Flag, std::int32_t Channel, std::string& CardNo, std::string& Password,
                      std::string& ExpireDate, std::string& GuestName, std::string& Score);
  bool PrintMemberCard(const pugi::xml_node& root);

  // Writes the response and its NUL in one write. A failed write is ignored: the peer has gone,
  // and the listener closes the connection anyway.
  void SendResponse(TTcpConnection& thread, const MemberMessageHandlerUnit::TResponse& response);

  const void* const Memo;
};
