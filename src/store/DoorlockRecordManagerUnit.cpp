#include "store/DoorlockRecordManagerUnit.h"

// This file must not include <sqlite3.h>: the SOCI backend header wraps its own copy of it.
#include <soci/soci.h>
#include <soci/sqlite3/soci-sqlite3.h>

#include <cctype>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "config/LogFileUnit.h"

TDoorlockRecordManager* DoorlockRecordManager = nullptr;

namespace {

// The four statements the card issue relies on, with their named parameters. The look-up binds
// the room key like the others rather than splicing it into the text.
constexpr const char* kSelectLastCheckInTime =
    "select LastCheckInTime from T_Room where RoomNo=:RoomNo";
constexpr const char* kUpdateLastCheckInTime =
    "update T_Room set LastCheckInTime=:LastCheckInTime where RoomNo=:RoomNo";
constexpr const char* kInsertRoom =
    "insert into T_Room(RoomNo, LastCheckInTime) Values(:RoomNo, :LastCheckInTime)";
constexpr const char* kInsertIssueCardRecord =
    "insert into T_IssueCardRecord(RegisterId, CardNo, RoomNo, CardType, LastCheckInTime, "
    "CheckInTime, CheckOutTime, IsCopy, GuestName, OpratingTime)\n"
    " Values(:RegisterId, :CardNo, :RoomNo, :CardType, :LastCheckInTime, :CheckInTime, "
    ":CheckOutTime, :IsCopy, :GuestName, :OpratingTime)";

// Plain types every engine knows, so that the same text serves a database server too. Date-times
// are TEXT in the store's format (see the header); RoomNo carries no key (two rows for one room
// are possible and have defined results).
constexpr const char* kCreateRoom =
    "create table if not exists T_Room ("
    "RoomNo text, "
    "LastCheckInTime text)";
constexpr const char* kCreateIssueCardRecord =
    "create table if not exists T_IssueCardRecord ("
    "RegisterId text, "
    "CardNo text, "
    "RoomNo text, "
    "CardType integer, "
    "LastCheckInTime text, "
    "CheckInTime text, "
    "CheckOutTime text, "
    "IsCopy integer check (IsCopy in (0, 1)), "
    "GuestName text, "
    "OpratingTime text)";

constexpr const char* kStoreFormat = "yyyy-mm-dd hh:nn:ss.zzz";
// Beyond the years 1 to 9999 (about -693594 to 2958466) on either side: values past it are not
// decoded at all, which also keeps NaN and infinities away from the decoder.
constexpr double kDecodeLimit = 3e6;

void Log(const std::string& text) {
  if (LogFile != nullptr) LogFile->AddLog(text);
}

// Runs one operation's body; whatever it throws is logged and goes no further.
template <typename Body>
void Guarded(Body&& body) {
  try {
    body();
  } catch (const std::exception& e) {
    Log(e.what());
  } catch (...) {
    Log("unknown error in the card record store");
  }
}

// The sqlite3 backend is linked in and registered once, so opening a "sqlite3://" string needs no
// backend library found at run time. Strings of other engines load their backend by name.
void RegisterBackends() {
  static std::once_flag once;
  std::call_once(once, [] { soci::register_factory_sqlite3(); });
}

// Switches the file to WAL and answers with the journal mode then in force, which stays the old
// one when the switch is impossible (a read-only file). The switch takes an exclusive lock, and
// SQLite answers a second connection asking for it at the same moment with "database is locked"
// at once rather than waiting (waiting could deadlock). That connection then tries again from
// scratch: by then the first one has switched the file and the switch is a no-op.
std::string SwitchToWal(soci::session& session) {
  constexpr int kAttempts = 5;
  for (int attempt = 1;; ++attempt) {
    try {
      std::string mode;
      session << "pragma journal_mode", soci::into(mode);
      if (mode != "wal") session << "pragma journal_mode=WAL", soci::into(mode);
      return mode;
    } catch (const soci::sqlite3_soci_error& e) {
      if (e.result() != SQLITE_BUSY || attempt == kAttempts) throw;
    }
  }
}

bool ReadDigits(const std::string& text, size_t& pos, size_t count, int& value) {
  if (pos + count > text.size()) return false;
  value = 0;
  for (size_t i = 0; i < count; ++i) {
    const char c = text[pos + i];
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    value = value * 10 + (c - '0');
  }
  pos += count;
  return true;
}

bool ReadChar(const std::string& text, size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

bool ParseStoreText(const std::string& text, TDateTimeParts& p) {
  size_t pos = 0;
  if (!ReadDigits(text, pos, 4, p.Year) || !ReadChar(text, pos, '-') ||
      !ReadDigits(text, pos, 2, p.Month) || !ReadChar(text, pos, '-') ||
      !ReadDigits(text, pos, 2, p.Day)) {
    return false;
  }
  if (pos < text.size()) {
    if (!ReadChar(text, pos, ' ') && !ReadChar(text, pos, 'T')) return false;
    if (!ReadDigits(text, pos, 2, p.Hour) || !ReadChar(text, pos, ':') ||
        !ReadDigits(text, pos, 2, p.Minute)) {
      return false;
    }
    if (ReadChar(text, pos, ':')) {
      if (!ReadDigits(text, pos, 2, p.Second)) return false;
      if (ReadChar(text, pos, '.')) {
        const size_t first = pos;
        int scale = 100;
        while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
          p.MilliSecond += (text[pos] - '0') * scale;
          scale /= 10;
          ++pos;
        }
        if (pos == first) return false;
      }
    }
  }
  return pos == text.size() && IsValidDate(p.Year, p.Month, p.Day) &&
         IsValidTime(p.Hour, p.Minute, p.Second, p.MilliSecond);
}

}  // namespace

