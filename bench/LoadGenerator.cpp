#include "LoadGenerator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxErrorSamples = 5;
// A run that has gone this wrong says all it can; stopping keeps a dead host from making the
// clients spin through their whole duration.
constexpr std::int64_t kGiveUpAfterErrors = 1000;

double MsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

struct TClientResult {
  std::vector<double> LatenciesMs;
  std::vector<std::int64_t> CardNumbers;
  std::int64_t Answered = 0;
  std::int64_t Errors = 0;
  double MaxConnectMs = 0;
  std::int64_t SlowConnects = 0;
};

struct TShared {
  TShared(const TLoadPlan& plan, Clock::time_point begin) : Plan(plan), Begin(begin) {}

  const TLoadPlan& Plan;
  const Clock::time_point Begin;
  std::atomic<std::int64_t> Answered{0};
  // When the measured window opened, in nanoseconds since Begin; -1 during the warm-up.
  std::atomic<std::int64_t> WindowStartNs{-1};
  std::atomic<std::int64_t> Counted{0};
  std::atomic<std::int64_t> Errors{0};
  std::atomic<bool> Stop{false};
  std::atomic<std::int64_t> LimitReachedNs{0};  // when Requests were counted, since the window
  std::mutex SamplesLock;
  std::vector<std::string> Samples;

  std::int64_t SinceBegin(Clock::time_point when) const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(when - Begin).count();
  }
  // Opens the window once the warm-up is over; the window's start, or -1.
  std::int64_t Window(Clock::time_point now) {
    std::int64_t start = WindowStartNs;
    if (start >= 0) return start;
    const bool over = (now >= Begin + Plan.WarmUp && Answered >= Plan.WarmUpRequests) ||
                      now >= Begin + Plan.MaxWarmUp;
    if (!over) return -1;
    const std::int64_t candidate = SinceBegin(now);
    return WindowStartNs.compare_exchange_strong(start, candidate) ? candidate : start;
  }
  bool Over(Clock::time_point now) {
    const std::int64_t start = Window(now);
    const std::int64_t durationNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(Plan.Duration).count();
    return start >= 0 && SinceBegin(now) >= start + durationNs;
  }

  void Error(int client, const std::string& what) {
    if (++Errors >= kGiveUpAfterErrors) Stop = true;
    std::lock_guard<std::mutex> guard(SamplesLock);
    if (Samples.size() < kMaxErrorSamples) {
      Samples.push_back("client " + std::to_string(client) + ": " + what);
    }
  }
};

void RunClient(int client, TShared& shared, TClientResult& out) {
  const TLoadPlan& plan = shared.Plan;
  const bool kept = plan.Style == TConnectionStyle::Kept;
  const std::int64_t durationNs =
      std::chrono::duration_cast<std::chrono::nanoseconds>(plan.Duration).count();
  int fd = -1;
  std::string pending;
  const auto drop = [&] {
    if (fd >= 0) ::close(fd);
    fd = -1;
    pending.clear();
  };
  for (std::int64_t sequence = 0;; ++sequence) {
    const Clock::time_point start = Clock::now();
    if (shared.Stop || shared.Over(start)) break;
    if (plan.Requests != 0 && shared.Counted >= plan.Requests) break;
    const std::string request = plan.Request(client, sequence) + std::string(1, '\0');
    std::string why;
    if (fd < 0) {
      double connectMs = 0;
      fd = ConnectLoopback(plan.Port, &connectMs);
      out.MaxConnectMs = std::max(out.MaxConnectMs, connectMs);
      if (connectMs >= 500) ++out.SlowConnects;
      if (fd < 0) {
        ++out.Errors;
        shared.Error(client, std::string("connect: ") + std::strerror(errno));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        continue;
      }
    }
    std::string answer;
    if (!SendAll(fd, request)) {
      why = std::string("send: ") + std::strerror(errno);
    } else if (!ReadFrame(fd, pending, answer, plan.AnswerTimeout, why)) {
      // why is set
    } else if (!pending.empty()) {
      why = "bytes after the answer's NUL";
    }
    const Clock::time_point done = Clock::now();
    std::int64_t cardNo = 0;
    if (why.empty() && !plan.Check(answer, cardNo, why) && why.empty()) why = "wrong answer";
    if (!why.empty()) {
      ++out.Errors;
      shared.Error(client, why + (answer.empty() ? "" : " [" + answer.substr(0, 200) + "]"));
      drop();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    if (!kept) drop();
    ++out.Answered;
    ++shared.Answered;
    if (cardNo != 0) out.CardNumbers.push_back(cardNo);
    const std::int64_t window = shared.Window(done);
    const std::int64_t doneNs = shared.SinceBegin(done);
    if (window >= 0 && doneNs >= window && doneNs <= window + durationNs) {
      // Answers still in flight when the count is reached are checked but not counted.
      const std::int64_t counted = ++shared.Counted;
      if (plan.Requests == 0 || counted <= plan.Requests) {
        out.LatenciesMs.push_back(MsBetween(start, done));
      }
      if (plan.Requests != 0 && counted == plan.Requests) shared.LimitReachedNs = doneNs - window;
    }
  }
  drop();
}

double Percentile(const std::vector<double>& sorted, double fraction) {
  if (sorted.empty()) return 0;
  const std::size_t rank = static_cast<std::size_t>(fraction * static_cast<double>(sorted.size()));
  return sorted[std::min(rank, sorted.size() - 1)];
}

}  // namespace

