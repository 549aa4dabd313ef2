// TMbt2005Doorlock is the door lock device on the lock vendor's card encoder library: it turns
// the seven device operations into the library's calls, in the library's order and with its
// buffers, and writes every outcome to the host's log. It keeps no state between calls; the
// library holds the connection that OpenPort makes.
//
// The library is reached through a TMbt2005Api table, loaded beside the executable by default;
// tests hand in a table of fakes. A library or function that is missing makes the operations
// that need it fail with a log line naming the library and the function; nothing crashes.
//
// Thread safety: the operations may run on any thread. The device takes no lock of its own (the
// process-wide Doorlock serialises them); each write, read and erase initialises COM for its
// own call on the calling thread. SetShowOptionForm is for start-up, before other threads run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "doorlock/BaseDoorlockUnit.h"
#include "doorlock/mbt2005.h"

class TMbt2005Doorlock : public TBaseDoorlock {
 public:
  // Loads the library from the executable's directory.
  TMbt2005Doorlock();
  explicit TMbt2005Doorlock(TMbt2005Api api);

  // What ShowOptionForm shows: the encoder connection dialog lives in the GUI library, which
  // installs it here (InstallOptionForm). Without it ShowOptionForm does nothing.
  void SetShowOptionForm(std::function<void()> show) { FShowOptionForm = std::move(show); }

  const TMbt2005Api& Api() const { return FApi; }

  void ShowOptionForm() override;
  // Hands Option's three connection values, as they stand now, to SetConfiguration.
  bool OpenPort() override;
  void Beep() override;
  // Releases nothing: the library keeps its connection until the process ends.
  bool ClosePort() override;
  // Only RoomNo, BeginTime, EndTime and IsCopy reach the library; the times as minutes.
  bool WriteCard(std::string RegisterId, std::string RoomBuildingCode, std::string RoomFloorCode,
                 std::string RoomNo, std::string GuestName, TDateTime BeginTime,
                 TDateTime CheckInTime, TDateTime EndTime, TDateTime CheckOutTime, bool IsCopy,
                 std::int64_t& CardNo) override;
  bool ReadCard(std::int64_t& CardNo) override;
  bool EraseCard() override;

 private:
  enum TFunction : unsigned {
    fnSetConfiguration = 1u << 0,
    fnEncodeCard = 1u << 1,
    fnReadCard = 1u << 2,
    fnCancelCard = 1u << 3,
    fnGetErrorStatus = 1u << 4,
    fnGetCardSnrAfterEncode = 1u << 5,
    fnRenewGuestInfo = 1u << 6,
  };
  // Whether the library and all `functions` are there; when not, logs which are missing. An
  // operation checks everything it may call before its first call, so that it never leaves a
  // card half done for want of a function.
  bool Available(unsigned functions) const;

  const TMbt2005Api FApi;
  std::function<void()> FShowOptionForm;
};

// The card number of a serial text: optional leading blanks, an optional sign, then one or more
// decimal digits and nothing else, within the signed 64-bit range. Anything else, the empty
// text included, does not convert: TryStrToCardNo returns false, StrToCardNo throws
// EConvertError "'<text>' is not a valid integer value".
bool TryStrToCardNo(const std::string& text, std::int64_t& value);
std::int64_t StrToCardNo(const std::string& text);
