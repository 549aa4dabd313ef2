#include "doorlock/Mbt2005DoorlockUnit.h"

#include <dlfcn.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/LogFileUnit.h"
#include "config/OptionUnit.h"
#include "host/StartupUnit.h"
#include "support/TempDir.h"

namespace {

// A scripted encoder library that writes down every call the adapter makes, with its
// arguments, in order.
struct TFakeEncoder {
  std::vector<std::string> Calls;
  int SetConfigurationResult = 1;
  int EncodeCardResult = 1;
  int ReadCardResult = 1;
  int CancelCardResult = 1;
  std::string Serial = "3000000001";  // bytes put into the serial buffer; NUL added if room
  int ErrorCode = 3;
  std::string ErrorText = "空白卡";
  std::string ThrowIn;  // a function that fails by throwing instead of returning
};

TFakeEncoder* GFake = nullptr;

std::string Quoted(const char* text) {
  return text == nullptr ? "null" : "\"" + std::string(text) + "\"";
}

void Enter(const char* function, const std::string& arguments = "") {
  GFake->Calls.push_back(std::string(function) + (arguments.empty() ? "" : "(" + arguments + ")"));
  if (GFake->ThrowIn == function) throw std::runtime_error("encoder jammed");
}

// Fills a caller buffer up to its last byte, so that a buffer smaller than the contract says
// shows up under the address sanitizer.
void Fill(char* buffer, std::size_t size) {
  std::memset(buffer, 'x', size - 1);
  buffer[size - 1] = '\0';
}

int FakeSetConfiguration(const char* dataSource, const char* userName, const char* password) {
  Enter("SetConfiguration", Quoted(dataSource) + ", " + Quoted(userName) + ", " + Quoted(password));
  return GFake->SetConfigurationResult;
}
int FakeEncodeCard(const char* roomNo, const char* startTime, const char* endTime,
                   const char* reserved1, const char* reserved2) {
  Enter("EncodeCard", Quoted(roomNo) + ", " + Quoted(startTime) + ", " + Quoted(endTime) + ", " +
                          Quoted(reserved1) + ", " + Quoted(reserved2));
  return GFake->EncodeCardResult;
}
int FakeReadCard(char* buffer128, char* buffer256a, char* buffer256b, int* value) {
  const bool distinct = buffer128 != buffer256a && buffer256a != buffer256b &&
                        buffer128 != buffer256b && value != nullptr;
  Enter("ReadCard", distinct ? "" : "shared or missing buffers");
  Fill(buffer128, 128);
  Fill(buffer256a, 256);
  Fill(buffer256b, 256);
  *value = 0x7FFFFFFF;
  return GFake->ReadCardResult;
}
int FakeCancelCard(int which) {
  Enter("CancelCard", std::to_string(which));
  return GFake->CancelCardResult;
}
void FakeGetErrorStatus(int* code, char* text) {
  Enter("GetErrorStatus");
  *code = GFake->ErrorCode;
  std::strcpy(text, GFake->ErrorText.c_str());
}
void FakeGetCardSnrAfterEncode(char* serial) {
  Enter("GetCardSnrAfterEncode");
  const std::size_t size = std::min<std::size_t>(GFake->Serial.size(), 128);
  std::memcpy(serial, GFake->Serial.data(), size);
  if (size < 128) serial[size] = '\0';
}
void FakeRenewGuestInfo(const char* roomNo) {
  Enter("RenewGuestInfo", Quoted(roomNo));
}

TMbt2005Api FakeApi() {
  TMbt2005Api api;
  api.SetConfiguration = &FakeSetConfiguration;
  api.EncodeCard = &FakeEncodeCard;
  api.ReadCard = &FakeReadCard;
  api.CancelCard = &FakeCancelCard;
  api.GetErrorStatus = &FakeGetErrorStatus;
  api.GetCardSnrAfterEncode = &FakeGetCardSnrAfterEncode;
  api.RenewGuestInfo = &FakeRenewGuestInfo;
  api.LibraryName = "fake.so";
  return api;
}

// The adapter with its Beep made visible in the call list.
class TRecordingDoorlock : public TMbt2005Doorlock {
 public:
  using TMbt2005Doorlock::TMbt2005Doorlock;
  void Beep() override { GFake->Calls.push_back("Beep"); }
};

// Functions, not constants: DateTime's own statics are not ready during static initialisation.
TDateTime Begin() {
  return EncodeDateTime({2024, 5, 1, 14, 30, 59});
}
TDateTime End() {
  return EncodeDateTime({2024, 5, 3, 12, 0, 0});
}
// Deliberately different from the window: only BeginTime and EndTime may reach the library.
TDateTime CheckIn() {
  return EncodeDateTime({2023, 1, 1, 1, 1, 1});
}
TDateTime CheckOut() {
  return EncodeDateTime({2023, 1, 2, 2, 2, 2});
}
constexpr std::int64_t kUntouched = -7;

const std::string kEncode = R"(EncodeCard("0101", "2024-05-01 14:30", "2024-05-03 12:00", "", ""))";
const std::string kRenew = R"(RenewGuestInfo("0101"))";
const std::string kCancel = "CancelCard(0)";
const std::string kSnr = "GetCardSnrAfterEncode";

class Mbt2005DoorlockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeUnits(FDir.Path());
    GFake = &FFake;
  }
  void TearDown() override {
    GFake = nullptr;
    FinalizeUnits();
  }

  // The log's entries so far, without their time stamps.
  std::vector<std::string> Log() const {
    std::vector<std::string> lines;
    if (!FileExists(LogFile->FileName)) return lines;
    const std::string bytes = ReadFileBytes(LogFile->FileName);
    std::size_t start = 0;
    while (start < bytes.size()) {
      std::size_t end = bytes.find("\r\n", start);
      if (end == std::string::npos) end = bytes.size();
      lines.push_back(bytes.substr(start + 20, end - start - 20));  // "yyyy-mm-dd hh:nn:ss "
      start = end + 2;
    }
    return lines;
  }

  void ClearLog() const { std::remove(LogFile->FileName.c_str()); }

  bool WriteCard(TBaseDoorlock& device, bool isCopy, std::int64_t& cardNo) {
    return device.WriteCard("R0001", "A", "3", "0101", "张三", Begin(), CheckIn(), End(),
                            CheckOut(), isCopy, cardNo);
  }

  TempDir FDir;
  TFakeEncoder FFake;
};

