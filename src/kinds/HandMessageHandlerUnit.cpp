#include "kinds/HandMessageHandlerUnit.h"

#include <pugixml.hpp>

#include "config/LogFileUnit.h"
#include "doorlock/DoorlockMessageHandlerUnit.h"
#include "kinds/BaseHandUnit.h"
#include "kinds/KindRequestUnit.h"
#include "platform/TcpServer.h"
#include "platform/Utf8.h"

using HandMessageHandlerUnit::TResponse;

namespace HandMessageHandlerUnit {

std::string BuildResponseXml(const TResponse& response) {
  std::string xml;
  xml.reserve(160);
  xml += "<DoorResponse><RequestID>";
  xml += XmlEscape(response.RequestID);
  xml += "</RequestID>";
  xml += "<ResultCode>";
  xml += XmlEscape(response.ResultCode);
  xml += "</ResultCode>";
  xml += "<ResultMessage>";
  xml += XmlEscape(response.ResultMessage);
  xml += "</ResultMessage>";
  xml += "<HandNo>";
  xml += XmlEscape(response.HandNo);
  xml += "</HandNo>";
  xml += "</DoorResponse>";
  return xml;
}

}  // namespace HandMessageHandlerUnit

namespace {
void Log(const std::string& text) {
  if (LogFile != nullptr) LogFile->AddLog(text);
}
}  // namespace

void THandMessageHandler::HandleMessage(TTcpConnection& thread, const std::string& text) {
  Log("收到消息: \r\n" + text);

  pugi::xml_document document;
  TResponse response;
  const pugi::xml_node root = ParseRequestRoot(document, text);
  const std::string type = RequestType(root);
  Log("执行操作->");

  std::string handNo;
  if (type == "IssueHand") {
    if (IssueHand(handNo)) {
      response.ResultCode = "200";
      response.ResultMessage = "写手牌卡成功";
      Log("写手牌卡成功");
    } else {
      response.ResultCode = "500";
      response.ResultMessage = "发手牌卡失败";
      Log("发手牌失败");
    }
    // Also after a failure: whatever number the device handed back.
    response.HandNo = handNo;
    SendResponse(thread, response);
  } else if (type == "ReadHand") {
    if (ReadHand(handNo)) {
      response.ResultCode = "200";
      response.ResultMessage = "读手牌卡成功";
      response.HandNo = handNo;
      Log("读手牌成功，卡号为：" + handNo);
    } else {
      response.ResultCode = "500";
      response.ResultMessage = "读手牌卡失败";
      Log("读手牌失败");
    }
    SendResponse(thread, response);
  } else if (type == "EraseHand") {
    if (EraseHand(handNo)) {
      response.ResultCode = "200";
      response.ResultMessage = "注销手牌成功 ";
      response.HandNo = handNo;
      Log("注销手牌成功");
    } else {
      response.ResultCode = "500";
      response.ResultMessage = "注销手牌失败 ";
      Log("注销手牌失败");
    }
    SendResponse(thread, response);
  }

  Log("返回数据:" + HandMessageHandlerUnit::BuildResponseXml(response));
  Log("完成一次操作");
}

bool THandMessageHandler::IssueHand(std::string& HandNo) {
  HandNo.clear();
  if (HandDevice == nullptr) return false;
  const auto lock = LockHandDevice();
  return HandDevice->IssueHand(HandNo);
}

bool THandMessageHandler::ReadHand(std::string& HandNo) {
  HandNo.clear();
  if (HandDevice == nullptr) return false;
  const auto lock = LockHandDevice();
  return HandDevice->ReadHand(HandNo);
}

bool THandMessageHandler::EraseHand(std::string& HandNo) {
  HandNo.clear();
  if (HandDevice == nullptr) return false;
  const auto lock = LockHandDevice();
  return HandDevice->EraseHand(HandNo);
}

void THandMessageHandler::SendResponse(TTcpConnection& thread, const TResponse& response) {
  try {
    thread.Write(EncodeResponseFrame(HandMessageHandlerUnit::BuildResponseXml(response)));
  } catch (const std::exception& e) {
    Log(e.what());
  }
}
