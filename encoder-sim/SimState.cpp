#include "SimState.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <utility>

namespace sim {

namespace {

const char* SlotName(TSlot slot) {
  switch (slot) {
    case TSlot::Empty:
      return "none";
    case TSlot::Blank:
      return "blank";
    case TSlot::Encoded:
      return "encoded";
  }
  return "blank";
}

std::string JoinNames(const std::set<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ",") + name;
  return text;
}

std::set<std::string> SplitNames(const std::string& text) {
  std::set<std::string> names;
  std::stringstream in(text);
  std::string name;
  while (std::getline(in, name, ',')) {
    if (IsSwitchable(name)) names.insert(name);
  }
  return names;
}

bool ParseInt64(const std::string& text, std::int64_t& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') return false;
  value = parsed;
  return true;
}

void Parse(const std::string& key, const std::string& value, TSimState& state) {
  if (key == "Card") {
    if (value == "none") state.Slot = TSlot::Empty;
    if (value == "blank") state.Slot = TSlot::Blank;
    if (value == "encoded") state.Slot = TSlot::Encoded;
  } else if (key == "Room") {
    state.Room = value;
  } else if (key == "Start") {
    state.Start = value;
  } else if (key == "End") {
    state.End = value;
  } else if (key == "Serial") {
    ParseInt64(value, state.Serial);
  } else if (key == "LastSerial") {
    ParseInt64(value, state.LastSerial);
  } else if (key == "RenewedRoom") {
    state.RenewedRoom = value;
  } else if (key == "UserName") {
    state.UserName = value;
  } else if (key == "Password") {
    state.Password = value;
  } else if (key == "FailNext") {
    state.FailNext = SplitNames(value);
  } else if (key == "FailAlways") {
    state.FailAlways = SplitNames(value);
  } else if (key == "CrashNext") {
    state.CrashNext = SplitNames(value);
  }
}

}  // namespace

void PutBlankCard(TSimState& state) {
  state.Slot = TSlot::Blank;
  state.Room.clear();
  state.Start.clear();
  state.End.clear();
  state.Serial = 0;
}

bool IsSwitchable(const std::string& function) {
  return function == "SetConfiguration" || function == "EncodeCard" || function == "ReadCard" ||
         function == "CancelCard";
}

std::string StatePath(const std::string& directory) {
  const char* path = std::getenv("DOORLOCK_SIM_STATE");
  if (path != nullptr && *path != '\0') return path;
  return directory + "mbt2005-sim.state";
}

std::string HistoryPath(const std::string& statePath) {
  const std::string suffix = ".state";
  if (statePath.size() > suffix.size() &&
      statePath.compare(statePath.size() - suffix.size(), suffix.size(), suffix) == 0) {
    return statePath.substr(0, statePath.size() - suffix.size()) + ".history";
  }
  return statePath + ".history";
}

std::int64_t NextSerial(TSimState& state) {
  const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
  state.LastSerial = state.LastSerial + 1 > now ? state.LastSerial + 1 : now;
  return state.LastSerial;
}

bool IsMinuteText(const std::string& text) {
  if (text.size() != 16) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char expected = i == 4 || i == 7 ? '-' : i == 10 ? ' ' : i == 13 ? ':' : '0';
    if (expected == '0' ? (c < '0' || c > '9') : c != expected) return false;
  }
  const auto number = [&text](std::size_t at, std::size_t length) {
    return std::atoi(text.substr(at, length).c_str());
  };
  const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
  return year >= 1 && month >= 1 && month <= 12 && day >= 1 && day <= 31 && number(11, 2) <= 23 &&
         number(14, 2) <= 59;
}

