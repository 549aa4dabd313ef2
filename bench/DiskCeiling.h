// What the disk allows at all: a bare loop of single-row SQLite commits with the card record
// store's durable settings (write-ahead log, synchronous=FULL), and the reading back of the
// store's issued-card rows after a run.
//
// Thread safety: plain functions with no shared state; each opens its own connection.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct TDiskResult {
  std::int64_t Commits = 0;
  double Seconds = 0;
  double CommitsPerSecond = 0;
  double WarmUpSeconds = 0;
  double P50Ms = 0, P99Ms = 0, MaxMs = 0;  // per commit
  std::string Error;                       // empty when the loop ran
};

// Commits one single-row insert after another into a new database `file` (removed afterwards,
// with its -wal and -shm files) for `duration` or `maxCommits`, whichever comes first, after
// `warmUpCommits` uncounted ones (at most 30 s of them). The warm-up matters: until SQLite's
// first checkpoint (after 1000 pages) every commit grows the log file, and syncing a file whose
// size changed costs the file system a journal commit as well; afterwards the log is written
// over from its start, as in a store that has been running for a while.
TDiskResult RunDiskCeiling(const std::string& file, std::chrono::milliseconds duration,
                           std::int64_t warmUpCommits = 2000, std::int64_t maxCommits = 10'000'000);

// The CardNo texts of every T_IssueCardRecord row in the store file `file`. Sets `error` when the
// file cannot be read.
std::vector<std::string> ReadIssuedCardNumbers(const std::string& file, std::string& error);