const char* StyleName(TConnectionStyle style) {
  return style == TConnectionStyle::Kept ? "kept connections" : "new connection per request";
}

TLoadResult RunLoad(const TLoadPlan& plan) {
  const Clock::time_point begin = Clock::now();
  TShared shared(plan, begin);
  std::vector<TClientResult> results(static_cast<std::size_t>(plan.Clients));
  std::vector<std::thread> threads;
  threads.reserve(results.size());
  for (int i = 0; i < plan.Clients; ++i) {
    threads.emplace_back(RunClient, i, std::ref(shared), std::ref(results[i]));
  }
  for (std::thread& thread : threads) thread.join();

  TLoadResult total;
  std::vector<double> latencies;
  for (TClientResult& result : results) {
    latencies.insert(latencies.end(), result.LatenciesMs.begin(), result.LatenciesMs.end());
    total.CardNumbers.insert(total.CardNumbers.end(), result.CardNumbers.begin(),
                             result.CardNumbers.end());
    total.Answered += result.Answered;
    total.Errors += result.Errors;
    total.MaxConnectMs = std::max(total.MaxConnectMs, result.MaxConnectMs);
    total.SlowConnects += result.SlowConnects;
  }
  std::sort(latencies.begin(), latencies.end());
  total.Counted = static_cast<std::int64_t>(latencies.size());
  total.ErrorSamples = shared.Samples;
  total.WarmUpSeconds = std::max<std::int64_t>(0, shared.WindowStartNs) / 1e9;
  total.Seconds = std::chrono::duration<double>(plan.Duration).count();
  if (shared.LimitReachedNs != 0) total.Seconds = static_cast<double>(shared.LimitReachedNs) / 1e9;
  total.PerSecond = total.Seconds > 0 ? static_cast<double>(total.Counted) / total.Seconds : 0;
  total.P50Ms = Percentile(latencies, 0.50);
  total.P99Ms = Percentile(latencies, 0.99);
  total.MaxMs = latencies.empty() ? 0 : latencies.back();
  return total;
}

std::string Summary(const TLoadResult& result) {
  char text[256];
  std::snprintf(text, sizeof text,
                "%8.1f req/s  p50 %6.2f ms  p99 %7.2f ms  max %7.1f ms  (n=%lld, errors %lld)",
                result.PerSecond, result.P50Ms, result.P99Ms, result.MaxMs,
                static_cast<long long>(result.Counted), static_cast<long long>(result.Errors));
  return text;
}

int ConnectLoopback(int port, double* connectMs) {
  const Clock::time_point start = Clock::now();
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int rc;
  do {
    rc = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  } while (rc != 0 && errno == EINTR);
  if (connectMs != nullptr) *connectMs = MsBetween(start, Clock::now());
  if (rc != 0) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return -1;
  }
  return fd;
}

bool SendAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool ReadFrame(int fd, std::string& pending, std::string& answer, std::chrono::milliseconds timeout,
               std::string& why) {
  const Clock::time_point deadline = Clock::now() + timeout;
  for (;;) {
    const std::size_t nul = pending.find('\0');
    if (nul != std::string::npos) {
      answer.assign(pending, 0, nul);
      pending.erase(0, nul + 1);
      return true;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      why = "no answer within " + std::to_string(timeout.count()) + " ms";
      return false;
    }
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) {
      why = std::string("poll: ") + std::strerror(errno);
      return false;
    }
    if (ready == 0) continue;  // the deadline check above ends it
    char buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) {
      why = "connection closed before an answer";
      return false;
    }
    if (n < 0) {
      why = std::string("recv: ") + std::strerror(errno);
      return false;
    }
    pending.append(buffer, static_cast<std::size_t>(n));
  }
}

std::string ExchangeOnce(int port, const std::string& request, std::string& why) {
  const int fd = ConnectLoopback(port);
  if (fd < 0) {
    why = std::string("connect: ") + std::strerror(errno);
    return "";
  }
  std::string pending, answer;
  if (!SendAll(fd, request + std::string(1, '\0'))) {
    why = "send failed";
  } else {
    ReadFrame(fd, pending, answer, std::chrono::milliseconds(10000), why);
  }
  ::close(fd);
  return answer;
}

long RaiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
  if (limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    ::getrlimit(RLIMIT_NOFILE, &limit);
  }
  return static_cast<long>(limit.rlim_cur);
}
