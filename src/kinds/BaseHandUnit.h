// The hand tag device: the operations through which the hand tag kind issues, reads and erases
// hand tags. The tag's number always comes from the device. The device itself is not part of
// the host: a start routine that selects the hand tag kind supplies an implementation in
// HandDevice, which this program never does. Every operation has a harmless default (false,
// nothing done). The first four operations are the door lock device's, in the same order.
//
// The hand tag number is UTF-8 text. It is empty when each call begins; callers take whatever
// it holds when the call returns.
//
// Thread safety: an implementation need not be thread-safe. Every caller in the host holds
// LockHandDevice() around an operation, so one operation at a time reaches the device from the
// connection threads and the test dialog; ShowOptionForm alone is called without it (a modal
// dialog on the main thread must not hold requests up).
#pragma once

#include <mutex>
#include <string>

class TBaseHand {
 public:
  TBaseHand() = default;
  virtual ~TBaseHand() = default;
  TBaseHand(const TBaseHand&) = delete;
  TBaseHand& operator=(const TBaseHand&) = delete;

  // The device's own settings dialog, for the main window's Option command.
  virtual void ShowOptionForm() {}
  // The results of OpenPort and ClosePort are not examined by the host.
  virtual bool OpenPort() { return false; }
  virtual void Beep() {}
  virtual bool ClosePort() { return false; }
  virtual bool IssueHand(std::string& HandNo) {
    (void)HandNo;
    return false;
  }
  virtual bool ReadHand(std::string& HandNo) {
    (void)HandNo;
    return false;
  }
  virtual bool EraseHand(std::string& HandNo) {
    (void)HandNo;
    return false;
  }
};

// The hand tag device in use, or none; not owning. Set only by a start routine that selects the
// hand tag kind, before the listener starts; never by this program.
extern TBaseHand* HandDevice;

// Held around every operation on HandDevice except ShowOptionForm.
std::unique_lock<std::mutex> LockHandDevice();
