// mbt2005-sim: looks at and changes the simulated encoder's state, as a person at the front desk
// would handle the real encoder: put a card in, take it out, make the encoder fail. It works on
// the same state file as the library (beside this tool, or DOORLOCK_SIM_STATE, or --state).
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "SimState.h"

namespace {

constexpr char kUsage[] =
    "usage: mbt2005-sim [--state FILE] COMMAND\n"
    "  status                     show the card in the slot, the settings and the switches\n"
    "  insert                     put a blank card into the slot\n"
    "  insert ROOM [START END]    put a card encoded for ROOM into the slot, with a new serial;\n"
    "                             START and END as \"yyyy-mm-dd hh:nn\", by default now and\n"
    "                             one day later\n"
    "  remove                     take the card out of the slot\n"
    "  fail NAME...               make the next call of each function fail once\n"
    "  fail-always NAME...        make every call of each function fail until 'clear'\n"
    "  crash NAME...              make the next call of each function end the process with\n"
    "                             SIGSEGV, as a fault inside a real library would\n"
    "  clear                      remove every failure switch\n"
    "  credentials USER PASSWORD  the user name and password SetConfiguration accepts\n"
    "  history                    list the cards encoded so far\n"
    "  reset                      a new encoder: blank card, default credentials, no switches\n"
    "                             (the last serial is kept, so serials never repeat)\n"
    "NAME is one of SetConfiguration, EncodeCard, ReadCard, CancelCard.\n";

std::string ToolDirectory() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "./";
  const std::string exe(path, static_cast<std::size_t>(n));
  return exe.substr(0, exe.rfind('/') + 1);
}

std::string Names(const std::set<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : " ") + name;
  return text.empty() ? "-" : text;
}

void PrintStatus(const sim::TSimStateFile& file) {
  const sim::TSimState& s = file.State;
  std::cout << "state file:   " << file.Path() << '\n';
  switch (s.Slot) {
    case sim::TSlot::Empty:
      std::cout << "card:         none (the slot is empty)\n";
      break;
    case sim::TSlot::Blank:
      std::cout << "card:         blank\n";
      break;
    case sim::TSlot::Encoded:
      std::cout << "card:         encoded\n"
                << "  serial:     " << s.Serial << '\n'
                << "  room:       " << s.Room << '\n'
                << "  valid:      " << s.Start << " - " << s.End << '\n';
      break;
  }
  std::cout << "last serial:  " << s.LastSerial << '\n'
            << "guest info:   " << (s.RenewedRoom.empty() ? "-" : s.RenewedRoom) << '\n'
            << "credentials:  " << s.UserName << " / " << s.Password << '\n'
            << "fail next:    " << Names(s.FailNext) << '\n'
            << "fail always:  " << Names(s.FailAlways) << '\n'
            << "crash next:   " << Names(s.CrashNext) << '\n';
}

int Usage() {
  std::cerr << kUsage;
  return 2;
}

int Save(const sim::TSimStateFile& file) {
  if (file.Save()) return 0;
  std::cerr << "mbt2005-sim: cannot write " << file.Path() << '\n';
  return 1;
}

bool AddSwitches(const std::vector<std::string>& names, std::set<std::string>& switches) {
  if (names.empty()) return false;
  for (const std::string& name : names) {
    if (!sim::IsSwitchable(name)) {
      std::cerr << "mbt2005-sim: no switch for '" << name << "'\n";
      return false;
    }
  }
  switches.insert(names.begin(), names.end());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string statePath;
  if (args.size() >= 2 && args[0] == "--state") {
    statePath = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty() || args[0] == "--help" || args[0] == "-h") return Usage();
  if (statePath.empty()) statePath = sim::StatePath(ToolDirectory());

  const std::string command = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  sim::TSimStateFile file(statePath);
  sim::TSimState& state = file.State;

  if (command == "status" && rest.empty()) {
    PrintStatus(file);
    return 0;
  }
  if (command == "insert" && rest.empty()) {
    sim::PutBlankCard(state);
    if (const int rc = Save(file)) return rc;
    std::cout << "a blank card is in the slot\n";
    return 0;
  }
  if (command == "insert" && (rest.size() == 1 || rest.size() == 3)) {
    const std::string start = rest.size() == 3 ? rest[1] : sim::MinuteTextFromNow(0);
    const std::string end = rest.size() == 3 ? rest[2] : sim::MinuteTextFromNow(24 * 60);
    if (rest[0].empty() || !sim::IsMinuteText(start) || !sim::IsMinuteText(end)) return Usage();
    state.Slot = sim::TSlot::Encoded;
    state.Room = rest[0];
    state.Start = start;
    state.End = end;
    state.Serial = sim::NextSerial(state);
    if (const int rc = Save(file)) return rc;
    file.AppendHistory();
    std::cout << "a card for room " << state.Room << " is in the slot, serial " << state.Serial
              << '\n';
    return 0;
  }
  if (command == "remove" && rest.empty()) {
    state.Slot = sim::TSlot::Empty;
    if (const int rc = Save(file)) return rc;
    std::cout << "the slot is empty\n";
    return 0;
  }
  if (command == "fail") return AddSwitches(rest, state.FailNext) ? Save(file) : Usage();
  if (command == "fail-always") return AddSwitches(rest, state.FailAlways) ? Save(file) : Usage();
  if (command == "crash") return AddSwitches(rest, state.CrashNext) ? Save(file) : Usage();
  if (command == "clear" && rest.empty()) {
    state.FailNext.clear();
    state.FailAlways.clear();
    state.CrashNext.clear();
    return Save(file);
  }
  if (command == "credentials" && rest.size() == 2) {
    state.UserName = rest[0];
    state.Password = rest[1];
    return Save(file);
  }
  if (command == "history" && rest.empty()) {
    std::ifstream in(sim::HistoryPath(statePath), std::ios::binary);
    std::cout << in.rdbuf();
    return 0;
  }
  if (command == "reset" && rest.empty()) {
    sim::TSimState fresh;
    fresh.LastSerial = state.LastSerial;
    state = fresh;
    return Save(file);
  }
  return Usage();
}
