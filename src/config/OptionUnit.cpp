#include "config/OptionUnit.h"

#include <utility>

#include "platform/IniFile.h"

TOption* Option = nullptr;

namespace {
constexpr char kSection[] = "DoorlockOption";

// The lock system's database runs on the front-desk machine itself.
constexpr char kDefaultDataSource[] = "localhost";
constexpr char kDefaultUserName[] = "TavrinTest";
constexpr char kDefaultPassword[] = "730981";
}  // namespace

TOption::TOption(std::string fileName)
    : FileName(std::move(fileName)),
      DataSource(kDefaultDataSource),
      UserName(kDefaultUserName),
      Password(kDefaultPassword) {}

void TOption::Load() {
  const TIniFile ini(FileName);
  DataSource = ini.ReadString(kSection, "DataSource", kDefaultDataSource);
  UserName = ini.ReadString(kSection, "UserName", kDefaultUserName);
  Password = ini.ReadString(kSection, "Password", kDefaultPassword);
}

void TOption::Save() {
  TIniChanges changes;
  changes.WriteString(kSection, "DataSource", DataSource);
  changes.WriteString(kSection, "UserName", UserName);
  changes.WriteString(kSection, "Password", Password);
  TIniFile(FileName).Apply(changes);
}
