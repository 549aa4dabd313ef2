#include "kinds/PoliceMessageHandlerUnit.h"

#include "config/LogFileUnit.h"
#include "kinds/BasePoliceUnit.h"
#include "platform/TcpServer.h"
#include "platform/Utf8.h"

namespace PoliceMessageHandlerUnit {

std::string BuildResponseXml(const TPoliceGuest* guest) {
  if (guest == nullptr) return "<PoliceResponse></PoliceResponse>";
  return "<PoliceResponse>" + BuildGuestXml(*guest) + "</PoliceResponse>";
}

}  // namespace PoliceMessageHandlerUnit

namespace {
void Log(const std::string& text) {
  if (LogFile != nullptr) LogFile->AddLog(text);
}
}  // namespace

void TPoliceMessageHandler::HandleMessage(TTcpConnection& thread, const std::string& text) {
  Log("收到消息: \r\n" + text);
  // The record is the device's and may change with its next call: it is read under the lock.
  const auto lock = LockPoliceDevice();
  const TPoliceGuest* const guest = PoliceDevice != nullptr ? PoliceDevice->GetGuest() : nullptr;
  SendResponse(thread, guest);
}

void TPoliceMessageHandler::SendResponse(TTcpConnection& thread, const TPoliceGuest* guest) {
  const std::string response = PoliceMessageHandlerUnit::BuildResponseXml(guest);
  Log("返回结果: \r\n" + response);
  try {
    thread.Write(EncodeResponseFrame(response));
  } catch (const ETcpError&) {
    // Ignored by design (see the declaration).
  }
}
