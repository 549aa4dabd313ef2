// The simulated card encoder library: the seven functions of the lock vendor's library, on an
// encoder with one card slot whose state SimState.h keeps in a file. Behaviour in README.md.
//
// Thread safety: every function takes one process-wide mutex, and the state file's lock keeps
// other processes (the mbt2005-sim tool, a second host) out while a call reads and rewrites it.
// No function writes past the sizes of the call contract (mbt2005.h); error texts are at most
// 127 bytes and their NUL.
#include <dlfcn.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <type_traits>

#include "SimState.h"
#include "doorlock/mbt2005.h"

#define MBT2005_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex GLock;
// What this process's connection and last call left behind; not persisted, as a real
// library's connection and error status do not outlive the process either.
bool GConnected = false;
int GErrorCode = sim::errNone;
std::string GErrorText;

constexpr std::size_t kMaxErrorText = 127;

// How many bytes of `text` fit into `limit` without cutting a UTF-8 character in two.
std::size_t FittingLength(const std::string& text, std::size_t limit) {
  if (text.size() <= limit) return text.size();
  std::size_t length = limit;
  while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  return length;
}

// Copies `text` into a buffer of `size` bytes, always terminated.
void CopyText(char* buffer, std::size_t size, const std::string& text) {
  if (buffer == nullptr || size == 0) return;
  const std::size_t length = FittingLength(text, size - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

std::string FindLibraryDirectory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&CopyText), &info) == 0 || info.dli_fname == nullptr) {
    return "./";
  }
  const std::string path = info.dli_fname;
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

// The library does not move while it is loaded.
const std::string& LibraryDirectory() {
  static const std::string directory = FindLibraryDirectory();
  return directory;
}

int Succeed() {
  GErrorCode = sim::errNone;
  GErrorText.clear();
  return 1;
}

int Fail(int code, const std::string& text) {
  GErrorCode = code;
  GErrorText = text.substr(0, FittingLength(text, kMaxErrorText));
  return 0;
}

// Applies the failure switches of `function`; true when this call is to fail. A consumed
// FailNext switch is saved at once, so that it fails one call only.
// Ends the process as a fault inside a real library would, when a crash switch names
// `function`. The switch is used up first, so that the host started again goes on. No core
// file is left behind.
void CrashIfSwitched(sim::TSimStateFile& file, const char* function) {
  if (file.State.CrashNext.count(function) == 0) return;
  file.LockForWriting();
  if (file.State.CrashNext.erase(function) == 0) return;
  file.Save();
  const rlimit noCore{0, 0};
  ::setrlimit(RLIMIT_CORE, &noCore);
  // The caller's handler of the signal runs, as for a real fault; should it return, the
  // process still ends.
  ::raise(SIGSEGV);
  std::abort();
}

bool Injected(sim::TSimStateFile& file, const char* function) {
  CrashIfSwitched(file, function);
  if (file.State.FailAlways.count(function) != 0) return true;
  if (file.State.FailNext.count(function) == 0) return false;
  file.LockForWriting();  // State may be newer now
  if (file.State.FailNext.erase(function) == 0) return file.State.FailAlways.count(function) != 0;
  file.Save();
  return true;
}

int InjectedFailure(const char* function) {
  return Fail(sim::errInjected, std::string("模拟故障: ") + function);
}

int SaveOrFail(const sim::TSimStateFile& file) {
  if (file.Save()) return Succeed();
  return Fail(sim::errStateFile, "状态文件无法写入: " + file.Path());
}

bool IsPrintable(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  }
  return true;
}

std::string Text(const char* text) {
  return text != nullptr ? text : "";
}

}  // namespace

MBT2005_EXPORT int MBT2005_CALL SetConfiguration(const char* dataSource, const char* userName,
                                                 const char* password) {
  std::lock_guard<std::mutex> guard(GLock);
  sim::TSimStateFile file(sim::StatePath(LibraryDirectory()));
  GConnected = false;
  if (Injected(file, "SetConfiguration")) return InjectedFailure("SetConfiguration");
  if (Text(dataSource).empty()) return Fail(sim::errBadArgument, "参数错误: 数据源名称为空");
  if (Text(userName) != file.State.UserName || Text(password) != file.State.Password) {
    return Fail(sim::errRefused, "用户名或口令错误");
  }
  GConnected = true;
  return Succeed();
}

