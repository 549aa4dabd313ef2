// libFuzzer target over the whole request path of one interface kind: the input is the byte
// stream a peer sends on one connection. It goes through the listener's per-connection procedure
// (framing, UTF-8 decoding, the kind's handler with its XML reading, dispatch and response
// building, the log and, for the door lock kind, the real record store in a temporary folder)
// exactly as an accepted connection does, over one end of a socketpair. The devices are fakes
// whose answers follow a hash of the input, so that both outcomes of every operation are reached.
//
// Besides the sanitizers' findings, an input fails when the host
//  - lets an exception other than the request path's own failures (a failed read, a request that
//    cannot be handled, a value that does not convert) out of the procedure;
//  - answers more requests than the peer ended with a NUL, or sends a frame without its NUL;
//  - sends a frame that is not well-formed UTF-8, or not one XML document of the kind's shape;
//  - answers a door lock card issue while the store is on and its row is not in the database.
//
// The kind is fixed at build time by DOORLOCK_FUZZ_KIND (1 door lock, 2 police registration,
// 3 member card, 4 hand tag); fuzz/CMakeLists.txt builds one target per kind.
#include <signal.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "config/LogFileUnit.h"
#include "doorlock/BaseDoorlockUnit.h"
#include "doorlock/DoorlockMessageHandlerUnit.h"
#include "host/RequestListenerUnit.h"
#include "host/StartupUnit.h"
#include "kinds/BaseHandUnit.h"
#include "kinds/BaseMemberUnit.h"
#include "kinds/BasePoliceUnit.h"
#include "platform/DateTime.h"
#include "platform/TcpServer.h"
#include "platform/Utf8.h"
#include "store/DoorlockRecordManagerUnit.h"

#ifndef DOORLOCK_FUZZ_KIND
#error "DOORLOCK_FUZZ_KIND must name the interface kind (1 to 4)"
#endif

namespace {

constexpr int kKind = DOORLOCK_FUZZ_KIND;
// After this many inputs the store's tables are emptied, so that a long run does not fill the
// temporary folder.
constexpr unsigned kInputsPerStore = 20000;

[[noreturn]] void Finding(const char* what, const std::string& detail = "") {
  std::fprintf(stderr, "\n*** request fuzz finding: %s\n%s\n", what, detail.c_str());
  std::abort();
}

// The device answers of one input: a stream of bits from a hash of the input bytes.
struct TScript {
  std::uint64_t Bits = 0;
  unsigned Used = 0;

  void Reset(const std::uint8_t* data, std::size_t size) {
    std::uint64_t h = 1469598103934665603ull;  // FNV-1a
    for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
    Bits = h;
    Used = 0;
  }
  unsigned Take(unsigned count) {
    const unsigned value = static_cast<unsigned>((Bits >> (Used % 61)) & ((1u << count) - 1));
    Used += count;
    return value;
  }
  bool Ok() { return Take(1) != 0; }
};
TScript Script;

// Texts a device may hand back: empty, plain, every character XML gives a meaning, non-ASCII,
// characters outside the Basic Multilingual Plane, line breaks and a CDATA end.
const std::vector<std::string> kDeviceTexts = {
    "", "M-0001", "<&>\"'", "李四", "]]>", "a\r\nb\tc", "\xF0\x9F\x98\x80", "0",
};
const std::string& DeviceText() {
  return kDeviceTexts[Script.Take(3) % kDeviceTexts.size()];
}

const std::int64_t kCardNos[] = {1001,
                                 0,
                                 -1,
                                 2147483648LL,
                                 std::numeric_limits<std::int64_t>::max(),
                                 std::numeric_limits<std::int64_t>::min(),
                                 1702345678901LL,
                                 42};

class TFuzzDoorlock : public TBaseDoorlock {
 public:
  bool OpenPort() override { return true; }
  bool ClosePort() override { return true; }
  bool WriteCard(std::string, std::string, std::string, std::string, std::string, TDateTime,
                 TDateTime, TDateTime, TDateTime, bool, std::int64_t& CardNo) override {
    return Answer(CardNo);
  }
  bool ReadCard(std::int64_t& CardNo) override { return Answer(CardNo); }
  bool EraseCard() override { return Script.Ok(); }

 private:
  static bool Answer(std::int64_t& CardNo) {
    const std::int64_t value = kCardNos[Script.Take(3)];
    if (!Script.Ok()) return false;
    CardNo = value;
    return true;
  }
};

class TFuzzMember : public TBaseMember {
 public:
  bool WriteMemberCard(std::string, std::string, std::string, std::string, std::int32_t) override {
    return Script.Ok();
  }
  bool ReadMemberCard(bool, std::string& CardNo, std::string& Password, std::string& ExpireDate,
                      std::string& GuestName, std::string& Score, std::int32_t) override {
    CardNo = DeviceText();
    Password = DeviceText();
    ExpireDate = DeviceText();
    GuestName = DeviceText();
    Score = DeviceText();
    return Script.Ok();
  }
  bool PrintMemberCard(std::string, std::string) override { return Script.Ok(); }
};

class TFuzzHand : public TBaseHand {
 public:
  bool IssueHand(std::string& HandNo) override { return Answer(HandNo); }
  bool ReadHand(std::string& HandNo) override { return Answer(HandNo); }
  bool EraseHand(std::string& HandNo) override { return Answer(HandNo); }

