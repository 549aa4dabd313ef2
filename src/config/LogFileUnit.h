// The host's daily log: one time-stamped entry per AddLog call, appended to a text file named
// after the day the host started ("yyyymmdd.LOG" beside the executable). The name is fixed for
// the life of the process, so a host running past midnight keeps its start day's file.
//
// Each call returns only once its entry is in the file, and the file is open only while an
// entry is being written: nothing is kept in memory between calls, and the file may be read,
// moved or deleted at any moment (the next entry then creates it again).
//
// Thread-safe: AddLog is called from the main thread and every connection thread. Calls are
// serialised, so no entry is lost to a collision between two writers and entries never
// interleave within a line. Calls that arrive while another call is writing wait for it, and
// the first of them then writes all their entries in one opening of the file, in the order they
// came: a busy host opens the file far less often than it logs.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

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
  // Opens the file, writes `batch` (whose entries end at the offsets `ends`) and closes it.
  void WriteBatch(std::string_view batch, const std::vector<std::size_t>& ends);

  std::mutex FLock;
  std::condition_variable FWritten;
  // Under FLock: entries waiting for the writer and where each ends; entries are numbered in
  // the order they came, and FDone is the number of the last one written (or dropped).
  std::string FPending;
  std::vector<std::size_t> FPendingEnds;
  bool FWriting = false;
  std::uint64_t FAdded = 0;
  std::uint64_t FDone = 0;
};

// The file name for a log started at `startDay` in `directory` (which ends with a separator).
std::string LogFileNameFor(const std::string& directory, double startDay);

extern TLogFile* LogFile;
