// The card issue over real sockets: the validity window, the keep-connection flag, the record
// store (a real SQLite file) and the answer.
#include <gtest/gtest.h>

#include <cmath>

#include "config/SysOptionUnit.h"
#include "doorlock/DoorlockMessageHandlerUnit.h"
#include "host/RequestListenerUnit.h"
#include "store/DoorlockRecordManagerUnit.h"
#include "support/HostFixture.h"
#include "support/StoreRows.h"
#include "support/TcpClient.h"

namespace {

struct TStay {
  std::string RegisterId = "REG-7";
  std::string Building = "01", Floor = "02", Room = "0203";
  std::string Guest = "张三";
  std::string InDate = "2026-12-11", InTime = "14:00:00";
  std::string OutDate = "2026-12-13", OutTime = "12:00:00";
  std::string IsCopy = "0";
  const char* Keep = nullptr;  // the optional twelfth element
  int Children = 11;           // drop elements from the end to make the request too short
};

std::string IssueRequest(const TStay& s) {
  const std::string values[] = {"REQ-1",  s.RegisterId, s.Building, s.Floor, s.Room,   s.Guest,
                                s.InDate, s.InTime,     s.OutDate,  s.OutTime, s.IsCopy};
  const char* names[] = {"RequestID",   "RegisterId",  "RoomBuildingCode", "RoomFloorCode",
                         "RoomNo",      "GuestName",   "CheckInDate",      "CheckInTime",
                         "CheckOutDate", "CheckOutTime", "IsCopy"};
  std::string xml = "<DoorRequest type=\"IssueCard\">";
  for (int i = 0; i < s.Children && i < 11; ++i) {
    xml += std::string("<") + names[i] + ">" + values[i] + "</" + names[i] + ">";
  }
  if (s.Keep) xml += std::string("<KeepConnection>") + s.Keep + "</KeepConnection>";
  return xml + "</DoorRequest>";
}

std::string Answer(const std::string& code, const std::string& message, long long cardNo) {
  return "<DoorResponse><RequestID></RequestID><ResultCode>" + code +
         "</ResultCode><ResultMessage>" + message + "</ResultMessage><CardNo>" +
         std::to_string(cardNo) + "</CardNo></DoorResponse>";
}

TDateTime At(const char* text) { return StrToDateTime(text); }

::testing::AssertionResult SameMinute(TDateTime a, TDateTime b) {
  if (std::fabs(a - b) < 1.0 / 86400000) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", a) << " vs "
                                       << FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", b);
}

class IssueCardTest : public THostFixture {
 protected:
  std::vector<TRow> Records() {
    return QueryRows(DoorlockRecordManager->FileName, "select * from T_IssueCardRecord");
  }
  std::vector<TRow> Rooms() {
    return QueryRows(DoorlockRecordManager->FileName, "select * from T_Room");
  }
};

TEST_F(IssueCardTest, WindowIsTheStayWidenedByTheDelays) {
  struct Row {
    int delay, delay2;
    const char* begin;
    const char* end;
  } rows[] = {
      {0, 0, "2026-12-11 14:00:00", "2026-12-13 12:00:00"},
      {30, 0, "2026-12-11 13:30:00", "2026-12-13 12:00:00"},
      {0, 90, "2026-12-11 14:00:00", "2026-12-13 13:30:00"},
      {-15, -60, "2026-12-11 14:15:00", "2026-12-13 11:00:00"},
      {1440, 1440, "2026-12-10 14:00:00", "2026-12-14 12:00:00"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.delay);
    SysOption->DelayMinutes = row.delay;
    SysOption->DelayMinutes2 = row.delay2;
    FDevice.CardNo = 3000000000LL;
    EXPECT_EQ(Exchange(Port(), IssueRequest({})), Answer("200", "发卡成功", 3000000000LL));
    const TWriteCardCall call = FDevice.Writes().back();
    EXPECT_TRUE(SameMinute(call.BeginTime, At(row.begin)));
    EXPECT_TRUE(SameMinute(call.CheckInTime, call.BeginTime));
    EXPECT_TRUE(SameMinute(call.EndTime, At(row.end)));
    EXPECT_TRUE(SameMinute(call.CheckOutTime, call.EndTime));
  }
}

TEST_F(IssueCardTest, DeviceGetsTheRequestValuesInOrder) {
  TStay stay;
  stay.IsCopy = "true";
  stay.InTime = "14:00";  // seconds are optional
  ASSERT_TRUE(Exchange(Port(), IssueRequest(stay)).has_value());
  ASSERT_EQ(FDevice.Writes().size(), 1u);
  const TWriteCardCall call = FDevice.Writes()[0];
  EXPECT_EQ(call.RegisterId, "REG-7");
  EXPECT_EQ(call.RoomBuildingCode, "01");
  EXPECT_EQ(call.RoomFloorCode, "02");
  EXPECT_EQ(call.RoomNo, "0203");
  EXPECT_EQ(call.GuestName, "张三");
  EXPECT_TRUE(call.IsCopy);
  EXPECT_EQ(call.CardNoIn, 0) << "the handler's card number starts at 0";
}

TEST_F(IssueCardTest, RefusedCardAnswersFailureAndLogsTheRoom) {
  FDevice.WriteResult = false;
  EXPECT_EQ(Exchange(Port(), IssueRequest({})), Answer("500", "发卡失败", 0));
  WaitIdle();
  const std::vector<std::string> lines = LogLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[lines.size() - 3], "房间(0203)发卡失败");
  FDevice.WriteResult = true;
  ASSERT_TRUE(Exchange(Port(), IssueRequest({})).has_value());
  WaitIdle();
  EXPECT_EQ(LogLines()[LogLines().size() - 3], "房间(0203)发卡成功");
}