std::string ConnectionStringFor(const std::string& fileName) {
  // The quotes keep blanks in the path; the backend reads up to the next quote.
  return "sqlite3://db=\"" + fileName + "\" timeout=5";
}

std::string DateTimeToStoreText(TDateTime value) {
  const bool decodable = value > -kDecodeLimit && value < kDecodeLimit;
  if (!decodable || !IsValidDate(DecodeDateTime(value).Year, 1, 1)) {
    throw EConvertError("date-time value " + std::to_string(value) + " is out of range");
  }
  return FormatDateTime(kStoreFormat, value);
}

TDateTime StoreTextToDateTime(const std::string& text) {
  TDateTimeParts parts;
  if (!ParseStoreText(text, parts)) {
    throw EConvertError("'" + text + "' is not a valid date and time");
  }
  return EncodeDateTime(parts);
}

TDoorlockRecordManager::TDoorlockRecordManager(std::string fileName)
    : FileName(std::move(fileName)), ConnectionString(ConnectionStringFor(FileName)) {}

TDoorlockRecordManager::~TDoorlockRecordManager() = default;

bool TDoorlockRecordManager::Open() {
  std::lock_guard<std::mutex> guard(FLock);
  Guarded([this] { OpenLocked(); });
  return FSession != nullptr;
}

bool TDoorlockRecordManager::Connected() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FSession != nullptr;
}

// The session is kept only when every step succeeded, so a half-prepared file (not a database,
// read-only, tables not creatable) is tried again from the start by the next operation.
void TDoorlockRecordManager::OpenLocked() {
  if (FSession != nullptr) return;
  if (FileName.find('"') != std::string::npos) {
    throw std::runtime_error("the database file name cannot hold a double quote: " + FileName);
  }
  RegisterBackends();
  auto session = std::make_unique<soci::session>(ConnectionString);
  if (session->get_backend_name() == "sqlite3") {
    // Durability rests on both settings (see the header); journal_mode persists in the file,
    // synchronous holds for this connection.
    const std::string mode = SwitchToWal(*session);
    if (mode != "wal") {
      throw std::runtime_error("cannot switch " + FileName + " to write-ahead logging (mode " +
                               mode + ")");
    }
    *session << "pragma synchronous=FULL";
  }
  *session << kCreateRoom;
  *session << kCreateIssueCardRecord;
  FSession = std::move(session);
}

