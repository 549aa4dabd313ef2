// Faults the built host must live through without losing data or service, each on a copy of the
// host run as its own process with the simulated encoder: a kill in the middle of card issues,
// files and folders it may not write, a full disk under its log, an encoder library that is
// missing, fails every call or crashes the process, hostile peers, a thousand connections at once, and a stop while
// requests are in flight. Each test fails when the fault costs an answered request's record, an
// answer to a well-behaved client, or a clean end of the process.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <set>
#include <thread>
#include <vector>

#include "support/HostProcess.h"
#include "support/ReadOnly.h"
#include "support/StoreRows.h"
#include "support/TcpClient.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

const char* const kStoreOn =
    "[DoorlockOption]\r\nUseNativeDoorlockDb=1\r\nSaveDoorlockRecord=1\r\n";
const char* const kReadCard = "<R type=\"ReadCard\"/>";
const char* const kEraseCard = "<R type=\"EraseCard\"/>";

// Clients that issue cards on new connections, one request after another, each request with a
// RegisterId of its own, until the host stops answering. Every answer is kept by RegisterId.
class TIssueStream {
 public:
  TIssueStream(int port, int clients) {
    for (int c = 0; c < clients; ++c) {
      FClients.emplace_back([this, port, c] {
        for (int i = 0; !FStop; ++i) {
          const std::string id = "S" + std::to_string(c) + "-" + std::to_string(i);
          // Five rooms, new cards and copies mixed.
          const std::optional<std::string> answer =
              Exchange(port, IssueCardRequest(id, "010" + std::to_string(i % 5), i % 3 == 2));
          if (!answer) break;
          std::lock_guard<std::mutex> lock(FMutex);
          FAnswers[id] = *answer;
        }
      });
    }
  }
  ~TIssueStream() {
    FStop = true;
    Join();
  }

  // Waits until `count` requests were answered; false when that takes more than a minute.
  bool WaitAnswered(std::size_t count) {
    const auto deadline = steady_clock::now() + std::chrono::seconds(60);
    while (steady_clock::now() < deadline) {
      if (Answers().size() >= count) return true;
      std::this_thread::sleep_for(milliseconds(5));
    }
    return false;
  }
  // Waits for every client to end: they end when the host no longer answers.
  void Join() {
    for (std::thread& client : FClients) {
      if (client.joinable()) client.join();
    }
  }
  std::map<std::string, std::string> Answers() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FAnswers;
  }

 private:
  std::atomic<bool> FStop{false};
  mutable std::mutex FMutex;
  std::map<std::string, std::string> FAnswers;
  std::vector<std::thread> FClients;
};

// The database passes SQLite's own check, and every answered card issue has its row with the
// card number that its answer carried (0 for a refused card).
void ExpectEveryAnswerRecorded(const std::string& dbFile,
                               const std::map<std::string, std::string>& answers) {
  const std::vector<TRow> check = QueryRows(dbFile, "pragma integrity_check");
  ASSERT_EQ(check.size(), 1u);
  EXPECT_EQ(check[0].at("integrity_check"), "ok");
  std::map<std::string, std::string> rows;
  for (const TRow& row : QueryRows(dbFile, "select RegisterId, CardNo from T_IssueCardRecord")) {
    rows[row.at("RegisterId")] = row.at("CardNo");
  }
  std::size_t missing = 0;
  for (const auto& [id, answer] : answers) {
    const auto row = rows.find(id);
    if (row == rows.end()) {
      ++missing;
      ADD_FAILURE() << "no row for the answered request " << id << ": " << answer;
      continue;
    }
    EXPECT_EQ(row->second, std::to_string(AnswerCardNo(answer))) << id;
  }
  EXPECT_EQ(missing, 0u) << "of " << answers.size() << " answered requests";
}

