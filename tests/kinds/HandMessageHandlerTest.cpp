// The hand tag kind over real sockets: a host of kind 4 with a recording fake hand tag device.
#include "kinds/HandMessageHandlerUnit.h"

#include <gtest/gtest.h>

#include "host/RequestListenerUnit.h"
#include "kinds/BaseHandUnit.h"
#include "support/ClosedConnection.h"
#include "support/FakeKindDevices.h"
#include "support/HostFixture.h"
#include "support/TcpClient.h"

namespace {

using HandMessageHandlerUnit::BuildResponseXml;
using HandMessageHandlerUnit::TResponse;

std::string Response(const std::string& code, const std::string& message,
                     const std::string& handNo) {
  return "<DoorResponse><RequestID></RequestID><ResultCode>" + code +
         "</ResultCode><ResultMessage>" + message + "</ResultMessage><HandNo>" + handNo +
         "</HandNo></DoorResponse>";
}

const std::string kEmptyResponse = Response("", "", "");

// The log lines of one request that got past its parsing.
std::vector<std::string> HandledLines(const std::string& request, const std::string& outcome,
                                      const std::string& response) {
  std::vector<std::string> lines = {"收到消息: ", request, "执行操作->"};
  if (!outcome.empty()) lines.push_back(outcome);
  lines.push_back("返回数据:" + response);
  lines.push_back("完成一次操作");
  return lines;
}

TEST(HandBuildResponseXmlTest, FourElementsInOrderWithNothingBetween) {
  TResponse response;
  EXPECT_EQ(BuildResponseXml(response), kEmptyResponse);
  response.ResultCode = "200";
  response.ResultMessage = "读手牌卡成功";
  response.HandNo = "H<1>&";
  EXPECT_EQ(BuildResponseXml(response), Response("200", "读手牌卡成功", "H&lt;1&gt;&amp;"));
}

class HandRequestTest : public THostFixture {
 protected:
  int Kind() const override { return 4; }
  void SetUp() override {
    HandDevice = &FHand;
    THostFixture::SetUp();
  }
  void TearDown() override {
    THostFixture::TearDown();
    HandDevice = nullptr;
  }

  std::optional<std::string> Ask(const std::string& request) {
    TTcpClient client(Port());
    client.SendRequest(request);
    std::optional<std::string> answer = client.ReadResponse();
    EXPECT_TRUE(client.WaitClosed()) << "the host closes every hand tag connection";
    WaitIdle();
    return answer;
  }
  std::vector<std::string> LinesSince(size_t before) const {
    const std::vector<std::string> lines = LogLines();
    return std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end());
  }

  TFakeHand FHand;
};

TEST_F(HandRequestTest, RequestsAreAnsweredAndLoggedByOutcome) {
  struct Row {
    std::string type;
    bool deviceResult;
    std::string deviceNo;
    std::string response;
    std::string logLine;
  } rows[] = {
      {"IssueHand", true, "H7", Response("200", "写手牌卡成功", "H7"), "写手牌卡成功"},
      // A failed issue still carries whatever number the device handed back.
      {"IssueHand", false, "H7", Response("500", "发手牌卡失败", "H7"), "发手牌失败"},
      {"IssueHand", false, "", Response("500", "发手牌卡失败", ""), "发手牌失败"},
      {"ReadHand", true, "H7", Response("200", "读手牌卡成功", "H7"), "读手牌成功，卡号为：H7"},
      {"ReadHand", false, "H7", Response("500", "读手牌卡失败", ""), "读手牌失败"},
      // The erase messages end with a blank in the response and not in the log.
      {"EraseHand", true, "H7", Response("200", "注销手牌成功 ", "H7"), "注销手牌成功"},
      {"EraseHand", false, "H7", Response("500", "注销手牌失败 ", ""), "注销手牌失败"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.type + (row.deviceResult ? " ok" : " refused") + " [" + row.deviceNo + "]");
    FHand.Result = row.deviceResult;
    FHand.HandNo = row.deviceNo;
    FHand.Clear();
    const std::string request = "<R type=\"" + row.type + "\"/>";
    const size_t before = LogLines().size();
    EXPECT_EQ(Ask(request), row.response);
    EXPECT_EQ(LinesSince(before), HandledLines(request, row.logLine, row.response));
    // The number handed to the device starts empty.
    EXPECT_EQ(FHand.Calls(), std::vector<std::string>{row.type + "()"});
  }
}

