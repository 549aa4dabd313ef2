#include "config/LogFileUnit.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "config/SysOptionUnit.h"
#include "platform/DateTime.h"

TLogFile* LogFile = nullptr;

namespace {

// "yyyy-mm-dd hh:nn:ss " for now. Formatted once a second per thread: a second's text only
// changes with the time zone, which is part of the key.
struct TStamp {
  time_t Second = -1;
  long Zone = 0;
  const char* ZoneName = nullptr;
  std::string Text;
};
thread_local TStamp GStamp;

const std::string& NowStamp() {
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  TStamp& stamp = GStamp;
  if (stamp.Second != ts.tv_sec || stamp.Zone != timezone || stamp.ZoneName != tzname[0]) {
    stamp.Text = FormatDateTime("yyyy-mm-dd hh:nn:ss ", Now());
    stamp.Second = ts.tv_sec;
    stamp.Zone = timezone;
    stamp.ZoneName = tzname[0];
  }
  return stamp.Text;
}

}  // namespace

TLogFile::TLogFile(const std::string& fileName) : FileName(fileName) {}

void TLogFile::AddLog(const std::string& text) {
  if (SysOption != nullptr && !SysOption->WriteLog) return;
  const std::string& stamp = NowStamp();

  std::unique_lock<std::mutex> lock(FLock);
  FPending.reserve(FPending.size() + stamp.size() + text.size() + 2);
  FPending += stamp;
  FPending += text;
  FPending += "\r\n";
  FPendingEnds.push_back(FPending.size());
  const std::uint64_t mine = ++FAdded;
  // While another call writes, wait: its successor, the first of the waiting calls to get
  // here, writes every entry waiting then, this one's too.
  while (FDone < mine) {
    if (FWriting) {
      FWritten.wait(lock);
      continue;
    }
    FWriting = true;
    std::string batch;
    std::vector<std::size_t> ends;
    batch.swap(FPending);
    ends.swap(FPendingEnds);
    const std::uint64_t last = FAdded;
    lock.unlock();
    WriteBatch(batch, ends);
    lock.lock();
    FDone = last;
    FWriting = false;
    FWritten.notify_all();
  }
}

void TLogFile::WriteBatch(std::string_view batch, const std::vector<std::size_t>& ends) {
  const int fd = ::open(FileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  size_t done = 0;
  while (done < batch.size()) {
    const ssize_t n = ::write(fd, batch.data() + done, batch.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  // A write cut short (a full disk) keeps the entries that got out whole and cuts off the part
  // of the next one, so that no line is left half written for the next entry to continue.
  if (done > 0 && done < batch.size()) {
    const auto whole = std::upper_bound(ends.begin(), ends.end(), done);
    const std::size_t keep = whole == ends.begin() ? 0 : *(whole - 1);
    // O_APPEND leaves the offset at the end of what was just written.
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    if (end >= static_cast<off_t>(done)) {
      [[maybe_unused]] const int ignored =
          ::ftruncate(fd, end - static_cast<off_t>(done) + static_cast<off_t>(keep));
    }
  }
  ::close(fd);
}

std::string LogFileNameFor(const std::string& directory, double startDay) {
  return directory + FormatDateTime("yyyymmdd", startDay) + ".LOG";
}