// A well-behaved client is answered: a card read on a new connection gets the door lock answer
// (success or failure, by what lies on the encoder).
::testing::AssertionResult Served(int port, const std::string& request = kReadCard) {
  const std::optional<std::string> answer = Exchange(port, request);
  if (!answer) return ::testing::AssertionFailure() << "no answer";
  if (!std::regex_match(*answer,
                        std::regex("<DoorResponse><RequestID></RequestID><ResultCode>"
                                   "(200|500)</ResultCode><ResultMessage>读卡(成功|失败)"
                                   "</ResultMessage><CardNo>\\d+</CardNo></DoorResponse>"))) {
    return ::testing::AssertionFailure() << "unexpected answer " << *answer;
  }
  return ::testing::AssertionSuccess();
}

class HostFaultTest : public ::testing::Test {
 protected:
  THostProcess FHost{HOST_BIN_DIR};
};

TEST_F(HostFaultTest, KillDuringCardIssuesLosesNoAnsweredRecord) {
  FHost.WriteOptions(kStoreOn);
  FHost.Start();
  ASSERT_TRUE(FHost.WaitListening());
  std::map<std::string, std::string> answers;
  {
    TIssueStream stream(FHost.Port(), 4);
    ASSERT_TRUE(stream.WaitAnswered(200));
    FHost.Kill();
    stream.Join();
    answers = stream.Answers();
  }

  // The host comes back on the same folder and serves again.
  FHost.Start();
  ASSERT_TRUE(FHost.WaitListening());
  const std::optional<std::string> after =
      Exchange(FHost.Port(), IssueCardRequest("AFTER", "0201"));
  ASSERT_TRUE(after.has_value());
  EXPECT_EQ(AnswerResultCode(*after), "200") << *after;
  answers["AFTER"] = *after;
  EXPECT_EQ(FHost.StopWith(SIGTERM), 0);

  ExpectEveryAnswerRecorded(FHost.File("Client.db"), answers);
  // Every room that got a new card has its row.
  std::set<std::string> rooms;
  for (const TRow& row : QueryRows(FHost.File("Client.db"), "select RoomNo from T_Room")) {
    rooms.insert(row.at("RoomNo"));
  }
  EXPECT_TRUE(rooms.count("01020201"));
}

