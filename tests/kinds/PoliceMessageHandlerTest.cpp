// The police registration kind over real sockets: a host of kind 2 with a fake police device
// that hands out the guest a test puts into it.
#include "kinds/PoliceMessageHandlerUnit.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "host/RequestListenerUnit.h"
#include "kinds/BasePoliceUnit.h"
#include "platform/DateTime.h"
#include "support/ClosedConnection.h"
#include "support/FakeKindDevices.h"
#include "support/HostFixture.h"
#include "support/TcpClient.h"

namespace {

TPoliceGuest SampleGuest() {
  TPoliceGuest guest;
  guest.RoomNo = "0101";
  guest.EnterTime = "2024-01-05 12:05:09";
  guest.Extra1 = "not read";
  guest.IdCardNo = "110101199001011234";
  guest.Name = "Li Lei";
  guest.Nationality = "CHN";
  guest.GenderID = "1";
  guest.Extra2 = "not read either";
  guest.CountryCode = "156";
  guest.ProvinceCode = "11";
  guest.Address = "Chaoyang Road 1";
  guest.Birthday = "1990-01-01";
  return guest;
}

const std::string kSampleGuestXml =
    "<Guest><RoomNo>0101</RoomNo><EnterTime>2024-01-05 12:05:09</EnterTime>"
    "<IdCardTypeID>11</IdCardTypeID><IdCardNo>110101199001011234</IdCardNo><Name>Li Lei</Name>"
    "<Nationality>CHN</Nationality><GenderID>1</GenderID><SalutationID>2</SalutationID>"
    "<CountryCode>156</CountryCode><ProvinceCode>11</ProvinceCode>"
    "<Address>Chaoyang Road 1</Address><Birthday>1990-01-01</Birthday></Guest>";

const std::string kNoGuest = "<PoliceResponse></PoliceResponse>";

TEST(BuildGuestXmlTest, ElementsInOrderWithTheFixedDocumentType) {
  EXPECT_EQ(BuildGuestXml(SampleGuest()), kSampleGuestXml);
}

TEST(BuildGuestXmlTest, SalutationIsGenderPlusOne) {
  struct Row {
    const char* gender;
    const char* salutation;
  } rows[] = {{"1", "2"}, {"2", "3"}, {"0", "1"}, {"-1", "0"}, {"2147483647", "2147483648"}};
  for (const Row& row : rows) {
    TPoliceGuest guest = SampleGuest();
    guest.GenderID = row.gender;
    EXPECT_NE(
        BuildGuestXml(guest).find(std::string("<GenderID>") + row.gender +
                                  "</GenderID><SalutationID>" + row.salutation + "</SalutationID>"),
        std::string::npos)
        << row.gender;
  }
  for (const char* gender : {"", "男", "1.5", "0x1", "2147483648"}) {
    TPoliceGuest guest = SampleGuest();
    guest.GenderID = gender;
    EXPECT_THROW(BuildGuestXml(guest), EConvertError) << gender;
  }
}

TEST(BuildGuestXmlTest, FieldsHoldingXmlCharactersAreEscaped) {
  TPoliceGuest guest = SampleGuest();
  guest.Name = "Tom & Jerry";
  guest.Address = "</Address><RoomNo>9999</RoomNo><Address>";
  guest.RoomNo = "<'\">";
  const std::string xml = BuildGuestXml(guest);
  EXPECT_NE(xml.find("<Name>Tom &amp; Jerry</Name>"), std::string::npos) << xml;
  EXPECT_NE(xml.find("<RoomNo>&lt;&apos;&quot;&gt;</RoomNo>"), std::string::npos) << xml;
  // Still one guest of twelve elements, each holding exactly its field.
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(xml.c_str()));
  const pugi::xml_node root = document.document_element();
  EXPECT_EQ(std::distance(root.begin(), root.end()), 12);
  EXPECT_STREQ(root.child("Name").text().get(), guest.Name.c_str());
  EXPECT_STREQ(root.child("Address").text().get(), guest.Address.c_str());
  EXPECT_STREQ(root.child("RoomNo").text().get(), guest.RoomNo.c_str());
}

// Every byte the host sends on one connection until it closes it.
std::string ExchangeBytes(int port, const std::string& request) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  std::string bytes;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    const std::string frame = request + '\0';
    if (::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) ==
        static_cast<ssize_t>(frame.size())) {
      for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) break;  // the host would have closed long before
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
      }
    }
  }
  ::close(fd);
  return bytes;
}

class PoliceRequestTest : public THostFixture {
 protected:
  int Kind() const override { return 2; }
  void SetUp() override {
    PoliceDevice = &FPolice;
    THostFixture::SetUp();
  }
  void TearDown() override {
    THostFixture::TearDown();
    PoliceDevice = nullptr;
  }
  std::vector<std::string> LinesSince(size_t before) const {
    const std::vector<std::string> lines = LogLines();
    return std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end());
  }

  TFakePolice FPolice;
};

