#include "store/DoorlockRecordManagerUnit.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "config/LogFileUnit.h"
#include "config/SysOptionUnit.h"
#include "host/StartupUnit.h"
#include "platform/DateTime.h"
#include "support/ReadOnly.h"
#include "support/TempDir.h"

namespace {

using TRows = std::vector<std::vector<std::string>>;

// A second, independent view of the database file through SQLite's own interface, to see what
// the store really wrote. NULL reads as "<null>".
class TSqliteFile {
 public:
  explicit TSqliteFile(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &FDb, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << "cannot open " << path << ": " << sqlite3_errmsg(FDb);
    }
    sqlite3_busy_timeout(FDb, 5000);
  }
  ~TSqliteFile() { sqlite3_close(FDb); }
  TSqliteFile(const TSqliteFile&) = delete;
  TSqliteFile& operator=(const TSqliteFile&) = delete;

  TRows Rows(const std::string& sql) {
    TRows rows;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(FDb, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << sqlite3_errmsg(FDb);
      return rows;
    }
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        const unsigned char* text = sqlite3_column_text(statement, i);
        row.push_back(text == nullptr ? "<null>" : reinterpret_cast<const char*>(text));
      }
      rows.push_back(row);
    }
    if (rc != SQLITE_DONE) ADD_FAILURE() << sql << ": " << sqlite3_errmsg(FDb);
    sqlite3_finalize(statement);
    return rows;
  }

  void Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(FDb, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << (error ? error : "");
    }
    sqlite3_free(error);
  }

 private:
  sqlite3* FDb = nullptr;
};

TDateTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
             int ms = 0) {
  return EncodeDateTime({year, month, day, hour, minute, second, ms});
}

// Functions rather than constants: a constant here would be computed before the date-time unit's
// own constants exist.
TDateTime Time1() {
  return At(2024, 1, 5, 13, 30, 0, 125);
}
TDateTime Time2() {
  return At(2024, 1, 6, 9, 15, 42, 7);
}

class DoorlockRecordManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FSavedOptions = SysOption;
    FSavedLog = LogFile;
    FOptions = std::make_unique<TSysOption>(FLogDir.File("Option.ini"));
    SysOption = FOptions.get();
    FLog = std::make_unique<TLogFile>(FLogDir.File("test.LOG"));
    LogFile = FLog.get();
  }
  void TearDown() override {
    SysOption = FSavedOptions;
    LogFile = FSavedLog;
  }

  std::string DbFile() const { return FDir.File("Client.db"); }

  // The texts logged so far, without their time stamps.
  std::vector<std::string> Logged() const { return LoggedIn(FLog->FileName); }
  static std::vector<std::string> LoggedIn(const std::string& fileName) {
    std::vector<std::string> lines;
    if (!FileExists(fileName)) return lines;
    const std::string bytes = ReadFileBytes(fileName);
    size_t start = 0;
    while (start < bytes.size()) {
      size_t end = bytes.find("\r\n", start);
      if (end == std::string::npos) end = bytes.size();
      lines.push_back(bytes.substr(start + 20, end - start - 20));
      start = end + 2;
    }
    return lines;
  }

  TempDir FDir;     // the database's folder
  TempDir FLogDir;  // elsewhere, so that a store folder made unusable still takes log lines
  std::unique_ptr<TSysOption> FOptions;
  std::unique_ptr<TLogFile> FLog;
  TSysOption* FSavedOptions = nullptr;
  TLogFile* FSavedLog = nullptr;
};

