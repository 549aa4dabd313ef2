#include "DiskCeiling.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

// One connection, closed on every path.
class TDatabase {
 public:
  explicit TDatabase(const std::string& file, int flags) {
    if (sqlite3_open_v2(file.c_str(), &FDb, flags, nullptr) != SQLITE_OK) {
      FError = FDb != nullptr ? sqlite3_errmsg(FDb) : "cannot open " + file;
    }
  }
  ~TDatabase() { sqlite3_close(FDb); }
  TDatabase(const TDatabase&) = delete;
  TDatabase& operator=(const TDatabase&) = delete;

  sqlite3* Get() const { return FDb; }
  const std::string& Error() const { return FError; }

  // Runs `sql`; the first column of the first row, if any, goes to `first`.
  bool Exec(const char* sql, std::string* first = nullptr) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(FDb, sql, -1, &statement, nullptr) != SQLITE_OK) {
      FError = sqlite3_errmsg(FDb);
      return false;
    }
    int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW && first != nullptr) {
      const unsigned char* text = sqlite3_column_text(statement, 0);
      *first = text != nullptr ? reinterpret_cast<const char*>(text) : "";
    }
    while (rc == SQLITE_ROW) rc = sqlite3_step(statement);
    if (rc != SQLITE_DONE) FError = sqlite3_errmsg(FDb);
    sqlite3_finalize(statement);
    return rc == SQLITE_DONE;
  }

 private:
  sqlite3* FDb = nullptr;
  std::string FError;
};

}  // namespace

TDiskResult RunDiskCeiling(const std::string& file, std::chrono::milliseconds duration,
                           std::int64_t warmUpCommits, std::int64_t maxCommits) {
  TDiskResult result;
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((file + suffix).c_str());
  {
    TDatabase db(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    std::string mode;
    if (!db.Error().empty() || !db.Exec("pragma journal_mode=WAL", &mode) || mode != "wal" ||
        !db.Exec("pragma synchronous=FULL") ||
        !db.Exec("create table T_Ceiling (Id integer, Text text)")) {
      result.Error = db.Error().empty() ? "journal mode " + mode : db.Error();
      return result;
    }
    sqlite3_stmt* insert = nullptr;
    if (sqlite3_prepare_v2(db.Get(), "insert into T_Ceiling(Id, Text) values(?, ?)", -1, &insert,
                           nullptr) != SQLITE_OK) {
      result.Error = sqlite3_errmsg(db.Get());
      return result;
    }
    const Clock::time_point warmUpStart = Clock::now();
    for (std::int64_t i = 0;
         i < warmUpCommits && Clock::now() < warmUpStart + std::chrono::seconds(30); ++i) {
      sqlite3_bind_int64(insert, 1, -1 - i);
      sqlite3_bind_text(insert, 2, "2026-12-11 14:00:00.000", -1, SQLITE_STATIC);
      const int rc = sqlite3_step(insert);
      sqlite3_reset(insert);
      if (rc != SQLITE_DONE) {
        result.Error = sqlite3_errmsg(db.Get());
        sqlite3_finalize(insert);
        return result;
      }
    }
    std::vector<double> latencies;
    const Clock::time_point start = Clock::now();
    result.WarmUpSeconds = std::chrono::duration<double>(start - warmUpStart).count();
    const Clock::time_point stop = start + duration;
    Clock::time_point now = start;
    while (now < stop && result.Commits < maxCommits) {
      sqlite3_bind_int64(insert, 1, result.Commits);
      sqlite3_bind_text(insert, 2, "2026-12-11 14:00:00.000", -1, SQLITE_STATIC);
      const int rc = sqlite3_step(insert);
      sqlite3_reset(insert);
      const Clock::time_point done = Clock::now();
      if (rc != SQLITE_DONE) {
        result.Error = sqlite3_errmsg(db.Get());
        break;
      }
      latencies.push_back(std::chrono::duration<double, std::milli>(done - now).count());
      ++result.Commits;
      now = done;
    }
    sqlite3_finalize(insert);
    result.Seconds = std::chrono::duration<double>(now - start).count();
    result.CommitsPerSecond =
        result.Seconds > 0 ? static_cast<double>(result.Commits) / result.Seconds : 0;
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.empty()) {
      result.P50Ms = latencies[latencies.size() / 2];
      result.P99Ms = latencies[std::min(latencies.size() - 1, latencies.size() * 99 / 100)];
      result.MaxMs = latencies.back();
    }
  }
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((file + suffix).c_str());
  return result;
}

std::vector<std::string> ReadIssuedCardNumbers(const std::string& file, std::string& error) {
  std::vector<std::string> numbers;
  TDatabase db(file, SQLITE_OPEN_READWRITE);
  if (!db.Error().empty()) {
    error = db.Error();
    return numbers;
  }
  sqlite3_stmt* select = nullptr;
  if (sqlite3_prepare_v2(db.Get(), "select CardNo from T_IssueCardRecord", -1, &select, nullptr) !=
      SQLITE_OK) {
    error = sqlite3_errmsg(db.Get());
    return numbers;
  }
  int rc;
  while ((rc = sqlite3_step(select)) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(select, 0);
    numbers.emplace_back(text != nullptr ? reinterpret_cast<const char*>(text) : "");
  }
  if (rc != SQLITE_DONE) error = sqlite3_errmsg(db.Get());
  sqlite3_finalize(select);
  return numbers;
}
