#include "doorlock/Mbt2005DoorlockUnit.h"

#include <cstring>
#include <limits>
#include <utility>

#include "config/LogFileUnit.h"
#include "config/OptionUnit.h"
#include "host/StartupUnit.h"
#include "platform/ComApartment.h"

namespace {

constexpr char kTimeFormat[] = "yyyy-mm-dd hh:nn";

void Log(const std::string& text) {
  if (LogFile != nullptr) LogFile->AddLog(text);
}

bool IsTrue(int result) {
  return (result & 0xFF) != 0;
}

// A library buffer's text: up to its first NUL, and never past its end, whether or not the
// library terminated it.
std::string BufferText(const char* buffer, std::size_t size) {
  return std::string(buffer, strnlen(buffer, size));
}

// "code:text" of the library's last error.
std::string ErrorStatus(TGetErrorStatusProc getErrorStatus) {
  int code = 0;
  char text[kMbt2005ErrorTextSize] = {};
  getErrorStatus(&code, text);
  return std::to_string(code) + ":" + BufferText(text, sizeof text);
}

}  // namespace

bool TryStrToCardNo(const std::string& text, std::int64_t& value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  // Accumulated as a negative number, whose range reaches the minimum of int64.
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  std::int64_t result = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    const int digit = text[i] - '0';
    if (result < (kMin + digit) / 10) return false;
    result = result * 10 - digit;
  }
  if (!negative) {
    if (result == kMin) return false;
    result = -result;
  }
  value = result;
  return true;
}

std::int64_t StrToCardNo(const std::string& text) {
  std::int64_t value = 0;
  if (!TryStrToCardNo(text, value)) {
    throw EConvertError("'" + text + "' is not a valid integer value");
  }
  return value;
}

TMbt2005Doorlock::TMbt2005Doorlock() : TMbt2005Doorlock(LoadMbt2005Api(ExecutableDirectory())) {}

TMbt2005Doorlock::TMbt2005Doorlock(TMbt2005Api api) : FApi(std::move(api)) {}

bool TMbt2005Doorlock::Available(unsigned functions) const {
  struct TEntry {
    TFunction Function;
    const char* Name;
    bool Present;
  };
  const TEntry entries[] = {
      {fnSetConfiguration, "SetConfiguration", FApi.SetConfiguration != nullptr},
      {fnEncodeCard, "EncodeCard", FApi.EncodeCard != nullptr},
      {fnReadCard, "ReadCard", FApi.ReadCard != nullptr},
      {fnCancelCard, "CancelCard", FApi.CancelCard != nullptr},
      {fnGetErrorStatus, "GetErrorStatus", FApi.GetErrorStatus != nullptr},
      {fnGetCardSnrAfterEncode, "GetCardSnrAfterEncode", FApi.GetCardSnrAfterEncode != nullptr},
      {fnRenewGuestInfo, "RenewGuestInfo", FApi.RenewGuestInfo != nullptr},
  };
  std::string missing;
  for (const TEntry& entry : entries) {
    if ((functions & entry.Function) == 0 || entry.Present) continue;
    if (!missing.empty()) missing += ", ";
    missing += entry.Name;
  }
  if (missing.empty()) return true;
  if (!FApi.LoadError.empty()) {
    Log("门锁接口库 " + FApi.LibraryName + " 未能加载, 无法调用 " + missing + ": " +
        FApi.LoadError);
  } else {
    Log("门锁接口库 " + FApi.LibraryName + " 缺少函数 " + missing);
  }
  return false;
}

void TMbt2005Doorlock::ShowOptionForm() {
  if (FShowOptionForm) FShowOptionForm();
}

bool TMbt2005Doorlock::OpenPort() {
  if (FApi.SetConfiguration == nullptr) {
    Log("连接门锁服务器失败:");
    Available(fnSetConfiguration);
    return false;
  }
  if (IsTrue(FApi.SetConfiguration(Option->DataSource.c_str(), Option->UserName.c_str(),
                                   Option->Password.c_str()))) {
    Log("连接门锁服务器成功");
    return true;
  }
  Log("连接门锁服务器失败:");
  return false;
}