using Lines = std::vector<std::string>;

struct TWriteRow {
  const char* Name;
  bool IsCopy = false;
  int EncodeResult = 1;
  int CancelResult = 1;
  std::string Serial = "3000000001";
  std::string ThrowIn = "";
  bool Result = true;
  std::int64_t CardNo = 3000000001;
  Lines Calls;
  Lines Log;
};

TEST_F(Mbt2005DoorlockTest, WriteCardCallsAndOutcomes) {
  const Lines issued = {kCancel, kRenew, kEncode, "Beep", kSnr};
  const std::string refused = "发卡失败，请检查房间号等参数是否正确";
  const TWriteRow rows[] = {
      {.Name = "new card", .Calls = issued, .Log = {"发卡成功,卡号为:3000000001"}},
      {.Name = "copy card skips the guest information",
       .IsCopy = true,
       .Calls = {kCancel, kEncode, "Beep", kSnr},
       .Log = {"发卡成功,卡号为:3000000001"}},
      {.Name = "a refused cancel is ignored",
       .CancelResult = 0,
       .Calls = issued,
       .Log = {"发卡成功,卡号为:3000000001"}},
      {.Name = "only the low 8 bits count (true)",
       .EncodeResult = 0x201,
       .Calls = issued,
       .Log = {"发卡成功,卡号为:3000000001"}},
      {.Name = "encode refused",
       .EncodeResult = 0,
       .Result = false,
       .CardNo = kUntouched,
       .Calls = {kCancel, kRenew, kEncode},
       .Log = {refused}},
      {.Name = "only the low 8 bits count (false)",
       .EncodeResult = 0x100,
       .Result = false,
       .CardNo = kUntouched,
       .Calls = {kCancel, kRenew, kEncode},
       .Log = {refused}},
      {.Name = "serial is no number: card written, beep, false",
       .Serial = "12a",
       .Result = false,
       .CardNo = kUntouched,
       .Calls = issued,
       .Log = {"'12a' is not a valid integer value"}},
      {.Name = "empty serial",
       .Serial = "",
       .Result = false,
       .CardNo = kUntouched,
       .Calls = issued,
       .Log = {"'' is not a valid integer value"}},
      {.Name = "serial ends at its NUL",
       .Serial = std::string("42\0"
                             "99",
                             5),
       .CardNo = 42,
       .Calls = issued,
       .Log = {"发卡成功,卡号为:42"}},
      {.Name = "serial fills the whole buffer without NUL",
       .Serial = std::string(109, ' ') + "1234567890123456789",
       .CardNo = 1234567890123456789,
       .Calls = issued,
       .Log = {"发卡成功,卡号为:1234567890123456789"}},
      {.Name = "encode throws",
       .ThrowIn = "EncodeCard",
       .Result = false,
       .CardNo = kUntouched,
       .Calls = {kCancel, kRenew, kEncode},
       .Log = {"encoder jammed"}},
      {.Name = "cancel throws",
       .ThrowIn = "CancelCard",
       .Result = false,
       .CardNo = kUntouched,
       .Calls = {kCancel},
       .Log = {"encoder jammed"}},
  };
  for (const TWriteRow& row : rows) {
    SCOPED_TRACE(row.Name);
    ClearLog();
    FFake = TFakeEncoder{};
    FFake.EncodeCardResult = row.EncodeResult;
    FFake.CancelCardResult = row.CancelResult;
    FFake.Serial = row.Serial;
    FFake.ThrowIn = row.ThrowIn;
    TRecordingDoorlock device(FakeApi());
    std::int64_t cardNo = kUntouched;
    EXPECT_EQ(WriteCard(device, row.IsCopy, cardNo), row.Result);
    EXPECT_EQ(cardNo, row.CardNo);
    EXPECT_EQ(FFake.Calls, row.Calls);
    EXPECT_EQ(Log(), row.Log);
  }
}

