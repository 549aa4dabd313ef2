// doorlock-bench: runs every benchmark of the host in one go and prints the host's figures as
// ratios to what the machine does without the host: a minimal server with the same framing and
// threading (doorlock-baseline) for the request path, a bare loop of durable SQLite commits for
// the card record store. The host is the real build (bin/doorlock-host with the simulated
// encoder library beside it), copied into a work folder and started there with logging on, as
// by default.
//
//   doorlock-bench [--rounds N] [--seconds S] [--clients N] [--idle N] [--host-nofile N]
//                  [--only readcard-new,readcard-kept,issuecard,idle] [--write-log 0|1]
//                  [--bin DIR] [--work DIR] [--keep-work]
//
// Exit status: 0 every target met; 1 a run failed (an unanswered or wrong answer, a host that
// did not start or stop, a lost row); 2 no run failed but a target was missed.
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "DeviceCeiling.h"
#include "DiskCeiling.h"
#include "LoadGenerator.h"
#include "Processes.h"
#include "Requests.h"

namespace fs = std::filesystem;

namespace {

using namespace std::chrono_literals;

struct TOptions {
  std::string BinDir;
  std::string WorkDir;
  int Rounds = 3;
  double Seconds = 5;
  int Clients = 16;
  int IdleConnections = 1000;
  int IdleLoadClients = 4;
  // The soft descriptor limit the host starts with: what a login session or a service manager
  // usually gives a program. The benchmark itself raises its own limit to the hard one.
  long HostDescriptorLimit = 1024;
  // WriteLog of the host's Option.ini; off only to see what the log costs.
  bool WriteLog = true;
  bool KeepWork = false;
  std::set<std::string> Only;
};

const std::vector<std::string> kScenarios = {"readcard-new", "readcard-kept", "issuecard", "idle"};

// Commits before the store's figures count, in the disk loop and the host alike (see
// RunDiskCeiling).
constexpr std::int64_t kStoreWarmUpCommits = 2000;
// Commits counted at most per half of the disk loop, and cards per host run. The virtual disk of
// a shared machine may grant a burst of fast syncs and then throttle; these keep the benchmark
// from spending that burst on itself.
constexpr std::int64_t kDiskLoopCommits = 3000;
constexpr std::int64_t kIssueCards = 3000;

// A card number as long as the simulator's, for the baseline's fixed answer.
constexpr std::int64_t kBaselineCardNo = 1765432109876;

std::string SelfDirectory() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) throw std::runtime_error("cannot find the benchmark's own folder");
  return fs::path(std::string(path, static_cast<std::size_t>(n))).parent_path().string();
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// One measured figure of a round against its target.
struct TFigure {
  enum TBound { AtLeast, AtMost, Below };
  std::string Name;
  double Value = NAN;
  std::string Unit;  // "" for ratios
  TBound Bound = AtLeast;
  double Target = 0;
  bool Unsteady = false;  // the machine's own figure moved a lot during the round
  bool Met() const {
    if (std::isnan(Value)) return false;
    switch (Bound) {
      case AtLeast:
        return Value >= Target;
      case AtMost:
        return Value <= Target;
      case Below:
        return Value < Target;
    }
    return false;
  }
  const char* BoundText() const {
    return Bound == AtLeast ? ">= " : Bound == AtMost ? "<= " : "< ";
  }
};

class TBench {
 public:
  explicit TBench(TOptions options)
      : FOptions(std::move(options)), FHostDir(FOptions.WorkDir + "/host") {}

  int Run();

 private:
  bool Wanted(const std::string& scenario) const {
    return FOptions.Only.empty() || FOptions.Only.count(scenario) != 0;
  }
  std::chrono::milliseconds Duration() const {
    return std::chrono::milliseconds(static_cast<long long>(FOptions.Seconds * 1000));
  }

