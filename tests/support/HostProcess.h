// The built host as its own process, for tests that need a whole process: signals, kill -9,
// file permissions, resource limits, a full disk. The constructor copies the host, the simulated
// encoder library and its tool from the build's bin folder into a fresh temporary folder; Start
// runs the copy there on Qt's offscreen platform, on a port that was free a moment before.
//
// Not thread-safe: one test thread drives it. Talk to the host with TTcpClient on Port().
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "support/TempDir.h"

struct THostStart {
  // Run without root's file-permission override, so that permission bits hold for the host as
  // for any user (the tests run as root): the override capabilities leave the bounding set
  // before exec. Where they cannot (see FileOverrideCanBeDropped), the host is not started (it
  // exits with status 126), and WaitListening fails.
  bool NoFileOverride = false;
  // When set, the soft limit on open descriptors the host starts with (exit status 125 when it
  // cannot be set).
  std::optional<unsigned long> OpenFilesSoftLimit;
  // Extra environment entries for the host, "NAME=value"; each replaces an inherited one.
  std::vector<std::string> Environment;
};

class THostProcess {
 public:
  // binDir: the build's bin folder. `folder`, when given, is where the copy goes (it must exist
  // and be empty); otherwise a temporary folder of the object's own.
  explicit THostProcess(const std::string& binDir, const std::string& folder = "");
  // Kills a host that still runs.
  ~THostProcess();
  THostProcess(const THostProcess&) = delete;
  THostProcess& operator=(const THostProcess&) = delete;

  // The host's folder, with its trailing separator, and a file in it.
  const std::string& Folder() const { return FFolder; }
  std::string File(const std::string& name) const { return FFolder + name; }
  int Port() const { return FPort; }

  // Writes Option.ini: the door lock port, then `extra` (whole sections, CR LF line ends).
  void WriteOptions(const std::string& extra = "");
  // Runs mbt2005-sim on the encoder's state in this folder; true when it succeeded.
  bool Simulator(const std::string& arguments) const;

  void Start(const THostStart& how = {});
  bool Running();
  // Waits until the host accepts connections on its port (at most 20 s).
  bool WaitListening();
  // Sends the signal and waits at most `timeoutMs` for the host to end. Returns its exit status,
  // 128 + the signal that ended it, or -1 when it did not end in time.
  int StopWith(int signal, int timeoutMs = 15000);
  // Waits at most `timeoutMs` for the host to end by itself; its status as StopWith gives it.
  int WaitEnded(int timeoutMs = 15000);
  // SIGKILL, and reaps the process.
  void Kill();

  // The content of today's log file ("yyyymmdd.LOG"); empty when there is none.
  std::string TodaysLog() const;
  std::string TodaysLogName() const;

 private:
  TempDir FOwnDir;
  std::string FFolder;
  int FPort = 0;
  pid_t FPid = -1;
};

// Copies the host, the simulated encoder library and its tool from the build's bin folder into
// `folder`, and nothing else: a host run from the bin folder by hand leaves its options, log,
// store and encoder state there, which a test must not start with.
void CopyHostPrograms(const std::string& binDir, const std::string& folder);

// Whether THostStart::NoFileOverride can be had here (root needs CAP_SETPCAP for it).
bool FileOverrideCanBeDropped();

// A loopback TCP port that nobody was listening on a moment ago.
int FreeLoopbackPort();

// The door lock "IssueCard" request of a stay in room 01-02-`room` registered as `registerId`.
std::string IssueCardRequest(const std::string& registerId, const std::string& room,
                             bool isCopy = false);
// The CardNo of a door lock answer; -1 when it has none.
long long AnswerCardNo(const std::string& answer);
// The ResultCode of an answer; empty when it has none.
std::string AnswerResultCode(const std::string& answer);
