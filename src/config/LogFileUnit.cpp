#include "config/LogFileUnit.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include "config/SysOptionUnit.h"
#include "platform/DateTime.h"

TLogFile* LogFile = nullptr;

namespace {

// How long the log's own writer gathers entries after a write before it writes again: a busy
// host then makes about a thousand writes a second, however many entries it logs.
constexpr auto kGathering = std::chrono::milliseconds(1);

// A child forked from the host has none of its threads: its logs are written by their callers.
std::atomic<bool> GNoWriterThread{false};

void MarkForkedChild() {
  GNoWriterThread = true;
}

}  // namespace

TLogFile::TLogFile(const std::string& fileName) : FileName(fileName) {
  static const int registered = ::pthread_atfork(nullptr, nullptr, MarkForkedChild);
  (void)registered;
  FWriter = std::thread([this] { RunWriter(); });
}

TLogFile::~TLogFile() {
  FStop = true;
  FWake.fetch_add(1);
  FWake.notify_one();
  FWriter.join();
  Flush();  // what came after the writer's last round
  if (FFd >= 0) ::close(FFd);
}

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

TLogFile::TEntry* TLogFile::NewEntry(const std::string& stamp, const std::string& text) {
  const std::size_t size = stamp.size() + text.size() + 2;
  auto* entry = static_cast<TEntry*>(::operator new(sizeof(TEntry) + size));
  entry->Next = nullptr;
  entry->Size = size;
  char* out = entry->Text();
  std::memcpy(out, stamp.data(), stamp.size());
  std::memcpy(out + stamp.size(), text.data(), text.size());
  out[size - 2] = '\r';
  out[size - 1] = '\n';
  return entry;
}

TLogFile::TEntry* TLogFile::OldestFirst(TEntry* newestFirst) noexcept {
  TEntry* oldestFirst = nullptr;
  while (newestFirst != nullptr) {
    TEntry* next = newestFirst->Next;
    newestFirst->Next = oldestFirst;
    oldestFirst = newestFirst;
    newestFirst = next;
  }
  return oldestFirst;
}

void TLogFile::AddLog(const std::string& text) {
  if (SysOption != nullptr && !SysOption->WriteLog) return;
  TEntry* entry = NewEntry(NowStamp(), text);
  entry->Next = FWaiting.load();
  while (!FWaiting.compare_exchange_weak(entry->Next, entry)) {
  }
  if (GNoWriterThread) {
    if (!FWriting.exchange(true)) WriteWaiting();
    return;
  }
  // The writer sleeps only when nothing waits: wake it for this entry.
  if (FIdle.load() && FIdle.exchange(false)) {
    FWake.fetch_add(1);
    FWake.notify_one();
  }
}

void TLogFile::RunWriter() {
  auto lastRound = std::chrono::steady_clock::now() - kGathering;
  while (!FStop) {
    if (FWaiting.load() == nullptr) {
      const std::uint32_t wake = FWake.load();
      FIdle = true;
      // An entry added before FIdle was set found it clear and woke nobody: look again.
      if (FWaiting.load() == nullptr && !FStop) FWake.wait(wake);
      FIdle = false;
      continue;
    }
    // The first entry after a quiet spell goes out at once; while entries keep coming, they are
    // gathered for a moment, unless somebody waits for them in Flush.
    const auto due = lastRound + kGathering;
    if (std::chrono::steady_clock::now() < due && FFlushing.load() == 0) {
      std::this_thread::sleep_until(due);
    }
    lastRound = std::chrono::steady_clock::now();
    // The role is held by a thread in Flush otherwise, which writes what waits itself.
    if (FWriting.exchange(true)) continue;
    WriteOneRound();
    ReleaseRole();
  }
}

bool TLogFile::WriteOneRound() {
  TEntry* entries = FWaiting.exchange(nullptr);
  if (entries == nullptr) return false;
  FStarted.fetch_add(1);
  WriteRound(entries);
  FDone.fetch_add(1);
  Signal();
  return true;
}