  void Problem(const std::string& text) {
    std::printf("    FAILED: %s\n", text.c_str());
    std::fflush(stdout);
    FFailed = true;
  }
  void Record(const TFigure& figure) {
    if (FFigures.count(figure.Name) == 0) FOrder.push_back(figure.Name);
    FFigures[figure.Name].push_back(figure);
  }
  void PrintLoad(const char* who, const TLoadResult& result, const std::string& extra = "") {
    std::printf("    %-9s %s%s\n", who, Summary(result).c_str(), extra.c_str());
    if (result.SlowConnects != 0) {
      std::printf(
          "              %lld connects took 500 ms or more (longest %.0f ms): SYN retried\n",
          static_cast<long long>(result.SlowConnects), result.MaxConnectMs);
    }
    for (const std::string& sample : result.ErrorSamples) {
      std::printf("              error: %s\n", sample.c_str());
    }
    if (result.Failed()) Problem(std::string(who) + " run had errors or no answers");
    std::fflush(stdout);
  }
  std::string RatioText(double ratio, double target) {
    return "   ratio " + Fixed(ratio, 2) + " (target >= " + Fixed(target, 2) + ") " +
           (ratio >= target ? "met" : "MISSED");
  }

  TLoadPlan Plan(TConnectionStyle style, int clients, int port) const {
    TLoadPlan plan;
    plan.Port = port;
    plan.Clients = clients;
    plan.Style = style;
    plan.Duration = Duration();
    return plan;
  }
  static TLoadPlan ReadCardPlan(TLoadPlan plan, std::int64_t cardNo) {
    const std::string expected = ReadCardAnswer(cardNo);
    plan.Request = ReadCardRequest;
    plan.Check = [expected](const std::string& answer, std::int64_t&, std::string& why) {
      if (answer == expected) return true;
      why = "not the card on the encoder";
      return false;
    };
    return plan;
  }

  // The host in the work folder with `sections` as its Option.ini after the port line.
  bool StartHost(TChild& host, int& port, const std::string& sections = "") {
    for (const char* name : {"Client.db", "Client.db-wal", "Client.db-shm"}) {
      fs::remove(FHostDir + "/" + name);
    }
    for (const auto& entry : fs::directory_iterator(FHostDir)) {
      if (entry.path().extension() == ".LOG") fs::remove(entry.path());
    }
    port = FreeLoopbackPort();
    // Logging stays as by default unless switched off for a look at its cost.
    WriteTextFile(FHostDir + "/Option.ini",
                  "[SysOption]\r\nDoorlockPortNo=" + std::to_string(port) + "\r\n" +
                      (FOptions.WriteLog ? "" : "WriteLog=0\r\n") + sections);
    host.Start({FHostDir + "/doorlock-host"}, FOptions.WorkDir + "/host-output.txt",
               FOptions.HostDescriptorLimit);
    if (host.WaitListening(port)) return true;
    Problem("the host did not start listening (see " + FOptions.WorkDir + "/host-output.txt)");
    return false;
  }
  void StopHost(TChild& host) {
    const int status = host.Stop(SIGTERM);
    if (status != 0)
      Problem("the host did not end cleanly on SIGTERM (status " + std::to_string(status) + ")");
  }
  bool StartBaseline(TChild& baseline, int& port, bool keep) {
    port = FreeLoopbackPort();
    std::vector<std::string> argv = {FSelfDir + "/doorlock-baseline", "--port",
                                     std::to_string(port), "--response",
                                     ReadCardAnswer(kBaselineCardNo)};
    if (keep) argv.push_back("--keep");
    baseline.Start(argv, FOptions.WorkDir + "/baseline-output.txt");
    if (baseline.WaitListening(port)) return true;
    Problem("the baseline server did not start");
    return false;
  }
  // Issues a card on a new connection; 0 when that failed.
  std::int64_t IssueOne(int port, int client, const std::string& keep) {
    std::string why;
    const std::string answer = ExchangeOnce(port, IssueCardRequest(client, -1, keep), why);
    std::int64_t cardNo = 0;
    if (!why.empty() || !IsIssuedAnswer(answer, cardNo, why)) {
      Problem("issuing a card before the run: " + why + " [" + answer + "]");
      return 0;
    }
    return cardNo;
  }

