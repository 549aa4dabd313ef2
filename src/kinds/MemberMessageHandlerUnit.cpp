#include "kinds/MemberMessageHandlerUnit.h"

#include "config/LogFileUnit.h"
#include "doorlock/DoorlockMessageHandlerUnit.h"
#include "kinds/BaseMemberUnit.h"
#include "kinds/KindRequestUnit.h"
#include "platform/TcpServer.h"
#include "platform/Utf8.h"

using MemberMessageHandlerUnit::TResponse;

namespace MemberMessageHandlerUnit {

std::string BuildResponseXml(const TResponse& response) {
  std::string xml;
  xml.reserve(256);
  xml += "<DoorResponse><RequestID>";
  xml += XmlEscape(response.RequestID);
  xml += "</RequestID>";
  xml += "<ResultCode>";
  xml += XmlEscape(response.ResultCode);
  xml += "</ResultCode>";
  xml += "<ResultMessage>";
  xml += XmlEscape(response.ResultMessage);
  xml += "</ResultMessage>";
  xml += "<CardNo>";
  xml += XmlEscape(response.CardNo);
  xml += "</CardNo>";
  xml += "<ExpireDate>";
  xml += XmlEscape(response.ExpireDate);
  xml += "</ExpireDate>";
  xml += "<GuestName>";
  xml += XmlEscape(response.GuestName);
  xml += "</GuestName>";
  xml += "<Score>";
  xml += XmlEscape(response.Score);
  xml += "</Score>";
  xml += "<Password>";
  xml += XmlEscape(response.Password);
  xml += "</Password>";
  xml += "</DoorResponse>";
  return xml;
}

}  // namespace MemberMessageHandlerUnit

namespace {

void Log(const std::string& text) {
  if (LogFile != nullptr) LogFile->AddLog(text);
}

// The channel of a request: the element at `position` read as an integer; -1 when the element
// is absent or holds no integer.
std::int32_t ChannelAt(const pugi::xml_node& root, int position) {
  std::int32_t channel = -1;
  if (const pugi::xml_node element = ChildAt(root, position)) {
    if (!TryStrToInt32(element.text().get(), channel)) channel = -1;
  }
  return channel;
}

}  // namespace

void TMemberMessageHandler::HandleMessage(TTcpConnection& thread, const std::string& text) {
  Log("收到消息: \r\n" + text);

  pugi::xml_document document;
  TResponse response;
  const pugi::xml_node root = ParseRequestRoot(document, text);
  const std::string type = RequestType(root);

  if (type == "WriteMemberCard") {
    const std::string cardNo = ChildText(root, 1);
    const bool written = WriteMemberCard(root);
    response.CardNo = cardNo;
    response.ResultCode = written ? "200" : "500";
    response.ResultMessage = written ? "写卡成功" : "写卡失败";
    Log((written ? "写卡成功,卡号为:" : "写卡失败,卡号为:") + cardNo);
  } else if (type == "ReadMemberCard") {
    const bool flag = StrToInt32(ChildText(root, 1)) == 1;
    const std::int32_t channel = ChannelAt(root, 2);
    std::string cardNo, password, expireDate, guestName, score;
    if (ReadMemberCard(flag, channel, cardNo, password, expireDate, guestName, score)) {
      response.ResultCode = "200";
      response.ResultMessage = "读卡成功";
      response.CardNo = cardNo;
      response.Password = password;
      response.ExpireDate = expireDate;
      response.GuestName = guestName;
      response.Score = score;
      Log("读卡成功，卡号为：" + cardNo);
    } else {
      response.ResultCode = "500";
      response.ResultMessage = "读卡失败";
      Log("读卡失败");
    }
  } else if (type == "PrintMemberCard") {
    const bool printed = PrintMemberCard(root);
    response.ResultCode = printed ? "200" : "500";
    response.ResultMessage = printed ? "打印卡成功" : "打印卡失败";
    Log(printed ? "打印卡成功" : "打印卡失败");
  } else {
    return;
  }
  SendResponse(thread, response);
}

bool TMemberMessageHandler::WriteMemberCard(const pugi::xml_node& root) {
  const std::string cardNo = ChildText(root, 1);
  const std::string text1 = ChildText(root, 2);
  const std::string text2 = ChildText(root, 3);
  const std::string text3 = ChildText(root, 4);
  const std::int32_t channel = ChannelAt(root, 5);
  if (MemberDevice == nullptr) return false;
  const auto lock = LockMemberDevice();
  return MemberDevice->WriteMemberCard(cardNo, text1, text2, text3, channel);
}

bool TMemberMessageHandler::ReadMemberCard(bool Flag, std::int32_t Channel, std::string& CardNo,
                                           std::string& Password, std::string& ExpireDate,
                                           std::string& GuestName, std::string& Score) {
  if (MemberDevice == nullptr) return false;
  const auto lock = LockMemberDevice();
  return MemberDevice->ReadMemberCard(Flag, CardNo, Password, ExpireDate, GuestName, Score,
                                      Channel);
}

bool TMemberMessageHandler::PrintMemberCard(const pugi::xml_node& root) {
  const std::string cardNo = ChildText(root, 1);
  const std::string printText = ChildText(root, 2);
  if (MemberDevice == nullptr) return false;
  const auto lock = LockMemberDevice();
  return MemberDevice->PrintMemberCard(cardNo, printText);
}

void TMemberMessageHandler::SendResponse(TTcpConnection& thread, const TResponse& response) {
  try {
    thread.Write(EncodeResponseFrame(MemberMessageHandlerUnit::BuildResponseXml(response)));
  } catch (const ETcpError&) {
    // Ignored by design (see the declaration).
  }
}