 private:
  static bool Answer(std::string& HandNo) {
    HandNo = DeviceText();
    return Script.Ok();
  }
};

class TFuzzPolice : public TBasePolice {
 public:
  const TPoliceGuest* GetGuest() override {
    if (!Script.Ok()) return nullptr;
    static const char* const kGenders[] = {"1", "0", "2147483647", "-2147483648", "x", ""};
    FGuest = TPoliceGuest{DeviceText(),
                          "2026-12-11 14:00:00",
                          DeviceText(),
                          "110101199001011234",
                          DeviceText(),
                          "中国",
                          kGenders[Script.Take(3) % 6],
                          DeviceText(),
                          "156",
                          "11",
                          DeviceText(),
                          "1990-01-01"};
    return &FGuest;
  }

 private:
  TPoliceGuest FGuest;
};

TFuzzDoorlock FuzzDoorlock;
TFuzzMember FuzzMember;
TFuzzHand FuzzHand;
TFuzzPolice FuzzPolice;

std::string Folder;  // the host's directory for this run, with its trailing separator
sqlite3* StoreView = nullptr;
unsigned Inputs = 0;
// DOORLOCK_FUZZ_TRACE=1 prints every answer, for looking into a reproducer.
bool Trace = false;

long long IssueRecordCount() {
  sqlite3_stmt* statement = nullptr;
  long long count = -1;
  if (sqlite3_prepare_v2(StoreView, "select count(*) from T_IssueCardRecord", -1, &statement,
                         nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW) {
    count = sqlite3_column_int64(statement, 0);
  }
  sqlite3_finalize(statement);
  if (count < 0) Finding("the record store cannot be read", sqlite3_errmsg(StoreView));
  return count;
}

void RemoveFolder() {
  if (StoreView != nullptr) sqlite3_close(StoreView);
  StoreView = nullptr;
  FinalizeUnits();
  std::error_code ignored;
  if (!Folder.empty()) std::filesystem::remove_all(Folder, ignored);
}

// Every byte the host has written so far, without waiting.
void Drain(int fd, std::string& out) {
  char chunk[4096];
  for (;;) {
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n > 0) {
      out.append(chunk, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return;
  }
}

bool HasElement(const pugi::xml_node& node) {
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_element) return true;
  }
  return false;
}

// The shape of one answer of the kind; returns true for a card issue answer of the door lock.
bool CheckFrame(const std::string& frame) {
  if (!IsWellFormedUtf8(frame)) Finding("an answer is not well-formed UTF-8", frame);
  pugi::xml_document document;
  if (!document.load_buffer(frame.data(), frame.size(), pugi::parse_default, pugi::encoding_utf8)) {
    Finding("an answer is not XML", frame);
  }
  const pugi::xml_node root = document.document_element();
  for (pugi::xml_node next = root.next_sibling(); next; next = next.next_sibling()) {
    if (next.type() == pugi::node_element) Finding("an answer has two root elements", frame);
  }
  std::vector<std::string> children;
  for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_element) children.push_back(child.name());
    if (kKind != 2 && HasElement(child)) Finding("an answer's value holds an element", frame);
  }
  std::vector<std::string> expected;
  switch (kKind) {
    case 1:
      expected = {"RequestID", "ResultCode", "ResultMessage", "CardNo"};
      break;
    case 2:
      if (root.first_child()) expected = {"Guest"};
      break;
    case 3:
      expected = {"RequestID",  "ResultCode", "ResultMessage", "CardNo",
                  "ExpireDate", "GuestName",  "Score",         "Password"};
      break;
    case 4:
      expected = {"RequestID", "ResultCode", "ResultMessage", "HandNo"};
      break;
  }
  const char* rootName = kKind == 2 ? "PoliceResponse" : "DoorResponse";
  if (rootName != std::string(root.name()) || children != expected) {
    Finding("an answer does not have the kind's elements", frame);
  }
  if (kKind == 2 && root.first_child()) {
    int fields = 0;
    for (pugi::xml_node f = root.first_child().first_child(); f; f = f.next_sibling()) {
      if (HasElement(f)) Finding("a guest field holds an element", frame);
      ++fields;
    }
    if (fields != 12) Finding("the guest does not have its twelve fields", frame);
  }
  if (kKind != 2) {
    const std::string code = root.child("ResultCode").text().get();
    if (code != "200" && code != "500") Finding("an answer's result code is neither", frame);
  }
  if (kKind == 1) {
    // The door lock answer is built without escaping: its values must be exactly these.
    const std::string cardNo = root.child("CardNo").text().get();
    if (cardNo != std::to_string(root.child("CardNo").text().as_llong()) ||
        !std::string(root.child("RequestID").text().get()).empty()) {
      Finding("a door lock answer carries an unexpected value", frame);
    }
    const std::string message = root.child("ResultMessage").text().get();
    return message == "发卡成功" || message == "发卡失败";
  }
  return false;
}