  void DeviceRun();
  void ReadCardPair(TConnectionStyle style, const std::string& name, double target);
  void IssueCardRun();
  TDiskResult DiskRun(const char* when);
  void IdleRun();
  void PrintSummary();

  const TOptions FOptions;
  const std::string FHostDir;
  std::string FSelfDir;
  bool FFailed = false;
  bool FMissed = false;
  TDeviceResult FDevice;  // of the current round
  std::map<std::string, std::vector<TFigure>> FFigures;
  std::vector<std::string> FOrder;  // figure names in the order first recorded
};

void TBench::DeviceRun() {
  std::printf(
      "  Encoder alone: the library's calls as the adapter makes them, one at a time, "
      "no host\n");
  FDevice = RunDeviceCeiling(FHostDir + "/libmbt2005.so", Duration() / 2);
  if (!FDevice.Error.empty()) {
    Problem("encoder loop: " + FDevice.Error);
  } else {
    std::printf("    encoder   %8.1f reads/s, %.1f issues/s\n", FDevice.ReadsPerSecond,
                FDevice.IssuesPerSecond);
  }
  std::fflush(stdout);
}

// "; 0.45 of the encoder alone" when the encoder's rate is known.
std::string OfEncoder(double perSecond, double encoderPerSecond) {
  if (encoderPerSecond <= 0) return "";
  return "; " + Fixed(perSecond / encoderPerSecond, 2) + " of the encoder alone";
}

// The figure of two halves of a run taken together, and whether they disagree so much that
// the machine was clearly busier during one of them.
double Combined(double countA, double secondsA, double countB, double secondsB) {
  return secondsA + secondsB > 0 ? (countA + countB) / (secondsA + secondsB) : 0;
}
bool Unsteady(double rateA, double rateB) {
  return std::min(rateA, rateB) <= 0 || std::max(rateA, rateB) / std::min(rateA, rateB) > 1.5;
}

void TBench::ReadCardPair(TConnectionStyle style, const std::string& name, double target) {
  const bool kept = style == TConnectionStyle::Kept;
  std::printf("  ReadCard, %s, %d clients\n", StyleName(style), FOptions.Clients);
  std::fflush(stdout);
  // The baseline runs half before and half after the host, so that a machine getting busier or
  // quieter meanwhile weighs on both alike.
  TChild baseline;
  int basePort = 0;
  if (!StartBaseline(baseline, basePort, kept)) return;
  TLoadPlan basePlan = ReadCardPlan(Plan(style, FOptions.Clients, basePort), kBaselineCardNo);
  basePlan.Duration = Duration() / 2;
  const TLoadResult before = RunLoad(basePlan);
  PrintLoad("baseline", before, "   (first half, before the host)");
  TLoadResult host;
  {
    TChild process;
    int port = 0;
    if (!StartHost(process, port)) return;
    // The read needs an encoded card; the keep-connection child of this issue is what keeps
    // every door lock connection open afterwards (or, "0", closes them after each answer).
    const std::int64_t cardNo = IssueOne(port, 99, kept ? "1" : "0");
    if (cardNo != 0) {
      host = RunLoad(ReadCardPlan(Plan(style, FOptions.Clients, port), cardNo));
    }
    StopHost(process);
  }
  const TLoadResult after = RunLoad(basePlan);
  baseline.Stop(SIGTERM);
  PrintLoad("baseline", after, "   (second half, after the host)");
  const double basePerSecond = Combined(static_cast<double>(before.Counted), before.Seconds,
                                        static_cast<double>(after.Counted), after.Seconds);
  const double ratio = basePerSecond > 0 ? host.PerSecond / basePerSecond : 0;
  PrintLoad("host", host,
            RatioText(ratio, target) + OfEncoder(host.PerSecond, FDevice.ReadsPerSecond));
  const bool unsteady = Unsteady(before.PerSecond, after.PerSecond);
  if (unsteady) {
    std::printf("              the baseline's halves differ by more than 1.5x: a busy machine\n");
  }
  Record({name, ratio, "", TFigure::AtLeast, target, unsteady});
}