struct TReadRow {
  const char* Name;
  int ReadResult = 1;
  std::string Serial = "3000000001";
  int ErrorCode = 3;
  std::string ErrorText = "空白卡";
  std::string ThrowIn = "";
  bool Result = true;
  std::int64_t CardNo = 3000000001;
  Lines Calls;
  Lines Log;
};

TEST_F(Mbt2005DoorlockTest, ReadCardCallsAndOutcomes) {
  const std::string blank = "读失败, 该卡可能是空卡";
  const TReadRow rows[] = {
      {.Name = "card read",
       .Calls = {"ReadCard", kSnr, "Beep"},
       .Log = {"读卡成功,卡号为:3000000001"}},
      {.Name = "largest card number",
       .Serial = "9223372036854775807",
       .CardNo = 9223372036854775807,
       .Calls = {"ReadCard", kSnr, "Beep"},
       .Log = {"读卡成功,卡号为:9223372036854775807"}},
      {.Name = "refused: the serial is still fetched before the error",
       .ReadResult = 0,
       .Result = false,
       .CardNo = kUntouched,
       .Calls = {"ReadCard", kSnr, "GetErrorStatus"},
       .Log = {"读卡失败：3:空白卡"}},
      {.Name = "only the low 8 bits count",
       .ReadResult = 0x300,
       .ErrorCode = -12,
       .ErrorText = "no answer",
       .Result = false,
       .CardNo = kUntouched,
       .Calls = {"ReadCard", kSnr, "GetErrorStatus"},
       .Log = {"读卡失败：-12:no answer"}},
      {.Name = "empty serial after a successful read",
       .Serial = "",
       .Result = false,
       .CardNo = kUntouched,
       .Calls = {"ReadCard", kSnr, "Beep"},
       .Log = {blank}},
      {.Name = "serial beyond 64 bits",
       .Serial = "9223372036854775808",
       .Result = false,
       .CardNo = kUntouched,
       .Calls = {"ReadCard", kSnr, "Beep"},
       .Log = {blank}},
      {.Name = "read throws: the fixed text, not the message",
       .ThrowIn = "ReadCard",
       .Result = false,
       .CardNo = kUntouched,
       .Calls = {"ReadCard"},
       .Log = {blank}},
  };
  for (const TReadRow& row : rows) {
    SCOPED_TRACE(row.Name);
    ClearLog();
    FFake = TFakeEncoder{};
    FFake.ReadCardResult = row.ReadResult;
    FFake.Serial = row.Serial;
    FFake.ErrorCode = row.ErrorCode;
    FFake.ErrorText = row.ErrorText;
    FFake.ThrowIn = row.ThrowIn;
    TRecordingDoorlock device(FakeApi());
    std::int64_t cardNo = kUntouched;
    EXPECT_EQ(device.ReadCard(cardNo), row.Result);
    EXPECT_EQ(cardNo, row.CardNo);
    EXPECT_EQ(FFake.Calls, row.Calls);
    EXPECT_EQ(Log(), row.Log);
  }
}

