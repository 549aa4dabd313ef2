#include "doorlock/TestCardIssueUnit.h"

#include <cstdint>

#include "config/SysOptionUnit.h"
#include "doorlock/BaseDoorlockUnit.h"
#include "doorlock/DoorlockMessageHandlerUnit.h"
#include "store/DoorlockRecordManagerUnit.h"

namespace {
constexpr char kStayFormat[] = "YYYY-MM-DD HH:NN:SS";
constexpr char kGuestName[] = "Test";
constexpr std::int32_t kGuestCard = 1;
}  // namespace

TTestStay InitialTestStay(TDateTime now) {
  return {FormatDateTime(kStayFormat, now - 1.0 / 24), FormatDateTime(kStayFormat, now + 2)};
}

bool IssueTestCard(const TTestCard& card) {
  const std::string RoomKey = card.RoomBuildingCode + card.RoomFloorCode + card.RoomNo;
  const TDateTime CheckInTime = StrToDateTime(card.CheckInText);
  const TDateTime CheckOutTime = StrToDateTime(card.CheckOutText);
  const std::string RegisterId;

  TDoorlockRecordManager* const store = DoorlockRecordManager;
  // The times are used as entered: no delay widens the typed check-in.
  const TDateTime BeginTime = ChooseCardStart(RoomKey, card.IsCopy, CheckInTime);

  std::int64_t CardNo = 0;
  bool written = false;
  if (Doorlock != nullptr) {
    written = Doorlock->WriteCard(RegisterId, card.RoomBuildingCode, card.RoomFloorCode,
                                  card.RoomNo, kGuestName, BeginTime, BeginTime, CheckOutTime,
                                  CheckOutTime, card.IsCopy, CardNo);
  }
  if (store == nullptr) return written;
  if (written && SysOption->UseNativeDoorlockDb && !card.IsCopy) {
    store->UpdateLastCheckInTime(RoomKey, BeginTime);
  }
  if (SysOption->SaveDoorlockRecord) {
    store->InsertIssueCardRecord(RegisterId, std::to_string(CardNo), RoomKey, kGuestCard, BeginTime,
                                 CheckInTime, CheckOutTime, card.IsCopy, kGuestName, Now());
  }
  return written;
}