std::set<std::string> FileNames(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

std::size_t IssueRecords(const THostProcess& host) {
  return QueryRows(host.File("Client.db"), "select * from T_IssueCardRecord").size();
}

TEST_F(HostFaultTest, ReadOnlyFilesAndFolder) {
  if (!FileOverrideCanBeDropped()) {
    GTEST_SKIP() << "root here cannot give up its file-permission override (no CAP_SETPCAP), "
                    "so no file is read-only for the host";
  }
  // Each case: what is made read-only after a first run has left its log and a database with
  // one row, and what must hold after the host ran on it again, answering a read and a card
  // issue and ending on SIGTERM.
  struct TCase {
    const char* Name;
    std::function<void(THostProcess&)> Prepare;
    std::function<void(THostProcess&, const std::string& logBefore)> Check;
  };
  const std::vector<TCase> cases = {
      {"Option.ini", [](THostProcess& h) { MakeReadOnly(h.File("Option.ini")); },
       [](THostProcess& h, const std::string&) {
         // Read at start-up as before (the host listened on its port); nothing to report.
         EXPECT_NE(h.TodaysLog().find("房间(0301)发卡成功"), std::string::npos);
         EXPECT_EQ(IssueRecords(h), 2u);
       }},
      {"log file", [](THostProcess& h) { MakeReadOnly(h.TodaysLogName()); },
       [](THostProcess& h, const std::string& logBefore) {
         // Entries are dropped silently; the store still records.
         EXPECT_EQ(ReadFileBytes(h.TodaysLogName()), logBefore);
         EXPECT_EQ(IssueRecords(h), 2u);
       }},
      {"database", [](THostProcess& h) { MakeReadOnly(h.File("Client.db")); },
       [](THostProcess& h, const std::string&) {
         // Each store operation logs its failure; the row is lost, the card was issued.
         const std::string log = h.TodaysLog();
         EXPECT_NE(log.find("readonly database"), std::string::npos) << log;
         EXPECT_NE(log.find("房间(0301)发卡成功"), std::string::npos);
         EXPECT_EQ(IssueRecords(h), 1u);
       }},
      {"folder", [](THostProcess& h) { MakeReadOnly(h.Folder()); },
       [](THostProcess& h, const std::string&) {
         // The existing log takes entries; the store cannot keep its journal beside the file,
         // which it logs, and loses the row.
         const std::string log = h.TodaysLog();
         EXPECT_NE(log.find("readonly database"), std::string::npos) << log;
         EXPECT_NE(log.find("房间(0301)发卡成功"), std::string::npos);
         EXPECT_EQ(IssueRecords(h), 1u);
       }},
      {"folder without today's log",
       [](THostProcess& h) {
         fs::remove(h.TodaysLogName());
         MakeReadOnly(h.Folder());
       },
       [](THostProcess& h, const std::string&) {
         // Nothing can be logged at all, the store's failure included.
         EXPECT_FALSE(FileExists(h.TodaysLogName()));
         EXPECT_EQ(IssueRecords(h), 1u);
       }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    THostProcess host(HOST_BIN_DIR);
    host.WriteOptions(kStoreOn);
    // The encoder's state lives elsewhere, so that a read-only folder does not stop the
    // simulator; the host itself reads no environment.
    TempDir encoder;
    const THostStart how{
        true, std::nullopt, {"DOORLOCK_SIM_STATE=" + encoder.File("mbt2005-sim.state")}};
    host.Start(how);
    ASSERT_TRUE(host.WaitListening());
    ASSERT_EQ(AnswerResultCode(Exchange(host.Port(), IssueCardRequest("R-1", "0300")).value_or("")),
              "200");
    ASSERT_EQ(host.StopWith(SIGTERM), 0);
    c.Prepare(host);
    const std::string logBefore = ReadFileBytes(host.TodaysLogName());
    const std::set<std::string> namesBefore = FileNames(host.Folder());

    host.Start(how);
    ASSERT_TRUE(host.WaitListening());
    EXPECT_TRUE(Served(host.Port()));
    const std::optional<std::string> issued =
        Exchange(host.Port(), IssueCardRequest("R-2", "0301"));
    ASSERT_TRUE(issued.has_value());
    EXPECT_EQ(AnswerResultCode(*issued), "200") << *issued;
    EXPECT_EQ(host.StopWith(SIGTERM), 0);
    if (std::string(c.Name).rfind("folder", 0) == 0) {
      EXPECT_EQ(FileNames(host.Folder()), namesBefore) << "nothing is created in the folder";
    }
    c.Check(host, logBefore);
  }
}

// Whether every line of a log is a whole entry: a time-stamped line, or the request text that
// follows a "收到消息: " line. A torn entry shows as a line without a stamp, or with a stamp
// inside it.
::testing::AssertionResult WholeEntries(const std::string& log) {
  static const std::regex stamp(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} )");
  std::size_t start = 0;
  bool requestFollows = false;
  while (start < log.size()) {
    std::size_t end = log.find("\r\n", start);
    if (end == std::string::npos) {
      return ::testing::AssertionFailure() << "a last line without CR LF: " << log.substr(start);
    }
    const std::string line = log.substr(start, end - start);
    std::smatch match;
    const bool stamped = std::regex_search(line, match, stamp) && match.position(0) == 0;
    if (!stamped && !requestFollows) return ::testing::AssertionFailure() << "torn: " << line;
    if (std::regex_search(line.begin() + (stamped ? 20 : 0), line.end(), stamp)) {
      return ::testing::AssertionFailure() << "two entries on one line: " << line;
    }
    requestFollows = stamped && line.find("收到消息: ") != std::string::npos;
    start = end + 2;
  }
  return ::testing::AssertionSuccess();
}

// Fills the file system of `path` up to its last byte; returns false when it did not fill up.
bool FillDisk(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const std::string chunk(65536, 'x');
  bool full = false;
  for (std::size_t size = chunk.size(); size > 0;) {
    const ssize_t n = ::write(fd, chunk.data(), size);
    if (n < 0 && errno == ENOSPC) {
      full = size == 1;
      size /= 2;  // down to the last byte that fits
    } else if (n <= 0) {
      break;
    }
  }
  ::close(fd);
  return full;
}

TEST(HostFullDiskTest, ALogOnAFullDiskDropsWholeEntriesAndRequestsGoOn) {
  TempDir mountPoint;
  // Room for the host's files, its database and a little log.
  std::uintmax_t binaries = 0;
  for (const auto& entry : fs::directory_iterator(HOST_BIN_DIR)) {
    if (entry.is_regular_file()) binaries += entry.file_size();
  }
  const std::string size = "size=" + std::to_string(binaries + (4u << 20));
  if (::mount("tmpfs", mountPoint.Path().c_str(), "tmpfs", 0, size.c_str()) != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno)
                 << "): the full disk needs root with CAP_SYS_ADMIN";
  }
  struct TUnmount {
    std::string Path;
    ~TUnmount() { ::umount2(Path.c_str(), MNT_DETACH); }
  } unmount{mountPoint.Path()};

  TempDir encoder;
  THostProcess host(HOST_BIN_DIR, mountPoint.Path());
  host.WriteOptions();
  host.Start({false, std::nullopt, {"DOORLOCK_SIM_STATE=" + encoder.File("mbt2005-sim.state")}});
  ASSERT_TRUE(host.WaitListening());
  EXPECT_TRUE(Served(host.Port()));

  ASSERT_TRUE(FillDisk(host.File("filler")));
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(Served(host.Port())) << i;
    const std::optional<std::string> issued =
        Exchange(host.Port(), IssueCardRequest("FULL-" + std::to_string(i), "0401"));
    ASSERT_TRUE(issued.has_value());
    EXPECT_EQ(AnswerResultCode(*issued), "200") << *issued;
  }

  // With room again the log goes on.
  fs::remove(host.File("filler"));
  const std::string marker = "<R type=\"ReadCard\" after=\"room again\"/>";
  EXPECT_TRUE(Served(host.Port(), marker));
  EXPECT_EQ(host.StopWith(SIGTERM), 0);
  const std::string log = host.TodaysLog();
  EXPECT_NE(log.find("收到消息: \r\n" + marker + "\r\n"), std::string::npos) << log;
  EXPECT_TRUE(WholeEntries(log)) << log;
}

