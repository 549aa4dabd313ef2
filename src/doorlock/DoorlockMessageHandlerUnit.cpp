#include "doorlock/DoorlockMessageHandlerUnit.h"

#include <strings.h>
#include <cstring>

#include "config/LogFileUnit.h"
#include "config/SysOptionUnit.h"
#include "doorlock/BaseDoorlockUnit.h"
#include "host/RequestListenerUnit.h"
#include "platform/DateTime.h"
#include "platform/TcpServer.h"
#include "platform/XmlCharacters.h"
#include "store/DoorlockRecordManagerUnit.h"

using DoorlockMessageHandlerUnit::TResponse;

namespace DoorlockMessageHandlerUnit {

std::string BuildResponseXml(const TResponse& response) {
  std::string xml;
  xml.reserve(160);
  xml += "<DoorResponse><RequestID>";
  xml += response.RequestID;
  xml += "</RequestID>";
  xml += "<ResultCode>";
  xml += response.ResultCode;
  xml += "</ResultCode>";
  xml += "<ResultMessage>";
  xml += response.ResultMessage;
  xml += "</ResultMessage>";
  xml += "<CardNo>";
  xml += std::to_string(response.CardNo);
  xml += "</CardNo>";
  xml += "</DoorResponse>";
  return xml;
}

}  // namespace DoorlockMessageHandlerUnit

namespace {

void Log(const std::string& text) {
  if (LogFile != nullptr) LogFile->AddLog(text);
}

// A time of the validity window after the delays have widened it. Outside the years 1 to 9999
// neither a card nor the store can carry it, and a card issued without its record would be lost
// to the store: such a window fails with EConvertError like a date-time that does not convert.
TDateTime WithinCardYears(TDateTime value) {
  DateTimeToStoreText(value);  // throws outside those years
  return value;
}

}  // namespace

std::string RequestType(const pugi::xml_node& root) {
  for (const pugi::xml_attribute& attribute : root.attributes()) {
    if (strcasecmp(attribute.name(), "type") != 0) continue;
    std::string value = attribute.value();
    size_t first = 0, last = value.size();
    while (first < last && static_cast<unsigned char>(value[first]) <= 32) ++first;
    while (last > first && static_cast<unsigned char>(value[last - 1]) <= 32) --last;
    return value.substr(first, last - first);
  }
  return "";
}

pugi::xml_node ChildAt(const pugi::xml_node& root, int position) {
  int index = 0;
  for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    if (index++ == position) return child;
  }
  return pugi::xml_node();
}

std::string ChildText(const pugi::xml_node& root, int position) {
  const pugi::xml_node child = ChildAt(root, position);
  if (!child) {
    throw ERequestError("The request has no element at position " + std::to_string(position));
  }
  return child.text().get();
}

void TDoorlockMessageHandler::HandleMessage(TTcpConnection& thread, const std::string& text) {
  Log("收到消息: \r\n" + text);

  pugi::xml_document document;
  TResponse response;
  const pugi::xml_parse_result parsed =
      document.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
  const pugi::xml_node root = document.document_element();
  if (!parsed || !root) {
    throw ERequestError(std::string("The request is not an XML document: ") + parsed.description());
  }
  if (!CharacterReferencesAreLegal(text)) {
    throw ERequestError("The request refers to a character that XML does not allow");
  }
  const std::string type = RequestType(root);
  Log("执行操作->");

  std::int64_t cardNo = 0;
  if (type == "IssueCard") {
    const bool issued = IssueCard(root, cardNo);
    response.ResultCode = issued ? "200" : "500";
    response.ResultMessage = issued ? "发卡成功" : "发卡失败";
    response.CardNo = cardNo;
    Log("房间(" + ChildText(root, 4) + (issued ? ")发卡成功" : ")发卡失败"));
    SendResponse(thread, response);
  } else if (type == "ReadCard") {
    if (ReadCard(cardNo)) {
      response.ResultCode = "200";
      response.ResultMessage = "读卡成功";
      response.CardNo = cardNo;
      Log("读卡成功，卡号为：" + std::to_string(cardNo));
    } else {
      response.ResultCode = "500";
      response.ResultMessage = "读卡失败";
      response.CardNo = 0;
      Log("读卡失败");
    }
    SendResponse(thread, response);
  } else if (type == "EraseCard") {
    if (EraseCard()) {
      response.ResultCode = "200";
      response.ResultMessage = "注销卡成功 ";
      Log("注销卡成功");
    } else {
      response.ResultCode = "500";
      response.ResultMessage = "注销卡失败 ";
      Log("注销卡失败");
    }
    response.CardNo = 0;
    SendResponse(thread, response);
  }

  Log("返回数据:" + DoorlockMessageHandlerUnit::BuildResponseXml(response));
  Log("完成一次操作");
}

