#include "kinds/BaseMemberUnit.h"

TBaseMember* MemberDevice = nullptr;

std::unique_lock<std::mutex> LockMemberDevice() {
  static std::mutex lock;
  return std::unique_lock<std::mutex>(lock);
}
