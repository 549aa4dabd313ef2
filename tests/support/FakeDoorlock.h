// A door lock device for tests: answers as told and records every call with its arguments.
// Thread-safe, so that tests over several connections can share it.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "doorlock/BaseDoorlockUnit.h"

struct TWriteCardCall {
  std::string RegisterId, RoomBuildingCode, RoomFloorCode, RoomNo, GuestName;
  TDateTime BeginTime = 0, CheckInTime = 0, EndTime = 0, CheckOutTime = 0;
  bool IsCopy = false;
  std::int64_t CardNoIn = 0;
};

class TFakeDoorlock : public TBaseDoorlock {
 public:
  // What the next calls answer.
  bool OpenPortResult = true;
  bool ClosePortResult = true;
  bool WriteResult = true;
  bool ReadResult = true;
  bool EraseResult = true;
  std::int64_t CardNo = 1001;  // written to the caller's variable on success
  // Runs inside each operation, before it answers (to block, or to act on the peer).
  std::function<void()> During;

  std::vector<std::string> Calls() const;  // operation names in call order
  std::vector<TWriteCardCall> Writes() const;

  void ShowOptionForm() override;
  bool OpenPort() override;
  void Beep() override;
  bool ClosePort() override;
  bool WriteCard(std::string RegisterId, std::string RoomBuildingCode, std::string RoomFloorCode,
                 std::string RoomNo, std::string GuestName, TDateTime BeginTime,
                 TDateTime CheckInTime, TDateTime EndTime, TDateTime CheckOutTime, bool IsCopy,
                 std::int64_t& CardNo) override;
  bool ReadCard(std::int64_t& CardNo) override;
  bool EraseCard() override;

 private:
  void Record(const std::string& name);
  mutable std::mutex FLock;
  std::vector<std::string> FCalls;
  std::vector<TWriteCardCall> FWrites;
};
