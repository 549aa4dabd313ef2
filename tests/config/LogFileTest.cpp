#include "config/LogFileUnit.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "config/SysOptionUnit.h"
#include "platform/DateTime.h"
#include "support/ReadOnly.h"
#include "support/TempDir.h"

namespace {

class LogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FOptions = std::make_unique<TSysOption>(FDir.File("Option.ini"));
    FSaved = SysOption;
    SysOption = FOptions.get();
  }
  void TearDown() override { SysOption = FSaved; }

  // The file's lines, each without its CR LF; fails the test on a line not ended by CR LF.
  std::vector<std::string> Lines(const std::string& path) {
    const std::string bytes = ReadFileBytes(path);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
      const size_t end = bytes.find("\r\n", start);
      if (end == std::string::npos) {
        ADD_FAILURE() << "line without CR LF: " << bytes.substr(start);
        break;
      }
      lines.push_back(bytes.substr(start, end - start));
      start = end + 2;
    }
    return lines;
  }

  TempDir FDir;
  std::unique_ptr<TSysOption> FOptions;
  TSysOption* FSaved = nullptr;
};

const std::regex kStamp(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} )");

TEST_F(LogFileTest, EntriesAreTimeStampedLinesEndedByCrLf) {
  TLogFile log(FDir.File("20240105.LOG"));
  EXPECT_FALSE(FileExists(log.FileName)) << "construction touches no file";

  const TDateTime before = Now();
  log.AddLog("abc");
  log.AddLog("");
  log.AddLog("收到消息: \r\n<R type=\"ReadCard\"/>");
  const std::vector<std::string> lines = Lines(log.FileName);
  ASSERT_EQ(lines.size(), 4u);

  ASSERT_TRUE(std::regex_search(lines[0], kStamp)) << lines[0];
  EXPECT_EQ(lines[0].substr(20), "abc");
  const TDateTime stamped = StrToDateTime(lines[0].substr(0, 19));
  EXPECT_NEAR(stamped, before, 2.0 / 86400);

  EXPECT_EQ(lines[1].size(), 20u) << "an empty text leaves the stamp and its blank";
  EXPECT_TRUE(std::regex_search(lines[1], kStamp));
  // Only the first line of a multi-line text carries the stamp.
  EXPECT_EQ(lines[2].substr(20), "收到消息: ");
  EXPECT_EQ(lines[3], "<R type=\"ReadCard\"/>");
}

TEST_F(LogFileTest, AppendsToAnExistingFileWithoutAByteOrderMark) {
  WriteFileBytes(FDir.File("day.LOG"), "earlier\r\n");
  TLogFile log(FDir.File("day.LOG"));
  log.AddLog("later");
  const std::string bytes = ReadFileBytes(log.FileName);
  EXPECT_EQ(bytes.rfind("earlier\r\n", 0), 0u);
  EXPECT_EQ(bytes.substr(bytes.size() - 7), "later\r\n");
}

TEST_F(LogFileTest, WriteLogOffCreatesAndWritesNothing) {
  FOptions->WriteLog = false;
  TLogFile log(FDir.File("off.LOG"));
  log.AddLog("nothing");
  EXPECT_FALSE(FileExists(log.FileName));
}

TEST_F(LogFileTest, InputOutputFailuresAreAbsorbed) {
  TNoFileOverride asAUser;
  // A read-only log file, and a log in a folder that cannot be written.
  WriteFileBytes(FDir.File("ro.LOG"), "kept\r\n");
  MakeReadOnly(FDir.File("ro.LOG"));
  TLogFile readOnly(FDir.File("ro.LOG"));
  EXPECT_NO_THROW(readOnly.AddLog("dropped"));
  EXPECT_EQ(ReadFileBytes(readOnly.FileName), "kept\r\n");

  TLogFile missingFolder(FDir.File("no/such/folder/x.LOG"));
  EXPECT_NO_THROW(missingFolder.AddLog("dropped"));
}

