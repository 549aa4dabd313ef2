#include "platform/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/ReadOnly.h"
#include "support/TempDir.h"

namespace {

std::vector<std::string> FolderEntries(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

unsigned PermissionBits(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

class IniFileTest : public ::testing::Test {
 protected:
  std::string Ini() const { return FDir.File("Option.ini"); }
  void Store(const std::string& bytes) const { WriteFileBytes(Ini(), bytes); }
  std::string Stored() const { return ReadFileBytes(Ini()); }

  TempDir FDir;
};

// ---- Reading values -----------------------------------------------------------------------

struct TValueCase {
  const char* Name;
  std::optional<std::string> Stored;  // the text after "Key="; nullopt: no such key
  std::string AsString;               // ReadString with default "dflt"
  std::int32_t AsInteger;             // ReadInteger with default 77
  bool AsBoolDefaultTrue;             // ReadBool with default true
  bool AsBoolDefaultFalse;            // ReadBool with default false
};

const TValueCase kValueCases[] = {
    {"missing key", std::nullopt, "dflt", 77, true, false},
    {"empty", "", "", 77, true, false},
    {"blanks only", "   \t ", "", 77, true, false},
    {"decimal", "8886", "8886", 8886, true, true},
    {"blanks around", " \t 42  ", "42", 42, true, true},
    {"hexadecimal", "0x22B6", "0x22B6", 8886, true, true},
    {"hexadecimal, upper X and lower digits", "0X22b6", "0X22b6", 8886, true, true},
    {"negative", "-15", "-15", -15, true, true},
    {"plus sign", "+15", "+15", 15, true, true},
    {"negative hexadecimal", "-0x10", "-0x10", -16, true, true},
    {"leading zeros are decimal", "0010", "0010", 10, true, true},
    {"zero", "0", "0", 0, false, false},
    {"one", "1", "1", 1, true, true},
    {"five", "5", "5", 5, true, true},
    {"hexadecimal zero", "0x0", "0x0", 0, false, false},
    {"largest", "2147483647", "2147483647", 2147483647, true, true},
    {"smallest", "-2147483648", "-2147483648", INT32_MIN, true, true},
    {"one above the range", "2147483648", "2147483648", 77, true, false},
    {"one below the range", "-2147483649", "-2147483649", 77, true, false},
    {"far out of range", "99999999999999999999", "99999999999999999999", 77, true, false},
    {"largest hexadecimal", "0x7FFFFFFF", "0x7FFFFFFF", 2147483647, true, true},
    {"hexadecimal above the range", "0x80000000", "0x80000000", 77, true, false},
    {"word true", "true", "true", 77, true, false},
    {"word false", "false", "false", 77, true, false},
    {"not a number", "abc", "abc", 77, true, false},
    {"digits then text", "12ab", "12ab", 77, true, false},
    {"blank inside", "1 2", "1 2", 77, true, false},
    {"decimal point", "1.5", "1.5", 77, true, false},
    {"bare 0x", "0x", "0x", 77, true, false},
    {"bare sign", "-", "-", 77, true, false},
    {"dollar hexadecimal is not taken", "$22B6", "$22B6", 77, true, false},
    {"hexadecimal digit in decimal", "12F", "12F", 77, true, false},
    {"inline comment is part of the value", "5 ; five", "5 ; five", 77, true, false},
    {"equals sign inside the value", "a=b", "a=b", 77, true, false},
    {"UTF-8 text", "门锁", "门锁", 77, true, false},
};

TEST_F(IniFileTest, ValueRules) {
  const TIniFile ini(Ini());
  for (const TValueCase& row : kValueCases) {
    SCOPED_TRACE(row.Name);
    std::string bytes = "[Sec]\r\nOther=1\r\n";
    if (row.Stored) bytes += "Key=" + *row.Stored + "\r\n";
    Store(bytes);
    EXPECT_EQ(ini.ReadString("Sec", "Key", "dflt"), row.AsString);
    EXPECT_EQ(ini.ReadInteger("Sec", "Key", 77), row.AsInteger);
    EXPECT_EQ(ini.ReadBool("Sec", "Key", true), row.AsBoolDefaultTrue);
    EXPECT_EQ(ini.ReadBool("Sec", "Key", false), row.AsBoolDefaultFalse);
  }
}

TEST_F(IniFileTest, MissingFileOrSectionGivesDefaultsAndCreatesNothing) {
  const TIniFile ini(Ini());
  EXPECT_EQ(ini.ReadString("Sec", "Key", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadInteger("Sec", "Key", 9), 9);
  EXPECT_TRUE(ini.ReadBool("Sec", "Key", true));
  EXPECT_FALSE(FileExists(Ini()));

  Store("[Other]\r\nKey=1\r\n");
  EXPECT_EQ(ini.ReadString("Sec", "Key", "dflt"), "dflt");
}

TEST_F(IniFileTest, NamesMatchWithoutRegardToCase) {
  Store("[sysOPTION]\r\ndoorlockportno=1234\r\n");
  TIniFile ini(Ini());
  EXPECT_EQ(ini.ReadInteger("SysOption", "DoorlockPortNo", 0), 1234);

  // The existing line is the key: its spelling stays, only the value changes.
  ini.WriteInteger("SYSOPTION", "DoorLockPortNo", 99);
  EXPECT_EQ(Stored(), "[sysOPTION]\r\ndoorlockportno=99\r\n");
}

TEST_F(IniFileTest, LineStructure) {
  Store(
      "Key=before any section\r\n"
      "[ Sec ]   trailing text\r\n"
      "; Key=in a comment\r\n"
      "   ;Key=indented comment\r\n"
      "Key\r\n"
      "  Key =  first value  \r\n"
      "Key=second of the same name\r\n"
      "Bare=\r\n"
      "[Sec]\r\n"
      "Later=in a second section of the same name\r\n"
      "[Unix]\n"
      "Key=lf ending\n"
      "[Last]\r\n"
      "Key=no final line break");
  const TIniFile ini(Ini());
  // Blanks inside the brackets are not part of the name; comments and lines without '=' are no
  // keys; the first key of a name wins.
  EXPECT_EQ(ini.ReadString("Sec", "Key", "dflt"), "first value");
  EXPECT_EQ(ini.ReadString("Sec", "Bare", "dflt"), "");
  // Only the first section of a name is read.
  EXPECT_EQ(ini.ReadString("Sec", "Later", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("Unix", "Key", "dflt"), "lf ending");
  EXPECT_EQ(ini.ReadString("Last", "Key", "dflt"), "no final line break");
}

TEST_F(IniFileTest, SameKeyInTwoSectionsIsTwoSettings) {
  Store("[SysOption]\r\nPassword=admin\r\n[DoorlockOption]\r\nPassword=database\r\n");
  TIniFile ini(Ini());
  EXPECT_EQ(ini.ReadString("SysOption", "Password", ""), "admin");
  EXPECT_EQ(ini.ReadString("DoorlockOption", "Password", ""), "database");
  ini.WriteString("DoorlockOption", "Password", "changed");
  EXPECT_EQ(Stored(), "[SysOption]\r\nPassword=admin\r\n[DoorlockOption]\r\nPassword=changed\r\n");
}

TEST_F(IniFileTest, EveryReadSeesTheFileAsItIsNow) {
  const TIniFile ini(Ini());
  Store("[Sec]\r\nKey=1\r\n");
  EXPECT_EQ(ini.ReadInteger("Sec", "Key", 0), 1);
  Store("[Sec]\r\nKey=2\r\n");
  EXPECT_EQ(ini.ReadInteger("Sec", "Key", 0), 2);
}

TEST_F(IniFileTest, LongValuesAreReadUpTo2047Bytes) {
  const TIniFile ini(Ini());
  Store("[Sec]\r\nKey=" + std::string(3000, 'v') + "\r\n");
  EXPECT_EQ(ini.ReadString("Sec", "Key", ""), std::string(2047, 'v'));

  Store("[Sec]\r\nKey=" + std::string(2047, 'v') + "\r\n");
  EXPECT_EQ(ini.ReadString("Sec", "Key", ""), std::string(2047, 'v'));

  // Trimmed first, then cut: blanks before the value do not use up the length.
  Store("[Sec]\r\nKey=    " + std::string(2047, 'v') + "\r\n");
  EXPECT_EQ(ini.ReadString("Sec", "Key", ""), std::string(2047, 'v'));

  // "门" is three bytes, at offsets 2045..2047: the cut would split it, so it goes whole.
  Store("[Sec]\r\nKey=" + std::string(2045, 'v') + "门门\r\n");
  EXPECT_EQ(ini.ReadString("Sec", "Key", ""), std::string(2045, 'v'));
}

// ---- Writing ------------------------------------------------------------------------------

TEST_F(IniFileTest, WriteReplacesTheValueInPlaceAndKeepsEveryOtherByte) {
  const std::string head =
      "; settings of the front desk\r\n"
      "\r\n"
      "[SysOption]\r\n"
      "  DoorlockPortNo =  8886   \r\n";
  const std::string tail =
      "\tWriteLog=1\r\n"
      "\r\n"
      "; encoder\r\n"
      "[DoorlockOption]\r\n"
      "DataSource = db  ; local\r\n"
      "DoorlockPortNo=5\r\n";
  Store(head + tail);
  TIniFile ini(Ini());

  ini.WriteInteger("SysOption", "DoorlockPortNo", 9000);
  // The name and the spacing up to the value stay; the old value and its trailing blanks go.
  EXPECT_EQ(Stored(),
            "; settings of the front desk\r\n"
            "\r\n"
            "[SysOption]\r\n"
            "  DoorlockPortNo =  9000\r\n" +
                tail);
}

TEST_F(IniFileTest, NewKeyGoesAfterTheLastKeyOfItsSection) {
  Store(
      "[A]\r\n"
      "One=1\r\n"
      "; a note on One\r\n"
      "stray line\r\n"
      "\r\n"
      "; about B\r\n"
      "[B]\r\n"
      "Two=2\r\n");
  TIniFile ini(Ini());
  ini.WriteString("A", "Three", "3");
  EXPECT_EQ(Stored(),
            "[A]\r\n"
            "One=1\r\n"
            "; a note on One\r\n"
            "stray line\r\n"
            "Three=3\r\n"
            "\r\n"
            "; about B\r\n"
            "[B]\r\n"
            "Two=2\r\n");
}

TEST_F(IniFileTest, NewKeyInAnEmptySectionGoesRightAfterItsHeader) {
  Store("[A]\r\n\r\n[B]\r\nTwo=2\r\n");
  TIniFile ini(Ini());
  ini.WriteString("A", "One", "1");
  EXPECT_EQ(Stored(), "[A]\r\nOne=1\r\n\r\n[B]\r\nTwo=2\r\n");
}

TEST_F(IniFileTest, NewKeyAfterALastLineWithoutLineBreak) {
  Store("[A]\r\nOne=1");
  TIniFile ini(Ini());
  ini.WriteString("A", "Two", "2");
  EXPECT_EQ(Stored(), "[A]\r\nOne=1\r\nTwo=2\r\n");
}

TEST_F(IniFileTest, NewSectionGoesAtTheEndOfTheFile) {
  Store("[A]\r\nOne=1\r\n\r\n");
  TIniFile ini(Ini());
  ini.WriteString("B", "Two", "2");
  EXPECT_EQ(Stored(), "[A]\r\nOne=1\r\n\r\n[B]\r\nTwo=2\r\n");

  Store("[A]\r\nOne=1");
  ini.WriteString("B", "Two", "2");
  EXPECT_EQ(Stored(), "[A]\r\nOne=1\r\n[B]\r\nTwo=2\r\n");
}

TEST_F(IniFileTest, LineEndings) {
  TIniFile ini(Ini());
  // A new file gets CR LF.
  ini.WriteString("A", "One", "1");
  EXPECT_EQ(Stored(), "[A]\r\nOne=1\r\n");

  // New lines follow the file's own endings; the replaced line keeps its own.
  Store("[A]\nOne=1\r\n");
  ini.WriteString("A", "One", "x");
  ini.WriteString("A", "Two", "2");
  ini.WriteString("B", "Three", "3");
  EXPECT_EQ(Stored(), "[A]\nOne=x\r\nTwo=2\n[B]\nThree=3\n");
}

TEST_F(IniFileTest, ByteOrderMarkIsSkippedOnReadAndKept) {
  Store("\xEF\xBB\xBF[A]\r\nOne=1\r\n");
  TIniFile ini(Ini());
  EXPECT_EQ(ini.ReadInteger("A", "One", 0), 1);
  ini.WriteInteger("A", "One", 2);
  EXPECT_EQ(Stored(), "\xEF\xBB\xBF[A]\r\nOne=2\r\n");
}

TEST_F(IniFileTest, WrittenTexts) {
  TIniFile ini(Ini());
  ini.WriteInteger("A", "Negative", -2147483647 - 1);
  ini.WriteBool("A", "Yes", true);
  ini.WriteBool("A", "No", false);
  ini.WriteString("A", "Blanks", "  kept in the file  ");
  ini.WriteString("A", "Empty", "");
  // What follows a line break could only be read as lines of its own, so it is not written.
  ini.WriteString("A", "Broken", "first\r\n[Injected]\r\nKey=1");
  EXPECT_EQ(Stored(),
            "[A]\r\nNegative=-2147483648\r\nYes=1\r\nNo=0\r\nBlanks=  kept in the file  \r\n"
            "Empty=\r\nBroken=first\r\n");
  EXPECT_EQ(ini.ReadString("A", "Empty", "dflt"), "");
}

TEST_F(IniFileTest, ApplyingChangesEqualsWritingThemOneByOne) {
  const std::string start = "[B]\r\nX=1\r\n; c\r\n[A]\r\n";
  auto record = [](auto& target) {
    target.WriteString("A", "S", "text");
    target.WriteInteger("B", "X", 2);
    target.WriteBool("C", "Flag", true);
    target.WriteInteger("A", "S", 3);  // a later change of the same key wins
    target.WriteString("b", "Y", "y");
  };

  Store(start);
  TIniFile ini(Ini());
  record(ini);
  const std::string oneByOne = Stored();

  Store(start);
  TIniChanges changes;
  record(changes);
  ini.Apply(changes);
  EXPECT_EQ(Stored(), oneByOne);
  EXPECT_EQ(oneByOne, "[B]\r\nX=2\r\nY=y\r\n; c\r\n[A]\r\nS=3\r\n[C]\r\nFlag=1\r\n");
}

TEST_F(IniFileTest, ReplacementKeepsThePermissionBitsAndLeavesNoTemporaryFile) {
  Store("[A]\r\nOne=1\r\n");
  std::filesystem::permissions(Ini(), std::filesystem::perms(0640));
  TIniFile ini(Ini());
  ini.WriteInteger("A", "One", 2);
  EXPECT_EQ(PermissionBits(Ini()), 0640u);
  EXPECT_EQ(FolderEntries(FDir), std::vector<std::string>{"Option.ini"});
}

TEST_F(IniFileTest, WritingThroughASymbolicLinkChangesTheFileItNames) {
  const std::string real = FDir.File("real.ini");
  WriteFileBytes(real, "[A]\r\nOne=1\r\n");
  std::filesystem::create_symlink("real.ini", Ini());
  TIniFile ini(Ini());
  ini.WriteInteger("A", "One", 2);
  EXPECT_TRUE(std::filesystem::is_symlink(Ini()));
  EXPECT_EQ(ReadFileBytes(real), "[A]\r\nOne=2\r\n");
}

TEST_F(IniFileTest, ConcurrentWritersInOneProcessLoseNoKey) {
  constexpr int kThreads = 4;
  constexpr int kKeysEach = 10;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      TIniFile ini(Ini());
      for (int k = 0; k < kKeysEach; ++k) {
        ini.WriteInteger("S", "K" + std::to_string(t) + "_" + std::to_string(k), k);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const TIniFile ini(Ini());
  for (int t = 0; t < kThreads; ++t) {
    for (int k = 0; k < kKeysEach; ++k) {
      EXPECT_EQ(ini.ReadInteger("S", "K" + std::to_string(t) + "_" + std::to_string(k), -1), k);
    }
  }
}

// ---- Write failures -----------------------------------------------------------------------

struct TFailureCase {
  const char* Name;
  void (*Prepare)(const TempDir& dir, const std::string& ini);
};

const TFailureCase kFailureCases[] = {
    {"read-only file in a writable folder",
     [](const TempDir&, const std::string& ini) { MakeReadOnly(ini); }},
    {"read-only folder", [](const TempDir& dir, const std::string&) { MakeReadOnly(dir.Path()); }},
    {"file that cannot be read",
     [](const TempDir&, const std::string& ini) {
       std::filesystem::permissions(ini, std::filesystem::perms::owner_write);
     }},
};

TEST_F(IniFileTest, WriteFailuresReportThePathAndLeaveTheFileAlone) {
  const std::string original = "[A]\r\nOne=1\r\n";
  for (const TFailureCase& row : kFailureCases) {
    SCOPED_TRACE(row.Name);
    TempDir dir;
    const std::string path = dir.File("Option.ini");
    WriteFileBytes(path, original);
    row.Prepare(dir, path);
    TIniFile ini(path);
    TIniChanges changes;
    changes.WriteInteger("A", "One", 2);
    changes.WriteInteger("B", "Two", 2);
    {
      TNoFileOverride asUser;
      try {
        ini.WriteInteger("A", "One", 2);
        ADD_FAILURE() << "WriteInteger did not throw";
      } catch (const EIniFileException& e) {
        EXPECT_STREQ(e.what(), ("Unable to write to " + path).c_str());
      }
      EXPECT_THROW(ini.Apply(changes), EIniFileException);
    }
    EXPECT_EQ(ReadFileBytes(path), original);
    EXPECT_EQ(FolderEntries(dir), std::vector<std::string>{"Option.ini"});
  }
}

TEST_F(IniFileTest, WriteIntoAMissingFolderFails) {
  const std::string path = FDir.File("gone/Option.ini");
  TIniFile ini(path);
  try {
    ini.WriteString("A", "One", "1");
    ADD_FAILURE() << "WriteString did not throw";
  } catch (const EIniFileException& e) {
    EXPECT_STREQ(e.what(), ("Unable to write to " + path).c_str());
  }
}

}  // namespace
