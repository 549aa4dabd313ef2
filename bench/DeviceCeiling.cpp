#include "DeviceCeiling.h"

#include <dlfcn.h>

#include "doorlock/mbt2005.h"

namespace {

using Clock = std::chrono::steady_clock;

// The library handle, closed on every path.
class TLibrary {
 public:
  explicit TLibrary(const std::string& path) : FHandle(::dlopen(path.c_str(), RTLD_NOW)) {}
  ~TLibrary() {
    if (FHandle != nullptr) ::dlclose(FHandle);
  }
  TLibrary(const TLibrary&) = delete;
  TLibrary& operator=(const TLibrary&) = delete;

  bool Loaded() const { return FHandle != nullptr; }
  template <typename TProc>
  TProc Find(const char* name) const {
    return reinterpret_cast<TProc>(::dlsym(FHandle, name));
  }

 private:
  void* FHandle;
};

// Calls of `operation` per second over `duration` or `maxCalls`, whichever ends first; -1 when
// one failed.
template <typename TOperation>
double Rate(std::chrono::milliseconds duration, long long maxCalls, TOperation&& operation) {
  const Clock::time_point start = Clock::now();
  const Clock::time_point stop = start + duration;
  long long calls = 0;
  Clock::time_point now = start;
  while (now < stop && calls < maxCalls) {
    if (!operation()) return -1;
    ++calls;
    now = Clock::now();
  }
  return static_cast<double>(calls) / std::chrono::duration<double>(now - start).count();
}

}  // namespace

TDeviceResult RunDeviceCeiling(const std::string& libraryPath, std::chrono::milliseconds duration) {
  TDeviceResult result;
  const TLibrary library(libraryPath);
  if (!library.Loaded()) {
    result.Error = ::dlerror();
    return result;
  }
  const auto setConfiguration = library.Find<TSetConfigurationProc>("SetConfiguration");
  const auto encodeCard = library.Find<TEncodeCardProc>("EncodeCard");
  const auto readCard = library.Find<TReadCardProc>("ReadCard");
  const auto cancelCard = library.Find<TCancelCardProc>("CancelCard");
  const auto getCardSnr = library.Find<TGetCardSnrAfterEncodeProc>("GetCardSnrAfterEncode");
  const auto renewGuestInfo = library.Find<TRenewGuestInfoProc>("RenewGuestInfo");
  if (!setConfiguration || !encodeCard || !readCard || !cancelCard || !getCardSnr ||
      !renewGuestInfo) {
    result.Error = "the library lacks a function";
    return result;
  }
  if ((setConfiguration("localhost", "TavrinTest", "730981") & 0xFF) == 0) {
    result.Error = "the encoder refused the host's default credentials";
    return result;
  }
  char serial[kMbt2005SerialSize];
  // Each issue rewrites the simulator's state file three times; the count keeps the loop from
  // spending much of a shared disk's budget.
  result.IssuesPerSecond = Rate(duration, 2000, [&] {
    cancelCard(0);
    renewGuestInfo("301");
    const bool encoded =
        (encodeCard("301", "2026-12-11 14:00", "2026-12-13 12:00", "", "") & 0xFF) != 0;
    getCardSnr(serial);
    return encoded;
  });
  result.ReadsPerSecond = Rate(duration, 100000, [&] {
    char buffer1[kMbt2005ReadBuffer1Size], buffer2[kMbt2005ReadBuffer2Size],
        buffer3[kMbt2005ReadBuffer3Size];
    int value = 0;
    const bool read = (readCard(buffer1, buffer2, buffer3, &value) & 0xFF) != 0;
    getCardSnr(serial);
    return read;
  });
  if (result.IssuesPerSecond < 0 || result.ReadsPerSecond < 0) {
    result.Error = "an encoder call failed";
  }
  return result;
}
