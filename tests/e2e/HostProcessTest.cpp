// Drives the built host as a person would: a copy of build/bin in a fresh folder, started on
// Qt's offscreen platform, spoken to over TCP, ended by a signal.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "support/HostProcess.h"
#include "support/StoreRows.h"
#include "support/TcpClient.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

class HostProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CopyHostPrograms(HOST_BIN_DIR, FDir.Path());
    FPort = FreePort();
  }

  void TearDown() override {
    if (FPid > 0) {
      ::kill(FPid, SIGKILL);
      ::waitpid(FPid, nullptr, 0);
    }
  }

  void WriteOptions(const std::string& extra = "") {
    WriteFileBytes(FDir.File("Option.ini"),
                   "[SysOption]\r\nDoorlockPortNo=" + std::to_string(FPort) + "\r\n" + extra);
  }

  void Start() {
    FPid = ::fork();
    if (FPid == 0) {
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
      const std::string exe = FDir.File("doorlock-host");
      ::execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }

  // Waits until the host answers on its port.
  bool WaitListening() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      TTcpClient probe(FPort);
      if (probe.Connected()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  // Sends the signal and returns the exit status, or -1 when the host did not end in time.
  int StopWith(int signal) {
    ::kill(FPid, signal);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (::waitpid(FPid, &status, WNOHANG) == FPid) {
        FPid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }

  std::string TodaysLog() const {
    for (const auto& entry : fs::directory_iterator(FDir.Path())) {
      if (std::regex_match(entry.path().filename().string(), std::regex(R"(\d{8}\.LOG)"))) {
        return ReadFileBytes(entry.path());
      }
    }
    return "";
  }

  TempDir FDir;
  int FPort = 0;
  pid_t FPid = -1;
};

TEST_F(HostProcessTest, ServesRequestsAndEndsCleanlyOnSignals) {
  WriteOptions();
  const std::string options = ReadFileBytes(FDir.File("Option.ini"));
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    Start();
    ASSERT_TRUE(WaitListening());
    const std::optional<std::string> answer = Exchange(FPort, "<R type=\"ReadCard\"/>");
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->rfind("<DoorResponse><RequestID></RequestID><ResultCode>", 0), 0u) << *answer;
    // A connection left waiting for a request does not hold the shutdown up.
    TTcpClient idle(FPort);
    ASSERT_TRUE(idle.Connected());
    EXPECT_EQ(StopWith(signal), 0);
    EXPECT_TRUE(idle.WaitClosed(1000));
  }
  const std::string log = TodaysLog();
  EXPECT_NE(log.find("收到消息: \r\n<R type=\"ReadCard\"/>\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("完成一次操作\r\n"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(FDir.File("Option.ini")), options) << "running writes no options";
}

TEST_F(HostProcessTest, StartsWithDefaultsAndLeavesNoOptionFileBehind) {
  // No Option.ini: the host listens on the default port, which may be taken on this machine, so
  // only what start-up does with the folder is checked here.
  Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(StopWith(SIGTERM), 0);
  EXPECT_FALSE(FileExists(FDir.File("Option.ini")));
}

TEST_F(HostProcessTest, APortThatCannotBeBoundLeavesTheHostRunning) {
  // Someone else holds the port: the host shows the error and runs on without listening.
  const int blocker = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(static_cast<uint16_t>(FPort));
  ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(blocker, 1), 0);
  WriteOptions();
  Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  int status = 0;
  EXPECT_EQ(::waitpid(FPid, &status, WNOHANG), 0) << "the host is still running";
  EXPECT_EQ(StopWith(SIGTERM), 0);
  ::close(blocker);
}

std::string IssueRequest(const char* room, const char* isCopy) {
  return std::string("<DoorRequest type=\"IssueCard\"><RequestID/><RegisterId>REG-1</RegisterId>"
                     "<Building>01</Building><Floor>02</Floor><RoomNo>") +
         room +
         "</RoomNo><GuestName>李四</GuestName><InDate>2026-12-11</InDate><InTime>14:00:00</InTime>"
         "<OutDate>2026-12-13</OutDate><OutTime>12:00:00</OutTime><IsCopy>" +
         isCopy + "</IsCopy></DoorRequest>";
}

// The answer's card number, or -1 when it has none.
long long CardNoOf(const std::string& answer) {
  std::smatch match;
  if (!std::regex_search(answer, match, std::regex("<CardNo>(-?\\d+)</CardNo>"))) return -1;
  return std::stoll(match[1]);
}

TEST_F(HostProcessTest, IssuesReadsAndErasesCardsOnTheSimulatedEncoder) {
  WriteOptions("[DoorlockOption]\r\nUseNativeDoorlockDb=1\r\nSaveDoorlockRecord=1\r\n");
  Start();
  ASSERT_TRUE(WaitListening());

  // A fresh encoder holds a blank card: it cannot be read, but it can be issued at once.
  EXPECT_EQ(Exchange(FPort, "<R type=\"ReadCard\"/>"),
            "<DoorResponse><RequestID></RequestID><ResultCode>500</ResultCode><ResultMessage>"
            "读卡失败</ResultMessage><CardNo>0</CardNo></DoorResponse>");
  const std::optional<std::string> issued = Exchange(FPort, IssueRequest("0203", "0"));
  ASSERT_TRUE(issued.has_value());
  EXPECT_NE(issued->find("<ResultCode>200</ResultCode><ResultMessage>发卡成功</ResultMessage>"),
            std::string::npos)
      << *issued;
  const long long newCard = CardNoOf(*issued);
  EXPECT_GT(newCard, 2147483647LL);

  const std::optional<std::string> copy = Exchange(FPort, IssueRequest("0203", "1"));
  ASSERT_TRUE(copy.has_value());
  const long long copyCard = CardNoOf(*copy);
  EXPECT_GT(copyCard, newCard) << "every card gets a new serial";

  EXPECT_EQ(CardNoOf(Exchange(FPort, "<R type=\"ReadCard\"/>").value_or("")), copyCard);
  EXPECT_EQ(Exchange(FPort, "<R type=\"EraseCard\"/>"),
            "<DoorResponse><RequestID></RequestID><ResultCode>200</ResultCode><ResultMessage>"
            "注销卡成功 </ResultMessage><CardNo>0</CardNo></DoorResponse>");
  EXPECT_EQ(CardNoOf(Exchange(FPort, "<R type=\"ReadCard\"/>").value_or("")), 0);
  EXPECT_EQ(StopWith(SIGTERM), 0);

  const std::string log = TodaysLog();
  for (const std::string& line : std::vector<std::string>{
           "连接门锁服务器成功\r\n", "读卡失败：3:空白卡\r\n",
        "发卡成功,卡号为:" + std::to_string(newCard) + "\r\n", "房间(0203)发卡成功\r\n",
        "读卡成功,卡号为:" + std::to_string(copyCard) + "\r\n",
        "读卡成功，卡号为：" + std::to_string(copyCard) + "\r\n", "销卡成功\r\n",
        "注销卡成功\r\n"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line;
  }

  // The room keeps the new card's start; the copy carried the same start.
  const std::vector<TRow> rooms = QueryRows(FDir.File("Client.db"), "select * from T_Room");
  ASSERT_EQ(rooms.size(), 1u);
  EXPECT_EQ(rooms[0].at("RoomNo"), "01020203");
  const std::vector<TRow> records =
      QueryRows(FDir.File("Client.db"), "select * from T_IssueCardRecord order by rowid");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].at("CardNo"), std::to_string(newCard));
  EXPECT_EQ(records[1].at("CardNo"), std::to_string(copyCard));
  EXPECT_EQ(records[0].at("LastCheckInTime"), rooms[0].at("LastCheckInTime"));
  EXPECT_EQ(records[1].at("LastCheckInTime"), rooms[0].at("LastCheckInTime"));
  EXPECT_EQ(records[1].at("IsCopy"), "1");
}

}  // namespace