bool TDoorlockMessageHandler::IssueCard(const pugi::xml_node& root, std::int64_t& CardNo) {
  // Everything that can fail with the request's own contents is read first, before the flag,
  // the store or the device is touched.
  const std::string RegisterId = ChildText(root, 1);
  const std::string RoomBuildingCode = ChildText(root, 2);
  const std::string RoomFloorCode = ChildText(root, 3);
  const std::string RoomNo = ChildText(root, 4);
  const std::string GuestName = ChildText(root, 5);
  const TDateTime CheckInTime =
      WithinCardYears(IncMinutes(StrToDateTime(ChildText(root, 6) + " " + ChildText(root, 7)),
                                 -std::int64_t{SysOption->DelayMinutes}));
  const TDateTime CheckOutTime =
      WithinCardYears(IncMinutes(StrToDateTime(ChildText(root, 8) + " " + ChildText(root, 9)),
                                 std::int64_t{SysOption->DelayMinutes2}));
  const bool IsCopy = BoolTextToBool(ChildText(root, 10));

  if (const pugi::xml_node keep = ChildAt(root, 11)) {
    KeepConnection = BoolTextToBool(keep.text().get());
  }

  const std::string RoomKey =
      SysOption->UseNativeDoorlockDb ? RoomBuildingCode + RoomFloorCode + RoomNo : "";
  const TDateTime LastCheckInTime = ChooseCardStart(RoomKey, IsCopy, CheckInTime);

  bool result = false;
  if (Doorlock != nullptr) {
    result = Doorlock->WriteCard(RegisterId, RoomBuildingCode, RoomFloorCode, RoomNo, GuestName,
                                 LastCheckInTime, LastCheckInTime, CheckOutTime, CheckOutTime,
                                 IsCopy, CardNo);
  }
  if (result && SysOption->UseNativeDoorlockDb && !IsCopy) {
    DoorlockRecordManager->UpdateLastCheckInTime(RoomKey, LastCheckInTime);
  }
  if (SysOption->SaveDoorlockRecord) {
    DoorlockRecordManager->InsertIssueCardRecord(RegisterId, std::to_string(CardNo), RoomKey, 1,
                                                 LastCheckInTime, CheckInTime, CheckOutTime, IsCopy,
                                                 GuestName, Now());
  }
  return result;
}

TDateTime ChooseCardStart(const std::string& roomKey, bool isCopy, TDateTime requestStart) {
  if (!SysOption->UseNativeDoorlockDb) return requestStart;
  const std::int64_t delay = SysOption->DelayMinutes;
  if (!isCopy) return IncMinutes(Now(), -delay);
  TDateTime kept =
      DoorlockRecordManager != nullptr ? DoorlockRecordManager->GetLastCheckInTime(roomKey) : 0;
  if (kept == 0) {
    kept = IncMinutes(Now(), -delay);
    if (DoorlockRecordManager != nullptr) DoorlockRecordManager->InsertRoom(roomKey, kept);
  }
  return kept;
}

bool TDoorlockMessageHandler::ReadCard(std::int64_t& CardNo) {
  if (Doorlock == nullptr) return false;
  return Doorlock->ReadCard(CardNo);
}

bool TDoorlockMessageHandler::EraseCard() {
  if (Doorlock == nullptr) return false;
  return Doorlock->EraseCard();
}

void TDoorlockMessageHandler::SendResponse(TTcpConnection& thread, const TResponse& response) {
  std::string frame = DoorlockMessageHandlerUnit::BuildResponseXml(response);
  frame.push_back('\0');
  try {
    thread.Write(frame);
  } catch (const std::exception& e) {
    Log(e.what());
  }
}
