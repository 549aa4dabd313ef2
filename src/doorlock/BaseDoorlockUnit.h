// The door lock device: the seven operations through which the host drives a hotel key-card
// encoder. Everything above the device (request handling, the main window, the test dialog)
// knows only this interface. Every operation has a harmless default (false, nothing done), and
// an implementation writes the CardNo out-argument only when it returns true.
//
// Thread safety: an implementation need not be thread-safe. The process-wide Doorlock is a
// TSerializedDoorlock around the real device, which lets one operation at a time reach it,
// whichever thread calls: one physical encoder, one card at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/DateTime.h"

class TBaseDoorlock {
 public:
  TBaseDoorlock() = default;
  virtual ~TBaseDoorlock() = default;
  TBaseDoorlock(const TBaseDoorlock&) = delete;
  TBaseDoorlock& operator=(const TBaseDoorlock&) = delete;

  virtual void ShowOptionForm() {}
  // Whether the device is ready. Nothing else depends on it: every operation may be tried at any
  // time, in any order.
  virtual bool OpenPort() { return false; }
  virtual void Beep() {}
  virtual bool ClosePort() { return false; }
  // Encodes a guest card. BeginTime and CheckInTime carry the same value, as do EndTime and
  // CheckOutTime.
  virtual bool WriteCard(std::string RegisterId, std::string RoomBuildingCode,
                         std::string RoomFloorCode, std::string RoomNo, std::string GuestName,
                         TDateTime BeginTime, TDateTime CheckInTime, TDateTime EndTime,
                         TDateTime CheckOutTime, bool IsCopy, std::int64_t& CardNo) {
    (void)RegisterId, (void)RoomBuildingCode, (void)RoomFloorCode, (void)RoomNo, (void)GuestName;
    (void)BeginTime, (void)CheckInTime, (void)EndTime, (void)CheckOutTime, (void)IsCopy;
    (void)CardNo;
    return false;
  }
  virtual bool ReadCard(std::int64_t& CardNo) {
    (void)CardNo;
    return false;
  }
  virtual bool EraseCard() { return false; }
};

// Lets one operation at a time reach the device it wraps. ShowOptionForm is not serialised: it
// shows a modal dialog on the main thread and must not hold requests up while it is open.
// The wrapped device must outlive the wrapper.
class TSerializedDoorlock : public TBaseDoorlock {
 public:
  explicit TSerializedDoorlock(TBaseDoorlock& device) : FDevice(device) {}

  TBaseDoorlock& Device() const { return FDevice; }

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
  TBaseDoorlock& FDevice;
  std::mutex FLock;
};

// The door lock device in use; not owning. Set by SetDoorlock (from RunHost), never cleared by
// the host itself.
extern TBaseDoorlock* Doorlock;

// Makes `device` the process-wide Doorlock, behind a TSerializedDoorlock that this unit owns.
// An empty device leaves Doorlock as it is. The device must outlive every use of Doorlock.
void SetDoorlock(TBaseDoorlock* device);
// Clears Doorlock and releases the wrapper. No thread may be using Doorlock then.
void ResetDoorlock();
