#include "kinds/BaseHandUnit.h"

TBaseHand* HandDevice = nullptr;

std::unique_lock<std::mutex> LockHandDevice() {
  static std::mutex lock;
  return std::unique_lock<std::mutex>(lock);
}
