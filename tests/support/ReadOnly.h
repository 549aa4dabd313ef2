// Read-only files for tests that run as root. Root ignores the permission bits, so a chmod alone
// would not make a file unwritable for it; while a TNoFileOverride is alive the calling thread
// has no file-permission override capabilities and meets the permission bits like any user.
// Capabilities are per thread: only code running on the constructing thread is affected.
#pragma once

#include <string>

class TNoFileOverride {
 public:
  TNoFileOverride();
  ~TNoFileOverride();
  TNoFileOverride(const TNoFileOverride&) = delete;
  TNoFileOverride& operator=(const TNoFileOverride&) = delete;

 private:
  bool FDropped = false;
  unsigned FSaved[2] = {0, 0};
};

// Clears every write bit of the file or folder.
void MakeReadOnly(const std::string& path);
