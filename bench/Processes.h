// Child processes of the benchmark: the host, copied with everything beside it into a work
// folder and started there as a person would start it, and the baseline server. Also what the
// benchmark reads about them from /proc.
//
// Thread safety: a TChild belongs to the thread that started it; ReadStatusKiB may be called
// from any thread.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// A port on the loopback interface that was free a moment ago.
int FreeLoopbackPort();

// Copies the files `names` of folder `from` into `to` (created when missing), replacing older
// copies. Throws std::filesystem::filesystem_error when one is missing.
void CopyFiles(const std::string& from, const std::string& to,
               const std::vector<std::string>& names);

void WriteTextFile(const std::string& path, const std::string& text);

// A field of /proc/<pid>/status in kB ("VmRSS", "VmHWM") or as a count ("Threads"); -1 when it
// cannot be read.
long ReadStatusField(pid_t pid, const std::string& field);

// The number of the process's threads called `name` (threads keep their program's name unless
// they set one, as Qt's pool threads do); -1 when it cannot be read.
long CountThreadsNamed(pid_t pid, const std::string& name);

// The number of descriptors the process has open; -1 when it cannot be read.
long CountOpenDescriptors(pid_t pid);

class TChild {
 public:
  TChild() = default;
  ~TChild();  // kills the process when it still runs
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;

  // Starts `argv` with its output (stdout and stderr) appended to `outputFile`. The child runs
  // on Qt's offscreen platform and, when `descriptorLimit` is not negative, with that soft limit
  // on open descriptors (the hard limit stays as inherited). Throws std::runtime_error.
  void Start(const std::vector<std::string>& argv, const std::string& outputFile,
             long descriptorLimit = -1);
  // Waits until `port` accepts a connection; false when the child ended or the time ran out.
  bool WaitListening(int port, std::chrono::milliseconds timeout = std::chrono::seconds(20));
  bool Running();
  // Sends `signal` and waits up to `timeout`; the exit code, 128 + signal number when a signal
  // ended it, or -1 when it did not end in time (it is killed then).
  int Stop(int signal, std::chrono::milliseconds timeout = std::chrono::seconds(15));
  pid_t Pid() const { return FPid; }

 private:
  pid_t FPid = -1;
};