TDiskResult TBench::DiskRun(const char* when) {
  const TDiskResult disk = RunDiskCeiling(FHostDir + "/disk-ceiling.db", Duration() / 2,
                                          kStoreWarmUpCommits, kDiskLoopCommits);
  if (!disk.Error.empty()) {
    Problem("disk loop: " + disk.Error);
    return disk;
  }
  std::printf(
      "    loop      %8.1f commits/s  p50 %6.2f ms  p99 %7.2f ms  max %7.1f ms  (n=%lld, "
      "%s)\n",
      disk.CommitsPerSecond, disk.P50Ms, disk.P99Ms, disk.MaxMs,
      static_cast<long long>(disk.Commits), when);
  std::fflush(stdout);
  return disk;
}

void TBench::IssueCardRun() {
  std::printf(
      "  IssueCard, UseNativeDoorlockDb and SaveDoorlockRecord on, %s, %d clients, "
      "against single-row SQLite commits (WAL, synchronous=FULL) in the host's folder\n",
      StyleName(TConnectionStyle::Kept), FOptions.Clients);
  std::fflush(stdout);
  // Like the baseline, the disk loop runs half before and half after the host.
  const TDiskResult diskBefore = DiskRun("first half, before the host");
  if (!diskBefore.Error.empty()) return;
  TLoadResult result;
  std::vector<std::int64_t> acknowledged;
  {
    TChild host;
    int port = 0;
    if (!StartHost(host, port,
                   "[DoorlockOption]\r\nUseNativeDoorlockDb=1\r\nSaveDoorlockRecord=1\r\n")) {
      return;
    }
    // One card per client's room first, so that every card of the run updates a room that
    // exists (two commits: the room's time and the record); these also switch kept connections
    // on.
    for (int client = 0; client < FOptions.Clients; ++client) {
      const std::int64_t cardNo = IssueOne(port, client, "1");
      if (cardNo == 0) return;
      acknowledged.push_back(cardNo);
    }
    TLoadPlan plan = Plan(TConnectionStyle::Kept, FOptions.Clients, port);
    plan.Request = [](int client, std::int64_t sequence) {
      return IssueCardRequest(client, sequence, "1");
    };
    plan.Check = IsIssuedAnswer;
    // As long as the disk loop's warm-up: the store's log has been checkpointed once.
    plan.WarmUpRequests = kStoreWarmUpCommits / 2;
    plan.Requests = kIssueCards;
    result = RunLoad(plan);
    // Killed, not asked to end: every acknowledged row must be in the file without a clean close.
    host.Stop(SIGKILL);
  }
  const TDiskResult diskAfter = DiskRun("second half, after the host");
  if (!diskAfter.Error.empty()) return;
  acknowledged.insert(acknowledged.end(), result.CardNumbers.begin(), result.CardNumbers.end());

  const double diskCommitsPerSecond =
      Combined(static_cast<double>(diskBefore.Commits), diskBefore.Seconds,
               static_cast<double>(diskAfter.Commits), diskAfter.Seconds);
  const double commits = 2 * result.PerSecond;
  const double ratio = diskCommitsPerSecond > 0 ? commits / diskCommitsPerSecond : 0;
  PrintLoad("host", result,
            " = " + Fixed(commits, 1) + " commits/s" + RatioText(ratio, 0.35) + " of the loop" +
                OfEncoder(result.PerSecond, FDevice.IssuesPerSecond));
  std::printf("              (after %lld cards in %.1f s of warm-up)\n",
              static_cast<long long>(kStoreWarmUpCommits / 2), result.WarmUpSeconds);
  const bool unsteady = Unsteady(diskBefore.CommitsPerSecond, diskAfter.CommitsPerSecond);
  if (unsteady) {
    std::printf("              the disk loop's halves differ by more than 1.5x: a busy disk\n");
  }

  std::string error;
  const std::vector<std::string> rows = ReadIssuedCardNumbers(FHostDir + "/Client.db", error);
  if (!error.empty()) {
    Problem("reading the store: " + error);
    return;
  }
  const std::set<std::string> stored(rows.begin(), rows.end());
  std::int64_t missing = 0;
  for (const std::int64_t cardNo : acknowledged) {
    if (stored.count(std::to_string(cardNo)) == 0) ++missing;
  }
  const std::set<std::int64_t> distinct(acknowledged.begin(), acknowledged.end());
  std::printf(
      "    store     %zu rows after the host was killed; %zu cards acknowledged, %lld of "
      "them without a row, %zu card numbers handed out twice\n",
      rows.size(), acknowledged.size(), static_cast<long long>(missing),
      acknowledged.size() - distinct.size());
  if (missing != 0) Problem("acknowledged rows lost");
  if (distinct.size() != acknowledged.size()) Problem("a card number was handed out twice");
  Record({"IssueCard, kept, commits/s vs disk loop", ratio, "", TFigure::AtLeast, 0.35, unsteady});
}

