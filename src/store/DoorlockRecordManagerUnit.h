// TDoorlockRecordManager is the host's own card record store: per room (T_Room) the last check-in
// time, which is the validity start of the room's last new card and which copy cards of the room
// reuse; and, when the options ask for it, one row per card issue attempt (T_IssueCardRecord).
// The card issue and the door lock test dialog are its callers.
//
// Engine: a SQLite file, normally "Client.db" beside the executable, reached through SOCI. The
// whole engine choice is the connection string (ConnectionStringFor); everything else is plain
// SQL with named parameters, so a shared store on a database server is a different string later.
// A fresh file gets both tables; rows of an existing file are kept. RoomNo is not a key: a file
// may hold two rows for one room, and then the look-up answers with the first and the update
// sets both.
//
// Column types. Texts are TEXT, CardType INTEGER, IsCopy INTEGER 0 or 1. Date-times are TEXT
// "yyyy-mm-dd hh:nn:ss.zzz" in local time, like the TDateTime values themselves: readable in the
// sqlite3 tool, sorted by plain text comparison, understood by SQLite's date functions. A value
// is stored rounded to the millisecond and reads back as exactly the TDateTime EncodeDateTime
// gives for that millisecond, so a value that is a whole millisecond (Now(), converted texts)
// round-trips bit for bit. A value whose date falls outside the years 1 to 9999 is refused as
// a failure of its operation.
//
// Durability: journal_mode=WAL with synchronous=FULL. Every commit is written to the WAL file
// and fsync'ed before the statement returns, so a row whose operation has returned survives a
// kill -9 of the host or a power cut a moment later. (Rollback-journal mode with FULL would not
// promise that: the journal's deletion, which is the commit, is not synced to the directory, and
// a power cut can turn it back into a hot journal that rolls the row back.) WAL also lets a
// reader such as the sqlite3 tool look at the file without blocking the host. While the host
// runs, recent rows may sit in "Client.db-wal" beside the file: copy the file with the sqlite3
// tool's ".backup", not by copying Client.db alone. The last connection to close folds the WAL
// back into the file. A second process on the same file waits up to 5 s for a lock (busy
// timeout) before its operation fails.
//
// Failures never reach the caller. Each operation catches whatever goes wrong (the file cannot
// be opened, a table or column is missing, a constraint or lock fails), logs the message text
// unchanged through LogFile->AddLog and returns: GetLastCheckInTime with 0,
// UpdateLastCheckInTime without inserting the room, InsertRoom without its "新建房间" line,
// InsertIssueCardRecord without the row. A store whose opening failed stays closed; every
// operation on a closed store first tries to open it again, and a failure of that is the
// operation's failure.
//
// Thread-safe: the card issue calls it from connection threads, the test dialog from the main
// thread. One mutex serialises every operation on the one shared session, so an update and the
// insert it may fall back to are one step: two threads updating the same new room give one row.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/DateTime.h"

namespace soci {
class session;
}

class TDoorlockRecordManager {
 public:
  // Remembers the file; opens nothing. fileName must not contain a double quote, which the
  // connection string cannot carry.
  explicit TDoorlockRecordManager(std::string fileName);
  ~TDoorlockRecordManager();
  TDoorlockRecordManager(const TDoorlockRecordManager&) = delete;
  TDoorlockRecordManager& operator=(const TDoorlockRecordManager&) = delete;

  // Opens the connection when it is closed: the file is created when missing, switched to WAL,
  // and the missing tables are created. A failure is logged and leaves the store closed; a file
  // that cannot be switched to WAL (a read-only file not yet in WAL) counts as one, since it
  // could not keep rows durably. True when the store is open afterwards.
  bool Open();
  bool Connected() const;

  // The LastCheckInTime of the room's first row; 0 when the room has no row, the row has no
  // time, or the look-up fails. The key is bound as a parameter like every other value, so any
  // key, one holding a quote included, finds its row and cannot change the statement.
  TDateTime GetLastCheckInTime(const std::string& roomNo);
  // Sets the time of every row of the room; when no row was affected, inserts the room through
  // InsertRoom with the same values.
  void UpdateLastCheckInTime(const std::string& roomNo, TDateTime lastCheckInTime);
  // Adds a row for the room (also when it has one already), then logs "新建房间" + roomNo.
  void InsertRoom(const std::string& roomNo, TDateTime lastCheckInTime);
  // Adds one card issue row; logs nothing on success.
  void InsertIssueCardRecord(const std::string& registerId, const std::string& cardNo,
                             const std::string& roomNo, std::int32_t cardType,
                             TDateTime lastCheckInTime, TDateTime checkInTime,
                             TDateTime checkOutTime, bool isCopy, const std::string& guestName,
                             TDateTime opratingTime);

  // The database file's full path.
  const std::string FileName;
  // What the connection is opened from.
  const std::string ConnectionString;

 private:
  void OpenLocked();
  void InsertRoomLocked(const std::string& roomNo, TDateTime lastCheckInTime);

  mutable std::mutex FLock;
  std::unique_ptr<soci::session> FSession;  // null while the store is closed
};

// The connection string of the SQLite file fileName: "sqlite3://db="<fileName>" timeout=5".
std::string ConnectionStringFor(const std::string& fileName);

// The store's text of a date-time value and back. StoreTextToDateTime also reads the shorter
// texts other writers produce ("yyyy-mm-dd", "yyyy-mm-dd hh:nn[:ss]", any number of fraction
// digits, "T" for the blank; digits past the millisecond are dropped); anything else throws
// EConvertError.
std::string DateTimeToStoreText(TDateTime value);
TDateTime StoreTextToDateTime(const std::string& text);

// The process-wide store on Client.db beside the executable, created and opened by the start-up
// code. Null before that and after it is released.
extern TDoorlockRecordManager* DoorlockRecordManager;