TEST_F(DoorlockRecordManagerTest, OpeningAFreshFileCreatesBothTablesInWalMode) {
  TDoorlockRecordManager store(DbFile());
  EXPECT_FALSE(FileExists(DbFile())) << "construction touches no file";
  EXPECT_FALSE(store.Connected());
  ASSERT_TRUE(store.Open());
  EXPECT_TRUE(store.Connected());
  EXPECT_TRUE(Logged().empty());

  TSqliteFile db(DbFile());
  const TRows room = {{"RoomNo", "TEXT"}, {"LastCheckInTime", "TEXT"}};
  EXPECT_EQ(db.Rows("select name, upper(type) from pragma_table_info('T_Room')"), room);
  const TRows record = {{"RegisterId", "TEXT"},      {"CardNo", "TEXT"},
                        {"RoomNo", "TEXT"},          {"CardType", "INTEGER"},
                        {"LastCheckInTime", "TEXT"}, {"CheckInTime", "TEXT"},
                        {"CheckOutTime", "TEXT"},    {"IsCopy", "INTEGER"},
                        {"GuestName", "TEXT"},       {"OpratingTime", "TEXT"}};
  EXPECT_EQ(db.Rows("select name, upper(type) from pragma_table_info('T_IssueCardRecord')"),
            record);
  EXPECT_EQ(db.Rows("pragma journal_mode"), TRows{{"wal"}});
}

TEST_F(DoorlockRecordManagerTest, ReopeningTheFileKeepsItsRows) {
  {
    TDoorlockRecordManager store(DbFile());
    store.InsertRoom("A0101", Time1());
    store.InsertIssueCardRecord("R1", "77", "A0101", 1, Time1(), Time1(), Time2(), false, "G",
                                Time2());
  }
  EXPECT_FALSE(FileExists(DbFile() + "-wal")) << "closing folds the WAL back into the file";

  // Not opened explicitly: the first operation opens it.
  TDoorlockRecordManager store(DbFile());
  EXPECT_EQ(store.GetLastCheckInTime("A0101"), Time1());
  EXPECT_TRUE(store.Connected());
  TSqliteFile db(DbFile());
  EXPECT_EQ(db.Rows("select count(*) from T_Room"), TRows{{"1"}});
  EXPECT_EQ(db.Rows("select RegisterId from T_IssueCardRecord"), TRows{{"R1"}});
}

