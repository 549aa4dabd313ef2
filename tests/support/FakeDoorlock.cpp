#include "support/FakeDoorlock.h"

void TFakeDoorlock::Record(const std::string& name) {
  std::lock_guard<std::mutex> guard(FLock);
  FCalls.push_back(name);
}

std::vector<std::string> TFakeDoorlock::Calls() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FCalls;
}

std::vector<TWriteCardCall> TFakeDoorlock::Writes() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FWrites;
}

void TFakeDoorlock::ShowOptionForm() { Record("ShowOptionForm"); }

bool TFakeDoorlock::OpenPort() {
  Record("OpenPort");
  return OpenPortResult;
}

void TFakeDoorlock::Beep() { Record("Beep"); }

bool TFakeDoorlock::ClosePort() {
  Record("ClosePort");
  return ClosePortResult;
}

bool TFakeDoorlock::WriteCard(std::string RegisterId, std::string RoomBuildingCode,
                              std::string RoomFloorCode, std::string RoomNo, std::string GuestName,
                              TDateTime BeginTime, TDateTime CheckInTime, TDateTime EndTime,
                              TDateTime CheckOutTime, bool IsCopy, std::int64_t& cardNo) {
  Record("WriteCard");
  {
    std::lock_guard<std::mutex> guard(FLock);
    FWrites.push_back({RegisterId, RoomBuildingCode, RoomFloorCode, RoomNo, GuestName, BeginTime,
                       CheckInTime, EndTime, CheckOutTime, IsCopy, cardNo});
  }
  if (During) During();
  if (WriteResult) cardNo = CardNo;
  return WriteResult;
}

bool TFakeDoorlock::ReadCard(std::int64_t& cardNo) {
  Record("ReadCard");
  if (During) During();
  if (ReadResult) cardNo = CardNo;
  return ReadResult;
}

bool TFakeDoorlock::EraseCard() {
  Record("EraseCard");
  if (During) During();
  return EraseResult;
}
