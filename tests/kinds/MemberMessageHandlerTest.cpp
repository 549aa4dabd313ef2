// The member card kind over real sockets: a host of kind 3 with a recording fake member card
// device.
#include "kinds/MemberMessageHandlerUnit.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "host/RequestListenerUnit.h"
#include "kinds/BaseMemberUnit.h"
#include "support/ClosedConnection.h"
#include "support/FakeKindDevices.h"
#include "support/HostFixture.h"
#include "support/TcpClient.h"

namespace {

using MemberMessageHandlerUnit::BuildResponseXml;
using MemberMessageHandlerUnit::TResponse;

struct TFields {
  std::string CardNo, ExpireDate, GuestName, Score, Password;
};

std::string Response(const std::string& code, const std::string& message, const TFields& f = {}) {
  return "<DoorResponse><RequestID></RequestID><ResultCode>" + code +
         "</ResultCode><ResultMessage>" + message + "</ResultMessage><CardNo>" + f.CardNo +
         "</CardNo><ExpireDate>" + f.ExpireDate + "</ExpireDate><GuestName>" + f.GuestName +
         "</GuestName><Score>" + f.Score + "</Score><Password>" + f.Password +
         "</Password></DoorResponse>";
}

TFields CardOnly(const std::string& cardNo) {
  TFields fields;
  fields.CardNo = cardNo;
  return fields;
}

// The fake's read as it reaches the response.
const TFields kReadFields = {"M1001", "2030-12-31", "张三", "120", "pw"};

const std::string kWrite =
    "<R type=\"WriteMemberCard\"><E0/><No>C7</No><A>x</A><B>y</B><C>z</C></R>";
const std::string kRead = "<R type=\"ReadMemberCard\"><E0/><Flag>1</Flag></R>";
const std::string kPrint = "<R type=\"PrintMemberCard\"><E0/><No>C7</No><T>hello</T></R>";

TEST(MemberBuildResponseXmlTest, EightElementsInOrderWithNothingBetween) {
  TResponse response;
  EXPECT_EQ(BuildResponseXml(response), Response("", ""));
  response.ResultCode = "200";
  response.ResultMessage = "读卡成功";
  response.CardNo = "1";
  response.Password = "2";
  response.ExpireDate = "3";
  response.GuestName = "4";
  response.Score = "5";
  EXPECT_EQ(BuildResponseXml(response), Response("200", "读卡成功", {"1", "3", "4", "5", "2"}));
}

TEST(MemberBuildResponseXmlTest, DeviceTextsAreEscaped) {
  TResponse response;
  response.GuestName = "O'Brien & <Sons> \"Ltd\"";
  response.CardNo = "</CardNo><ResultCode>200</ResultCode>";
  const std::string xml = BuildResponseXml(response);
  EXPECT_NE(xml.find("<GuestName>O&apos;Brien &amp; &lt;Sons&gt; &quot;Ltd&quot;</GuestName>"),
            std::string::npos)
      << xml;
  // The answer stays one well-formed document whose elements hold exactly the texts.
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(xml.c_str()));
  const pugi::xml_node root = document.document_element();
  EXPECT_EQ(std::distance(root.begin(), root.end()), 8);
  EXPECT_STREQ(root.child("GuestName").text().get(), response.GuestName.c_str());
  EXPECT_STREQ(root.child("CardNo").text().get(), response.CardNo.c_str());
  EXPECT_STREQ(root.child("ResultCode").text().get(), "");
}

class MemberRequestTest : public THostFixture {
 protected:
  int Kind() const override { return 3; }
  void SetUp() override {
    MemberDevice = &FMember;
    THostFixture::SetUp();
  }
  void TearDown() override {
    THostFixture::TearDown();
    MemberDevice = nullptr;
  }

  // Sends one request on a new connection; the answer, if any, once the host has closed the
  // connection and finished logging.
  std::optional<std::string> Ask(const std::string& request) {
    TTcpClient client(Port());
    client.SendRequest(request);
    std::optional<std::string> answer = client.ReadResponse();
    EXPECT_TRUE(client.WaitClosed()) << "the host closes every member card connection";
    WaitIdle();
    return answer;
  }
  // The log lines written since `before` lines.
  std::vector<std::string> LinesSince(size_t before) const {
    const std::vector<std::string> lines = LogLines();
    return std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end());
  }

  TFakeMember FMember;
};