TDateTime TDoorlockRecordManager::GetLastCheckInTime(const std::string& roomNo) {
  std::lock_guard<std::mutex> guard(FLock);
  TDateTime result = 0;
  Guarded([&] {
    OpenLocked();
    std::string text;
    soci::indicator indicator = soci::i_null;
    soci::statement st = (FSession->prepare << kSelectLastCheckInTime, soci::use(roomNo, "RoomNo"),
                          soci::into(text, indicator));
    // Only the first row is fetched.
    if (st.execute(true) && indicator == soci::i_ok) result = StoreTextToDateTime(text);
  });
  return result;
}

void TDoorlockRecordManager::UpdateLastCheckInTime(const std::string& roomNo,
                                                   TDateTime lastCheckInTime) {
  std::lock_guard<std::mutex> guard(FLock);
  bool noRow = false;  // stays false when the update fails: then nothing is inserted
  Guarded([&] {
    OpenLocked();
    const std::string time = DateTimeToStoreText(lastCheckInTime);
    soci::statement st = (FSession->prepare << kUpdateLastCheckInTime,
                          soci::use(time, "LastCheckInTime"), soci::use(roomNo, "RoomNo"));
    st.execute(true);
    noRow = st.get_affected_rows() == 0;
  });
  if (noRow) InsertRoomLocked(roomNo, lastCheckInTime);
}

void TDoorlockRecordManager::InsertRoom(const std::string& roomNo, TDateTime lastCheckInTime) {
  std::lock_guard<std::mutex> guard(FLock);
  InsertRoomLocked(roomNo, lastCheckInTime);
}

void TDoorlockRecordManager::InsertRoomLocked(const std::string& roomNo,
                                              TDateTime lastCheckInTime) {
  Guarded([&] {
    OpenLocked();
    const std::string time = DateTimeToStoreText(lastCheckInTime);
    soci::statement st = (FSession->prepare << kInsertRoom, soci::use(roomNo, "RoomNo"),
                          soci::use(time, "LastCheckInTime"));
    st.execute(true);
    Log("新建房间" + roomNo);
  });
}

void TDoorlockRecordManager::InsertIssueCardRecord(
    const std::string& registerId, const std::string& cardNo, const std::string& roomNo,
    std::int32_t cardType, TDateTime lastCheckInTime, TDateTime checkInTime, TDateTime checkOutTime,
    bool isCopy, const std::string& guestName, TDateTime opratingTime) {
  std::lock_guard<std::mutex> guard(FLock);
  Guarded([&] {
    OpenLocked();
    // Bound values must outlive the statement.
    const int type = cardType;
    const std::string last = DateTimeToStoreText(lastCheckInTime);
    const std::string checkIn = DateTimeToStoreText(checkInTime);
    const std::string checkOut = DateTimeToStoreText(checkOutTime);
    const int copy = isCopy ? 1 : 0;
    const std::string operating = DateTimeToStoreText(opratingTime);
    soci::statement st =
        (FSession->prepare << kInsertIssueCardRecord, soci::use(registerId, "RegisterId"),
         soci::use(cardNo, "CardNo"), soci::use(roomNo, "RoomNo"), soci::use(type, "CardType"),
         soci::use(last, "LastCheckInTime"), soci::use(checkIn, "CheckInTime"),
         soci::use(checkOut, "CheckOutTime"), soci::use(copy, "IsCopy"),
         soci::use(guestName, "GuestName"), soci::use(operating, "OpratingTime"));
    st.execute(true);
  });
}
