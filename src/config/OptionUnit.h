// TOption holds the three settings with which the card encoder library connects to the lock
// system's database: data source name, user name and password, kept in section DoorlockOption
// of Option.ini. Save changes only those three keys; every other key of the file, TSysOption's
// included, stays as it is. The Password key here is the database password, not the
// administrator password of section SysOption.
//
// Texts are held exactly as given, blanks included, and written unchanged. Reading a value drops
// the blanks around it (the INI rule the settings have always been read by), so a text with
// leading or trailing blanks comes back without them after the next start. Nothing quotes them:
// a quoted value would read back with its quotes, and the file stays the same as it always was.
//
// Thread safety: none of its own. The one instance is loaded before any other thread exists and
// is read and changed only on the main thread.
#pragma once

#include <string>

class TOption {
 public:
  // Stores the path and sets every field to its default; reads nothing.
  explicit TOption(std::string fileName);

  // Reads the three keys; a missing file, section or key gives that key's default. Never creates
  // or changes the file.
  void Load();
  // Writes DataSource, UserName and Password, in that order. Throws EIniFileException
  // ("Unable to write to <FileName>") when the file cannot be written, leaving it unchanged.
  void Save();

  const std::string FileName;
  std::string DataSource;
  std::string UserName;
  std::string Password;
};

// The process-wide instance on the Option.ini beside the executable, created and loaded by the
// start-up code and never released. Null until then.
extern TOption* Option;
