#include "doorlock/DoorlockMessageHandlerUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "host/RequestListenerUnit.h"
#include "support/HostFixture.h"
#include "support/TcpClient.h"

namespace {

using DoorlockMessageHandlerUnit::BuildResponseXml;
using DoorlockMessageHandlerUnit::TResponse;

std::string Response(const std::string& code, const std::string& message, long long cardNo) {
  return "<DoorResponse><RequestID></RequestID><ResultCode>" + code +
         "</ResultCode><ResultMessage>" + message + "</ResultMessage><CardNo>" +
         std::to_string(cardNo) + "</CardNo></DoorResponse>";
}

const std::string kEmptyResponse = Response("", "", 0);

// The log lines of one handled request that was answered or passed through the dispatch.
std::vector<std::string> HandledLines(const std::string& request, const std::string& outcome,
                                      const std::string& response) {
  std::vector<std::string> lines = {"收到消息: ", request, "执行操作->"};
  if (!outcome.empty()) lines.push_back(outcome);
  lines.push_back("返回数据:" + response);
  lines.push_back("完成一次操作");
  return lines;
}

TEST(BuildResponseXmlTest, ConcatenatesThePiecesWithNothingBetween) {
  TResponse response;
  EXPECT_EQ(BuildResponseXml(response), kEmptyResponse);
  response.ResultCode = "200";
  response.ResultMessage = "发卡成功";
  response.CardNo = 9876543210123LL;  // above 32 bits, in full
  EXPECT_EQ(BuildResponseXml(response),
            "<DoorResponse><RequestID></RequestID><ResultCode>200</ResultCode><ResultMessage>"
            "发卡成功</ResultMessage><CardNo>9876543210123</CardNo></DoorResponse>");
  response.CardNo = -42;
  EXPECT_NE(BuildResponseXml(response).find("<CardNo>-42</CardNo>"), std::string::npos);
}

class DoorlockRequestTest : public THostFixture {};

TEST_F(DoorlockRequestTest, ReadAndEraseAnswerByOutcome) {
  struct Row {
    const char* request;
    bool deviceResult;
    std::string response;
    std::string logLine;
  } rows[] = {
      {"<R type=\"ReadCard\"/>", true, Response("200", "读卡成功", 5000000000LL),
       "读卡成功，卡号为：5000000000"},
      {"<R type=\"ReadCard\"/>", false, Response("500", "读卡失败", 0), "读卡失败"},
      // The erase messages end with a blank in the response and not in the log.
      {"<R type=\"EraseCard\"/>", true, Response("200", "注销卡成功 ", 0), "注销卡成功"},
      {"<R type=\"EraseCard\"/>", false, Response("500", "注销卡失败 ", 0), "注销卡失败"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.request) + (row.deviceResult ? " ok" : " refused"));
    FDevice.ReadResult = FDevice.EraseResult = row.deviceResult;
    FDevice.CardNo = 5000000000LL;
    const size_t before = LogLines().size();
    TTcpClient client(Port());
    client.SendRequest(row.request);
    EXPECT_EQ(client.ReadResponse(), row.response);
    EXPECT_TRUE(client.WaitClosed()) << "the connection is closed after the answer";
    WaitIdle();
    const std::vector<std::string> lines = LogLines();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + before, lines.end()),
              HandledLines(row.request, row.logLine, row.response));
  }
}

TEST_F(DoorlockRequestTest, TypeIsMatchedByAttributeNameWithoutCaseAndTrimmedValue) {
  struct Row {
    const char* request;
    bool answered;
  } rows[] = {
      {"<R type=\"ReadCard\"/>", true},
      {"<R TYPE=\"ReadCard\"/>", true},
      {"<R Type=\"\t ReadCard \r\n\"/>", true},
      {"<Anything type=\"ReadCard\"><RequestID>77</RequestID></Anything>", true},
      {"<R type=\"readcard\"/>", false},
      {"<R type=\"\"/>", false},
      {"<R kind=\"ReadCard\"/>", false},
  };
  for (const Row& row : rows) {
    const std::optional<std::string> answer = Exchange(Port(), row.request);
    EXPECT_EQ(answer.has_value(), row.answered) << row.request;
    // A value in the request's RequestID is never taken over.
    if (answer) {
      EXPECT_EQ(*answer, Response("200", "读卡成功", 1001)) << row.request;
    }
  }
}