void TBench::IdleRun() {
  std::printf("  %d idle connections (host started with a soft limit of %ld descriptors)\n",
              FOptions.IdleConnections, FOptions.HostDescriptorLimit);
  std::fflush(stdout);
  TChild host;
  int port = 0;
  if (!StartHost(host, port)) return;
  const std::int64_t cardNo = IssueOne(port, 99, "0");
  if (cardNo == 0) return;
  const TLoadPlan plan =
      ReadCardPlan(Plan(TConnectionStyle::NewPerRequest, FOptions.IdleLoadClients, port), cardNo);
  const long startKiB = ReadStatusField(host.Pid(), "VmRSS");
  const TLoadResult before = RunLoad(plan);
  PrintLoad("before", before,
            "   (" + std::to_string(FOptions.IdleLoadClients) + " clients, no idle connections)");
  std::this_thread::sleep_for(200ms);

  // Opened paced: a burst beyond the listen queue (backlog 15) would have SYNs dropped and
  // retried a second later. Each batch waits until the host has a thread for every connection.
  // The host's own threads, not Qt's pool threads, which come and go on their own.
  const long baseThreads = CountThreadsNamed(host.Pid(), "doorlock-host");
  std::vector<int> idle;
  double slowest = 0;
  bool stalled = false;
  const auto openStart = std::chrono::steady_clock::now();
  for (int i = 0; i < FOptions.IdleConnections; ++i) {
    double connectMs = 0;
    const int fd = ConnectLoopback(port, &connectMs);
    slowest = std::max(slowest, connectMs);
    if (fd < 0) {
      Problem("idle connection " + std::to_string(i) + " could not connect");
      break;
    }
    idle.push_back(fd);
    if ((i + 1) % 10 == 0 || i + 1 == FOptions.IdleConnections) {
      const auto deadline = std::chrono::steady_clock::now() + 3s;
      while (CountThreadsNamed(host.Pid(), "doorlock-host") < baseThreads + i + 1) {
        if (std::chrono::steady_clock::now() > deadline) {
          stalled = true;
          break;
        }
        std::this_thread::sleep_for(1ms);
      }
    }
  }
  const double openSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - openStart).count();
  std::this_thread::sleep_for(300ms);
  const long idleKiB = ReadStatusField(host.Pid(), "VmRSS");
  const long anonKiB = ReadStatusField(host.Pid(), "RssAnon");
  const long fileKiB = ReadStatusField(host.Pid(), "RssFile");
  const long threads = ReadStatusField(host.Pid(), "Threads");
  const long descriptors = CountOpenDescriptors(host.Pid());
  std::printf(
      "    opened    %zu in %.2f s (slowest connect %.1f ms); host: %ld threads, %ld "
      "descriptors, VmRSS %.1f MiB (anonymous %.1f, files %.1f; %.1f MiB before)\n",
      idle.size(), openSeconds, slowest, threads, descriptors, idleKiB / 1024.0, anonKiB / 1024.0,
      fileKiB / 1024.0, startKiB / 1024.0);
  if (stalled) {
    std::printf("    the host did not give every connection its thread within 3 s of a batch\n");
  }

  std::atomic<bool> sampling{true};
  std::atomic<long> peakKiB{idleKiB};
  std::thread sampler([&] {
    while (sampling) {
      const long kib = ReadStatusField(host.Pid(), "VmRSS");
      if (kib > peakKiB) peakKiB = kib;
      std::this_thread::sleep_for(50ms);
    }
  });
  const TLoadResult during = RunLoad(plan);
  sampling = false;
  sampler.join();
  PrintLoad("meanwhile", during,
            "   (" + std::to_string(FOptions.IdleLoadClients) + " clients on other connections)");

  // An idle connection that became readable was closed (or answered) by the host.
  std::size_t closed = 0;
  for (const int fd : idle) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) != 0) ++closed;
  }
  for (const int fd : idle) ::close(fd);
  std::printf(
      "    peak      VmRSS %.1f MiB with the idle connections open; %zu of them closed "
      "by the host\n",
      peakKiB / 1024.0, closed);
  if (stalled || closed != 0 || idle.size() != static_cast<std::size_t>(FOptions.IdleConnections)) {
    Problem("not every idle connection was served and kept");
  }
  StopHost(host);
  Record({"Idle: host VmRSS", peakKiB / 1024.0, " MiB", TFigure::AtMost, 64});
  Record({"Idle: p99 meanwhile", during.P99Ms, " ms", TFigure::Below, 10});
}

