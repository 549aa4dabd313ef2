// A load generator for the host's wire protocol: N client threads send NUL-framed requests to a
// loopback port and time each answer, either on a new connection per request (the default
// style) or on connections kept open for the whole run. Every request that gets no answer, a
// wrong answer or anything after its answer's NUL counts as an error; a run with errors is a
// failed run.
//
// Thread safety: RunLoad is called by one thread at a time; the request and check functions of a
// TLoadPlan are called from every client thread at once and must be safe for that.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum class TConnectionStyle { NewPerRequest, Kept };

const char* StyleName(TConnectionStyle style);

struct TLoadPlan {
  int Port = 0;
  int Clients = 16;
  TConnectionStyle Style = TConnectionStyle::NewPerRequest;
  // Requests finished before the warm-up is over are not counted (connections, caches and the
  // store's files settle). It lasts WarmUp and, beyond that, until WarmUpRequests right answers
  // are in (at most MaxWarmUp in all). Then the run is measured for Duration, or until Requests
  // counted requests are done when Requests is not 0, whichever comes first.
  std::chrono::milliseconds WarmUp{500};
  std::int64_t WarmUpRequests = 0;
  std::chrono::milliseconds MaxWarmUp{60000};
  std::chrono::milliseconds Duration{5000};
  std::int64_t Requests = 0;
  // No answer within this time is an error.
  std::chrono::milliseconds AnswerTimeout{10000};
  // The request text (without its NUL) for the `sequence`-th request of client `client`.
  std::function<std::string(int client, std::int64_t sequence)> Request;
  // Whether `answer` (without its NUL) is right; may fill `cardNo` with the card number it
  // carries (0 when none). Set `why` when it is wrong.
  std::function<bool(const std::string& answer, std::int64_t& cardNo, std::string& why)> Check;
};

struct TLoadResult {
  std::int64_t Counted = 0;   // right answers finished inside the measured window
  std::int64_t Answered = 0;  // right answers in all, warm-up and tail included
  std::int64_t Errors = 0;
  std::vector<std::string> ErrorSamples;   // the first few errors, for the report
  double WarmUpSeconds = 0;                // how long the warm-up lasted
  double Seconds = 0;                      // the measured window
  double PerSecond = 0;                    // Counted / Seconds
  double P50Ms = 0, P99Ms = 0, MaxMs = 0;  // over the counted requests
  // Longest time a connect took (new connections only); about 1000 ms or more means a SYN was
  // dropped because the listen queue was full, and retried.
  double MaxConnectMs = 0;
  std::int64_t SlowConnects = 0;  // connects that took 500 ms or more
  // Every card number that a right answer carried, warm-up included.
  std::vector<std::int64_t> CardNumbers;

  bool Failed() const { return Errors != 0 || Counted == 0; }
};

TLoadResult RunLoad(const TLoadPlan& plan);

// "1234.5 req/s  p50 0.41 ms  p99 1.90 ms  max 12.0 ms  (n=6172, errors 0)".
std::string Summary(const TLoadResult& result);

// A connected loopback TCP socket, or -1. Blocking; `connectMs` gets the time connect took.
int ConnectLoopback(int port, double* connectMs = nullptr);

// Sends all of `bytes`; false when the peer is gone.
bool SendAll(int fd, const std::string& bytes);

// Reads up to the next NUL into `answer` (without it), keeping bytes after it in `pending`.
// Returns false with `why` set on end of file, error or timeout.
bool ReadFrame(int fd, std::string& pending, std::string& answer, std::chrono::milliseconds timeout,
               std::string& why);

// Sends one request on a new connection and returns its answer, or an empty text with `why` set.
std::string ExchangeOnce(int port, const std::string& request, std::string& why);

// Raises this process's soft limit on open descriptors to its hard limit and returns the new
// soft limit.
long RaiseDescriptorLimit();
