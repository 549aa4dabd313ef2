// The simulated encoder library as the host meets it: loaded from build/bin by the same loader,
// driven through the adapter and, where the adapter hides what matters, through its raw table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "config/LogFileUnit.h"
#include "config/OptionUnit.h"
#include "doorlock/Mbt2005DoorlockUnit.h"
#include "doorlock/mbt2005.h"
#include "host/StartupUnit.h"
#include "support/TempDir.h"

namespace {

using Lines = std::vector<std::string>;

// Functions, not constants: DateTime's own statics are not ready during static initialisation.
TDateTime Begin() {
  return EncodeDateTime({2024, 5, 1, 14, 30, 59});
}
TDateTime End() {
  return EncodeDateTime({2024, 5, 3, 12, 0, 0});
}

class EncoderSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("DOORLOCK_SIM_STATE", StateFile().c_str(), 1);
    InitializeUnits(FDir.Path());
    FApi = LoadMbt2005Api(ENCODER_SIM_DIR);
    ASSERT_EQ(FApi.LoadError, "");
    ASSERT_EQ(MissingFunctions(FApi), Lines{});
  }
  void TearDown() override {
    FinalizeUnits();
    unsetenv("DOORLOCK_SIM_STATE");
  }

  std::string StateFile() const { return FDir.File("sim.state"); }
  std::string State() const { return ReadFileBytes(StateFile()); }

  std::vector<std::string> Log() const {
    std::vector<std::string> lines;
    if (!FileExists(LogFile->FileName)) return lines;
    std::istringstream in(ReadFileBytes(LogFile->FileName));
    std::string line;
    while (std::getline(in, line)) lines.push_back(line.substr(20, line.size() - 21));
    return lines;
  }
  void ClearLog() const { std::remove(LogFile->FileName.c_str()); }

  bool Write(TBaseDoorlock& device, std::int64_t& cardNo, bool isCopy = false) {
    return device.WriteCard("", "A", "3", "0101", "", Begin(), Begin(), End(), End(), isCopy,
                            cardNo);
  }

  TempDir FDir;
  TMbt2005Api FApi;
};

TEST_F(EncoderSimTest, IssueReadEraseOnAFreshEncoder) {
  TMbt2005Doorlock device(FApi);
  ASSERT_TRUE(device.OpenPort());
  std::int64_t issued = 0;
  ASSERT_TRUE(Write(device, issued)) << "a fresh encoder has a blank card ready";
  EXPECT_GT(issued, 2147483647);

  const std::string state = State();
  for (const char* line : {"Card=encoded\n", "Room=0101\n", "Start=2024-05-01 14:30\n",
                           "End=2024-05-03 12:00\n", "RenewedRoom=0101\n"}) {
    EXPECT_NE(state.find(line), std::string::npos) << line << " in\n" << state;
  }

  std::int64_t read = 0;
  EXPECT_TRUE(device.ReadCard(read));
  EXPECT_EQ(read, issued);
  EXPECT_TRUE(device.EraseCard());
  std::int64_t again = -1;
  EXPECT_FALSE(device.ReadCard(again));
  EXPECT_EQ(again, -1);
  EXPECT_TRUE(device.EraseCard()) << "erasing a blank card is no error";

  const std::string no = std::to_string(issued);
  EXPECT_EQ(Log(), (Lines{"连接门锁服务器成功", "发卡成功,卡号为:" + no, "读卡成功,卡号为:" + no,
                          "销卡成功", "读卡失败：3:空白卡", "销卡成功"}));
}

TEST_F(EncoderSimTest, SerialsFollowTheLastOneAndAreListed) {
  WriteFileBytes(StateFile(), "Card=blank\nLastSerial=9000000000000000\n");
  TMbt2005Doorlock device(FApi);
  ASSERT_TRUE(device.OpenPort());
  std::int64_t first = 0, second = 0;
  ASSERT_TRUE(Write(device, first));
  ASSERT_TRUE(Write(device, second, true)) << "the adapter cancels before it encodes";
  EXPECT_EQ(first, 9000000000000001);
  EXPECT_EQ(second, 9000000000000002);
  const std::string history = ReadFileBytes(FDir.File("sim.history"));
  EXPECT_NE(history.find("\t9000000000000001\t0101\t2024-05-01 14:30\t2024-05-03 12:00\n"),
            std::string::npos)
      << history;
  EXPECT_NE(history.find("\t9000000000000002\t"), std::string::npos) << history;
}

