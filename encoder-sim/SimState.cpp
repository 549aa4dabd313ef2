#include "SimState.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
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

TSimStateFile::TSimStateFile(std::string path) : FPath(std::move(path)) {
  FLock = ::open((FPath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (FLock >= 0) {
    while (::flock(FLock, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  std::ifstream in(FPath, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    Parse(line.substr(0, equals), line.substr(equals + 1), State);
  }
}

TSimStateFile::~TSimStateFile() {
  if (FLock >= 0) ::close(FLock);  // releases the lock
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
      << "FailAlways=" << JoinNames(State.FailAlways) << '\n';
  const std::string text = out.str();

  const std::string temporary = FPath + ".tmp-" + std::to_string(::getpid());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  written = ::close(fd) == 0 && written;
  if (!written || std::rename(temporary.c_str(), FPath.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

void TSimStateFile::AppendHistory() const {
  std::ofstream out(HistoryPath(FPath), std::ios::app | std::ios::binary);
  out << MinuteTextFromNow(0) << '\t' << State.Serial << '\t' << State.Room << '\t' << State.Start
      << '\t' << State.End << '\n';
}

}  // namespace sim
