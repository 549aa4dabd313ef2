// The administrator password change: its entries, what it saves, and a save that fails.
#include "config/ChangePasswordFormUnit.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <string>

#include "config/CheckPasswordFormUnit.h"
#include "config/SysOptionUnit.h"
#include "host/StartupUnit.h"
#include "support/GuiScript.h"
#include "support/ReadOnly.h"
#include "support/TempDir.h"

namespace {

class ChangePasswordTest : public ::testing::Test {
 protected:
  // Option.ini's content before the units start; empty for no file.
  void Start(const std::string& ini = "") {
    if (!ini.empty()) WriteFileBytes(Ini(), ini);
    InitializeUnits(FDir.Path());
    InterfaceKind = 1;
  }
  void TearDown() override {
    FinalizeUnits();
    InterfaceKind = 0;
  }
  std::string Ini() const { return FDir.File("Option.ini"); }
  // The password a fresh start would read.
  std::string SavedPassword() const {
    TSysOption options(Ini());
    options.Load();
    return options.Password;
  }
  // Whether CheckPassword accepts the entry.
  bool Accepts(const char* entry) {
    FScript.Next<TCheckPasswordForm>([entry](TCheckPasswordForm& form) {
      form.edtPswd->setText(QString::fromUtf8(entry));
      form.btnOK->click();
      if (QApplication::activeModalWidget() == &form) form.btnCancel->click();
    });
    return CheckPassword();
  }

  TempDir FDir;
  TMessageAnswers FMessages;
  TModalScript FScript;
};

TEST_F(ChangePasswordTest, EqualEntriesAfterTrimmingAreSavedOthersRefused) {
  struct Row {
    const char* entry;
    const char* confirm;
    const char* saved;  // null: refused
  } rows[] = {
      {"abc", "abd", nullptr},        {"abc", "ABC", nullptr},      {"abc", "", nullptr},
      {"新密码", "新密码", "新密码"}, {" abc", "abc\t\r\n", "abc"}, {"a b", "a b", "a b"},
  };
  Start();
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.entry) + "|" + row.confirm);
    const std::string before = SysOption->Password;
    FMessages.Calls.clear();
    FScript.Next<TChangePasswordForm>([&row](TChangePasswordForm& form) {
      form.edtPswd->setText(QString::fromUtf8(row.entry));
      form.edtConfirmPswd->setText(QString::fromUtf8(row.confirm));
      form.btnOK->click();
      if (row.saved == nullptr) {
        EXPECT_EQ(QApplication::activeModalWidget(), &form) << "refused entries closed it";
        EXPECT_EQ(form.edtPswd->text(), QString::fromUtf8(row.entry));
        EXPECT_EQ(form.edtConfirmPswd->text(), QString::fromUtf8(row.confirm));
        form.btnCancel->click();
      }
    });
    ChangePassword();

    ASSERT_EQ(FMessages.Calls.size(), 1u);
    const TMessageBoxCall& box = FMessages.Calls[0];
    EXPECT_EQ(box.Caption, QString::fromUtf8("提示"));
    EXPECT_EQ(box.Buttons, QMessageBox::Ok);
    if (row.saved == nullptr) {
      EXPECT_EQ(box.Text, QString::fromUtf8("您两次输入的密码不一致，请重新输入！"));
      EXPECT_EQ(box.Icon, QMessageBox::Critical);
      EXPECT_EQ(SysOption->Password, before);
    } else {
      EXPECT_EQ(box.Text, QString::fromUtf8("管理员密码更改成功！"));
      EXPECT_EQ(box.Icon, QMessageBox::Information);
      EXPECT_EQ(SysOption->Password, row.saved);
      EXPECT_EQ(SavedPassword(), row.saved);
    }
  }
}

TEST_F(ChangePasswordTest, RefusedEntriesWriteNoFile) {
  Start();
  FScript.Next<TChangePasswordForm>([](TChangePasswordForm& form) {
    form.edtPswd->setText("one");
    form.edtConfirmPswd->setText("two");
    form.btnOK->click();
    form.btnCancel->click();
  });
  ChangePassword();
  EXPECT_FALSE(FileExists(Ini()));
}

TEST_F(ChangePasswordTest, TwoBlankEntriesSetAnEmptyPassword) {
  Start();
  FScript.Next<TChangePasswordForm>([](TChangePasswordForm& form) {
    form.edtPswd->setText("   ");
    form.edtConfirmPswd->setText("");
    form.btnOK->click();
  });
  ChangePassword();
  EXPECT_EQ(SysOption->Password, "");
  EXPECT_EQ(SavedPassword(), "");
  EXPECT_TRUE(Accepts(""));
  EXPECT_TRUE(Accepts("  \t"));
  EXPECT_FALSE(Accepts("qitvex"));
}

