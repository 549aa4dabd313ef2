#include "Processes.h"

#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "LoadGenerator.h"

namespace fs = std::filesystem;

int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) ::close(fd);
    throw std::runtime_error(std::string("no free port: ") + std::strerror(errno));
  }
  ::close(fd);
  return ntohs(address.sin_port);
}

void CopyFiles(const std::string& from, const std::string& to,
               const std::vector<std::string>& names) {
  fs::create_directories(to);
  for (const std::string& name : names) {
    fs::copy_file(fs::path(from) / name, fs::path(to) / name, fs::copy_options::overwrite_existing);
  }
}

void WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

long ReadStatusField(pid_t pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  const std::string key = field + ":";
  while (std::getline(in, line)) {
    if (line.compare(0, key.size(), key) != 0) continue;
    std::istringstream value(line.substr(key.size()));
    long number = -1;
    value >> number;
    return number;
  }
  return -1;
}

long CountOpenDescriptors(pid_t pid) {
  DIR* dir = ::opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
  if (dir == nullptr) return -1;
  long count = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  ::closedir(dir);
  return count;
}

long CountThreadsNamed(pid_t pid, const std::string& name) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* dir = ::opendir(tasks.c_str());
  if (dir == nullptr) return -1;
  long count = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream comm(tasks + "/" + entry->d_name + "/comm");
    std::string threadName;
    if (std::getline(comm, threadName) && threadName == name) ++count;
  }
  ::closedir(dir);
  return count;
}

TChild::~TChild() {
  if (FPid > 0) Stop(SIGKILL, std::chrono::seconds(5));
}

void TChild::Start(const std::vector<std::string>& argv, const std::string& outputFile,
                   long descriptorLimit) {
  if (argv.empty()) throw std::runtime_error("nothing to start");
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const int output = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (output < 0) throw std::runtime_error("cannot open " + outputFile);
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(output);
    throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  }
  if (pid == 0) {
    ::dup2(output, STDOUT_FILENO);
    ::dup2(output, STDERR_FILENO);
    const int null = ::open("/dev/null", O_RDONLY);
    if (null >= 0) ::dup2(null, STDIN_FILENO);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (descriptorLimit >= 0) {
      rlimit limit{};
      ::getrlimit(RLIMIT_NOFILE, &limit);
      limit.rlim_cur = static_cast<rlim_t>(descriptorLimit);
      if (limit.rlim_cur > limit.rlim_max) limit.rlim_cur = limit.rlim_max;
      ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(output);
  FPid = pid;
}

bool TChild::WaitListening(int port, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (!Running()) return false;
    const int fd = ConnectLoopback(port);
    if (fd >= 0) {
      ::close(fd);
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

bool TChild::Running() {
  if (FPid <= 0) return false;
  int status = 0;
  if (::waitpid(FPid, &status, WNOHANG) == FPid) {
    FPid = -1;
    return false;
  }
  return true;
}

int TChild::Stop(int signal, std::chrono::milliseconds timeout) {
  if (FPid <= 0) return -1;
  ::kill(FPid, signal);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    if (::waitpid(FPid, &status, WNOHANG) == FPid) {
      FPid = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(FPid, SIGKILL);
  ::waitpid(FPid, nullptr, 0);
  FPid = -1;
  return -1;
}