TEST_F(HostFaultTest, ALogThatTakesNoByteDoesNotStopRequests) {
  // Every write of an entry fails with "no space left on device".
  FHost.WriteOptions();
  fs::create_symlink("/dev/full", FHost.TodaysLogName());
  FHost.Start();
  ASSERT_TRUE(FHost.WaitListening());
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(Served(FHost.Port())) << i;
    EXPECT_EQ(AnswerResultCode(
                  Exchange(FHost.Port(), IssueCardRequest("R", "0501")).value_or("no answer")),
              "200");
  }
  EXPECT_EQ(FHost.StopWith(SIGTERM), 0);
}

// A fault inside the encoder's library ends the host; the entries logged before it, the last
// of them moments before the fault, are in the log all the same. Started again, it serves.
TEST_F(HostFaultTest, ACrashInsideTheEncoderLibraryKeepsTheLogUpToIt) {
  FHost.WriteOptions();
  // Under AddressSanitizer the fault is to end the host as it would without it.
  const char* sanitizer = std::getenv("ASAN_OPTIONS");
  FHost.Start({false, std::nullopt,
               {std::string("ASAN_OPTIONS=") + (sanitizer != nullptr ? sanitizer : "") +
                ":handle_segv=0"}});
  ASSERT_TRUE(FHost.WaitListening());
  ASSERT_TRUE(Served(FHost.Port()));
  ASSERT_TRUE(FHost.Simulator("crash ReadCard"));
  EXPECT_EQ(Exchange(FHost.Port(), "<R type=\"ReadCard\"><RequestID>crash-1</RequestID></R>"),
            std::nullopt);
  EXPECT_EQ(FHost.WaitEnded(), 128 + SIGSEGV);

  const std::string log = FHost.TodaysLog();
  const std::size_t received = log.find("<RequestID>crash-1</RequestID>");
  ASSERT_NE(received, std::string::npos) << log;
  EXPECT_NE(log.find("执行操作->", received), std::string::npos) << log;
  EXPECT_EQ(log.size() >= 2 ? log.substr(log.size() - 2) : log, "\r\n") << "whole lines only";

  FHost.Start();
  ASSERT_TRUE(FHost.WaitListening());
  EXPECT_TRUE(Served(FHost.Port())) << "the crash switch was used up";
  EXPECT_EQ(FHost.StopWith(SIGTERM), 0);
}

