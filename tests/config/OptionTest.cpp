#include "config/OptionUnit.h"

#include <gtest/gtest.h>

#include <string>

#include "config/SysOptionUnit.h"
#include "platform/IniFile.h"
#include "support/ReadOnly.h"
#include "support/TempDir.h"

namespace {

class OptionTest : public ::testing::Test {
 protected:
  std::string Ini() const { return FDir.File("Option.ini"); }

  TempDir FDir;
};

TEST_F(OptionTest, WithoutAFileTheDefaultsHoldAndNoFileAppears) {
  TOption options(Ini());
  options.Load();
  EXPECT_EQ(options.FileName, Ini());
  EXPECT_EQ(options.DataSource, "localhost");
  EXPECT_EQ(options.UserName, "TavrinTest");
  EXPECT_EQ(options.Password, "730981");
  EXPECT_FALSE(FileExists(Ini()));
}

TEST_F(OptionTest, LoadReadsSectionDoorlockOptionOnly) {
  WriteFileBytes(Ini(),
                 "[SysOption]\r\n"
                 "DataSource=wrong\r\n"
                 "Password=administrator\r\n"
                 "[DoorlockOption]\r\n"
                 "DataSource=lockdb\r\n"
                 "UserName=clerk\r\n");
  TOption options(Ini());
  EXPECT_EQ(options.DataSource, "localhost");  // construction reads nothing
  options.Load();
  EXPECT_EQ(options.DataSource, "lockdb");
  EXPECT_EQ(options.UserName, "clerk");
  EXPECT_EQ(options.Password, "730981");
}

TEST_F(OptionTest, SaveOnAFreshFolderCreatesExactlyItsThreeKeys) {
  TOption options(Ini());
  options.Load();
  options.Save();
  EXPECT_EQ(
      ReadFileBytes(Ini()),
      "[DoorlockOption]\r\nDataSource=localhost\r\nUserName=TavrinTest\r\nPassword=730981\r\n");
}

TEST_F(OptionTest, SaveChangesOnlyItsThreeKeys) {
  WriteFileBytes(Ini(),
                 "[SysOption]\r\n"
                 "Password=administrator\r\n"
                 "[DoorlockOption]\r\n"
                 "DelayMinutes=15\r\n"
                 "Password=old\r\n"
                 "PmsServer=pms\r\n");
  TOption options(Ini());
  options.Load();
  options.DataSource = "lockdb";
  options.Password = "new";
  options.Save();
  EXPECT_EQ(ReadFileBytes(Ini()),
            "[SysOption]\r\n"
            "Password=administrator\r\n"
            "[DoorlockOption]\r\n"
            "DelayMinutes=15\r\n"
            "Password=new\r\n"
            "PmsServer=pms\r\n"
            "DataSource=lockdb\r\n"
            "UserName=TavrinTest\r\n");

  TSysOption system(Ini());
  system.Load();
  EXPECT_EQ(system.Password, "administrator");
  EXPECT_EQ(system.DelayMinutes, 15);
}

// Texts are kept exactly in memory and written unchanged, but the INI rule drops the blanks around
// a value when it is read, so they do not survive a restart. Empty texts do survive: an empty
// value is a value, not a missing key.
TEST_F(OptionTest, TextsAsTypedAndWhatARestartReadsBack) {
  TOption options(Ini());
  options.DataSource = "  lock db  ";
  options.UserName = "";
  options.Password = " p w ";
  options.Save();
  EXPECT_EQ(options.DataSource, "  lock db  ");
  EXPECT_EQ(options.Password, " p w ");
  EXPECT_EQ(ReadFileBytes(Ini()),
            "[DoorlockOption]\r\nDataSource=  lock db  \r\nUserName=\r\nPassword= p w \r\n");

  TOption restarted(Ini());
  restarted.Load();
  EXPECT_EQ(restarted.DataSource, "lock db");
  EXPECT_EQ(restarted.UserName, "");
  EXPECT_EQ(restarted.Password, "p w");
}

TEST_F(OptionTest, SaveToAReadOnlyFileFailsAndKeepsTheValuesInMemory) {
  const std::string original = "[DoorlockOption]\r\nUserName=clerk\r\n";
  WriteFileBytes(Ini(), original);
  MakeReadOnly(Ini());
  TOption options(Ini());
  options.Load();
  options.UserName = "manager";
  {
    TNoFileOverride asUser;
    try {
      options.Save();
      ADD_FAILURE() << "Save did not throw";
    } catch (const EIniFileException& e) {
      EXPECT_STREQ(e.what(), ("Unable to write to " + Ini()).c_str());
    }
  }
  EXPECT_EQ(options.UserName, "manager");
  EXPECT_EQ(ReadFileBytes(Ini()), original);
}

}  // namespace