TEST_F(DoorlockRecordManagerTest, LookUpGivesTheFirstRowsTimeOrZero) {
  struct Case {
    const char* name;
    const char* rows;  // inserted into T_Room beforehand
    std::string key;
    TDateTime expected;
    std::vector<std::string> logged;
  };
  const std::vector<Case> cases = {
      {"known room", "('A0101', '2024-01-05 13:30:00.125')", "A0101", Time1(), {}},
      {"room without a row", "('A0101', '2024-01-05 13:30:00.125')", "A0102", 0, {}},
      {"room without a time", "('A0101', NULL)", "A0101", 0, {}},
      {"key holding quotes",
       "('A''01'' or ''1''=''1', '2024-01-05 13:30:00.125')",
       "A'01' or '1'='1",
       Time1(),
       {}},
      {"quote does not widen the match",
       "('A0101', '2024-01-05 13:30:00.125')",
       "x' or '1'='1",
       0,
       {}},
      {"first of two rows",
       "('A0101', '2024-01-05 13:30:00.125'), ('A0101', NULL)",
       "A0101",
       Time1(),
       {}},
      {"time in whole seconds",
       "('A0101', '2024-01-05 13:30:00')",
       "A0101",
       At(2024, 1, 5, 13, 30),
       {}},
      {"time with a T and microseconds",
       "('A0101', '2024-01-05T13:30:00.125999')",
       "A0101",
       Time1(),
       {}},
      {"time that is no date-time",
       "('A0101', 'soon')",
       "A0101",
       0,
       {"'soon' is not a valid date and time"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    TDoorlockRecordManager store(dir.File("Client.db"));
    ASSERT_TRUE(store.Open());
    TSqliteFile(store.FileName).Exec(std::string("insert into T_Room values ") + c.rows);
    const size_t before = Logged().size();

    EXPECT_EQ(store.GetLastCheckInTime(c.key), c.expected);
    const std::vector<std::string> logged = Logged();
    EXPECT_EQ(std::vector<std::string>(logged.begin() + before, logged.end()), c.logged);
  }
}

TEST_F(DoorlockRecordManagerTest, UpdateInsertsAnUnknownRoomOnceAndThenUpdatesIt) {
  TDoorlockRecordManager store(DbFile());
  ASSERT_TRUE(store.Open());
  TSqliteFile db(DbFile());

  store.UpdateLastCheckInTime("A'0101", Time1());
  EXPECT_EQ(db.Rows("select RoomNo, LastCheckInTime from T_Room"),
            (TRows{{"A'0101", "2024-01-05 13:30:00.125"}}));
  EXPECT_EQ(Logged(), std::vector<std::string>{"新建房间A'0101"});

  store.UpdateLastCheckInTime("A'0101", Time2());
  EXPECT_EQ(db.Rows("select RoomNo, LastCheckInTime from T_Room"),
            (TRows{{"A'0101", "2024-01-06 09:15:42.007"}}));
  EXPECT_EQ(Logged().size(), 1u) << "an update that found its row inserts and logs nothing";
  EXPECT_EQ(store.GetLastCheckInTime("A'0101"), Time2());
}

TEST_F(DoorlockRecordManagerTest, TwoRowsForOneRoomAreBothUpdated) {
  TDoorlockRecordManager store(DbFile());
  store.InsertRoom("A0101", Time1());
  store.InsertRoom("A0101", Time2());
  EXPECT_EQ(Logged(), (std::vector<std::string>{"新建房间A0101", "新建房间A0101"}));
  EXPECT_EQ(store.GetLastCheckInTime("A0101"), Time1());

  const TDateTime later = At(2024, 2, 1, 12);
  store.UpdateLastCheckInTime("A0101", later);
  TSqliteFile db(DbFile());
  EXPECT_EQ(db.Rows("select LastCheckInTime from T_Room order by rowid"),
            (TRows{{"2024-02-01 12:00:00.000"}, {"2024-02-01 12:00:00.000"}}));
  EXPECT_EQ(Logged().size(), 2u);
}

TEST_F(DoorlockRecordManagerTest, IssueCardRecordRowsHoldEveryValueWithItsType) {
  TDoorlockRecordManager store(DbFile());
  store.InsertIssueCardRecord("REG-1", "1234567890123", "A0101", 1, Time1(), At(2024, 1, 5, 13, 30),
                              At(2024, 1, 7, 12, 30), false, "张三", Time2());
  store.InsertIssueCardRecord("REG-2", "0", "", 1, At(2024, 1, 5, 13, 30), At(2024, 1, 5, 13, 30),
                              At(2024, 1, 7, 12, 30), true, "O'Neil", Time2());
  EXPECT_TRUE(Logged().empty()) << "nothing is logged on success";

  TSqliteFile db(DbFile());
  const TRows expected = {
      {"REG-1", "1234567890123", "A0101", "1", "2024-01-05 13:30:00.125", "2024-01-05 13:30:00.000",
       "2024-01-07 12:30:00.000", "0", "张三", "2024-01-06 09:15:42.007"},
      {"REG-2", "0", "", "1", "2024-01-05 13:30:00.000", "2024-01-05 13:30:00.000",
       "2024-01-07 12:30:00.000", "1", "O'Neil", "2024-01-06 09:15:42.007"},
  };
  EXPECT_EQ(db.Rows("select RegisterId, CardNo, RoomNo, CardType, LastCheckInTime, CheckInTime,"
                    " CheckOutTime, IsCopy, GuestName, OpratingTime from T_IssueCardRecord"
                    " order by rowid"),
            expected);
  const TRows types = {
      {"text", "text", "text", "integer", "text", "text", "text", "integer", "text", "text"}};
  EXPECT_EQ(db.Rows("select distinct typeof(RegisterId), typeof(CardNo), typeof(RoomNo),"
                    " typeof(CardType), typeof(LastCheckInTime), typeof(CheckInTime),"
                    " typeof(CheckOutTime), typeof(IsCopy), typeof(GuestName),"
                    " typeof(OpratingTime) from T_IssueCardRecord"),
            types);
}

TEST_F(DoorlockRecordManagerTest, DateTimesAreStoredReadablyAndReadBackExactly) {
  struct Case {
    TDateTime stored;
    std::string text;
    TDateTime readBack;
  };
  const TDateTime notWholeMs = IncMinutes(At(2024, 1, 5, 14, 0, 0, 123), -30);
  const std::vector<Case> cases = {
      {0, "1899-12-30 00:00:00.000", 0},
      {Time1(), "2024-01-05 13:30:00.125", Time1()},
      {At(2024, 2, 29, 23, 59, 59, 999), "2024-02-29 23:59:59.999",
       At(2024, 2, 29, 23, 59, 59, 999)},
      {At(1899, 12, 29, 6), "1899-12-29 06:00:00.000", At(1899, 12, 29, 6)},
      {At(1, 1, 1, 0, 0, 0, 1), "0001-01-01 00:00:00.001", At(1, 1, 1, 0, 0, 0, 1)},
      {At(9999, 12, 31, 23, 59, 59, 999), "9999-12-31 23:59:59.999",
       At(9999, 12, 31, 23, 59, 59, 999)},
      // A shifted time is no whole millisecond; it is kept as its nearest one.
      {notWholeMs, "2024-01-05 13:30:00.123", At(2024, 1, 5, 13, 30, 0, 123)},
  };
  TDoorlockRecordManager store(DbFile());
  ASSERT_TRUE(store.Open());
  TSqliteFile db(DbFile());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    db.Exec("delete from T_Room");
    store.UpdateLastCheckInTime("A0101", c.stored);
    EXPECT_EQ(db.Rows("select LastCheckInTime, typeof(LastCheckInTime) from T_Room"),
              (TRows{{c.text, "text"}}));
    const TDateTime read = store.GetLastCheckInTime("A0101");
    EXPECT_EQ(read, c.readBack);
    EXPECT_NEAR(read, c.stored, 0.0005 / 86400);
  }
}

TEST_F(DoorlockRecordManagerTest, FailedOperationsAreLoggedAndGoNoFurther) {
  struct Case {
    const char* name;
    std::function<void(TDoorlockRecordManager&)> run;
    const char* expectedMessagePart;
  };
  const TDateTime tooLate = At(9999, 12, 31) + 1;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<Case> cases = {
      {"update with a time past the year 9999",
       [&](TDoorlockRecordManager& s) { s.UpdateLastCheckInTime("A0101", tooLate); },
       "out of range"},
      {"insert with no time at all", [&](TDoorlockRecordManager& s) { s.InsertRoom("A0101", nan); },
       "out of range"},
      {"record with a time before the year 1",
       [&](TDoorlockRecordManager& s) {
         s.InsertIssueCardRecord("R", "1", "A0101", 1, Time1(), At(1, 1, 1) - 1, Time2(), false,
                                 "G", Time2());
       },
       "out of range"},
      {"update on a dropped table",
       [&](TDoorlockRecordManager& s) {
         TSqliteFile(s.FileName).Exec("drop table T_Room");
         s.UpdateLastCheckInTime("A0101", Time1());
       },
       "T_Room"},
      {"look-up on a dropped table",
       [&](TDoorlockRecordManager& s) {
         TSqliteFile(s.FileName).Exec("drop table T_Room");
         EXPECT_EQ(s.GetLastCheckInTime("A0101"), 0.0);
       },
       "T_Room"},
      {"record on a dropped table",
       [&](TDoorlockRecordManager& s) {
         TSqliteFile(s.FileName).Exec("drop table T_IssueCardRecord");
         s.InsertIssueCardRecord("R", "1", "A0101", 1, Time1(), Time1(), Time2(), false, "G",
                                 Time2());
       },
       "T_IssueCardRecord"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    TDoorlockRecordManager store(dir.File("Client.db"));
    ASSERT_TRUE(store.Open());
    const size_t before = Logged().size();
    c.run(store);

    // Exactly one line, the failure's: an update that failed inserts no room.
    const std::vector<std::string> logged = Logged();
    ASSERT_EQ(logged.size(), before + 1);
    EXPECT_NE(logged.back().find(c.expectedMessagePart), std::string::npos) << logged.back();
    TSqliteFile db(store.FileName);
    for (const char* table : {"T_Room", "T_IssueCardRecord"}) {
      const std::string exists =
          std::string("select count(*) from sqlite_master where name = '") + table + "'";
      if (db.Rows(exists) == TRows{{"1"}}) {
        EXPECT_EQ(db.Rows(std::string("select count(*) from ") + table), TRows{{"0"}}) << table;
      }
    }
    EXPECT_TRUE(store.Connected()) << "a failed statement leaves the connection open";
  }
}

TEST_F(DoorlockRecordManagerTest, StoreThatCannotBeOpenedLogsCarriesOnAndRetries) {
  struct Case {
    const char* name;
    std::function<void(const std::string& dir, std::optional<TNoFileOverride>&)> spoil;
    std::function<void(const std::string& dir, std::optional<TNoFileOverride>&)> mend;
  };
  const std::vector<Case> cases = {
      {"folder missing", [](const std::string& dir, auto&) { std::filesystem::remove(dir); },
       [](const std::string& dir, auto&) { std::filesystem::create_directory(dir); }},
      {"folder read-only",
       [](const std::string& dir, auto& noOverride) {
         MakeReadOnly(dir);
         noOverride.emplace();
       },
       [](const std::string&, auto& noOverride) { noOverride.reset(); }},
      {"file is not a database",
       [](const std::string& dir, auto&) {
         WriteFileBytes(dir + "/Client.db", std::string(4096, 'x'));
       },
       [](const std::string& dir, auto&) { std::filesystem::remove(dir + "/Client.db"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir parent;
    const std::string dir = parent.File("store");
    std::filesystem::create_directory(dir);
    std::optional<TNoFileOverride> noOverride;
    c.spoil(dir, noOverride);
    TDoorlockRecordManager store(dir + "/Client.db");
    const size_t before = Logged().size();

    EXPECT_FALSE(store.Open());
    EXPECT_FALSE(store.Connected());
    EXPECT_EQ(store.GetLastCheckInTime("A0101"), 0.0);
    store.UpdateLastCheckInTime("A0101", Time1());
    store.InsertIssueCardRecord("R", "1", "A0101", 1, Time1(), Time1(), Time2(), false, "G",
                                Time2());
    // One failure line each for the opening and the three operations; no "新建房间".
    std::vector<std::string> logged = Logged();
    ASSERT_EQ(logged.size(), before + 4);
    for (size_t i = before; i < logged.size(); ++i) {
      EXPECT_FALSE(logged[i].empty());
      EXPECT_EQ(logged[i].find("新建房间"), std::string::npos) << logged[i];
    }

    c.mend(dir, noOverride);
    store.UpdateLastCheckInTime("A0101", Time1());
    EXPECT_TRUE(store.Connected());
    EXPECT_EQ(store.GetLastCheckInTime("A0101"), Time1());
    logged = Logged();
    EXPECT_EQ(logged.back(), "新建房间A0101");
    EXPECT_EQ(logged.size(), before + 5);
  }
}

TEST_F(DoorlockRecordManagerTest, RowsOfReturnedOperationsSurviveAKillOfTheProcess) {
  constexpr int kRecords = 20;
  int acks[2];
  ASSERT_EQ(pipe(acks), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Acknowledges each operation once it has returned, then waits to be killed.
    close(acks[0]);
    TDoorlockRecordManager store(DbFile());
    for (int i = 0; i < kRecords; ++i) {
      store.InsertIssueCardRecord("REG" + std::to_string(i), "1", "A0101", 1, Time1(), Time1(),
                                  Time2(), false, "G", Time2());
      store.UpdateLastCheckInTime("A0101", Time1() + i);
      if (write(acks[1], "+", 1) != 1) _exit(1);
    }
    for (;;) pause();
  }
  close(acks[1]);
  char ack;
  int acknowledged = 0;
  while (acknowledged < kRecords && read(acks[0], &ack, 1) == 1) ++acknowledged;
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  close(acks[0]);
  ASSERT_EQ(acknowledged, kRecords);
  ASSERT_TRUE(WIFSIGNALED(status));

  TDoorlockRecordManager store(DbFile());
  EXPECT_EQ(store.GetLastCheckInTime("A0101"), Time1() + kRecords - 1);
  EXPECT_EQ(TSqliteFile(DbFile()).Rows("select count(*) from T_IssueCardRecord"),
            TRows{{std::to_string(kRecords)}});
}

TEST_F(DoorlockRecordManagerTest, ConcurrentOperationsLoseNothing) {
  // Two stores on one file stand for two processes (each its own connection, meeting at the
  // file's locks); two threads on each share its session.
  constexpr int kThreadsPerStore = 2;
  constexpr int kRounds = 25;
  TDoorlockRecordManager first(DbFile());
  TDoorlockRecordManager second(DbFile());
  std::vector<std::thread> threads;
  for (TDoorlockRecordManager* store : {&first, &second}) {
    for (int t = 0; t < kThreadsPerStore; ++t) {
      const std::string thread = std::to_string(threads.size());
      threads.emplace_back([store, thread] {
        for (int i = 0; i < kRounds; ++i) {
          const std::string id = thread + "-" + std::to_string(i);
          store->InsertIssueCardRecord("REG" + id, id, "R" + id, 1, Time1(), Time1(), Time2(),
                                       false, "G", Time2());
          store->UpdateLastCheckInTime("R" + id, Time1());
          EXPECT_EQ(store->GetLastCheckInTime("R" + id), Time1());
        }
      });
    }
  }
  for (std::thread& t : threads) t.join();

  constexpr int kOperations = 2 * kThreadsPerStore * kRounds;
  TSqliteFile db(DbFile());
  EXPECT_EQ(db.Rows("select count(*), count(distinct RegisterId) from T_IssueCardRecord"),
            (TRows{{std::to_string(kOperations), std::to_string(kOperations)}}));
  EXPECT_EQ(db.Rows("select count(*), count(distinct RoomNo) from T_Room where RoomNo like 'R%'"),
            (TRows{{std::to_string(kOperations), std::to_string(kOperations)}}));
  for (const std::string& line : Logged()) {
    EXPECT_EQ(line.rfind("新建房间", 0), 0u) << "no operation failed: " << line;
  }
}

TEST_F(DoorlockRecordManagerTest, UpdatesOfOneNewRoomFromManyThreadsInsertItOnce) {
  TDoorlockRecordManager store(DbFile());
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&store] {
      for (int i = 0; i < 25; ++i) store.UpdateLastCheckInTime("A0101", Time1());
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(TSqliteFile(DbFile()).Rows("select count(*) from T_Room"), TRows{{"1"}});
  EXPECT_EQ(Logged(), std::vector<std::string>{"新建房间A0101"});
}

TEST_F(DoorlockRecordManagerTest, StartUpOpensClientDbBesideTheExecutableAndGoesOnWithout) {
  struct Case {
    const char* name;
    bool blockFile;  // a folder named Client.db stands where the file would go
    bool connected;
  };
  const std::vector<Case> cases = {{"fresh folder", false, true},
                                   {"file cannot be made", true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    if (c.blockFile) std::filesystem::create_directory(dir.File("Client.db"));
    InitializeUnits(dir.Path());
    ASSERT_NE(DoorlockRecordManager, nullptr);
    EXPECT_EQ(DoorlockRecordManager->FileName, dir.File("Client.db"));
    EXPECT_EQ(DoorlockRecordManager->Connected(), c.connected);
    const std::vector<std::string> dayLog = LoggedIn(LogFile->FileName);
    EXPECT_EQ(dayLog.size(), c.connected ? 0u : 1u);
    FinalizeUnits();
    EXPECT_EQ(DoorlockRecordManager, nullptr);
  }
}

}  // namespace
