// The simulated encoder's persistent state: the card slot (empty, a blank card, or a card with a
// room, a validity window and a serial number), the credentials SetConfiguration accepts, the
// last serial number handed out, and the switches that make calls fail. It lives in a small text
// file (mbt2005-sim.state beside the library, or the file DOORLOCK_SIM_STATE names), so that the
// library and the mbt2005-sim tool see the same encoder, and so that serial numbers never repeat
// from one run to the next.
//
// Thread and process safety: TSimStateFile holds an exclusive lock on "<state>.lock" from
// construction to destruction, so one reader-modifier-writer at a time gets through, whether the
// others are threads or processes. The file is replaced by rename, so a reader never sees half a
// file. Threads of one process must still not share a TSimStateFile object.
#pragma once

#include <cstdint>
#include <set>
#include <string>

namespace sim {

enum class TSlot { Empty, Blank, Encoded };

struct TSimState {
  TSlot Slot = TSlot::Blank;  // a new encoder has a blank card ready
  std::string Room;           // these three and Serial: only for an encoded card
  std::string Start;
  std::string End;
  std::int64_t Serial = 0;
  std::int64_t LastSerial = 0;
  std::string RenewedRoom;  // the room of the last RenewGuestInfo
  std::string UserName = "TavrinTest";
  std::string Password = "730981";
  std::set<std::string> FailNext;    // each fails once, then is removed
  std::set<std::string> FailAlways;  // fail until cleared
};

// Error codes and texts GetErrorStatus reports.
enum TErrorCode : int {
  errNone = 0,
  errNotConnected = 1,
  errNoCard = 2,
  errBlankCard = 3,
  errBadArgument = 4,
  errRefused = 5,
  errInjected = 6,
  errStateFile = 7,
  errCardNotBlank = 8,
};

// Makes the card in the slot a blank one (a card taken out and a blank one put in, or a card
// erased).
void PutBlankCard(TSimState& state);

// The functions a failure switch can name.
bool IsSwitchable(const std::string& function);

// The state file to use: DOORLOCK_SIM_STATE when set and not empty, otherwise
// "mbt2005-sim.state" in `directory` (which ends with a separator).
std::string StatePath(const std::string& directory);
// Where encoded cards are listed: the state path with ".state" replaced by ".history".
std::string HistoryPath(const std::string& statePath);

// The next serial number: above the last one handed out and at least the milliseconds since
// 1970, so that even a deleted state file does not bring old numbers back. Updates LastSerial.
std::int64_t NextSerial(TSimState& state);

// "yyyy-mm-dd hh:nn" with a valid month, day, hour and minute.
bool IsMinuteText(const std::string& text);
// The local time `minutesFromNow` minutes from now as "yyyy-mm-dd hh:nn".
std::string MinuteTextFromNow(int minutesFromNow);

class TSimStateFile {
 public:
  // Locks the state, then reads it; a missing file is a new encoder's state. Lines that do not
  // parse are skipped.
  explicit TSimStateFile(std::string path);
  ~TSimStateFile();
  TSimStateFile(const TSimStateFile&) = delete;
  TSimStateFile& operator=(const TSimStateFile&) = delete;

  TSimState State;
  const std::string& Path() const { return FPath; }

  // Writes State back; false when the file cannot be written (the old one then stays).
  bool Save() const;
  // Appends one line for a card just encoded to the history file; failures are ignored.
  void AppendHistory() const;

 private:
  const std::string FPath;
  int FLock = -1;
};

}  // namespace sim
