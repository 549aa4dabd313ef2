#include "config/SysOptionUnit.h"

#include <utility>

#include "platform/IniFile.h"

TSysOption* SysOption = nullptr;

namespace {
constexpr char kSysSection[] = "SysOption";
constexpr char kDoorlockSection[] = "DoorlockOption";

constexpr char kDefaultPassword[] = "qitvex";
constexpr std::int32_t kDefaultDoorlockPortNo = 8886;
// The hand tag kind listens where the door lock kind does unless told otherwise.
constexpr std::int32_t kDefaultHandPortNo = 8886;
constexpr std::int32_t kDefaultPolicePortNo = 8885;
constexpr std::int32_t kDefaultMemberPortNo = 8883;
constexpr std::int32_t kDefaultScanPortNo = 8881;
constexpr bool kDefaultWriteLog = true;
constexpr std::int32_t kDefaultDelayMinutes = 0;
constexpr std::int32_t kDefaultDelayMinutes2 = 0;
constexpr bool kDefaultUseNativeDoorlockDb = false;
constexpr bool kDefaultSaveDoorlockRecord = false;
constexpr bool kDefaultAutoReadDoorCard = false;
constexpr char kDefaultPmsServer[] = "127.0.0.1";
constexpr std::int32_t kDefaultPmsServerPort = 9873;
}  // namespace

TSysOption::TSysOption(std::string fileName)
    : DoorlockPortNo(kDefaultDoorlockPortNo),
      HandPortNo(kDefaultHandPortNo),
      UseNativeDoorlockDb(kDefaultUseNativeDoorlockDb),
      SaveDoorlockRecord(kDefaultSaveDoorlockRecord),
      PolicePortNo(kDefaultPolicePortNo),
      MemberPortNo(kDefaultMemberPortNo),
      ScanPortNo(kDefaultScanPortNo),
      FileName(std::move(fileName)),
      Password(kDefaultPassword),
      DelayMinutes(kDefaultDelayMinutes),
      DelayMinutes2(kDefaultDelayMinutes2),
      WriteLog(kDefaultWriteLog),
      AutoReadDoorCard(kDefaultAutoReadDoorCard),
      PmsServer(kDefaultPmsServer),
      PmsServerPort(kDefaultPmsServerPort) {}

void TSysOption::Load() {
  const TIniFile ini(FileName);
  Password = ini.ReadString(kSysSection, "Password", kDefaultPassword);
  DoorlockPortNo = ini.ReadInteger(kSysSection, "DoorlockPortNo", kDefaultDoorlockPortNo);
  HandPortNo = ini.ReadInteger(kSysSection, "HandPortNo", kDefaultHandPortNo);
  PolicePortNo = ini.ReadInteger(kSysSection, "PolicePortNo", kDefaultPolicePortNo);
  MemberPortNo = ini.ReadInteger(kSysSection, "MemberPortNo", kDefaultMemberPortNo);
  ScanPortNo = ini.ReadInteger(kSysSection, "ScanPortNo", kDefaultScanPortNo);
  WriteLog = ini.ReadBool(kSysSection, "WriteLog", kDefaultWriteLog);
  DelayMinutes = ini.ReadInteger(kDoorlockSection, "DelayMinutes", kDefaultDelayMinutes);
  DelayMinutes2 = ini.ReadInteger(kDoorlockSection, "DelayMinutes2", kDefaultDelayMinutes2);
  UseNativeDoorlockDb =
      ini.ReadBool(kDoorlockSection, "UseNativeDoorlockDb", kDefaultUseNativeDoorlockDb);
  SaveDoorlockRecord =
      ini.ReadBool(kDoorlockSection, "SaveDoorlockRecord", kDefaultSaveDoorlockRecord);
  AutoReadDoorCard = ini.ReadBool(kDoorlockSection, "AutoReadDoorCard", kDefaultAutoReadDoorCard);
  PmsServer = ini.ReadString(kDoorlockSection, "PmsServer", kDefaultPmsServer);
  PmsServerPort = ini.ReadInteger(kDoorlockSection, "PmsServerPort", kDefaultPmsServerPort);
}

void TSysOption::Save() {
  // One rewrite for all fourteen keys: the file holds either all of them or, after a failure,
  // none of the new values, never a part.
  TIniChanges changes;
  changes.WriteString(kSysSection, "Password", Password);
  changes.WriteInteger(kSysSection, "DoorlockPortNo", DoorlockPortNo);
  changes.WriteInteger(kSysSection, "HandPortNo", HandPortNo);
  changes.WriteInteger(kSysSection, "PolicePortNo", PolicePortNo);
  changes.WriteInteger(kSysSection, "MemberPortNo", MemberPortNo);
  changes.WriteInteger(kSysSection, "ScanPortNo", ScanPortNo);
  changes.WriteBool(kSysSection, "WriteLog", WriteLog);
  changes.WriteInteger(kDoorlockSection, "DelayMinutes", DelayMinutes);
  changes.WriteInteger(kDoorlockSection, "DelayMinutes2", DelayMinutes2);
  changes.WriteBool(kDoorlockSection, "UseNativeDoorlockDb", UseNativeDoorlockDb);
  changes.WriteBool(kDoorlockSection, "SaveDoorlockRecord", SaveDoorlockRecord);
  changes.WriteBool(kDoorlockSection, "AutoReadDoorCard", AutoReadDoorCard);
  changes.WriteString(kDoorlockSection, "PmsServer", PmsServer);
  changes.WriteInteger(kDoorlockSection, "PmsServerPort", PmsServerPort);
  TIniFile(FileName).Apply(changes);
}