void TLogFile::ReleaseRole() {
  FWriting.store(false);
  Signal();
}

void TLogFile::Signal() {
  FEvents.fetch_add(1);
  if (FFlushing.load() > 0) FEvents.notify_all();
}

void TLogFile::WriteWaiting() {
  for (;;) {
    if (WriteOneRound()) continue;
    ReleaseRole();
    // An entry added after the last round may have found the role still held: take the role
    // back for it, unless another thread already did.
    if (FWaiting.load() == nullptr || FWriting.exchange(true)) return;
  }
}

void TLogFile::Flush() {
  // Every entry of this thread is either still waiting, so that a round started from now on
  // takes it, or in a round started already.
  const std::uint64_t started = FStarted.load();
  bool counted = false;
  for (;;) {
    const std::uint32_t events = FEvents.load();
    // Nothing waits and nobody writes: the writer that took the entries has written them.
    // (Waiting is looked at first: the role is held from before the entries were taken until
    // after they were written.)
    if (FWaiting.load() == nullptr && !FWriting.load()) break;
    if (FDone.load() > started) break;
    // Entries wait but the role is free: their own thread is about to take it; or this
    // thread takes it, which does no harm.
    if (!FWriting.exchange(true)) {
      WriteWaiting();
      continue;
    }
    if (!counted) {
      FFlushing.fetch_add(1);
      counted = true;
      continue;  // look again now that writers know of this thread
    }
    FEvents.wait(events);
  }
  if (counted) FFlushing.fetch_sub(1);
}

void TLogFile::WriteRound(TEntry* entries) {
  // The newest entry comes first: turn the list round, so that entries go out as they came.
  TEntry* oldestFirst = OldestFirst(entries);
  std::vector<std::size_t> ends;
  if (oldestFirst->Next == nullptr) {
    ends.push_back(oldestFirst->Size);
    WriteBatch(std::string_view(oldestFirst->Text(), oldestFirst->Size), ends);
  } else {
    std::string batch;
    for (const TEntry* entry = oldestFirst; entry != nullptr; entry = entry->Next) {
      batch.append(entry->Text(), entry->Size);
      ends.push_back(batch.size());
    }
    WriteBatch(batch, ends);
  }
  while (oldestFirst != nullptr) {
    TEntry* next = oldestFirst->Next;
    ::operator delete(oldestFirst);
    oldestFirst = next;
  }
}

void TLogFile::WriteWaitingNow() noexcept {
  const TEntry* oldestFirst = OldestFirst(FWaiting.exchange(nullptr));
  if (oldestFirst == nullptr) return;
  const int fd = FFd >= 0 ? FFd : ::open(FileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  for (const TEntry* entry = oldestFirst; entry != nullptr; entry = entry->Next) {
    size_t done = 0;
    while (done < entry->Size) {
      const ssize_t n = ::write(fd, entry->Text() + done, entry->Size - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }
}

int TLogFile::CurrentDescriptor() {
  // The name is looked up again at most once a second: a file deleted, renamed or replaced
  // meanwhile is then left for a new one under the name. (Looking at the file before every write
  // would cost more than the write: it makes the system keep the file's time to the nanosecond.)
  const auto now = std::chrono::steady_clock::now();
  if (FFd >= 0 && now - FNameChecked >= std::chrono::seconds(1)) {
    struct stat named {}, opened {};
    const bool same = ::stat(FileName.c_str(), &named) == 0 && ::fstat(FFd, &opened) == 0 &&
                      named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
    FNameChecked = now;
    if (!same) {
      ::close(FFd);
      FFd = -1;
    }
  }
  if (FFd < 0) {
    FFd = ::open(FileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    FNameChecked = now;
  }
  return FFd;
}

void TLogFile::WriteBatch(std::string_view batch, const std::vector<std::size_t>& ends) {
  const int fd = CurrentDescriptor();
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
}

std::string LogFileNameFor(const std::string& directory, double startDay) {
  return directory + FormatDateTime("yyyymmdd", startDay) + ".LOG";
}
