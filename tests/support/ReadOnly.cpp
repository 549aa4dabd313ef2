#include "support/ReadOnly.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>

namespace {
constexpr unsigned kOverrideCaps =
    (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);

bool GetCaps(__user_cap_data_struct (&data)[2]) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  return syscall(SYS_capget, &header, data) == 0;
}
bool SetCaps(__user_cap_data_struct (&data)[2]) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  return syscall(SYS_capset, &header, data) == 0;
}
}  // namespace

TNoFileOverride::TNoFileOverride() {
  __user_cap_data_struct data[2] = {};
  if (!GetCaps(data)) return;
  FSaved[0] = data[0].effective;
  FSaved[1] = data[1].effective;
  data[0].effective &= ~kOverrideCaps;
  FDropped = SetCaps(data);
}

TNoFileOverride::~TNoFileOverride() {
  if (!FDropped) return;
  __user_cap_data_struct data[2] = {};
  if (!GetCaps(data)) return;
  data[0].effective = FSaved[0];
  data[1].effective = FSaved[1];
  SetCaps(data);
}

void MakeReadOnly(const std::string& path) {
  namespace fs = std::filesystem;
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}