// The change saves every system option, not the password alone: a file that held only other
// sections gains all of them, and keeps what it had.
TEST_F(ChangePasswordTest, SavesEverySystemOption) {
  Start("[DoorlockOption]\r\nDataSource=lockdb\r\n[Other]\r\nKey=kept\r\n");
  SysOption->DelayMinutes = 45;
  FScript.Next<TChangePasswordForm>([](TChangePasswordForm& form) {
    form.edtPswd->setText("new");
    form.edtConfirmPswd->setText("new");
    form.btnOK->click();
  });
  ChangePassword();
  const std::string file = ReadFileBytes(Ini());
  for (const char* line : {"Password=new", "DoorlockPortNo=8886", "WriteLog=", "DelayMinutes=45",
                           "DelayMinutes2=0", "UseNativeDoorlockDb=", "SaveDoorlockRecord=",
                           "PmsServerPort=9873", "DataSource=lockdb", "Key=kept"}) {
    EXPECT_NE(file.find(line), std::string::npos) << line << " missing from\n" << file;
  }
}

// Option.ini cannot be written: the error is shown, no success is claimed and the dialog stays;
// this run takes the new password while the file keeps the old one for the next start.
TEST_F(ChangePasswordTest, ReadOnlyOptionIni) {
  const std::string original = "[SysOption]\r\nPassword=old\r\n";
  Start(original);
  MakeReadOnly(Ini());
  TNoFileOverride asUser;
  FScript.Next<TChangePasswordForm>([this](TChangePasswordForm& form) {
    form.edtPswd->setText("new");
    form.edtConfirmPswd->setText("new");
    form.btnOK->click();
    ASSERT_EQ(FMessages.Calls.size(), 1u);
    const TMessageBoxCall& box = FMessages.Calls[0];
    EXPECT_EQ(box.Text, QString::fromStdString("Unable to write to " + Ini()));
    EXPECT_EQ(box.Caption, QApplication::applicationDisplayName());
    EXPECT_EQ(box.Icon, QMessageBox::Critical);
    EXPECT_EQ(QApplication::activeModalWidget(), &form);
    form.btnCancel->click();
  });
  ChangePassword();
  EXPECT_EQ(FMessages.Calls.size(), 1u) << "a success message followed the failure";
  EXPECT_EQ(ReadFileBytes(Ini()), original);
  EXPECT_EQ(SysOption->Password, "new");
  EXPECT_TRUE(Accepts("new"));
  EXPECT_FALSE(Accepts("old"));
}

TEST_F(ChangePasswordTest, DialogLayout) {
  Start();
  FScript.Next<TChangePasswordForm>([](TChangePasswordForm& form) {
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8("更改管理员密码"));
    EXPECT_EQ(form.size(), QSize(346, 163));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags() &
                 (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));
    EXPECT_EQ(form.font().family(), QString::fromUtf8("宋体"));
    EXPECT_EQ(form.font().pointSize(), 9);

    struct Row {
      QWidget* widget;
      const char* name;
      QRect place;
    } rows[] = {{form.Image1, "Image1", {28, 24, 48, 48}},
                {form.Label1, "Label1", {124, 32, 48, 12}},
                {form.Label2, "Label2", {100, 68, 72, 12}},
                {form.edtPswd, "edtPswd", {176, 28, 137, 20}},
                {form.edtConfirmPswd, "edtConfirmPswd", {176, 64, 137, 20}},
                {form.btnOK, "btnOK", {154, 116, 73, 23}},
                {form.btnCancel, "btnCancel", {242, 116, 73, 23}}};
    for (const Row& row : rows) {
      EXPECT_EQ(row.widget->objectName(), row.name);
      EXPECT_EQ(row.widget->geometry(), row.place) << row.name;
    }
    EXPECT_EQ(form.Label1->text(), QString::fromUtf8("新密码："));
    EXPECT_EQ(form.Label2->text(), QString::fromUtf8("新密码确认："));
    EXPECT_EQ(form.btnOK->text(), QString::fromUtf8("确定"));
    EXPECT_EQ(form.btnCancel->text(), QString::fromUtf8("取消"));
    EXPECT_TRUE(form.btnOK->isDefault());
    EXPECT_TRUE(form.Image1->pixmap().hasAlphaChannel());

    for (QLineEdit* edit : {form.edtPswd, form.edtConfirmPswd}) {
      EXPECT_TRUE(edit->text().isEmpty());
      edit->setText(QString::fromUtf8("密 码"));
      EXPECT_EQ(edit->displayText(), "***");
    }

    EXPECT_EQ(form.focusWidget(), form.edtPswd);
    EXPECT_EQ(form.edtPswd->nextInFocusChain(), form.edtConfirmPswd);
    EXPECT_EQ(form.edtConfirmPswd->nextInFocusChain(), form.btnOK);
    EXPECT_EQ(form.btnOK->nextInFocusChain(), form.btnCancel);
    form.reject();
  });
  ChangePassword();
  EXPECT_EQ(SysOption->Password, "qitvex");
}

}  // namespace
