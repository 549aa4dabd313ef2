#include "host/RequestListenerUnit.h"

#include "config/SysOptionUnit.h"
#include "doorlock/DoorlockMessageHandlerUnit.h"
#include "kinds/HandMessageHandlerUnit.h"
#include "kinds/MemberMessageHandlerUnit.h"
#include "kinds/PoliceMessageHandlerUnit.h"
#include "platform/TcpServer.h"
#include "platform/Utf8.h"

std::atomic<bool> KeepConnection{false};

const char* const ListenerStopLine = "接口监听服务器已经停止。";

int ListenerPort(int kind) {
  switch (kind) {
    case 1:
      return SysOption->DoorlockPortNo;
    case 2:
      return SysOption->PolicePortNo;
    case 3:
      return SysOption->MemberPortNo;
    case 4:
      return SysOption->HandPortNo;
    default:
      return -1;
  }
}

std::string ListenerStartLine(int kind) {
  switch (kind) {
    case 1:
      return "门锁接口监听服务器已经启动...";
    case 2:
      return "公安接口监听服务器已经启动...";
    case 3:
      return "会员卡接口监听服务器已经启动...";
    case 4:
      return "手牌接口监听服务器已经启动...";
    default:
      return "";
  }
}

namespace {

// One request of a kind whose connections never stay open; a failure passes out to the server,
// which closes the connection too.
template <typename THandler>
void ServeOneRequest(TTcpConnection& connection, const void* memo) {
  {
    THandler handler(memo);
    const std::string text = DecodeRequestText(connection.ReadRequest());
    handler.HandleMessage(connection, text);
  }
  connection.Close();
}

}  // namespace

void ServeConnection(int kind, TTcpConnection& connection, const void* memo) {
  switch (kind) {
    case 1:
      break;
    case 2:
      return ServeOneRequest<TPoliceMessageHandler>(connection, memo);
    case 3:
      return ServeOneRequest<TMemberMessageHandler>(connection, memo);
    case 4:
      return ServeOneRequest<THandMessageHandler>(connection, memo);
    default:
      // No handler for an unknown kind; its connections are closed.
      connection.Close();
      return;
  }
  {
    TDoorlockMessageHandler handler(memo);
    const std::string text = DecodeRequestText(connection.ReadRequest());
    handler.HandleMessage(connection, text);
  }
  if (!KeepConnection) connection.Close();
}