TEST_F(Mbt2005DoorlockTest, EraseCardCallsAndOutcomes) {
  struct TRow {
    const char* Name;
    int CancelResult;
    std::string ThrowIn;
    bool Result;
    Lines Calls;
    Lines Log;
  } rows[] = {
      {"erased", 1, "", true, {kCancel, "Beep"}, {"销卡成功"}},
      {"refused", 0, "", false, {kCancel, "GetErrorStatus"}, {"销卡失败：2:编码器上没有卡"}},
      {"cancel throws", 1, "CancelCard", false, {kCancel}, {"encoder jammed"}},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    ClearLog();
    FFake = TFakeEncoder{};
    FFake.CancelCardResult = row.CancelResult;
    FFake.ErrorCode = 2;
    FFake.ErrorText = "编码器上没有卡";
    FFake.ThrowIn = row.ThrowIn;
    TRecordingDoorlock device(FakeApi());
    EXPECT_EQ(device.EraseCard(), row.Result);
    EXPECT_EQ(FFake.Calls, row.Calls);
    EXPECT_EQ(Log(), row.Log);
  }
}

TEST_F(Mbt2005DoorlockTest, OpenPortHandsOverTheOptionsAsTheyStandNow) {
  struct TRow {
    int Result;
    bool Opened;
    const char* Log;
  } rows[] = {{1, true, "连接门锁服务器成功"},
              {0, false, "连接门锁服务器失败:"},
              {0x100, false, "连接门锁服务器失败:"}};
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Result);
    ClearLog();
    FFake = TFakeEncoder{};
    FFake.SetConfigurationResult = row.Result;
    TRecordingDoorlock device(FakeApi());
    Option->DataSource = "db01";
    Option->UserName = "clerk";
    Option->Password = " secret ";
    EXPECT_EQ(device.OpenPort(), row.Opened);
    EXPECT_TRUE(device.ClosePort()) << "ClosePort holds whatever OpenPort did";
    EXPECT_EQ(FFake.Calls, Lines{R"(SetConfiguration("db01", "clerk", " secret "))"});
    EXPECT_EQ(Log(), Lines{row.Log});
  }
}