void TMbt2005Doorlock::Beep() {}

bool TMbt2005Doorlock::ClosePort() {
  return true;
}

bool TMbt2005Doorlock::WriteCard(std::string RegisterId, std::string RoomBuildingCode,
                                 std::string RoomFloorCode, std::string RoomNo,
                                 std::string GuestName, TDateTime BeginTime, TDateTime CheckInTime,
                                 TDateTime EndTime, TDateTime CheckOutTime, bool IsCopy,
                                 std::int64_t& CardNo) {
  (void)RegisterId, (void)RoomBuildingCode, (void)RoomFloorCode, (void)GuestName;
  (void)CheckInTime, (void)CheckOutTime;
  TComApartment com;
  bool result = false;
  try {
    if (!Available(fnCancelCard | (IsCopy ? 0u : fnRenewGuestInfo) | fnEncodeCard |
                   fnGetCardSnrAfterEncode)) {
      return false;
    }
    // Whatever the card held is cleared first; an already blank card may refuse, which is fine.
    FApi.CancelCard(0);
    // A copy card opens the room alongside the guest's other cards, so the guest stays the same.
    if (!IsCopy) FApi.RenewGuestInfo(RoomNo.c_str());
    const std::string start = FormatDateTime(kTimeFormat, BeginTime);
    const std::string end = FormatDateTime(kTimeFormat, EndTime);
    if (IsTrue(FApi.EncodeCard(RoomNo.c_str(), start.c_str(), end.c_str(), "", ""))) {
      Beep();
      char serial[kMbt2005SerialSize] = {};
      FApi.GetCardSnrAfterEncode(serial);
      // The card is written even when its serial does not convert; the caller still gets false,
      // because it has no number to hand on.
      const std::int64_t cardNo = StrToCardNo(BufferText(serial, sizeof serial));
      CardNo = cardNo;
      Log("发卡成功,卡号为:" + std::to_string(cardNo));
      result = true;
    } else {
      Log("发卡失败，请检查房间号等参数是否正确");
    }
  } catch (const std::exception& e) {
    Log(e.what());
    result = false;
  } catch (...) {
    Log("发卡失败: 未知错误");
    result = false;
  }
  return result;
}

bool TMbt2005Doorlock::ReadCard(std::int64_t& CardNo) {
  TComApartment com;
  bool result = false;
  try {
    if (!Available(fnReadCard | fnGetCardSnrAfterEncode | fnGetErrorStatus)) return false;
    // The library fills these, but the card number is fetched separately below; their content
    // is not part of what the host relies on.
    char buffer1[kMbt2005ReadBuffer1Size] = {};
    char buffer2[kMbt2005ReadBuffer2Size] = {};
    char buffer3[kMbt2005ReadBuffer3Size] = {};
    int value = 0;
    const bool read = IsTrue(FApi.ReadCard(buffer1, buffer2, buffer3, &value));
    char serial[kMbt2005SerialSize] = {};
    FApi.GetCardSnrAfterEncode(serial);
    if (read) {
      Beep();
      const std::int64_t cardNo = StrToCardNo(BufferText(serial, sizeof serial));
      CardNo = cardNo;
      Log("读卡成功,卡号为:" + std::to_string(cardNo));
      result = true;
    } else {
      Log("读卡失败：" + ErrorStatus(FApi.GetErrorStatus));
    }
  } catch (...) {
    // A card that reads but carries no number is a blank card; that is what the operator needs
    // to hear, more than the conversion's own message.
    Log("读失败, 该卡可能是空卡");
    result = false;
  }
  return result;
}

bool TMbt2005Doorlock::EraseCard() {
  TComApartment com;
  bool result = false;
  try {
    if (!Available(fnCancelCard | fnGetErrorStatus)) return false;
    if (IsTrue(FApi.CancelCard(0))) {
      Beep();
      Log("销卡成功");
      result = true;
    } else {
      Log("销卡失败：" + ErrorStatus(FApi.GetErrorStatus));
    }
  } catch (const std::exception& e) {
    Log(e.what());
    result = false;
  } catch (...) {
    Log("销卡失败: 未知错误");
    result = false;
  }
  return result;
}
