// The simulated encoder's persistent state: the card slot (empty, a blank card, or a card with a
// room, a validity window and a serial number), the credentials SetConfiguration accepts, the
// last serial number handed out, and the switches that make calls fail. It lives in a small text
// file (mbt2005-sim.state beside the library, or the file DOORLOCK_SIM_STATE names), so that the
// library and the mbt2005-sim tool see the same encoder, and so that serial numbers never repeat
// from one run to the next.
//
// Thread and process safety: a writing TSimStateFile holds a mutex of its process and an
// exclusive lock on "<state>.lock" from construction to destruction, so one
// reader-modifier-writer at a time gets through, whether the others are threads or processes.
// The file is read only under that lock, so no reader sees it half rewritten. Threads of one
// process must still not share a TSimStateFile object.
//
// Cost: a process keeps the files open and the state it last read or wrote. Each writer counts
// a generation in the lock file (shared memory between the processes); a reader that finds the
// generation, and the state file's size and times, as it left them uses the state it holds and
// needs no lock. A change made with the tool (or by hand) still counts at the next call.
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
  std::set<std::string> CrashNext;   // each ends the process once, as a fault in a library would
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

struct TSimFiles;  // the open files and last known state of one state path in this process

// Whether a TSimStateFile may save what it changes (and so holds the lock throughout).
enum class TSimAccess { Write, Read };

class TSimStateFile {
 public:
  // Reads the state (see above); a missing file is a new encoder's state. Lines that do not
  // parse are skipped. Write access locks the state first, for the life of the object; Read
  // access locks it only to read the file, and must call LockForWriting before Save.
  explicit TSimStateFile(std::string path, TSimAccess access = TSimAccess::Write);
  ~TSimStateFile();
  TSimStateFile(const TSimStateFile&) = delete;
  TSimStateFile& operator=(const TSimStateFile&) = delete;

  TSimState State;
  const std::string& Path() const { return FPath; }

  // Locks the state for the rest of this object's life and brings State up to date, which
  // another process may have changed since it was read.
  void LockForWriting();
  // Writes State back; false when the file cannot be written. Needs the lock.
  bool Save() const;
  // Appends one line for a card just encoded to the history file; failures are ignored.
  void AppendHistory() const;

 private:
  void Lock();
  void Refresh();

  const std::string FPath;
  TSimFiles* FFiles;
  bool FLocked = false;
};

}  // namespace sim