std::string MinuteTextFromNow(int minutesFromNow) {
  const std::time_t when = std::time(nullptr) + static_cast<std::time_t>(minutesFromNow) * 60;
  std::tm local{};
  localtime_r(&when, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

struct TSimFiles {
  std::mutex Lock;  // one TSimStateFile of this process at a time
  int LockFd = -1;  // "<state>.lock": the lock between processes; its first 8 bytes count
  std::uint64_t* Generation = nullptr;  // the saves, mapped into every process that uses it
  int StateFd = -1;                     // the state file, kept open
  bool StateWritable = false;
  bool Known = false;  // State is what the file held at KnownGeneration and Identity
  std::uint64_t KnownGeneration = 0;
  bool Exists = false;
  struct stat Identity {};
  TSimState State;
};

namespace {

// One TSimFiles per state path, for the life of the process (never released, so that no call
// made while the process ends finds it gone).
TSimFiles& FilesFor(const std::string& path) {
  static std::mutex guard;
  static auto* const files = new std::map<std::string, std::unique_ptr<TSimFiles>>();
  std::lock_guard<std::mutex> lock(guard);
  std::unique_ptr<TSimFiles>& entry = (*files)[path];
  if (!entry) entry = std::make_unique<TSimFiles>();
  return *entry;
}

void OpenLockFile(TSimFiles& files, const std::string& path) {
  files.LockFd = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (files.LockFd < 0) return;
  struct stat lock {};
  constexpr off_t kSize = sizeof(std::uint64_t);
  if (::fstat(files.LockFd, &lock) != 0 ||
      (lock.st_size < kSize && ::ftruncate(files.LockFd, kSize) != 0)) {
    return;  // locks still work; only the state is never taken as known
  }
  void* mapped = ::mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_SHARED, files.LockFd, 0);
  if (mapped != MAP_FAILED) files.Generation = static_cast<std::uint64_t*>(mapped);
}

std::uint64_t CurrentGeneration(const TSimFiles& files) {
  return files.Generation != nullptr ? __atomic_load_n(files.Generation, __ATOMIC_ACQUIRE) : 0;
}

bool SameFile(bool existsA, const struct stat& a, bool existsB, const struct stat& b) {
  if (existsA != existsB) return false;
  if (!existsA) return true;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// Older than any tick of the file system's clock.
bool ChangedLongAgo(const struct stat& file) {
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const long long ageMs = (static_cast<long long>(now.tv_sec) - file.st_mtim.tv_sec) * 1000 +
                          (now.tv_nsec - file.st_mtim.tv_nsec) / 1000000;
  return ageMs > 100;
}

// The state file as it is now under its name: the descriptor kept open, reopened when the file
// was deleted or replaced; false when there is none.
bool LookAtStateFile(TSimFiles& files, const std::string& path, struct stat& now) {
  if (files.StateFd >= 0 && (::fstat(files.StateFd, &now) != 0 || now.st_nlink == 0)) {
    ::close(files.StateFd);
    files.StateFd = -1;
  }
  if (files.StateFd < 0) {
    files.StateFd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    files.StateWritable = files.StateFd >= 0;
    if (files.StateFd < 0) files.StateFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (files.StateFd < 0) return false;
    if (::fstat(files.StateFd, &now) != 0) return false;
  }
  return true;
}

TSimState ParseState(const std::string& text) {
  TSimState state;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    Parse(line.substr(0, equals), line.substr(equals + 1), state);
  }
  return state;
}

std::string ReadWhole(int fd) {
  std::string text;
  char buffer[4096];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    at += n;
  }
  return text;
}

bool WriteWhole(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n =
        ::pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return ::ftruncate(fd, static_cast<off_t>(text.size())) == 0;
}

}  // namespace

TSimStateFile::TSimStateFile(std::string path, TSimAccess access)
    : FPath(std::move(path)), FFiles(&FilesFor(FPath)) {
  FFiles->Lock.lock();
  if (FFiles->LockFd < 0) OpenLockFile(*FFiles, FPath);
  if (access == TSimAccess::Write) Lock();
  Refresh();
}

TSimStateFile::~TSimStateFile() {
  if (FLocked) ::flock(FFiles->LockFd, LOCK_UN);
  FFiles->Lock.unlock();
}