void TBench::PrintSummary() {
  std::printf("\nSummary over %d round(s): median (min..max), target\n", FOptions.Rounds);
  bool missed = false;
  for (const std::string& name : FOrder) {
    std::vector<TFigure>& figures = FFigures[name];
    std::vector<double> values;
    bool allMet = true;
    for (const TFigure& figure : figures) {
      values.push_back(figure.Value);
      allMet = allMet && figure.Met();
    }
    std::sort(values.begin(), values.end());
    const double median = values.size() % 2 == 1
                              ? values[values.size() / 2]
                              : (values[values.size() / 2 - 1] + values[values.size() / 2]) / 2;
    const TFigure& first = figures.front();
    const int decimals = first.Unit.empty() ? 2 : 1;
    const std::string target = first.BoundText() + Fixed(first.Target, decimals) + first.Unit;
    std::size_t met = 0, unsteady = 0;
    for (const TFigure& figure : figures) {
      met += figure.Met() ? 1 : 0;
      unsteady += figure.Unsteady ? 1 : 0;
    }
    const std::string verdict = allMet ? "met"
                                       : "MISSED in " + std::to_string(figures.size() - met) +
                                             " of " + std::to_string(figures.size());
    std::printf(
        "  %-42s %7s%s (%s..%s)  %-10s %s%s\n", name.c_str(), Fixed(median, decimals).c_str(),
        first.Unit.c_str(), Fixed(values.front(), decimals).c_str(),
        Fixed(values.back(), decimals).c_str(), target.c_str(), verdict.c_str(),
        unsteady == 0
            ? ""
            : ("; " + std::to_string(unsteady) + " round(s) on an unsteady machine").c_str());
    missed = missed || !allMet;
  }
  if (FFailed)
    std::printf("A run FAILED (see above): the figures of this benchmark do not count.\n");
  FMissed = missed;
}

