#include "support/HostProcess.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <linux/capability.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <regex>
#include <stdexcept>
#include <thread>

#include "support/TcpClient.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string TodayStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y%m%d", &local);
  return text;
}

// Root's capabilities after exec are those of its bounding set: without these three, permission
// bits hold for it as for any user. Another user has none of them to begin with.
bool DropFileOverride() {
  if (::geteuid() != 0) return true;
  for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
    if (::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0) return false;
  }
  return true;
}

}  // namespace

bool FileOverrideCanBeDropped() {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(DropFileOverride() ? 0 : 1);
  int status = 0;
  return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

void CopyHostPrograms(const std::string& binDir, const std::string& folder) {
  for (const char* name : {"doorlock-host", "libmbt2005.so", "mbt2005-sim"}) {
    fs::copy_file(fs::path(binDir) / name, fs::path(folder) / name);
  }
}

THostProcess::THostProcess(const std::string& binDir, const std::string& folder)
    : FFolder(folder.empty() ? FOwnDir.Path() : folder) {
  if (FFolder.back() != '/') FFolder += '/';
  CopyHostPrograms(binDir, FFolder);
  FPort = FreeLoopbackPort();
}

THostProcess::~THostProcess() {
  Kill();
}

void THostProcess::WriteOptions(const std::string& extra) {
  WriteFileBytes(File("Option.ini"),
                 "[SysOption]\r\nDoorlockPortNo=" + std::to_string(FPort) + "\r\n" + extra);
}

bool THostProcess::Simulator(const std::string& arguments) const {
  const std::string command = "'" + File("mbt2005-sim") + "' --state '" +
                              File("mbt2005-sim.state") + "' " + arguments + " > /dev/null";
  return std::system(command.c_str()) == 0;
}

void THostProcess::Start(const THostStart& how) {
  if (FPid > 0) throw std::logic_error("the host is running already");
  // Everything the child needs is prepared here: between fork and exec only async-signal-safe
  // calls are made.
  // An entry of how.Environment replaces the inherited one of the same name.
  const auto named = [](const std::string& entry) { return entry.substr(0, entry.find('=') + 1); };
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string name = named(*entry);
    bool replaced = name == "QT_QPA_PLATFORM=";
    for (const std::string& own : how.Environment) replaced = replaced || named(own) == name;
    if (!replaced) environment.push_back(*entry);
  }
  environment.push_back("QT_QPA_PLATFORM=offscreen");
  for (const std::string& entry : how.Environment) environment.push_back(entry);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  const std::string exe = File("doorlock-host");
  char* const argv[] = {const_cast<char*>(exe.c_str()), nullptr};
  rlimit openFiles{};
  ::getrlimit(RLIMIT_NOFILE, &openFiles);
  if (how.OpenFilesSoftLimit) openFiles.rlim_cur = *how.OpenFilesSoftLimit;

  FPid = ::fork();
  if (FPid == 0) {
    if (how.OpenFilesSoftLimit && ::setrlimit(RLIMIT_NOFILE, &openFiles) != 0) ::_exit(125);
    if (how.NoFileOverride && !DropFileOverride()) ::_exit(126);
    ::execve(exe.c_str(), argv, envp.data());
    ::_exit(127);
  }
}

bool THostProcess::Running() {
  if (FPid <= 0) return false;
  int status = 0;
  if (::waitpid(FPid, &status, WNOHANG) == FPid) {
    FPid = -1;
    return false;
  }
  return true;
}

bool THostProcess::WaitListening() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline && Running()) {
    TTcpClient probe(FPort);
    if (probe.Connected()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

int THostProcess::StopWith(int signal, int timeoutMs) {
  if (FPid <= 0) return -1;
  ::kill(FPid, signal);
  return WaitEnded(timeoutMs);
}

int THostProcess::WaitEnded(int timeoutMs) {
  if (FPid <= 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(FPid, &status, WNOHANG) == FPid) {
      FPid = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return -1;
}

void THostProcess::Kill() {
  if (FPid <= 0) return;
  ::kill(FPid, SIGKILL);
  ::waitpid(FPid, nullptr, 0);
  FPid = -1;
}

std::string THostProcess::TodaysLogName() const {
  return File(TodayStamp() + ".LOG");
}

std::string THostProcess::TodaysLog() const {
  for (const auto& entry : fs::directory_iterator(FFolder)) {
    if (std::regex_match(entry.path().filename().string(), std::regex(R"(\d{8}\.LOG)"))) {
      return ReadFileBytes(entry.path());
    }
  }
  return "";
}

std::string IssueCardRequest(const std::string& registerId, const std::string& room, bool isCopy) {
  return "<DoorRequest type=\"IssueCard\"><RequestID/><RegisterId>" + registerId +
         "</RegisterId><Building>01</Building><Floor>02</Floor><RoomNo>" + room +
         "</RoomNo><GuestName>李四</GuestName><InDate>2026-12-11</InDate><InTime>14:00:00</InTime>"
         "<OutDate>2026-12-13</OutDate><OutTime>12:00:00</OutTime><IsCopy>" +
         (isCopy ? "1" : "0") + "</IsCopy></DoorRequest>";
}

long long AnswerCardNo(const std::string& answer) {
  std::smatch match;
  if (!std::regex_search(answer, match, std::regex("<CardNo>(-?\\d+)</CardNo>"))) return -1;
  return std::stoll(match[1]);
}

std::string AnswerResultCode(const std::string& answer) {
  std::smatch match;
  if (!std::regex_search(answer, match, std::regex("<ResultCode>([^<]*)</ResultCode>"))) return "";
  return match[1];
}
