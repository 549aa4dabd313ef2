#include "host/StartupUnit.h"

#include <unistd.h>

#include <climits>
#include <memory>
#include <stdexcept>

#include "config/LogFileUnit.h"
#include "config/OptionUnit.h"
#include "config/SysOptionUnit.h"
#include "platform/DateTime.h"
#include "store/DoorlockRecordManagerUnit.h"

std::atomic<int> InterfaceKind{0};

namespace {
// Owners of the singletons; the process-wide pointers only refer to them.
std::unique_ptr<TOption> GOption;
std::unique_ptr<TSysOption> GSysOption;
std::unique_ptr<TLogFile> GLogFile;
std::unique_ptr<TDoorlockRecordManager> GDoorlockRecordManager;
}  // namespace

std::string ExecutableDirectory() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) throw std::runtime_error("cannot find the executable's directory");
  std::string exe(path, static_cast<size_t>(n));
  return exe.substr(0, exe.rfind('/') + 1);
}

void InitializeUnits(const std::string& directory) {
  const std::string iniFile = directory + "Option.ini";

  GOption = std::make_unique<TOption>(iniFile);
  GOption->Load();
  Option = GOption.get();

  GSysOption = std::make_unique<TSysOption>(iniFile);
  GSysOption->Load();
  SysOption = GSysOption.get();

  GLogFile = std::make_unique<TLogFile>(LogFileNameFor(directory, Now()));
  LogFile = GLogFile.get();

  // COM for the main thread as a single-threaded apartment goes here, before the store and
  // undone in FinalizeUnits after it; there is no COM on Linux, so nothing is done.
  // The store logs its own opening failure and stays closed; start-up goes on regardless, and
  // each store operation tries to open it again.
  GDoorlockRecordManager = std::make_unique<TDoorlockRecordManager>(directory + "Client.db");
  DoorlockRecordManager = GDoorlockRecordManager.get();
  DoorlockRecordManager->Open();
}

void FinalizeUnits() {
  DoorlockRecordManager = nullptr;
  GDoorlockRecordManager.reset();
  // Here COM would be uninitialised for the main thread (see InitializeUnits).

  LogFile = nullptr;
  GLogFile.reset();
  // Option and SysOption stay alive until the next InitializeUnits or the end of the process:
  // a connection thread that outlived the listener's shutdown wait may still read them.
}