TEST_F(IssueCardTest, KeepConnectionFollowsTheOptionalElement) {
  struct Row {
    const char* keep;
    bool before, after;
  } rows[] = {
      {"1", false, true},      {"true", false, true},  {"TRUE", false, true},
      {"0", true, false},      {"false", true, false}, {"yes", true, false},
      {"", true, false},       {nullptr, true, true},  {nullptr, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.keep ? row.keep : "(absent)");
    KeepConnection = row.before;
    TStay stay;
    stay.Keep = row.keep;
    TTcpClient client(Port());
    client.SendRequest(IssueRequest(stay));
    ASSERT_TRUE(client.ReadResponse().has_value());
    EXPECT_EQ(KeepConnection.load(), row.after);
    if (row.after) {
      // The connection stays open and carries the next request.
      client.SendRequest("<R type=\"ReadCard\"/>");
      EXPECT_TRUE(client.ReadResponse().has_value());
    } else {
      EXPECT_TRUE(client.WaitClosed());
    }
  }
}

TEST_F(IssueCardTest, KeptConnectionsAnswerBackToBackRequestsInOrder) {
  TStay stay;
  stay.Keep = "1";
  TTcpClient other(Port());  // opened before the flag was set
  TTcpClient client(Port());
  client.Send(IssueRequest(stay) + '\0' + "<R type=\"ReadCard\"/>" + '\0' +
              "<R type=\"EraseCard\"/>" + '\0');
  EXPECT_EQ(client.ReadResponse(), Answer("200", "发卡成功", 1001));
  EXPECT_EQ(client.ReadResponse(), Answer("200", "读卡成功", 1001));
  EXPECT_EQ(client.ReadResponse(), Answer("200", "注销卡成功 ", 0));
  // The flag holds for every door lock connection.
  other.SendRequest("<R type=\"ReadCard\"/>");
  EXPECT_TRUE(other.ReadResponse().has_value());
  other.SendRequest("<R type=\"ReadCard\"/>");
  EXPECT_TRUE(other.ReadResponse().has_value());
}

TEST_F(IssueCardTest, RequestsThatCannotBeReadTouchNothing) {
  SysOption->UseNativeDoorlockDb = true;
  SysOption->SaveDoorlockRecord = true;
  struct Row {
    const char* name;
    TStay stay;
  } rows[5];
  rows[0] = {"ten elements", {}};
  rows[0].stay.Children = 10;
  rows[1] = {"bad check-in date", {}};
  rows[1].stay.InDate = "2026-13-11";
  rows[2] = {"bad check-out time", {}};
  rows[2].stay.OutTime = "noon";
  rows[3] = {"bad date with keep flag", {}};
  rows[3].stay.InDate = "11/12/2026";
  rows[3].stay.Keep = "1";
  // A window the delay widens past the year 9999 fits neither a card nor the store.
  SysOption->DelayMinutes2 = 15;
  rows[4] = {"check-out widened past 9999", {}};
  rows[4].stay.OutDate = "9999-12-31";
  rows[4].stay.OutTime = "23:59:00";
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    KeepConnection = false;
    TTcpClient client(Port());
    client.SendRequest(IssueRequest(row.stay));
    EXPECT_EQ(client.ReadResponse(), std::nullopt);
    EXPECT_TRUE(client.WaitClosed());
    WaitIdle();
    EXPECT_FALSE(KeepConnection.load());
    EXPECT_EQ(LogLines().back(), "执行操作->") << "the log ends where the request failed";
  }
  EXPECT_TRUE(FDevice.Writes().empty());
  EXPECT_TRUE(Records().empty());
  EXPECT_TRUE(Rooms().empty());
}