TEST_F(MemberRequestTest, RequestsAreAnsweredAndLoggedByOutcome) {
  struct Row {
    const std::string& request;
    bool deviceResult;
    std::string response;
    std::string logLine;
    std::string call;
  } rows[] = {
      {kWrite, true, Response("200", "写卡成功", CardOnly("C7")), "写卡成功,卡号为:C7",
       "WriteMemberCard(C7,x,y,z,-1)"},
      // The card number is echoed also when the write fails.
      {kWrite, false, Response("500", "写卡失败", CardOnly("C7")), "写卡失败,卡号为:C7",
       "WriteMemberCard(C7,x,y,z,-1)"},
      {kRead, true, Response("200", "读卡成功", kReadFields), "读卡成功，卡号为：M1001",
       "ReadMemberCard(true,,-1)"},
      // What a refusing device handed back is not passed on.
      {kRead, false, Response("500", "读卡失败"), "读卡失败", "ReadMemberCard(true,,-1)"},
      // A print answers with an empty card number whatever element 1 holds.
      {kPrint, true, Response("200", "打印卡成功"), "打印卡成功", "PrintMemberCard(C7,hello)"},
      {kPrint, false, Response("500", "打印卡失败"), "打印卡失败", "PrintMemberCard(C7,hello)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.call + (row.deviceResult ? " ok" : " refused"));
    FMember.Result = row.deviceResult;
    FMember.Clear();
    const size_t before = LogLines().size();
    EXPECT_EQ(Ask(row.request), row.response);
    // No "执行操作->", no response and no closing line in this kind's log.
    EXPECT_EQ(LinesSince(before),
              (std::vector<std::string>{"收到消息: ", row.request, row.logLine}));
    EXPECT_EQ(FMember.Calls(), std::vector<std::string>{row.call});
  }
}

TEST_F(MemberRequestTest, FlagAndChannelRules) {
  struct Row {
    std::string request;
    std::string call;
  } rows[] = {
      {"<R type=\"ReadMemberCard\"><E0/><F>1</F></R>", "ReadMemberCard(true,,-1)"},
      {"<R type=\"ReadMemberCard\"><E0/><F>0</F></R>", "ReadMemberCard(false,,-1)"},
      {"<R type=\"ReadMemberCard\"><E0/><F>2</F></R>", "ReadMemberCard(false,,-1)"},
      {"<R type=\"ReadMemberCard\"><E0/><F>\n 1 \n</F></R>", "ReadMemberCard(true,,-1)"},
      {"<R type=\"ReadMemberCard\"><E0/><F>1</F><C>11</C></R>", "ReadMemberCard(true,,11)"},
      {"<R type=\"ReadMemberCard\"><E0/><F>1</F><C>abc</C></R>", "ReadMemberCard(true,,-1)"},
      {"<R type=\"ReadMemberCard\"><E0/><F>1</F><C></C></R>", "ReadMemberCard(true,,-1)"},
      {"<R type=\"ReadMemberCard\"><E0/><F>1</F><C>-5</C><X>9</X></R>", "ReadMemberCard(true,,-5)"},
      {"<R type=\"WriteMemberCard\"><E0/><N>C1</N><A/><B/><C/><Ch>7</Ch></R>",
       "WriteMemberCard(C1,,,,7)"},
      {"<R type=\"WriteMemberCard\"><E0/><N>C1</N><A/><B/><C/><Ch>7x</Ch></R>",
       "WriteMemberCard(C1,,,,-1)"},
      {"<R type=\"WriteMemberCard\"><E0/><N>C1</N><A/><B/><C/><Ch>99999999999</Ch></R>",
       "WriteMemberCard(C1,,,,-1)"},
      // Element names are never examined, and further children are ignored.
      {"<R type=\"WriteMemberCard\"><a/><b>C1</b><c>p</c><d>q</d><e>r</e><f>3</f><g>4</g></R>",
       "WriteMemberCard(C1,p,q,r,3)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.request);
    FMember.Clear();
    EXPECT_TRUE(Ask(row.request).has_value());
    EXPECT_EQ(FMember.Calls(), std::vector<std::string>{row.call});
  }
}

TEST_F(MemberRequestTest, TypeIsTrimmedAndMatchedExactly) {
  struct Row {
    std::string request;
    bool answered;
  } rows[] = {
      {"<R type=\" \tReadMemberCard\r\n \"><E0/><F>1</F></R>", true},
      {"<R TYPE=\"ReadMemberCard\"><E0/><F>1</F></R>", true},
      {"<R type=\"readmembercard\"><E0/><F>1</F></R>", false},
      {"<R type=\"ReadCard\"><E0/><F>1</F></R>", false},
      {"<R><E0/><F>1</F></R>", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.request);
    const size_t before = LogLines().size();
    EXPECT_EQ(Ask(row.request).has_value(), row.answered);
    if (!row.answered) {
      EXPECT_EQ(LinesSince(before), (std::vector<std::string>{"收到消息: ", row.request}));
    }
  }
}

TEST_F(MemberRequestTest, FaultyRequestsEndWithoutAnswerAndWithoutDeviceCall) {
  const std::string rows[] = {
      "",
      "not xml",
      "<R type=\"WriteMemberCard\">",
      // Fewer than five children for a write: element 4 is missing.
      "<R type=\"WriteMemberCard\"><E0/><N>C1</N><A/><B/></R>",
      "<R type=\"WriteMemberCard\"><E0/></R>",
      "<R type=\"ReadMemberCard\"><E0/></R>",
      // The read flag must be an integer.
      "<R type=\"ReadMemberCard\"><E0/><F>yes</F></R>",
      "<R type=\"ReadMemberCard\"><E0/><F></F></R>",
      "<R type=\"ReadMemberCard\"><E0/><F>1.0</F></R>",
      "<R type=\"PrintMemberCard\"><E0/><N>C1</N></R>",
      // A value referring to a character XML does not allow would be echoed as bytes that are
      // not UTF-8, or cut off.
      "<R type=\"WriteMemberCard\"><E0/><N>C&#xD800;1</N><A/><B/><C/></R>",
      "<R type=\"PrintMemberCard\"><E0/><N>C1&#0;2</N><T>t</T></R>",
  };
  // The request's own faults end it the same way with and without a device.
  for (const bool withDevice : {true, false}) {
    MemberDevice = withDevice ? &FMember : nullptr;
    for (const std::string& request : rows) {
      SCOPED_TRACE(request + (withDevice ? "" : " (no device)"));
      const size_t before = LogLines().size();
      EXPECT_EQ(Ask(request), std::nullopt);
      EXPECT_EQ(LinesSince(before), (std::vector<std::string>{"收到消息: ", request}));
    }
  }
  EXPECT_TRUE(FMember.Calls().empty());
  // The listener goes on serving.
  MemberDevice = &FMember;
  EXPECT_TRUE(Ask(kRead).has_value());
}

TEST_F(MemberRequestTest, NoDeviceAnswersFailure) {
  MemberDevice = nullptr;
  EXPECT_EQ(Ask(kWrite), Response("500", "写卡失败", CardOnly("C7")));
  EXPECT_EQ(Ask(kRead), Response("500", "读卡失败"));
  EXPECT_EQ(Ask(kPrint), Response("500", "打印卡失败"));
  EXPECT_TRUE(FMember.Calls().empty());
}

TEST_F(MemberRequestTest, ValuesHoldingXmlCharactersArriveEscaped) {
  FMember.GuestName = "A&B <C>";
  FMember.CardNo = "1\"2'3";
  const std::optional<std::string> read = Ask(kRead);
  ASSERT_TRUE(read.has_value());
  EXPECT_NE(read->find("<GuestName>A&amp;B &lt;C&gt;</GuestName>"), std::string::npos) << *read;
  EXPECT_NE(read->find("<CardNo>1&quot;2&apos;3</CardNo>"), std::string::npos) << *read;
  // The log line is plain text and holds the number as the device gave it.
  EXPECT_EQ(LogLines().back(), "读卡成功，卡号为：1\"2'3");

  // A card number that the request wrote as entities is echoed as one again.
  const std::optional<std::string> write =
      Ask("<R type=\"WriteMemberCard\"><E0/><N>&lt;x&gt;&amp;</N><A/><B/><C/></R>");
  ASSERT_TRUE(write.has_value());
  EXPECT_EQ(*write, Response("200", "写卡成功", CardOnly("&lt;x&gt;&amp;")));
  EXPECT_EQ(FMember.Calls().back(), "WriteMemberCard(<x>&,,,,-1)");
}

TEST_F(MemberRequestTest, OnlyOneRequestPerConnectionEvenWithKeepConnection) {
  KeepConnection = true;
  TTcpClient client(Port());
  client.Send(kRead + '\0' + kRead + '\0');
  EXPECT_TRUE(client.ReadResponse().has_value());
  EXPECT_EQ(client.ReadResponse(), std::nullopt);
  EXPECT_TRUE(client.WaitClosed());
  WaitIdle();
  EXPECT_EQ(FMember.Calls().size(), 1u);
}

TEST_F(MemberRequestTest, AFailedWriteIsIgnoredSilently) {
  const size_t before = LogLines().size();
  EXPECT_TRUE(
      HandleOnClosedConnection(kRead, [](TTcpConnection& connection, const std::string& text) {
        TMemberMessageHandler(nullptr).HandleMessage(connection, text);
      }));
  EXPECT_EQ(LinesSince(before),
            (std::vector<std::string>{"收到消息: ", kRead, "读卡成功，卡号为：M1001"}));
}

}  // namespace