TEST_F(EncoderSimTest, RefusalsCarryTheirErrorCodeAndText) {
  enum TOperation { opWrite, opRead, opErase };
  struct TRow {
    const char* State;
    TOperation Operation;
    const char* Log;
  } rows[] = {
      {"Card=none\n", opRead, "读卡失败：2:编码器上没有卡"},
      {"Card=none\n", opErase, "销卡失败：2:编码器上没有卡"},
      {"Card=none\n", opWrite, "发卡失败，请检查房间号等参数是否正确"},
      {"FailNext=ReadCard\n", opRead, "读卡失败：6:模拟故障: ReadCard"},
      {"FailAlways=CancelCard\n", opErase, "销卡失败：6:模拟故障: CancelCard"},
      {"FailNext=EncodeCard\n", opWrite, "发卡失败，请检查房间号等参数是否正确"},
      // The cancel before encoding fails, so the old card stays and refuses to be overwritten.
      {"Card=encoded\nRoom=0202\nStart=2024-01-01 00:00\nEnd=2024-01-02 00:00\nSerial=5\n"
       "FailAlways=CancelCard\n",
       opWrite, "发卡失败，请检查房间号等参数是否正确"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.State);
    WriteFileBytes(StateFile(), row.State);
    TMbt2005Doorlock device(FApi);
    ASSERT_TRUE(device.OpenPort());
    ClearLog();
    std::int64_t cardNo = -1;
    switch (row.Operation) {
      case opWrite:
        EXPECT_FALSE(Write(device, cardNo));
        break;
      case opRead:
        EXPECT_FALSE(device.ReadCard(cardNo));
        break;
      case opErase:
        EXPECT_FALSE(device.EraseCard());
        break;
    }
    EXPECT_EQ(cardNo, -1);
    EXPECT_EQ(Log(), Lines{row.Log});
  }
}

TEST_F(EncoderSimTest, AFailureSwitchOfTheNextCallFailsOnce) {
  TMbt2005Doorlock device(FApi);
  ASSERT_TRUE(device.OpenPort());
  std::int64_t cardNo = 0;
  ASSERT_TRUE(Write(device, cardNo));
  WriteFileBytes(StateFile(), State() + "FailNext=ReadCard\n");
  EXPECT_FALSE(device.ReadCard(cardNo));
  EXPECT_TRUE(device.ReadCard(cardNo));
}

