// The program entry of the door lock interface host. It takes no command line: everything it
// needs is in Option.ini beside the executable.
#include <QApplication>

#include <cstdio>
#include <exception>

#include "host/MainFormUnit.h"
#include "host/StartupUnit.h"

int main(int, char** argv) {
  InitializeUnits(ExecutableDirectory());
  int exitCode = 0;
  {
    // Qt gets the program name only, so no option of the command line reaches it either.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);
    try {
      RunHost(application);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "doorlock-host: %s\n", e.what());
      exitCode = 1;
    }
  }
  FinalizeUnits();
  return exitCode;
}
