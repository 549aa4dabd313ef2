// The host's daily log: one time-stamped entry per AddLog call, appended to a text file named
// after the day the host started ("yyyymmdd.LOG" beside the executable). The name is fixed for
// the life of the process, so a host running past midnight keeps its start day's file.
//
// Thread-safe: AddLog is called from the main thread and every connection thread, and takes no
// lock and makes no system call of its own on a busy host. Entries are handed to the log's own
// writer thread, which writes them in order, the first after a quiet spell at once and, while
// entries keep coming, those of the last millisecond together in one write; so a busy host
// makes far fewer system calls than entries. Entries never interleave within a line, and none
// is lost to a collision between writers. Flush waits until the calling thread's entries are in
// the file: the listener calls it before it closes a connection, so that a peer that sees the
// end finds every entry of its request in the log, and the host calls it before it ends.
// WriteWaitingNow is for a fatal signal: it writes what still waits, so that a crash (inside
// the card encoder's library, say) loses none of the entries before it.
//
// The file is opened on the first entry and kept open. When it is deleted, renamed or replaced
// meanwhile, entries follow the name again within a second, in a new file when there is none.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class TLogFile {
 public:
  explicit TLogFile(const std::string& fileName);  // touches no file
  ~TLogFile();  // writes what is left; no thread may still add entries
  TLogFile(const TLogFile&) = delete;
  TLogFile& operator=(const TLogFile&) = delete;

  // Appends "yyyy-mm-dd hh:nn:ss " + text + CR LF when logging is switched on (SysOption.WriteLog),
  // creating the file when it is missing. Input/output failures (folder not writable, disk full,
  // file read-only) drop the entry silently: logging never stops the caller's work.
  void AddLog(const std::string& text);
  // Returns once every entry this thread added is in the file (or was dropped by a failure).
  void Flush();
  // Writes the entries still waiting, without taking memory or locks: only for a handler of a
  // fatal signal, after which the process ends.
  void WriteWaitingNow() noexcept;

  const std::string FileName;

 private:
  // An entry waiting to be written: its text follows it in the same allocation.
  struct TEntry {
    TEntry* Next;
    std::size_t Size;
    char* Text() { return reinterpret_cast<char*>(this + 1); }
    const char* Text() const { return reinterpret_cast<const char*>(this + 1); }
  };
  static TEntry* NewEntry(const std::string& stamp, const std::string& text);
  static TEntry* OldestFirst(TEntry* newestFirst) noexcept;
  void RunWriter();  // the writer thread
  // With the writer's role held: writes one round of what waits; false when nothing waited.
  bool WriteOneRound();
  void ReleaseRole();
  void Signal();  // wakes the threads waiting in Flush
  // With the writer's role held: writes what waits, round after round, and gives the role up
  // when nothing is left.
  void WriteWaiting();
  // Writes one round: `entries`, newest first, then releases them.
  void WriteRound(TEntry* entries);
  // Writes `batch`, whose entries end at the offsets `ends`.
  void WriteBatch(std::string_view batch, const std::vector<std::size_t>& ends);
  // The descriptor of the file now under FileName, opened when needed; -1 when it cannot be.
  int CurrentDescriptor();

  std::atomic<TEntry*> FWaiting{nullptr};  // entries not yet taken by a writer, newest first
  std::atomic<bool> FWriting{false};       // some thread holds the writer's role
  std::atomic<std::uint64_t> FStarted{0};  // rounds taken off FWaiting
  std::atomic<std::uint64_t> FDone{0};     // rounds written
  std::atomic<std::uint32_t> FEvents{0};   // changes Flush waits for
  std::atomic<int> FFlushing{0};           // threads waiting in Flush
  std::atomic<bool> FIdle{false};          // the writer sleeps until FWake changes
  std::atomic<std::uint32_t> FWake{0};
  std::atomic<bool> FStop{false};
  std::thread FWriter;
  // Touched by the writer only.
  int FFd = -1;
  std::chrono::steady_clock::time_point FNameChecked;
};

// The file name for a log started at `startDay` in `directory` (which ends with a separator).
std::string LogFileNameFor(const std::string& directory, double startDay);

extern TLogFile* LogFile;
