// The host's daily log: one time-stamped entry per AddLog call, appended to a text file named
// after the day the host started ("yyyymmdd.LOG" beside the executable). The name is fixed for
// the life of the process, so a host running past midnight keeps its start day's file.
//
// Thread-safe: AddLog is called from the main thread and every connection thread. Each call
// opens the file for appending on a descriptor of its own and closes it again; the writes are
// serialised by a mutex, so no entry is lost to a collision between two writers of this process,
// and entries never interleave within a line. The file is open only during one call.
#pragma once

#include <mutex>
#include <string>

class TLogFile {
 public:
  explicit TLogFile(const std::string& fileName);  // touches no file
  TLogFile(const TLogFile&) = delete;
  TLogFile& operator=(const TLogFile&) = delete;

  // Appends "yyyy-mm-dd hh:nn:ss " + text + CR LF when logging is switched on (SysOption.WriteLog),
  // creating the file when it is missing. Input/output failures (folder not writable, disk full,
  // file read-only) drop the entry silently: logging never stops the caller's work.
  void AddLog(const std::string& text);

  const std::string FileName;

 private:
  std::mutex FLock;
};

// The file name for a log started at `startDay` in `directory` (which ends with a separator).
std::string LogFileNameFor(const std::string& directory, double startDay);

extern TLogFile* LogFile;
