// TSysOption holds the host's system settings from Option.ini: the listener port of each
// interface kind, the log switch, the card-issue timing and record-store switches, and the
// administrator password. Four of them (ScanPortNo, AutoReadDoorCard, PmsServer, PmsServerPort)
// are read by nothing in the host; they are loaded and saved so that their values survive.
//
// The file also holds TOption's keys (DataSource, UserName, Password in section DoorlockOption);
// Save leaves them alone. The Password field here is the key of section SysOption, a different
// setting from TOption's Password.
//
// Thread safety: none of its own. The one instance is loaded before any other thread exists;
// afterwards only Password changes, on the main thread, which is also the only thread that reads
// it, so the other fields may be read from any thread without a lock.
#pragma once

#include <cstdint>
#include <string>

class TSysOption {
 public:
  // Stores the path and sets every field to its default; reads nothing.
  explicit TSysOption(std::string fileName);

  // Reads every key into its field; a missing file, section or key, or a value that does not
  // read as the key's type, gives that key's default. Never creates or changes the file.
  void Load();
  // Writes every key from its field, merging into the file (TIniFile's rules): other keys and
  // sections stay as they are. Throws EIniFileException ("Unable to write to <FileName>") when
  // the file cannot be written, leaving it unchanged; the fields keep their values.
  void Save();

  std::int32_t DoorlockPortNo;
  std::int32_t HandPortNo;
  bool UseNativeDoorlockDb;
  bool SaveDoorlockRecord;
  std::int32_t PolicePortNo;
  std::int32_t MemberPortNo;
  std::int32_t ScanPortNo;
  const std::string FileName;
  std::string Password;
  std::int32_t DelayMinutes;
  std::int32_t DelayMinutes2;
  bool WriteLog;
  bool AutoReadDoorCard;
  std::string PmsServer;
  std::int32_t PmsServerPort;
};

// The process-wide instance on the Option.ini beside the executable, created and loaded by the
// start-up code and never released. Null until then.
extern TSysOption* SysOption;