// Folders of earlier runs that ended by a finding or a signal, which skip the clean-up at exit:
// each is named after its process, and those whose process is gone are removed.
void RemoveFoldersOfEndedRuns(const std::string& base) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(base, ec)) {
    const std::string name = entry.path().filename().string();
    int pid = 0;
    if (std::sscanf(name.c_str(), "doorlock-fuzz-%d-", &pid) != 1 || pid <= 0) continue;
    if (::kill(pid, 0) != 0 && errno == ESRCH) std::filesystem::remove_all(entry.path(), ec);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // On a memory file system when there is one: the store syncs every commit.
  const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : nullptr;
  if (base == nullptr) base = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp";
  RemoveFoldersOfEndedRuns(base);
  std::string pattern =
      std::string(base) + "/doorlock-fuzz-" + std::to_string(::getpid()) + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) Finding("no temporary folder", std::strerror(errno));
  Folder = pattern + "/";
  // The store on, with both uses, so that every card issue reaches it; both delays set, so that
  // the window is widened.
  std::ofstream(Folder + "Option.ini")
      << "[SysOption]\r\nWriteLog=1\r\n"
         "[DoorlockOption]\r\nUseNativeDoorlockDb=1\r\nSaveDoorlockRecord=1\r\n"
         "DelayMinutes=30\r\nDelayMinutes2=15\r\n";
  InitializeUnits(Folder);
  if (!DoorlockRecordManager->Connected()) Finding("the record store does not open");
  if (sqlite3_open_v2((Folder + "Client.db").c_str(), &StoreView, SQLITE_OPEN_READWRITE, nullptr) !=
      SQLITE_OK) {
    Finding("the record store cannot be viewed");
  }
  sqlite3_busy_timeout(StoreView, 5000);
  InterfaceKind = kKind;
  SetDoorlock(&FuzzDoorlock);
  MemberDevice = &FuzzMember;
  HandDevice = &FuzzHand;
  PoliceDevice = &FuzzPolice;
  Trace = std::getenv("DOORLOCK_FUZZ_TRACE") != nullptr;
  std::atexit(RemoveFolder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  KeepConnection = false;
  Script.Reset(data, size);
  if (Trace) std::fprintf(stderr, "input of %zu bytes\n", size);
  if (++Inputs % kInputsPerStore == 0) {
    sqlite3_exec(StoreView, "delete from T_IssueCardRecord; delete from T_Room", nullptr, nullptr,
                 nullptr);
  }
  const long long recordsBefore = kKind == 1 ? IssueRecordCount() : 0;

  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
    Finding("no socketpair", std::strerror(errno));
  }
  // The peer's bytes are all sent, then its side is shut for writing: the host reads them and
  // then meets the end of the stream, as with a peer that sent them and closed.
  std::size_t sent = 0;
  while (sent < size) {
    const ssize_t n = ::send(fds[1], data + sent, size - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n <= 0) break;  // more than the socket buffers: the rest is as if never sent
    sent += static_cast<std::size_t>(n);
  }
  ::shutdown(fds[1], SHUT_WR);

  std::string out;
  {
    const std::unique_ptr<TTcpConnection> connection = TTcpConnection::Adopt(fds[0]);
    // As the server runs a connection: the procedure again and again while the connection stays
    // open; whatever it throws ends the connection.
    while (connection->Connected()) {
      try {
        ServeConnection(kKind, *connection, nullptr);
      } catch (const ETcpError&) {
        break;
      } catch (const ERequestError&) {
        break;
      } catch (const EConvertError&) {
        break;
      }
      Drain(fds[1], out);
    }
  }
  Drain(fds[1], out);
  ::close(fds[1]);

  std::size_t requests = 0;
  for (std::size_t i = 0; i < sent; ++i) requests += data[i] == 0;
  std::size_t frames = 0, issues = 0, start = 0;
  while (start < out.size()) {
    const std::size_t nul = out.find('\0', start);
    if (nul == std::string::npos) Finding("an answer without its NUL", out.substr(start));
    if (Trace) std::fprintf(stderr, "answer: %s\n", out.substr(start, nul - start).c_str());
    issues += CheckFrame(out.substr(start, nul - start));
    ++frames;
    start = nul + 1;
  }
  if (frames > requests) Finding("more answers than requests", out);
  if (kKind == 1 && IssueRecordCount() - recordsBefore < static_cast<long long>(issues)) {
    Finding("an answered card issue has no row in the store", out);
  }
  // The log is not read back; it only has to be written without a fault. Emptied each time, so
  // that it does not grow for the length of the run.
  if (LogFile != nullptr && ::truncate(LogFile->FileName.c_str(), 0) != 0 && errno != ENOENT) {
    Finding("the log cannot be emptied", std::strerror(errno));
  }
  return 0;
}