MBT2005_EXPORT int MBT2005_CALL EncodeCard(const char* roomNo, const char* startTime,
                                           const char* endTime, const char* reserved1,
                                           const char* reserved2) {
  (void)reserved1, (void)reserved2;
  std::lock_guard<std::mutex> guard(GLock);
  sim::TSimStateFile file(sim::StatePath(LibraryDirectory()));
  sim::TSimState& state = file.State;
  if (Injected(file, "EncodeCard")) return InjectedFailure("EncodeCard");
  if (!GConnected) return Fail(sim::errNotConnected, "未连接门锁服务器");
  if (state.Slot == sim::TSlot::Empty) return Fail(sim::errNoCard, "编码器上没有卡");
  if (state.Slot == sim::TSlot::Encoded)
    return Fail(sim::errCardNotBlank, "卡上已有数据, 请先销卡");
  const std::string room = Text(roomNo), start = Text(startTime), end = Text(endTime);
  if (room.empty() || !IsPrintable(room)) return Fail(sim::errBadArgument, "参数错误: 房间号");
  if (!sim::IsMinuteText(start) || !sim::IsMinuteText(end)) {
    return Fail(sim::errBadArgument, "参数错误: 时间应为 yyyy-mm-dd hh:nn");
  }
  state.Slot = sim::TSlot::Encoded;
  state.Room = room;
  state.Start = start;
  state.End = end;
  state.Serial = sim::NextSerial(state);
  if (!SaveOrFail(file)) return 0;
  file.AppendHistory();
  return 1;
}

MBT2005_EXPORT int MBT2005_CALL ReadCard(char* buffer128, char* buffer256a, char* buffer256b,
                                         int* value) {
  std::lock_guard<std::mutex> guard(GLock);
  sim::TSimStateFile file(sim::StatePath(LibraryDirectory()), sim::TSimAccess::Read);
  const sim::TSimState& state = file.State;
  CopyText(buffer128, kMbt2005ReadBuffer1Size, "");
  CopyText(buffer256a, kMbt2005ReadBuffer2Size, "");
  CopyText(buffer256b, kMbt2005ReadBuffer3Size, "");
  if (value != nullptr) *value = 0;
  if (Injected(file, "ReadCard")) return InjectedFailure("ReadCard");
  if (!GConnected) return Fail(sim::errNotConnected, "未连接门锁服务器");
  if (state.Slot == sim::TSlot::Empty) return Fail(sim::errNoCard, "编码器上没有卡");
  if (state.Slot == sim::TSlot::Blank) return Fail(sim::errBlankCard, "空白卡");
  CopyText(buffer128, kMbt2005ReadBuffer1Size, std::to_string(state.Serial));
  CopyText(buffer256a, kMbt2005ReadBuffer2Size, state.Room);
  CopyText(buffer256b, kMbt2005ReadBuffer3Size, state.Start + "," + state.End);
  if (value != nullptr) *value = 1;
  return Succeed();
}

MBT2005_EXPORT int MBT2005_CALL CancelCard(int which) {
  std::lock_guard<std::mutex> guard(GLock);
  sim::TSimStateFile file(sim::StatePath(LibraryDirectory()));
  sim::TSimState& state = file.State;
  if (Injected(file, "CancelCard")) return InjectedFailure("CancelCard");
  if (which != 0) return Fail(sim::errBadArgument, "参数错误: CancelCard 只接受 0");
  if (!GConnected) return Fail(sim::errNotConnected, "未连接门锁服务器");
  if (state.Slot == sim::TSlot::Empty) return Fail(sim::errNoCard, "编码器上没有卡");
  // Erasing a blank card is no error: the card is as the caller wants it.
  if (state.Slot == sim::TSlot::Blank) return Succeed();
  sim::PutBlankCard(state);
  return SaveOrFail(file);
}

MBT2005_EXPORT void MBT2005_CALL GetErrorStatus(int* code, char* text) {
  std::lock_guard<std::mutex> guard(GLock);
  if (code != nullptr) *code = GErrorCode;
  CopyText(text, kMaxErrorText + 1, GErrorText);
}

MBT2005_EXPORT void MBT2005_CALL GetCardSnrAfterEncode(char* serial128) {
  std::lock_guard<std::mutex> guard(GLock);
  const sim::TSimStateFile file(sim::StatePath(LibraryDirectory()), sim::TSimAccess::Read);
  const bool encoded = file.State.Slot == sim::TSlot::Encoded;
  CopyText(serial128, kMbt2005SerialSize, encoded ? std::to_string(file.State.Serial) : "");
}

MBT2005_EXPORT void MBT2005_CALL RenewGuestInfo(const char* roomNo) {
  std::lock_guard<std::mutex> guard(GLock);
  sim::TSimStateFile file(sim::StatePath(LibraryDirectory()));
  if (!GConnected) {
    Fail(sim::errNotConnected, "未连接门锁服务器");
    return;
  }
  file.State.RenewedRoom = Text(roomNo);
  if (!IsPrintable(file.State.RenewedRoom)) file.State.RenewedRoom.clear();
  SaveOrFail(file);
}

// The exports must have exactly the types through which the host calls them.
static_assert(std::is_same_v<decltype(&SetConfiguration), TSetConfigurationProc>);
static_assert(std::is_same_v<decltype(&EncodeCard), TEncodeCardProc>);
static_assert(std::is_same_v<decltype(&ReadCard), TReadCardProc>);
static_assert(std::is_same_v<decltype(&CancelCard), TCancelCardProc>);
static_assert(std::is_same_v<decltype(&GetErrorStatus), TGetErrorStatusProc>);
static_assert(std::is_same_v<decltype(&GetCardSnrAfterEncode), TGetCardSnrAfterEncodeProc>);
static_assert(std::is_same_v<decltype(&RenewGuestInfo), TRenewGuestInfoProc>);