void TSimStateFile::Lock() {
  if (FLocked || FFiles->LockFd < 0) return;
  while (::flock(FFiles->LockFd, LOCK_EX) != 0 && errno == EINTR) {
  }
  FLocked = true;
}

void TSimStateFile::LockForWriting() {
  if (FLocked) return;
  Lock();
  Refresh();
}

void TSimStateFile::Refresh() {
  TSimFiles& files = *FFiles;
  const std::uint64_t generation = CurrentGeneration(files);
  struct stat now {};
  bool exists = LookAtStateFile(files, FPath, now);
  if (files.Known && generation == files.KnownGeneration &&
      SameFile(exists, now, files.Exists, files.Identity)) {
    State = files.State;
    return;
  }
  // The file is read under the lock only: a writer may be in the middle of it.
  Lock();
  const std::uint64_t current = CurrentGeneration(files);
  exists = LookAtStateFile(files, FPath, now);
  State = exists ? ParseState(ReadWhole(files.StateFd)) : TSimState{};
  // Without the shared generation nothing tells whether another process changed the state:
  // read it afresh every time then. A file changed by hand a moment ago is read afresh as
  // well: file times are coarse on some systems, so an edit of the same size right after this
  // one could leave them as they are.
  files.Known = files.Generation != nullptr && exists && ChangedLongAgo(now);
  files.KnownGeneration = current;
  files.Exists = exists;
  files.Identity = now;
  files.State = State;
}

bool TSimStateFile::Save() const {
  std::ostringstream out;
  out << "# State of the simulated card encoder; change it with the mbt2005-sim tool.\n"
      << "Card=" << SlotName(State.Slot) << '\n';
  if (State.Slot == TSlot::Encoded) {
    out << "Room=" << State.Room << '\n'
        << "Start=" << State.Start << '\n'
        << "End=" << State.End << '\n'
        << "Serial=" << State.Serial << '\n';
  }
  out << "LastSerial=" << State.LastSerial << '\n'
      << "RenewedRoom=" << State.RenewedRoom << '\n'
      << "UserName=" << State.UserName << '\n'
      << "Password=" << State.Password << '\n'
      << "FailNext=" << JoinNames(State.FailNext) << '\n'
      << "FailAlways=" << JoinNames(State.FailAlways) << '\n'
      << "CrashNext=" << JoinNames(State.CrashNext) << '\n';
  const std::string text = out.str();

  TSimFiles& files = *FFiles;
  // The file is rewritten in place: readers of the file hold the lock, so none sees it half
  // written, and an in-place write costs the disk nothing until the system writes its pages
  // back (a rename over the old file would have its data written out at once).
  struct stat now {};
  if (!LookAtStateFile(files, FPath, now) || !files.StateWritable) {
    if (files.StateFd >= 0) ::close(files.StateFd);
    files.StateFd = ::open(FPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    files.StateWritable = files.StateFd >= 0;
    if (files.StateFd < 0) {
      files.Known = false;
      return false;
    }
  }
  const bool written = WriteWhole(files.StateFd, text);
  files.Known = false;
  if (files.Generation == nullptr) return written;
  // Other processes learn of the change from the generation; this one keeps what it wrote.
  const std::uint64_t generation = __atomic_add_fetch(files.Generation, 1, __ATOMIC_RELEASE);
  if (written && ::fstat(files.StateFd, &now) == 0) {
    files.Known = true;
    files.KnownGeneration = generation;
    files.Exists = true;
    files.Identity = now;
    files.State = State;
  }
  return written;
}

void TSimStateFile::AppendHistory() const {
  std::ofstream out(HistoryPath(FPath), std::ios::app | std::ios::binary);
  out << MinuteTextFromNow(0) << '\t' << State.Serial << '\t' << State.Room << '\t' << State.Start
      << '\t' << State.End << '\n';
}

}  // namespace sim
