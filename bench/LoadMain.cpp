// doorlock-load: drives a running host (or any server of the same protocol) on a loopback port.
//
//   doorlock-load --port N [--clients N] [--seconds S | --requests N] [--style new|kept]
//                 [--request readcard|issuecard]
//
// ReadCard answers must say "200" with the same card number throughout; IssueCard answers
// must say the card was issued. IssueCard requests carry the keep-connection child: "1" with
// --style kept, "0" otherwise. Prints requests per second and latency percentiles; the exit
// status is 1 when any request got no answer or a wrong one.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "LoadGenerator.h"
#include "Requests.h"

namespace {

[[noreturn]] void Usage(const char* program) {
  std::fprintf(stderr,
               "usage: %s --port N [--clients N] [--seconds S | --requests N] [--style new|kept]"
               " [--request readcard|issuecard]\n",
               program);
  std::exit(64);
}

}  // namespace

int main(int argc, char** argv) {
  TLoadPlan plan;
  std::string request = "readcard";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) Usage(argv[0]);
    const std::string value = argv[++i];
    if (arg == "--port") {
      plan.Port = std::atoi(value.c_str());
    } else if (arg == "--clients") {
      plan.Clients = std::atoi(value.c_str());
    } else if (arg == "--seconds") {
      plan.Duration =
          std::chrono::milliseconds(static_cast<long long>(std::atof(value.c_str()) * 1000));
    } else if (arg == "--requests") {
      plan.Requests = std::atoll(value.c_str());
      plan.Duration = std::chrono::minutes(10);
    } else if (arg == "--style" && (value == "new" || value == "kept")) {
      plan.Style = value == "kept" ? TConnectionStyle::Kept : TConnectionStyle::NewPerRequest;
    } else if (arg == "--request" && (value == "readcard" || value == "issuecard")) {
      request = value;
    } else {
      Usage(argv[0]);
    }
  }
  if (plan.Port <= 0 || plan.Port > 65535 || plan.Clients < 1 || plan.Clients > 10000 ||
      plan.Duration.count() <= 0 || plan.Duration > std::chrono::minutes(10)) {
    Usage(argv[0]);
  }
  ::signal(SIGPIPE, SIG_IGN);
  RaiseDescriptorLimit();

  // The first ReadCard answer fixes the card number that every later one must carry.
  std::mutex lock;
  std::string firstAnswer;
  if (request == "readcard") {
    plan.Request = ReadCardRequest;
    plan.Check = [&](const std::string& answer, std::int64_t&, std::string& why) {
      std::lock_guard<std::mutex> guard(lock);
      if (firstAnswer.empty()) {
        if (answer.rfind("<DoorResponse><RequestID></RequestID><ResultCode>200</ResultCode>", 0) !=
            0) {
          why = "not a successful read";
          return false;
        }
        firstAnswer = answer;
      }
      if (answer == firstAnswer) return true;
      why = "a different answer than the first";
      return false;
    };
  } else {
    const std::string keep = plan.Style == TConnectionStyle::Kept ? "1" : "0";
    plan.Request = [keep](int client, std::int64_t sequence) {
      return IssueCardRequest(client, sequence, keep);
    };
    plan.Check = IsIssuedAnswer;
  }
  const TLoadResult result = RunLoad(plan);
  std::printf("%s, %s, %d clients: %s\n", request.c_str(), StyleName(plan.Style), plan.Clients,
              Summary(result).c_str());
  for (const std::string& sample : result.ErrorSamples)
    std::printf("  error: %s\n", sample.c_str());
  if (result.SlowConnects != 0) {
    std::printf("  %lld connects took 500 ms or more (longest %.0f ms)\n",
                static_cast<long long>(result.SlowConnects), result.MaxConnectMs);
  }
  return result.Failed() ? 1 : 0;
}