TEST_F(HandRequestTest, OnlyTheTypeIsRead) {
  struct Row {
    std::string request;
    bool answered;
  } rows[] = {
      {"<R type=\"ReadHand\"/>", true},
      // Children are ignored, whatever they hold; the number comes from the device.
      {"<R type=\"ReadHand\"><HandNo>X9</HandNo><a>1</a></R>", true},
      {"<Any Type=\"\t IssueHand \n\"/>", true},
      {"<R type=\"issuehand\"/>", false},
      {"<R type=\"EraseCard\"/>", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.request);
    const std::optional<std::string> answer = Ask(row.request);
    EXPECT_EQ(answer.has_value(), row.answered);
    if (answer) {
      EXPECT_NE(answer->find("<HandNo>H0042</HandNo>"), std::string::npos) << *answer;
    }
  }
}

TEST_F(HandRequestTest, UnknownTypeIsNotAnsweredButLogsTheUntouchedResponse) {
  for (const std::string request : {"<R/>", "<R type=\"ReadHands\"/>"}) {
    SCOPED_TRACE(request);
    const size_t before = LogLines().size();
    EXPECT_EQ(Ask(request), std::nullopt);
    EXPECT_EQ(LinesSince(before), HandledLines(request, "", kEmptyResponse));
  }
  EXPECT_TRUE(FHand.Calls().empty());
}

TEST_F(HandRequestTest, RequestsThatAreNotXmlEndAfterTheFirstLine) {
  for (const std::string request : {"", "IssueHand", "<R type=\"IssueHand\">"}) {
    SCOPED_TRACE(request);
    const size_t before = LogLines().size();
    EXPECT_EQ(Ask(request), std::nullopt);
    EXPECT_EQ(LinesSince(before), (std::vector<std::string>{"收到消息: ", request}));
  }
  EXPECT_TRUE(FHand.Calls().empty());
}

TEST_F(HandRequestTest, NoDeviceAnswersFailureWithAnEmptyNumber) {
  HandDevice = nullptr;
  EXPECT_EQ(Ask("<R type=\"IssueHand\"/>"), Response("500", "发手牌卡失败", ""));
  EXPECT_EQ(Ask("<R type=\"ReadHand\"/>"), Response("500", "读手牌卡失败", ""));
  EXPECT_EQ(Ask("<R type=\"EraseHand\"/>"), Response("500", "注销手牌失败 ", ""));
  EXPECT_TRUE(FHand.Calls().empty());
}

TEST_F(HandRequestTest, OnlyOneRequestPerConnectionEvenWithKeepConnection) {
  KeepConnection = true;
  TTcpClient client(Port());
  const std::string read = "<R type=\"ReadHand\"/>";
  client.Send(read + '\0' + read + '\0');
  EXPECT_TRUE(client.ReadResponse().has_value());
  EXPECT_EQ(client.ReadResponse(), std::nullopt);
  EXPECT_TRUE(client.WaitClosed());
  WaitIdle();
  EXPECT_EQ(FHand.Calls().size(), 1u);
}

TEST_F(HandRequestTest, AFailedWriteIsLoggedAndTheClosingLinesFollow) {
  const std::string request = "<R type=\"ReadHand\"/>";
  const size_t before = LogLines().size();
  EXPECT_TRUE(
      HandleOnClosedConnection(request, [](TTcpConnection& connection, const std::string& text) {
        THandMessageHandler(nullptr).HandleMessage(connection, text);
      }));
  const std::vector<std::string> lines = LinesSince(before);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[3], "读手牌成功，卡号为：H0042");
  EXPECT_FALSE(lines[4].empty()) << "the write error's message";
  EXPECT_EQ(lines[5], "返回数据:" + Response("200", "读手牌卡成功", "H0042"));
  EXPECT_EQ(lines[6], "完成一次操作");
}

}  // namespace
