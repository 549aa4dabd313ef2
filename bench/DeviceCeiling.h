// What the card encoder allows at all: the encoder library's own calls, in the order the host's
// adapter makes them, one operation after another on one thread and without the host. The host
// runs one device operation at a time (one physical encoder), so these rates bound its ReadCard
// and IssueCard rates.
//
// Thread safety: call from one thread while no other process uses the library's state.
#pragma once

#include <chrono>
#include <string>

struct TDeviceResult {
  double ReadsPerSecond = 0;   // ReadCard + GetCardSnrAfterEncode
  double IssuesPerSecond = 0;  // CancelCard + RenewGuestInfo + EncodeCard + GetCardSnrAfterEncode
  std::string Error;           // empty when both loops ran
};

// Loads the library `libraryPath`, connects it with the host's default credentials, then runs
// each loop for `duration` (at most 2000 issues and 100000 reads). Leaves an encoded card in the
// slot.
TDeviceResult RunDeviceCeiling(const std::string& libraryPath, std::chrono::milliseconds duration);