TEST_F(LogFileTest, AnEntryThatDoesNotFitIsDroppedWhole) {
  // A file size limit stands in for a disk that fills up in the middle of an entry: the write
  // stops at the limit and the rest fails (with SIGXFSZ, ignored here, as the disk's ENOSPC).
  TLogFile log(FDir.File("full.LOG"));
  log.AddLog("first");
  const std::string before = ReadFileBytes(log.FileName);
  struct sigaction ignore = {}, savedAction = {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &savedAction), 0);
  rlimit savedLimit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &savedLimit), 0);
  rlimit limit = savedLimit;
  limit.rlim_cur = before.size() + 10;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  log.AddLog("an entry far longer than the ten bytes that still fit");
  const std::string whileFull = ReadFileBytes(log.FileName);
  setrlimit(RLIMIT_FSIZE, &savedLimit);
  sigaction(SIGXFSZ, &savedAction, nullptr);

  EXPECT_EQ(whileFull, before) << "no part of the entry stays";
  log.AddLog("after");
  const std::vector<std::string> lines = Lines(log.FileName);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].substr(20), "after");
}

TEST_F(LogFileTest, AFileDeletedOrMovedAsideMeanwhileIsCreatedAfresh) {
  TLogFile log(FDir.File("day.LOG"));
  log.AddLog("one");
  ASSERT_EQ(std::remove(log.FileName.c_str()), 0);
  log.AddLog("two");
  ASSERT_EQ(std::rename(log.FileName.c_str(), FDir.File("aside.LOG").c_str()), 0);
  log.AddLog("three");

  const std::vector<std::string> aside = Lines(FDir.File("aside.LOG"));
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(aside[0].substr(20), "two");
  const std::vector<std::string> current = Lines(log.FileName);
  ASSERT_EQ(current.size(), 1u);
  EXPECT_EQ(current[0].substr(20), "three");
}

TEST_F(LogFileTest, ConcurrentWritersLoseNoEntry) {
  TLogFile log(FDir.File("busy.LOG"));
  constexpr int kThreads = 8, kEntries = 250;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&log, t] {
      for (int i = 0; i < kEntries; ++i) log.AddLog("t" + std::to_string(t) + " e" + std::to_string(i));
    });
  }
  for (auto& th : threads) th.join();

  const std::vector<std::string> lines = Lines(log.FileName);
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kEntries));
  std::set<std::string> seen;
  for (const std::string& line : lines) {
    ASSERT_TRUE(std::regex_search(line, kStamp)) << line;
    seen.insert(line.substr(20));
  }
  EXPECT_EQ(seen.size(), lines.size()) << "every entry appears exactly once, none interleaved";
}

// A call that comes while another is held up writing (here into a pipe nobody reads yet) waits
// for it: its entry follows the other one whole, and the call returns only once it is out.
TEST_F(LogFileTest, AnEntryAddedDuringASlowWriteFollowsItBeforeItsCallReturns) {
  const std::string path = FDir.File("slow.LOG");
  ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
  const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  TLogFile log(path);
  const std::string big(200000, 'x');
  std::thread slow([&] { log.AddLog(big); });
  // Wait until the slow call is inside its write: the pipe is full.
  for (int available = 0; available < 65536;) {
    ASSERT_EQ(::ioctl(reader, FIONREAD, &available), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::atomic<bool> returned{false};
  std::thread other([&] {
    log.AddLog("after");
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(returned) << "the entry cannot be out while the pipe is full";

  std::string bytes;
  char buffer[65536];
  const std::size_t expected = 20 + big.size() + 2 + 20 + 5 + 2;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (bytes.size() < expected && std::chrono::steady_clock::now() < deadline) {
    const ssize_t n = ::read(reader, buffer, sizeof buffer);
    if (n > 0) bytes.append(buffer, static_cast<size_t>(n));
    else std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  slow.join();
  other.join();
  ::close(reader);
  EXPECT_TRUE(returned);
  ASSERT_EQ(bytes.size(), expected);
  EXPECT_EQ(bytes.substr(20, big.size() + 2), big + "\r\n");
  EXPECT_EQ(bytes.substr(bytes.size() - 7), "after\r\n");
}

TEST(LogFileNameTest, IsTheStartDayBesideTheExecutable) {
  EXPECT_EQ(LogFileNameFor("/opt/host/", EncodeDateTime({2024, 1, 5, 23, 59, 0, 0})),
            "/opt/host/20240105.LOG");
  EXPECT_EQ(LogFileNameFor("/opt/host/", EncodeDateTime({2025, 12, 31, 0, 0, 0, 0})),
            "/opt/host/20251231.LOG");
}

}  // namespace
