// The program entry of the door lock interface host. It takes no command line: everything it
// needs is in Option.ini beside the executable.
#include <QApplication>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <memory>

#include "config/LogFileUnit.h"
#include "config/OptionFormUnit.h"
#include "doorlock/BaseDoorlockUnit.h"
#include "doorlock/Mbt2005DoorlockUnit.h"
#include "host/MainFormUnit.h"
#include "host/StartupUnit.h"

int main(int, char** argv) {
  // Every connection holds a descriptor, and the log, the store and the encoder library open
  // files besides: the soft limit a session usually starts a program with (1024) would stop the
  // listener short of a thousand connections. Nothing in the host uses select().
  if (rlimit limit{}; ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  InitializeUnits(ExecutableDirectory());
  int exitCode = 0;
  {
    // Qt gets the program name only, so no option of the command line reaches it either.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);

    // The entry owns the device; it is released also when opening, running or closing fails.
    auto device = std::make_unique<TMbt2005Doorlock>();
    InstallOptionForm(*device);
    try {
      device->OpenPort();  // the outcome is only logged: the window opens either way
      RunHost(application, device.get());
      if (ListenerThreadsOutlivedStop()) {
        // A connection thread is still inside the device (or the store) after the listener's
        // wait. Closing or releasing what it uses would pull them from under it, and waiting could
        // hang the exit for good: end the process here. Every acknowledged row is already
        // committed to the store's file.
        if (LogFile != nullptr) LogFile->AddLog("接口监听服务器停止时仍有连接未结束，程序直接退出");
        std::fflush(nullptr);
        ::_exit(0);
      }
      device->ClosePort();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "doorlock-host: %s\n", e.what());
      exitCode = 1;
    }
    // Doorlock refers to the device, which goes with this block.
    ResetDoorlock();
  }
  FinalizeUnits();
  return exitCode;
}
