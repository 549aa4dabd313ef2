// The member card device: the operations through which the member card kind writes, reads and
// prints hotel member cards. The device itself is not part of the host: a start routine that
// selects the member card kind supplies an implementation in MemberDevice, which this program
// never does. Every operation has a harmless default (false, nothing done).
//
// All texts are UTF-8. `Channel` is -1 for the hotel's own member card and 11 for the alliance
// card that the test dialog offers; other values are the device's business.
//
// Thread safety: an implementation need not be thread-safe. Every caller in the host holds
// LockMemberDevice() around an operation, so one operation at a time reaches the device from the
// connection threads and the test dialog; ShowOptionForm alone is called without it (a modal
// dialog on the main thread must not hold requests up).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

class TBaseMember {
 public:
  TBaseMember() = default;
  virtual ~TBaseMember() = default;
  TBaseMember(const TBaseMember&) = delete;
  TBaseMember& operator=(const TBaseMember&) = delete;

  // The device's own settings dialog, for the main window's Option command.
  virtual void ShowOptionForm() {}
  // The results of OpenPort and ClosePort are not examined by the host.
  virtual bool OpenPort() { return false; }
  virtual bool ClosePort() { return false; }
  virtual void Beep() {}
  // Writes the card `CardNo` with three further texts whose meaning is the device's.
  virtual bool WriteMemberCard(std::string CardNo, std::string Text1, std::string Text2,
                               std::string Text3, std::int32_t Channel) {
    (void)CardNo, (void)Text1, (void)Text2, (void)Text3, (void)Channel;
    return false;
  }
  // Reads the card on the device. The five out texts are empty when the call begins; callers
  // take whatever they hold when it returns (the handler only on success).
  virtual bool ReadMemberCard(bool Flag, std::string& CardNo, std::string& Password,
                              std::string& ExpireDate, std::string& GuestName, std::string& Score,
                              std::int32_t Channel) {
    (void)Flag, (void)CardNo, (void)Password, (void)ExpireDate, (void)GuestName, (void)Score;
    (void)Channel;
    return false;
  }
  virtual bool PrintMemberCard(std::string CardNo, std::string Text) {
    (void)CardNo, (void)Text;
    return false;
  }
};

// The member card device in use, or none; not owning. Set only by a start routine that selects
// the member card kind, before the listener starts; never by this program.
extern TBaseMember* MemberDevice;

// Held around every operation on MemberDevice except ShowOptionForm.
std::unique_lock<std::mutex> LockMemberDevice();