TEST_F(PoliceRequestTest, WithoutAGuestTheExactBytesAreTheEmptyResponseAndOneNul) {
  const std::string bytes = ExchangeBytes(Port(), "<R/>");
  EXPECT_EQ(bytes, kNoGuest + '\0');
  EXPECT_EQ(bytes.size(), 34u);
}

TEST_F(PoliceRequestTest, AnyRequestIsAnsweredWithTheCurrentGuestAndLogged) {
  FPolice.Guest = SampleGuest();
  const std::string response = "<PoliceResponse>" + kSampleGuestXml + "</PoliceResponse>";
  // The request is not parsed: XML or not, empty or not, it is answered alike.
  for (const std::string request :
       {"<R type=\"GetGuest\"/>", "", "not xml", "<R type=\"ReadCard\"/>"}) {
    SCOPED_TRACE(request);
    FPolice.Clear();
    const size_t before = LogLines().size();
    // The host closes the connection after the one answer.
    EXPECT_EQ(ExchangeBytes(Port(), request), response + '\0');
    WaitIdle();
    EXPECT_EQ(LinesSince(before),
              (std::vector<std::string>{"收到消息: ", request, "返回结果: ", response}));
    EXPECT_EQ(FPolice.Calls(), std::vector<std::string>{"GetGuest()"});
  }
}

TEST_F(PoliceRequestTest, OnlyOneRequestPerConnectionEvenWithKeepConnection) {
  KeepConnection = true;
  TTcpClient client(Port());
  client.Send(std::string("<R/>") + '\0' + "<R/>" + '\0');
  EXPECT_EQ(client.ReadResponse(), kNoGuest);
  EXPECT_EQ(client.ReadResponse(), std::nullopt);
  EXPECT_TRUE(client.WaitClosed());
  WaitIdle();
  EXPECT_EQ(FPolice.Calls().size(), 1u);
}

TEST_F(PoliceRequestTest, NonAsciiTextTravelsAsUtf8AndIsLoggedAsIs) {
  TPoliceGuest guest = SampleGuest();
  guest.Name = "李雷";
  guest.Address = "北京市朝阳区";
  FPolice.Guest = guest;
  const std::optional<std::string> answer = Exchange(Port(), "<R/>");
  ASSERT_TRUE(answer.has_value());
  EXPECT_NE(answer->find("<Name>\xE6\x9D\x8E\xE9\x9B\xB7</Name>"), std::string::npos);
  EXPECT_NE(answer->find("<Address>北京市朝阳区</Address>"), std::string::npos);
  WaitIdle();
  EXPECT_EQ(LogLines().back(), *answer);
}

TEST_F(PoliceRequestTest, FieldsHoldingLessThanOrAmpersandArriveEscaped) {
  TPoliceGuest guest = SampleGuest();
  guest.Name = "A<B";
  guest.Address = "No. 5 & 6";
  FPolice.Guest = guest;
  const std::optional<std::string> answer = Exchange(Port(), "<R/>");
  ASSERT_TRUE(answer.has_value());
  EXPECT_NE(answer->find("<Name>A&lt;B</Name>"), std::string::npos) << *answer;
  EXPECT_NE(answer->find("<Address>No. 5 &amp; 6</Address>"), std::string::npos) << *answer;
  pugi::xml_document document;
  EXPECT_TRUE(document.load_string(answer->c_str())) << "the answer is well-formed XML";
}

TEST_F(PoliceRequestTest, AGenderThatIsNoIntegerEndsWithoutAnswer) {
  TPoliceGuest guest = SampleGuest();
  guest.GenderID = "M";
  FPolice.Guest = guest;
  const size_t before = LogLines().size();
  EXPECT_EQ(ExchangeBytes(Port(), "<R/>"), "") << "closed without an answer";
  WaitIdle();
  // The request is logged, the response is not.
  EXPECT_EQ(LinesSince(before), (std::vector<std::string>{"收到消息: ", "<R/>"}));
  // The listener goes on serving.
  FPolice.Guest = SampleGuest();
  EXPECT_TRUE(Exchange(Port(), "<R/>").has_value());
}

TEST_F(PoliceRequestTest, NoDeviceAnswersAsADeviceWithoutAGuest) {
  PoliceDevice = nullptr;
  const size_t before = LogLines().size();
  EXPECT_EQ(ExchangeBytes(Port(), "<R/>"), kNoGuest + '\0');
  WaitIdle();
  EXPECT_EQ(LinesSince(before),
            (std::vector<std::string>{"收到消息: ", "<R/>", "返回结果: ", kNoGuest}));
}

TEST_F(PoliceRequestTest, AFailedWriteIsIgnoredAfterTheResponseWasLogged) {
  const size_t before = LogLines().size();
  EXPECT_TRUE(
      HandleOnClosedConnection("<R/>", [](TTcpConnection& connection, const std::string& text) {
        TPoliceMessageHandler(nullptr).HandleMessage(connection, text);
      }));
  EXPECT_EQ(LinesSince(before),
            (std::vector<std::string>{"收到消息: ", "<R/>", "返回结果: ", kNoGuest}));
}

}  // namespace
