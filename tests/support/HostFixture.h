// A host without its window, for tests over real sockets: the process-wide units on a temporary
// folder (Option.ini, the day's log, the record store), a recording fake device as Doorlock, and
// the listener's procedure of the fixture's interface kind (door lock unless Kind says otherwise)
// on a port the system chose.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/TcpServer.h"
#include "support/FakeDoorlock.h"
#include "support/TempDir.h"

class THostFixture : public ::testing::Test {
 protected:
  // Option.ini's content before the units start; empty for no file.
  virtual std::string OptionIni() const { return ""; }
  // The interface kind the host runs as, and whose procedure the listener runs. A fixture of
  // another kind puts its device in place before calling SetUp, as a start routine of that kind
  // would before the listener starts.
  virtual int Kind() const { return 1; }

  void SetUp() override;
  void TearDown() override;

  int Port() const { return FServer->BoundPort(); }
  // The log's lines with their time stamps taken off; a line of a multi-line entry after its
  // first has none to take off.
  std::vector<std::string> LogLines() const;
  // Waits until the server has no open connection (so that every log line of a request is
  // written), at most a few seconds.
  void WaitIdle() const;
  // Waits until the log's last line is `line` (the end of a request nobody sees answered), at
  // most a few seconds.
  void WaitLastLogLine(const std::string& line) const;

  TempDir FDir;
  TFakeDoorlock FDevice;
  std::unique_ptr<TTcpServer> FServer;
};