TEST_F(Mbt2005DoorlockTest, ShowOptionFormRunsTheInstalledDialog) {
  TMbt2005Doorlock device(FakeApi());
  device.ShowOptionForm();  // nothing installed: nothing happens
  int shown = 0;
  device.SetShowOptionForm([&shown] { ++shown; });
  device.ShowOptionForm();
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(FFake.Calls.empty());
}

// Each operation checks every function it may need before its first call: a library without
// one of them never sees a half-done card.
TEST_F(Mbt2005DoorlockTest, AMissingFunctionFailsItsOperationsWithoutACall) {
  enum TOperation { opOpen, opWriteNew, opWriteCopy, opRead, opErase };
  struct TCase {
    TOperation Operation;
    const char* Missing;
    Lines Log;
  };
  const auto missing = [](const char* name) {
    return "门锁接口库 fake.so 缺少函数 " + std::string(name);
  };
  const TCase cases[] = {
      {opOpen, "SetConfiguration", {"连接门锁服务器失败:", missing("SetConfiguration")}},
      {opWriteNew, "CancelCard", {missing("CancelCard")}},
      {opWriteNew, "RenewGuestInfo", {missing("RenewGuestInfo")}},
      {opWriteNew, "EncodeCard", {missing("EncodeCard")}},
      {opWriteNew, "GetCardSnrAfterEncode", {missing("GetCardSnrAfterEncode")}},
      {opWriteCopy, "EncodeCard", {missing("EncodeCard")}},
      {opRead, "ReadCard", {missing("ReadCard")}},
      {opRead, "GetCardSnrAfterEncode", {missing("GetCardSnrAfterEncode")}},
      {opRead, "GetErrorStatus", {missing("GetErrorStatus")}},
      {opErase, "CancelCard", {missing("CancelCard")}},
      {opErase, "GetErrorStatus", {missing("GetErrorStatus")}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.Operation) + " without " + c.Missing);
    ClearLog();
    FFake = TFakeEncoder{};
    TMbt2005Api api = FakeApi();
    const std::string name = c.Missing;
    if (name == "SetConfiguration") api.SetConfiguration = nullptr;
    if (name == "EncodeCard") api.EncodeCard = nullptr;
    if (name == "ReadCard") api.ReadCard = nullptr;
    if (name == "CancelCard") api.CancelCard = nullptr;
    if (name == "GetErrorStatus") api.GetErrorStatus = nullptr;
    if (name == "GetCardSnrAfterEncode") api.GetCardSnrAfterEncode = nullptr;
    if (name == "RenewGuestInfo") api.RenewGuestInfo = nullptr;
    ASSERT_EQ(MissingFunctions(api), Lines{name});
    TRecordingDoorlock device(api);
    std::int64_t cardNo = kUntouched;
    bool result = true;
    switch (c.Operation) {
      case opOpen:
        result = device.OpenPort();
        break;
      case opWriteNew:
        result = WriteCard(device, false, cardNo);
        break;
      case opWriteCopy:
        result = WriteCard(device, true, cardNo);
        break;
      case opRead:
        result = device.ReadCard(cardNo);
        break;
      case opErase:
        result = device.EraseCard();
        break;
    }
    EXPECT_FALSE(result);
    EXPECT_EQ(cardNo, kUntouched);
    EXPECT_TRUE(FFake.Calls.empty());
    EXPECT_EQ(Log(), c.Log);
  }
}

TEST_F(Mbt2005DoorlockTest, ACopyCardNeedsNoGuestInformation) {
  TMbt2005Api api = FakeApi();
  api.RenewGuestInfo = nullptr;
  TRecordingDoorlock device(api);
  std::int64_t cardNo = kUntouched;
  EXPECT_TRUE(WriteCard(device, true, cardNo));
  EXPECT_EQ(cardNo, 3000000001);
}