int TBench::Run() {
  FSelfDir = SelfDirectory();
  const long limit = RaiseDescriptorLimit();
  fs::remove_all(FOptions.WorkDir);
  CopyFiles(FOptions.BinDir, FHostDir, {"doorlock-host", "libmbt2005.so", "mbt2005-sim"});
  std::printf("Door lock host benchmark: %s/doorlock-host, simulated encoder, logging %s\n",
              FOptions.BinDir.c_str(), FOptions.WriteLog ? "on" : "OFF (not the default)");
  std::printf(
      "work folder %s; %d round(s) of %.1f s per run (+0.5 s warm-up); benchmark's "
      "descriptor limit %ld\n",
      FOptions.WorkDir.c_str(), FOptions.Rounds, FOptions.Seconds, limit);
  std::fflush(stdout);

  for (int round = 1; round <= FOptions.Rounds; ++round) {
    std::printf("\nRound %d of %d\n", round, FOptions.Rounds);
    DeviceRun();
    if (Wanted("readcard-new")) {
      ReadCardPair(TConnectionStyle::NewPerRequest, "ReadCard, new connection, vs baseline", 0.5);
    }
    if (Wanted("readcard-kept")) {
      ReadCardPair(TConnectionStyle::Kept, "ReadCard, kept, vs baseline", 0.6);
    }
    if (Wanted("issuecard")) IssueCardRun();
    if (Wanted("idle")) IdleRun();
  }
  PrintSummary();
  if (!FOptions.KeepWork && !FFailed) fs::remove_all(FOptions.WorkDir);
  if (FFailed) return 1;
  return FMissed ? 2 : 0;
}

[[noreturn]] void Usage(const char* program) {
  std::fprintf(stderr,
               "usage: %s [--rounds N] [--seconds S] [--clients N] [--idle N] [--host-nofile N]\n"
               "          [--only readcard-new,readcard-kept,issuecard,idle] [--write-log 0|1]\n"
               "          [--bin DIR] [--work DIR] [--keep-work]\n",
               program);
  std::exit(64);
}

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  const std::string self = SelfDirectory();
  options.BinDir = fs::weakly_canonical(fs::path(self) / ".." / "bin").string();
  options.WorkDir = fs::weakly_canonical(fs::path(self) / ".." / "bench-run").string();
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage(argv[0]);
      return argv[++i];
    };
    if (arg == "--rounds") {
      options.Rounds = std::max(1, std::atoi(value().c_str()));
    } else if (arg == "--seconds") {
      options.Seconds = std::clamp(std::atof(value().c_str()), 0.5, 600.0);
    } else if (arg == "--clients") {
      options.Clients = std::clamp(std::atoi(value().c_str()), 1, 100);
    } else if (arg == "--idle") {
      options.IdleConnections = std::clamp(std::atoi(value().c_str()), 1, 10000);
    } else if (arg == "--host-nofile") {
      options.HostDescriptorLimit = std::atol(value().c_str());
    } else if (arg == "--only") {
      std::stringstream list(value());
      std::string name;
      while (std::getline(list, name, ',')) {
        if (std::find(kScenarios.begin(), kScenarios.end(), name) == kScenarios.end()) {
          Usage(argv[0]);
        }
        options.Only.insert(name);
      }
    } else if (arg == "--bin") {
      options.BinDir = value();
    } else if (arg == "--work") {
      options.WorkDir = value();
    } else if (arg == "--write-log") {
      options.WriteLog = value() != "0";
    } else if (arg == "--keep-work") {
      options.KeepWork = true;
    } else {
      Usage(argv[0]);
    }
  }
  ::signal(SIGPIPE, SIG_IGN);
  try {
    return TBench(options).Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "doorlock-bench: %s\n", e.what());
    return 1;
  }
}
