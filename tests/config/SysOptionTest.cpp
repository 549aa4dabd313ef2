#include "config/SysOptionUnit.h"

#include <gtest/gtest.h>

#include <string>

#include "config/OptionUnit.h"
#include "platform/IniFile.h"
#include "support/ReadOnly.h"
#include "support/TempDir.h"

namespace {

class SysOptionTest : public ::testing::Test {
 protected:
  std::string Ini() const { return FDir.File("Option.ini"); }

  TempDir FDir;
};

void ExpectDefaults(const TSysOption& o) {
  EXPECT_EQ(o.DoorlockPortNo, 8886);
  EXPECT_EQ(o.HandPortNo, 8886);
  EXPECT_FALSE(o.UseNativeDoorlockDb);
  EXPECT_FALSE(o.SaveDoorlockRecord);
  EXPECT_EQ(o.PolicePortNo, 8885);
  EXPECT_EQ(o.MemberPortNo, 8883);
  EXPECT_EQ(o.ScanPortNo, 8881);
  EXPECT_EQ(o.Password, "qitvex");
  EXPECT_EQ(o.DelayMinutes, 0);
  EXPECT_EQ(o.DelayMinutes2, 0);
  EXPECT_TRUE(o.WriteLog);
  EXPECT_FALSE(o.AutoReadDoorCard);
  EXPECT_EQ(o.PmsServer, "127.0.0.1");
  EXPECT_EQ(o.PmsServerPort, 9873);
}

// Every key with a value other than its default, each in its own section.
const char kEveryKey[] =
    "[SysOption]\r\n"
    "Password=secret\r\n"
    "DoorlockPortNo=1001\r\n"
    "HandPortNo=1002\r\n"
    "PolicePortNo=1003\r\n"
    "MemberPortNo=1004\r\n"
    "ScanPortNo=1005\r\n"
    "WriteLog=0\r\n"
    "[DoorlockOption]\r\n"
    "DelayMinutes=-30\r\n"
    "DelayMinutes2=45\r\n"
    "UseNativeDoorlockDb=1\r\n"
    "SaveDoorlockRecord=1\r\n"
    "AutoReadDoorCard=1\r\n"
    "PmsServer=pms.hotel\r\n"
    "PmsServerPort=1006\r\n";

TEST_F(SysOptionTest, WithoutAFileEveryFieldHoldsItsDefaultAndNoFileAppears) {
  TSysOption options(Ini());
  EXPECT_EQ(options.FileName, Ini());
  ExpectDefaults(options);
  options.Load();
  ExpectDefaults(options);
  EXPECT_FALSE(FileExists(Ini()));
}

TEST_F(SysOptionTest, ConstructionReadsNothing) {
  WriteFileBytes(Ini(), kEveryKey);
  TSysOption options(Ini());
  ExpectDefaults(options);
}

TEST_F(SysOptionTest, LoadReadsEveryKeyFromItsSection) {
  WriteFileBytes(Ini(), kEveryKey);
  TSysOption options(Ini());
  options.Load();
  EXPECT_EQ(options.Password, "secret");
  EXPECT_EQ(options.DoorlockPortNo, 1001);
  EXPECT_EQ(options.HandPortNo, 1002);
  EXPECT_EQ(options.PolicePortNo, 1003);
  EXPECT_EQ(options.MemberPortNo, 1004);
  EXPECT_EQ(options.ScanPortNo, 1005);
  EXPECT_FALSE(options.WriteLog);
  EXPECT_EQ(options.DelayMinutes, -30);
  EXPECT_EQ(options.DelayMinutes2, 45);
  EXPECT_TRUE(options.UseNativeDoorlockDb);
  EXPECT_TRUE(options.SaveDoorlockRecord);
  EXPECT_TRUE(options.AutoReadDoorCard);
  EXPECT_EQ(options.PmsServer, "pms.hotel");
  EXPECT_EQ(options.PmsServerPort, 1006);
}

TEST_F(SysOptionTest, KeysInTheOtherSectionAreNotRead) {
  // The same keys with the section headers swapped: nothing is where Load looks.
  std::string swapped = kEveryKey;
  swapped.replace(swapped.find("[SysOption]"), 11, "[Xxxxxxxxx]");
  swapped.replace(swapped.find("[DoorlockOption]"), 16, "[SysOption]");
  swapped.replace(swapped.find("[Xxxxxxxxx]"), 11, "[DoorlockOption]");
  WriteFileBytes(Ini(), swapped);
  TSysOption options(Ini());
  options.Load();
  ExpectDefaults(options);
}

struct TLoadCase {
  const char* Name;
  const char* File;
  void (*Check)(const TSysOption&);
};

const TLoadCase kLoadCases[] = {
    {"WriteLog 0 switches the log off", "[SysOption]\r\nWriteLog=0\r\n",
     [](const TSysOption& o) { EXPECT_FALSE(o.WriteLog); }},
    {"WriteLog false is no integer: the default, on", "[SysOption]\r\nWriteLog=false\r\n",
     [](const TSysOption& o) { EXPECT_TRUE(o.WriteLog); }},
    {"empty WriteLog: the default, on", "[SysOption]\r\nWriteLog=\r\n",
     [](const TSysOption& o) { EXPECT_TRUE(o.WriteLog); }},
    {"UseNativeDoorlockDb 5 is on", "[DoorlockOption]\r\nUseNativeDoorlockDb=5\r\n",
     [](const TSysOption& o) { EXPECT_TRUE(o.UseNativeDoorlockDb); }},
    {"SaveDoorlockRecord true is no integer: the default, off",
     "[DoorlockOption]\r\nSaveDoorlockRecord=true\r\n",
     [](const TSysOption& o) { EXPECT_FALSE(o.SaveDoorlockRecord); }},
    {"hexadecimal port", "[SysOption]\r\nDoorlockPortNo=0x22B6\r\n",
     [](const TSysOption& o) { EXPECT_EQ(o.DoorlockPortNo, 8886); }},
    {"port that is no number: the default", "[SysOption]\r\nDoorlockPortNo=port\r\n",
     [](const TSysOption& o) { EXPECT_EQ(o.DoorlockPortNo, 8886); }},
    {"HandPortNo defaults to 8886 whatever DoorlockPortNo holds",
     "[SysOption]\r\nDoorlockPortNo=9000\r\n",
     [](const TSysOption& o) {
       EXPECT_EQ(o.DoorlockPortNo, 9000);
       EXPECT_EQ(o.HandPortNo, 8886);
     }},
    {"names in another case", "[SYSOPTION]\r\npassword=lower\r\n",
     [](const TSysOption& o) { EXPECT_EQ(o.Password, "lower"); }},
    {"the database password is not the administrator password",
     "[DoorlockOption]\r\nPassword=database\r\n",
     [](const TSysOption& o) { EXPECT_EQ(o.Password, "qitvex"); }},
    {"empty administrator password stays empty", "[SysOption]\r\nPassword=\r\n",
     [](const TSysOption& o) { EXPECT_EQ(o.Password, ""); }},
    {"out-of-range delay: the default", "[DoorlockOption]\r\nDelayMinutes=4294967296\r\n",
     [](const TSysOption& o) { EXPECT_EQ(o.DelayMinutes, 0); }},
};

TEST_F(SysOptionTest, LoadValueRules) {
  for (const TLoadCase& row : kLoadCases) {
    SCOPED_TRACE(row.Name);
    WriteFileBytes(Ini(), row.File);
    TSysOption options(Ini());
    options.Load();
    row.Check(options);
  }
}

TEST_F(SysOptionTest, SaveOnAFreshFolderWritesTheFourteenKeysInOrder) {
  TSysOption options(Ini());
  options.Load();
  options.Save();
  EXPECT_EQ(ReadFileBytes(Ini()),
            "[SysOption]\r\n"
            "Password=qitvex\r\n"
            "DoorlockPortNo=8886\r\n"
            "HandPortNo=8886\r\n"
            "PolicePortNo=8885\r\n"
            "MemberPortNo=8883\r\n"
            "ScanPortNo=8881\r\n"
            "WriteLog=1\r\n"
            "[DoorlockOption]\r\n"
            "DelayMinutes=0\r\n"
            "DelayMinutes2=0\r\n"
            "UseNativeDoorlockDb=0\r\n"
            "SaveDoorlockRecord=0\r\n"
            "AutoReadDoorCard=0\r\n"
            "PmsServer=127.0.0.1\r\n"
            "PmsServerPort=9873\r\n");
}

TEST_F(SysOptionTest, SaveMergesIntoAnExistingFile) {
  WriteFileBytes(Ini(),
                 "[SysOption]\r\n"
                 "PolicePortNo=9000\r\n"
                 "ScanPortNo=7000\r\n"
                 "[DoorlockOption]\r\n"
                 "DataSource=lockdb\r\n"
                 "UserName=clerk\r\n"
                 "Password=database\r\n");
  TSysOption options(Ini());
  options.Load();
  options.Password = "changed";  // the one field the host changes: a password change
  options.Save();

  EXPECT_EQ(ReadFileBytes(Ini()),
            "[SysOption]\r\n"
            "PolicePortNo=9000\r\n"
            "ScanPortNo=7000\r\n"
            "Password=changed\r\n"
            "DoorlockPortNo=8886\r\n"
            "HandPortNo=8886\r\n"
            "MemberPortNo=8883\r\n"
            "WriteLog=1\r\n"
            "[DoorlockOption]\r\n"
            "DataSource=lockdb\r\n"
            "UserName=clerk\r\n"
            "Password=database\r\n"
            "DelayMinutes=0\r\n"
            "DelayMinutes2=0\r\n"
            "UseNativeDoorlockDb=0\r\n"
            "SaveDoorlockRecord=0\r\n"
            "AutoReadDoorCard=0\r\n"
            "PmsServer=127.0.0.1\r\n"
            "PmsServerPort=9873\r\n");

  TOption encoder(Ini());
  encoder.Load();
  EXPECT_EQ(encoder.DataSource, "lockdb");
  EXPECT_EQ(encoder.UserName, "clerk");
  EXPECT_EQ(encoder.Password, "database");
}

TEST_F(SysOptionTest, SavedValuesLoadBackUnchanged) {
  WriteFileBytes(Ini(), kEveryKey);
  TSysOption first(Ini());
  first.Load();
  first.Save();
  EXPECT_EQ(ReadFileBytes(Ini()), kEveryKey);

  TSysOption second(Ini());
  second.Load();
  EXPECT_EQ(second.Password, "secret");
  EXPECT_EQ(second.ScanPortNo, 1005);
  EXPECT_FALSE(second.WriteLog);
  EXPECT_EQ(second.DelayMinutes, -30);
  EXPECT_TRUE(second.AutoReadDoorCard);
  EXPECT_EQ(second.PmsServer, "pms.hotel");
  EXPECT_EQ(second.PmsServerPort, 1006);
}

TEST_F(SysOptionTest, SaveToAReadOnlyFileFailsAndChangesNothing) {
  const std::string original = "[SysOption]\r\nPassword=old\r\n";
  WriteFileBytes(Ini(), original);
  MakeReadOnly(Ini());
  TSysOption options(Ini());
  options.Load();
  options.Password = "new";
  {
    TNoFileOverride asUser;
    try {
      options.Save();
      ADD_FAILURE() << "Save did not throw";
    } catch (const EIniFileException& e) {
      EXPECT_STREQ(e.what(), ("Unable to write to " + Ini()).c_str());
    }
  }
  EXPECT_EQ(options.Password, "new");
  EXPECT_EQ(ReadFileBytes(Ini()), original);
}

}  // namespace