TEST_F(HostFaultTest, EncoderLibraryMissingOrFailingEveryCall) {
  struct TCase {
    const char* Name;
    std::function<void(THostProcess&)> Prepare;
    const char* LogLine;  // what the log says about the cause
  };
  const std::vector<TCase> cases = {
      {"missing", [](THostProcess& h) { fs::remove(h.File("libmbt2005.so")); }, "未能加载"},
      {"failing every call",
       [](THostProcess& h) {
         ASSERT_TRUE(h.Simulator("fail-always SetConfiguration EncodeCard ReadCard CancelCard"));
       },
       "模拟故障"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    THostProcess host(HOST_BIN_DIR);
    host.WriteOptions(kStoreOn);
    c.Prepare(host);
    host.Start();
    ASSERT_TRUE(host.WaitListening());
    // Every operation answers its failure, none is reported as done, and the attempt of the
    // card issue is recorded.
    for (int round = 0; round < 2; ++round) {
      const std::string issued =
          Exchange(host.Port(), IssueCardRequest("E-" + std::to_string(round), "0601"))
              .value_or("no answer");
      EXPECT_NE(issued.find("<ResultCode>500</ResultCode><ResultMessage>发卡失败</ResultMessage>"
                            "<CardNo>0</CardNo>"),
                std::string::npos)
          << issued;
      EXPECT_TRUE(Served(host.Port()));
      const std::string erased = Exchange(host.Port(), kEraseCard).value_or("no answer");
      EXPECT_NE(
          erased.find("<ResultCode>500</ResultCode><ResultMessage>注销卡失败 </ResultMessage>"),
          std::string::npos)
          << erased;
    }
    EXPECT_EQ(host.StopWith(SIGTERM), 0);
    EXPECT_NE(host.TodaysLog().find(c.LogLine), std::string::npos) << host.TodaysLog();
    ExpectEveryAnswerRecorded(host.File("Client.db"),
                              {{"E-0", "<CardNo>0</CardNo>"}, {"E-1", "<CardNo>0</CardNo>"}});
  }
}

class HostilePeerTest : public HostFaultTest {
 protected:
  void SetUp() override {
    FHost.WriteOptions();
    FHost.Start();
    ASSERT_TRUE(FHost.WaitListening());
  }
  void TearDown() override {
    if (HasFatalFailure()) return;
    EXPECT_TRUE(Served(FHost.Port())) << "after the peer";
    EXPECT_EQ(FHost.StopWith(SIGTERM), 0);
  }
  int Port() const { return FHost.Port(); }
};

TEST_F(HostilePeerTest, PeerThatSendsNothing) {
  std::vector<std::unique_ptr<TTcpClient>> silent;
  for (int i = 0; i < 20; ++i) silent.push_back(std::make_unique<TTcpClient>(Port()));
  EXPECT_TRUE(Served(Port()));
  // They are kept waiting, not closed, and end with the host.
  EXPECT_FALSE(silent[0]->WaitClosed(200));
  EXPECT_TRUE(Served(Port()));
  EXPECT_EQ(FHost.StopWith(SIGTERM), 0);
  for (auto& peer : silent) EXPECT_TRUE(peer->WaitClosed(1000));
  FHost.Start();
  ASSERT_TRUE(FHost.WaitListening());
}

TEST_F(HostilePeerTest, PeerThatSendsOneByteASecond) {
  // Bounded: the first bytes of a read, one a second, while others are answered; then the rest.
  const std::string request = std::string(kReadCard) + '\0';
  TTcpClient slow(Port());
  const std::size_t slowBytes = 3;
  for (std::size_t i = 0; i < slowBytes; ++i) {
    slow.Send(request.substr(i, 1));
    EXPECT_TRUE(Served(Port())) << "after byte " << i;
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  slow.Send(request.substr(slowBytes));
  const std::optional<std::string> answer = slow.ReadResponse();
  ASSERT_TRUE(answer.has_value());
  EXPECT_NE(answer->find("读卡失败"), std::string::npos);
}

TEST_F(HostilePeerTest, PeerThatSendsTooLongARequest) {
  TTcpClient peer(Port());
  peer.Send(std::string(16385, 'a') + '\0');
  EXPECT_FALSE(peer.ReadResponse(2000).has_value());
  EXPECT_TRUE(peer.WaitClosed());
  EXPECT_EQ(FHost.TodaysLog().find(std::string(100, 'a')), std::string::npos)
      << "nothing of it reached a handler";
}

TEST_F(HostilePeerTest, PeersThatDisconnectMidRequest) {
  for (bool reset : {false, true}) {
    for (int i = 0; i < 10; ++i) {
      TTcpClient peer(Port());
      peer.Send("<R type=\"Read");
      if (reset) {
        peer.Abort();
      } else {
        peer.Close();
      }
    }
    EXPECT_TRUE(Served(Port())) << (reset ? "reset" : "closed");
  }
  EXPECT_EQ(FHost.TodaysLog().find("<R type=\"Read\r\n"), std::string::npos)
      << "nothing of them was handled";
}

TEST_F(HostilePeerTest, PeersThatDisconnectMidResponse) {
  // Each sends a request and resets the connection at once, so that the answer meets a closed
  // or resetting connection while it is written.
  for (int i = 0; i < 30; ++i) {
    TTcpClient peer(Port());
    peer.SendRequest(i % 2 ? std::string(kReadCard)
                           : IssueCardRequest("GONE-" + std::to_string(i), "0701"));
    peer.Abort();
  }
  EXPECT_TRUE(Served(Port()));
}

TEST_F(HostilePeerTest, PeerThatNeverReadsItsAnswers) {
  // A kept connection fed requests whose answers are never read: the host's writes on it block
  // once the socket's buffers are full, and the rest of the host must not notice.
  std::string kept = IssueCardRequest("KEEP", "0801");
  kept.insert(kept.rfind("</DoorRequest>"), "<KeepConnection>1</KeepConnection>");
  TTcpClient keeper(Port());
  keeper.SendRequest(kept);
  ASSERT_TRUE(keeper.ReadResponse().has_value());
  std::string burst;
  for (int i = 0; i < 20000; ++i) burst += std::string(kReadCard) + '\0';
  std::thread flood([&] { keeper.Send(burst); });
  std::this_thread::sleep_for(milliseconds(500));
  EXPECT_TRUE(Served(Port()));
  EXPECT_TRUE(Served(Port()));
  // The stop is not held up by the blocked write either.
  const auto stopped = steady_clock::now();
  EXPECT_EQ(FHost.StopWith(SIGTERM), 0);
  EXPECT_LT(steady_clock::now() - stopped, std::chrono::seconds(10));
  flood.join();  // the host's end fails the blocked send
  keeper.Abort();
  FHost.Start();
  ASSERT_TRUE(FHost.WaitListening());
}

// A plain loopback connection whose connect gives up after a few seconds instead of waiting for
// the system's retries, so that a host that no longer accepts fails the test quickly.
class TQuickClient {
 public:
  explicit TQuickClient(int port) {
    FFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(FFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS) {
      Close();
      return;
    }
    pollfd p{FFd, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    if (::poll(&p, 1, 5000) != 1 || ::getsockopt(FFd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 ||
        error != 0) {
      Close();
    }
  }
  ~TQuickClient() { Close(); }
  TQuickClient(const TQuickClient&) = delete;
  TQuickClient& operator=(const TQuickClient&) = delete;

  bool Connected() const { return FFd >= 0; }
  bool Send(const std::string& bytes) {
    return FFd >= 0 && ::send(FFd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
                           static_cast<ssize_t>(bytes.size());
  }
  // True when a whole answer (up to its NUL) arrives within five seconds.
  bool Answered() {
    std::string got;
    const auto deadline = steady_clock::now() + std::chrono::seconds(5);
    while (FFd >= 0 && got.find('\0') == std::string::npos) {
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - steady_clock::now());
      pollfd p{FFd, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) != 1) return false;
      char buffer[512];
      const ssize_t n = ::recv(FFd, buffer, sizeof buffer, 0);
      if (n <= 0) return false;
      got.append(buffer, static_cast<std::size_t>(n));
    }
    return FFd >= 0;
  }
  void Close() {
    if (FFd >= 0) ::close(FFd);
    FFd = -1;
  }

 private:
  int FFd = -1;
};

TEST_F(HostFaultTest, AThousandConnectionsAtOnceAreAllServed) {
  constexpr int kPeers = 1000;
  // The host starts with a soft limit on descriptors below what a thousand connections and its
  // own files need (the usual 1024 leaves it a handful to spare), and a hard limit above: it
  // has to raise the soft limit itself. This test process needs as many descriptors for its side.
  rlimit own{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &own), 0);
  constexpr rlim_t kNeeded = 1024;
  if (own.rlim_max != RLIM_INFINITY && own.rlim_max < kNeeded) {
    GTEST_SKIP() << "the hard limit on open files is " << own.rlim_max
                 << ": too low for a thousand connections";
  }
  if (own.rlim_cur != RLIM_INFINITY && own.rlim_cur < own.rlim_max) {
    own.rlim_cur = own.rlim_max;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &own), 0);
  }
  FHost.WriteOptions(kStoreOn);
  FHost.Start({false, 512, {}});
  ASSERT_TRUE(FHost.WaitListening());

  // Paced a little, so that the listen backlog of 15 rarely overflows (an overflow costs a
  // second: the client's retry of its SYN); a host that stops accepting ends the loop.
  std::vector<std::unique_ptr<TQuickClient>> peers;
  while (peers.size() < kPeers) {
    peers.push_back(std::make_unique<TQuickClient>(FHost.Port()));
    if (!peers.back()->Connected()) break;
    std::this_thread::sleep_for(milliseconds(1));
  }
  ASSERT_TRUE(peers.back()->Connected()) << "connection " << peers.size() << " failed";
  // One more client is answered while they are all open, and then each of them.
  TQuickClient other(FHost.Port());
  EXPECT_TRUE(other.Send(IssueCardRequest("OTHER", "0901") + '\0') && other.Answered());
  int answered = 0;
  for (auto& peer : peers) peer->Send(std::string(kReadCard) + '\0');
  for (auto& peer : peers) answered += peer->Answered();
  EXPECT_EQ(answered, kPeers);
  peers.clear();
  EXPECT_TRUE(Served(FHost.Port()));
  EXPECT_EQ(FHost.StopWith(SIGTERM), 0);
}

TEST_F(HostFaultTest, StopWhileRequestsAreInFlight) {
  FHost.WriteOptions(kStoreOn);
  FHost.Start();
  ASSERT_TRUE(FHost.WaitListening());
  std::map<std::string, std::string> answers;
  {
    TIssueStream stream(FHost.Port(), 6);
    // Waiting connections and one half-sent request are open too.
    TTcpClient idle(FHost.Port());
    TTcpClient half(FHost.Port());
    half.Send("<R type=\"Issue");
    ASSERT_TRUE(stream.WaitAnswered(30));
    const auto stopped = steady_clock::now();
    // The listener waits at most 5000 ms for its connections; the rest of the exit is quick.
    EXPECT_EQ(FHost.StopWith(SIGTERM, 30000), 0);
    EXPECT_LT(steady_clock::now() - stopped, milliseconds(5000 + 5000));
    stream.Join();
    answers = stream.Answers();
    EXPECT_TRUE(idle.WaitClosed(1000));
    EXPECT_TRUE(half.WaitClosed(1000));
  }
  ExpectEveryAnswerRecorded(FHost.File("Client.db"), answers);
}

}  // namespace