TEST_F(DoorlockRequestTest, UnknownTypeIsNotAnsweredButLogsTheUntouchedResponse) {
  TTcpClient client(Port());
  client.SendRequest("<R/>");
  EXPECT_EQ(client.ReadResponse(), std::nullopt);
  EXPECT_TRUE(client.WaitClosed());
  WaitIdle();
  EXPECT_EQ(LogLines(), HandledLines("<R/>", "", kEmptyResponse));
  EXPECT_TRUE(FDevice.Calls().empty());
}

TEST_F(DoorlockRequestTest, RequestsThatAreNotXmlEndWithoutAnswer) {
  const char* rows[] = {"", "not xml", "<R type=\"ReadCard\">", "   ",
                        // References to characters XML does not allow, which the reader would
                        // turn into a cut-off value or bytes that are not UTF-8.
                        "<R type=\"ReadCard\">&#0;</R>", "<R type=\"ReadCard\" a=\"&#xD800;\"/>",
                        "<R type=\"Read&#x110000;Card\"/>"};
  for (const char* request : rows) {
    SCOPED_TRACE(request);
    const size_t before = LogLines().size();
    TTcpClient client(Port());
    client.SendRequest(request);
    EXPECT_EQ(client.ReadResponse(), std::nullopt);
    EXPECT_TRUE(client.WaitClosed());
    WaitIdle();
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), before + 2) << "only the received message is logged";
    EXPECT_EQ(lines[before], "收到消息: ");
    EXPECT_EQ(lines[before + 1], request);
  }
  EXPECT_TRUE(FDevice.Calls().empty());
  // The listener goes on serving.
  EXPECT_TRUE(Exchange(Port(), "<R type=\"ReadCard\"/>").has_value());
}

TEST_F(DoorlockRequestTest, MalformedUtf8ReachesTheHandlerAsAnEmptyText) {
  TTcpClient client(Port());
  client.Send(std::string("<R type=\"ReadCard\">\xE4\xB8</R>") + '\0');
  EXPECT_EQ(client.ReadResponse(), std::nullopt);
  WaitIdle();
  const std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "");
}

TEST_F(DoorlockRequestTest, NoDeviceAnswersFailure) {
  ResetDoorlock();
  EXPECT_EQ(Exchange(Port(), "<R type=\"ReadCard\"/>"), Response("500", "读卡失败", 0));
  EXPECT_EQ(Exchange(Port(), "<R type=\"EraseCard\"/>"), Response("500", "注销卡失败 ", 0));
}

TEST_F(DoorlockRequestTest, AFailedWriteIsLoggedAndTheClosingLinesFollow) {
  TTcpClient client(Port());
  // The peer resets the connection while the device works, so the answer cannot be written.
  FDevice.During = [&client] {
    client.Abort();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  };
  client.SendRequest("<R type=\"ReadCard\"/>");
  WaitLastLogLine("完成一次操作");
  const std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[3], "读卡成功，卡号为：1001");
  EXPECT_FALSE(lines[4].empty()) << "the write error's message";
  EXPECT_EQ(lines[4].find("返回数据:"), std::string::npos);
  EXPECT_EQ(lines[5], "返回数据:" + Response("200", "读卡成功", 1001));
  EXPECT_EQ(lines[6], "完成一次操作");
}

TEST_F(DoorlockRequestTest, FramingOfDoorlockRequests) {
  const std::string read = "<R type=\"ReadCard\"/>";
  const std::string padded16384 = read + std::string(16384 - read.size(), ' ');
  struct Row {
    const char* name;
    std::string bytes;
    int answers;
  } rows[] = {
      {"exactly 16384 bytes", padded16384 + '\0', 1},
      {"16385 bytes", padded16384 + " " + '\0', 0},
      {"a lone NUL", std::string(1, '\0'), 0},
      // Without the keep flag only the first request of a connection is answered.
      {"two requests on a closing connection", read + '\0' + read + '\0', 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TTcpClient client(Port());
    client.Send(row.bytes);
    int answers = 0;
    while (client.ReadResponse(1000)) ++answers;
    EXPECT_EQ(answers, row.answers);
    EXPECT_TRUE(client.WaitClosed());
  }
  WaitIdle();
  // The lone NUL reached the handler as an empty text: logged, then no root element.
  const std::vector<std::string> lines = LogLines();
  bool emptyRequestLogged = false;
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i] == "收到消息: " && lines[i + 1].empty()) emptyRequestLogged = true;
  }
  EXPECT_TRUE(emptyRequestLogged);
}

}  // namespace
