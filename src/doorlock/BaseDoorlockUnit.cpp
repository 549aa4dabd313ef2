#include "doorlock/BaseDoorlockUnit.h"

#include <utility>

TBaseDoorlock* Doorlock = nullptr;

namespace {
std::unique_ptr<TSerializedDoorlock> GSerialized;
}

void TSerializedDoorlock::ShowOptionForm() { FDevice.ShowOptionForm(); }

bool TSerializedDoorlock::OpenPort() {
  std::lock_guard<std::mutex> guard(FLock);
  return FDevice.OpenPort();
}

void TSerializedDoorlock::Beep() {
  std::lock_guard<std::mutex> guard(FLock);
  FDevice.Beep();
}

bool TSerializedDoorlock::ClosePort() {
  std::lock_guard<std::mutex> guard(FLock);
  return FDevice.ClosePort();
}

bool TSerializedDoorlock::WriteCard(std::string RegisterId, std::string RoomBuildingCode,
                                    std::string RoomFloorCode, std::string RoomNo,
                                    std::string GuestName, TDateTime BeginTime,
                                    TDateTime CheckInTime, TDateTime EndTime,
                                    TDateTime CheckOutTime, bool IsCopy, std::int64_t& CardNo) {
  std::lock_guard<std::mutex> guard(FLock);
  return FDevice.WriteCard(std::move(RegisterId), std::move(RoomBuildingCode),
                           std::move(RoomFloorCode), std::move(RoomNo), std::move(GuestName),
                           BeginTime, CheckInTime, EndTime, CheckOutTime, IsCopy, CardNo);
}

bool TSerializedDoorlock::ReadCard(std::int64_t& CardNo) {
  std::lock_guard<std::mutex> guard(FLock);
  return FDevice.ReadCard(CardNo);
}

bool TSerializedDoorlock::EraseCard() {
  std::lock_guard<std::mutex> guard(FLock);
  return FDevice.EraseCard();
}

void SetDoorlock(TBaseDoorlock* device) {
  if (device == nullptr) return;
  GSerialized = std::make_unique<TSerializedDoorlock>(*device);
  Doorlock = GSerialized.get();
}

void ResetDoorlock() {
  Doorlock = nullptr;
  GSerialized.reset();
}