TEST_F(Mbt2005DoorlockTest, AMissingLibraryFailsEveryOperationAndTheHostGoesOn) {
  TempDir empty;
  const TMbt2005Api api = LoadMbt2005Api(empty.Path());
  const std::string path = empty.File("libmbt2005.so");
  EXPECT_EQ(api.LibraryName, path);
  EXPECT_NE(api.LoadError.find(path), std::string::npos) << api.LoadError;
  EXPECT_EQ(MissingFunctions(api).size(), 7u);
  EXPECT_EQ(api.Library, nullptr);

  TMbt2005Doorlock device(api);
  std::int64_t cardNo = kUntouched;
  EXPECT_FALSE(device.OpenPort());
  EXPECT_FALSE(WriteCard(device, false, cardNo));
  EXPECT_FALSE(device.ReadCard(cardNo));
  EXPECT_FALSE(device.EraseCard());
  EXPECT_TRUE(device.ClosePort());
  device.Beep();
  EXPECT_EQ(cardNo, kUntouched);
  const std::string unloaded = "门锁接口库 " + path + " 未能加载, 无法调用 ";
  EXPECT_EQ(Log(),
            (Lines{"连接门锁服务器失败:", unloaded + "SetConfiguration: " + api.LoadError,
                   unloaded + "EncodeCard, CancelCard, GetCardSnrAfterEncode, RenewGuestInfo: " +
                       api.LoadError,
                   unloaded + "ReadCard, GetErrorStatus, GetCardSnrAfterEncode: " + api.LoadError,
                   unloaded + "CancelCard, GetErrorStatus: " + api.LoadError}));
}

TEST_F(Mbt2005DoorlockTest, ALibraryWithoutTheFunctionsIsLoadedButUnusable) {
  // Any shared library of another kind stands in for a wrong file under the expected name.
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&::strlen), &info), 0);
  ASSERT_EQ(symlink(info.dli_fname, FDir.File("libmbt2005.so").c_str()), 0);
  const TMbt2005Api api = LoadMbt2005Api(FDir.Path());
  EXPECT_TRUE(api.LoadError.empty()) << api.LoadError;
  EXPECT_NE(api.Library, nullptr);
  EXPECT_EQ(MissingFunctions(api),
            (Lines{"SetConfiguration", "EncodeCard", "ReadCard", "CancelCard", "GetErrorStatus",
                   "GetCardSnrAfterEncode", "RenewGuestInfo"}));
  TMbt2005Doorlock device(api);
  EXPECT_FALSE(device.OpenPort());
  EXPECT_EQ(Log(), (Lines{"连接门锁服务器失败:", "门锁接口库 " + FDir.File("libmbt2005.so") +
                                                     " 缺少函数 SetConfiguration"}));
}

TEST(Mbt2005CardNoTest, SerialTextsThatConvert) {
  const struct {
    const char* Text;
    std::int64_t Value;
  } rows[] = {{"0", 0},
              {"3000000001", 3000000001},
              {"   42", 42},
              {"+7", 7},
              {"-15", -15},
              {"007", 7},
              {"9223372036854775807", INT64_MAX},
              {"-9223372036854775808", INT64_MIN}};
  for (const auto& row : rows) {
    std::int64_t value = 1;
    EXPECT_TRUE(TryStrToCardNo(row.Text, value)) << row.Text;
    EXPECT_EQ(value, row.Value) << row.Text;
    EXPECT_EQ(StrToCardNo(row.Text), row.Value) << row.Text;
  }
}

TEST(Mbt2005CardNoTest, SerialTextsThatDoNot) {
  for (const char* text :
       {"", " ", "+", "-", "+-1", "12 ", "1 2", "1a", "0x10", "$10", "1.0", "\t5",
        "9223372036854775808", "-9223372036854775809", "99999999999999999999"}) {
    std::int64_t value = 1;
    EXPECT_FALSE(TryStrToCardNo(text, value)) << '"' << text << '"';
    EXPECT_EQ(value, 1) << text;
    try {
      StrToCardNo(text);
      ADD_FAILURE() << "no exception for \"" << text << '"';
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.what(), "'" + std::string(text) + "' is not a valid integer value");
    }
  }
}

}  // namespace