TEST_F(EncoderSimTest, OnlyItsOwnCredentialsConnect) {
  struct TRow {
    const char* State;
    const char* DataSource;
    const char* UserName;
    const char* Password;
    bool Connects;
    const char* ReadLog;  // what a read of a blank card logs afterwards
  } rows[] = {
      {"", "localhost", "TavrinTest", "730981", true, "读卡失败：3:空白卡"},
      {"", "any name", "TavrinTest", "730981", true, "读卡失败：3:空白卡"},
      {"", "localhost", "TavrinTest", "730981 ", false, "读卡失败：1:未连接门锁服务器"},
      {"", "localhost", "tavrintest", "730981", false, "读卡失败：1:未连接门锁服务器"},
      {"", "", "TavrinTest", "730981", false, "读卡失败：1:未连接门锁服务器"},
      {"UserName=front\nPassword=desk\n", "localhost", "front", "desk", true, "读卡失败：3:空白卡"},
      {"UserName=front\nPassword=desk\n", "localhost", "TavrinTest", "730981", false,
       "读卡失败：1:未连接门锁服务器"},
      {"FailNext=SetConfiguration\n", "localhost", "TavrinTest", "730981", false,
       "读卡失败：1:未连接门锁服务器"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(std::string(row.State) + row.DataSource + "/" + row.UserName + "/" + row.Password);
    WriteFileBytes(StateFile(), row.State);
    Option->DataSource = row.DataSource;
    Option->UserName = row.UserName;
    Option->Password = row.Password;
    TMbt2005Doorlock device(FApi);
    ClearLog();
    EXPECT_EQ(device.OpenPort(), row.Connects);
    std::int64_t cardNo = 0;
    EXPECT_FALSE(device.ReadCard(cardNo));
    EXPECT_EQ(Log(),
              (Lines{row.Connects ? "连接门锁服务器成功" : "连接门锁服务器失败:", row.ReadLog}));
  }
}

// Each buffer sits between guard bytes; the library must fill it without touching them, and
// must leave a terminated text however long the value is.
TEST_F(EncoderSimTest, NeverWritesPastTheBuffers) {
  struct TGuarded {
    explicit TGuarded(std::size_t size) : Size(size), Bytes(size + 64, '#') {}
    char* Buffer() { return Bytes.data() + 32; }
    bool GuardsIntact() const {
      for (std::size_t i = 0; i < 32; ++i) {
        if (Bytes[i] != '#' || Bytes[32 + Size + i] != '#') return false;
      }
      return true;
    }
    std::size_t Length() const { return strnlen(Bytes.data() + 32, Size); }
    std::size_t Size;
    std::string Bytes;
  };
  ASSERT_TRUE(FApi.SetConfiguration("localhost", "TavrinTest", "730981") & 0xFF);
  const std::string room(300, 'R');
  ASSERT_TRUE(FApi.EncodeCard(room.c_str(), "2024-05-01 14:30", "2024-05-03 12:00", "", "") & 0xFF);

  TGuarded serial(128), b1(128), b2(256), b3(256);
  int value = 0;
  ASSERT_TRUE(FApi.ReadCard(b1.Buffer(), b2.Buffer(), b3.Buffer(), &value) & 0xFF);
  FApi.GetCardSnrAfterEncode(serial.Buffer());
  for (const TGuarded* g : {&serial, &b1, &b2, &b3}) {
    EXPECT_TRUE(g->GuardsIntact()) << g->Size;
    EXPECT_LT(g->Length(), g->Size) << "terminated within " << g->Size;
  }
  EXPECT_EQ(b2.Length(), 255u) << "the room, cut to fit";
  EXPECT_GT(serial.Length(), 9u);

  // An error text with a long path in it: a state file that cannot be written.
  const std::string unwritable = FDir.File(std::string(200, 'd') + "/sim.state");
  setenv("DOORLOCK_SIM_STATE", unwritable.c_str(), 1);
  ASSERT_FALSE(FApi.RenewGuestInfo == nullptr);
  FApi.RenewGuestInfo("0101");
  TGuarded error(128);
  int code = 0;
  FApi.GetErrorStatus(&code, error.Buffer());
  EXPECT_EQ(code, 7);
  EXPECT_TRUE(error.GuardsIntact());
  EXPECT_LT(error.Length(), 128u);
  EXPECT_EQ(std::string(error.Buffer()).rfind("状态文件无法写入: ", 0), 0u) << error.Buffer();
}

// The library keeps what it last read; a change made from outside must still count at the very
// next call, also when it keeps the file's size and comes within one tick of the file clock.
TEST_F(EncoderSimTest, ChangesFromTheToolOrByHandCountAtTheNextCall) {
  ASSERT_TRUE(FApi.SetConfiguration("localhost", "TavrinTest", "730981") & 0xFF);
  const auto roomOnCard = [this] {
    char serial[128], room[256], window[256];
    int value = 0;
    return FApi.ReadCard(serial, room, window, &value) & 0xFF ? std::string(room) : "(none)";
  };
  const std::string tool = std::string(ENCODER_SIM_DIR) + "mbt2005-sim --state '" + StateFile() + "' ";
  for (int i = 0; i < 6; ++i) {
    const std::string room = i % 2 == 0 ? "0101" : "0102";
    ASSERT_EQ(std::system((tool + "insert " + room + " > /dev/null").c_str()), 0);
    EXPECT_EQ(roomOnCard(), room) << "after the tool, round " << i;
  }
  for (int i = 0; i < 6; ++i) {
    const std::string room = i % 2 == 0 ? "0201" : "0202";
    WriteFileBytes(StateFile(), "Card=encoded\nRoom=" + room +
                                    "\nStart=2024-05-01 14:30\nEnd=2024-05-03 12:00\nSerial=7\n");
    EXPECT_EQ(roomOnCard(), room) << "after an edit by hand, round " << i;
  }
  // The library's own writes count for the tool at once, too.
  ASSERT_TRUE(FApi.CancelCard(0) & 0xFF);
  EXPECT_EQ(roomOnCard(), "(none)");
  ASSERT_TRUE(FApi.EncodeCard("0303", "2024-05-01 14:30", "2024-05-03 12:00", "", "") & 0xFF);
  const std::string status = std::string(ENCODER_SIM_DIR) + "mbt2005-sim --state '" +
                             StateFile() + "' status | grep -q 0303";
  EXPECT_EQ(std::system(status.c_str()), 0);
  EXPECT_EQ(roomOnCard(), "0303");
}

// Threads that erase and encode the one card at once: every successful encode gets its own
// serial and its own history line, and the state file stays readable.
TEST_F(EncoderSimTest, ConcurrentCallsKeepTheStateWhole) {
  ASSERT_TRUE(FApi.SetConfiguration("localhost", "TavrinTest", "730981") & 0xFF);
  constexpr int kThreads = 4, kRounds = 25;
  std::vector<int> encoded(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t, &encoded] {
      const std::string room = "R" + std::to_string(t);
      for (int i = 0; i < kRounds; ++i) {
        FApi.CancelCard(0);
        if (FApi.EncodeCard(room.c_str(), "2024-05-01 14:30", "2024-05-03 12:00", "", "") & 0xFF) {
          ++encoded[t];
        }
        char serial[128];
        FApi.GetCardSnrAfterEncode(serial);
        int code = 0;
        char text[1024];
        FApi.GetErrorStatus(&code, text);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  int total = 0;
  for (int n : encoded) total += n;
  EXPECT_GT(total, 0);
  std::istringstream history(ReadFileBytes(FDir.File("sim.history")));
  std::set<std::string> serials;
  std::string line;
  int lines = 0;
  while (std::getline(history, line)) {
    ++lines;
    std::istringstream fields(line);
    std::string stamp, serial;
    std::getline(fields, stamp, '\t');
    std::getline(fields, serial, '\t');
    serials.insert(serial);
  }
  EXPECT_EQ(lines, total);
  EXPECT_EQ(static_cast<int>(serials.size()), total) << "a serial was handed out twice";

  TMbt2005Doorlock device(FApi);
  EXPECT_TRUE(device.EraseCard()) << State();
}

}  // namespace