TEST_F(IssueCardTest, RecordWithoutTheNativeStore) {
  SysOption->SaveDoorlockRecord = true;
  SysOption->DelayMinutes = 30;
  SysOption->DelayMinutes2 = 60;
  FDevice.CardNo = 4294967296LL;
  const TDateTime before = Now();
  ASSERT_TRUE(Exchange(Port(), IssueRequest({})).has_value());
  const std::vector<TRow> records = Records();
  ASSERT_EQ(records.size(), 1u);
  const TRow& r = records[0];
  EXPECT_EQ(r.at("RegisterId"), "REG-7");
  EXPECT_EQ(r.at("CardNo"), "4294967296");
  EXPECT_EQ(r.at("RoomNo"), "") << "no room key while the native store is off";
  EXPECT_EQ(r.at("CardType"), "1");
  EXPECT_EQ(r.at("LastCheckInTime"), r.at("CheckInTime"));
  EXPECT_TRUE(SameMinute(StoreTextToDateTime(r.at("CheckInTime")), At("2026-12-11 13:30:00")));
  EXPECT_TRUE(SameMinute(StoreTextToDateTime(r.at("CheckOutTime")), At("2026-12-13 13:00:00")));
  EXPECT_EQ(r.at("IsCopy"), "0");
  EXPECT_EQ(r.at("GuestName"), "张三");
  EXPECT_NEAR(StoreTextToDateTime(r.at("OpratingTime")), before, 5.0 / 86400);
  EXPECT_TRUE(Rooms().empty());
}

TEST_F(IssueCardTest, NoDeviceStillRecordsTheAttempt) {
  SysOption->SaveDoorlockRecord = true;
  ResetDoorlock();
  EXPECT_EQ(Exchange(Port(), IssueRequest({})), Answer("500", "发卡失败", 0));
  const std::vector<TRow> records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].at("CardNo"), "0");
}

TEST_F(IssueCardTest, NativeStoreKeepsTheRoomsStartForCopies) {
  SysOption->UseNativeDoorlockDb = true;
  SysOption->SaveDoorlockRecord = true;
  SysOption->DelayMinutes = 10;

  // A new card starts now (less the delay), not at the request's check-in, and becomes the
  // room's kept time.
  const TDateTime before = IncMinutes(Now(), -10);
  ASSERT_TRUE(Exchange(Port(), IssueRequest({})).has_value());
  const TDateTime kept = DoorlockRecordManager->GetLastCheckInTime("01020203");
  EXPECT_NEAR(kept, before, 5.0 / 86400);
  EXPECT_TRUE(SameMinute(FDevice.Writes().back().BeginTime, kept));

  // A copy carries the kept start exactly and leaves the room alone.
  TStay copy;
  copy.IsCopy = "1";
  ASSERT_TRUE(Exchange(Port(), IssueRequest(copy)).has_value());
  EXPECT_EQ(FDevice.Writes().back().BeginTime, kept);
  EXPECT_EQ(Rooms().size(), 1u);

  // A new card the device refuses does not move the room's time.
  FDevice.WriteResult = false;
  ASSERT_TRUE(Exchange(Port(), IssueRequest({})).has_value());
  EXPECT_EQ(DoorlockRecordManager->GetLastCheckInTime("01020203"), kept);

  const std::vector<TRow> records = Records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1].at("RoomNo"), "01020203");
  EXPECT_EQ(records[1].at("IsCopy"), "1");
  // The record's check-in is the request's, less the delay, while the card started at the
  // kept time.
  EXPECT_TRUE(SameMinute(StoreTextToDateTime(records[1].at("CheckInTime")), At("2026-12-11 13:50:00")));
  EXPECT_TRUE(SameMinute(StoreTextToDateTime(records[1].at("LastCheckInTime")), kept));
}

TEST_F(IssueCardTest, CopyForAnUnknownRoomInsertsItBeforeTheWrite) {
  SysOption->UseNativeDoorlockDb = true;
  FDevice.WriteResult = false;
  TStay copy;
  copy.IsCopy = "1";
  copy.Room = "9'9";  // a quote in the key finds its row like any other key
  bool roomExistedDuringWrite = false;
  FDevice.During = [&] {
    roomExistedDuringWrite = DoorlockRecordManager->GetLastCheckInTime("01029'9") != 0;
  };
  const TDateTime before = Now();
  EXPECT_EQ(Exchange(Port(), IssueRequest(copy)), Answer("500", "发卡失败", 0));
  EXPECT_TRUE(roomExistedDuringWrite);
  EXPECT_NEAR(DoorlockRecordManager->GetLastCheckInTime("01029'9"), before, 5.0 / 86400);
  WaitIdle();
  const std::vector<std::string> lines = LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "新建房间01029'9"), lines.end());
}

}  // namespace
