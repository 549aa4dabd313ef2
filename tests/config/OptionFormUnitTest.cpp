#include "config/OptionFormUnit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

#include "config/OptionUnit.h"
#include "doorlock/Mbt2005DoorlockUnit.h"
#include "host/MessageDlgFormUnit.h"
#include "host/StartupUnit.h"
#include "support/ReadOnly.h"
#include "support/TempDir.h"

namespace {

class OptionFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeUnits(FDir.Path());
    SetMessageResponder([this](const TMessageBoxCall& call) {
      FBoxes.push_back(call);
      return QMessageBox::Ok;
    });
  }
  void TearDown() override {
    SetMessageResponder({});
    FinalizeUnits();
  }

  std::string Ini() const { return FDir.File("Option.ini"); }
  // Puts a file in place before the options are read, as if it had been there at start-up.
  void StartWith(const std::string& bytes) {
    WriteFileBytes(Ini(), bytes);
    Option->Load();
  }

  void Type(TOptionForm& form, const char* dataSource, const char* userName, const char* password) {
    form.DataSourceNameTxt->setText(QString::fromUtf8(dataSource));
    form.UserNameTxt->setText(QString::fromUtf8(userName));
    form.PasswordTxt->setText(QString::fromUtf8(password));
  }

  static void PressKey(QWidget* widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
  }

  TempDir FDir;
  std::vector<TMessageBoxCall> FBoxes;
};

TEST_F(OptionFormTest, LayoutOfTheDialog) {
  TOptionForm form;
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("HG门锁接口配置"));
  EXPECT_EQ(form.size(), QSize(286, 212));
  EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "fixed size";

  struct TRow {
    QWidget* Widget;
    const char* Name;
    const char* Text;
    QRect Geometry;
  } rows[] = {
      {form.Label2, "Label2", "数据源名称：", {31, 18, 90, 13}},
      {form.Label3, "Label3", "用户名：", {48, 56, 65, 13}},
      {form.Label4, "Label4", "口令：", {52, 96, 53, 13}},
      {form.DataSourceNameTxt, "DataSourceNameTxt", nullptr, {112, 16, 121, 21}},
      {form.UserNameTxt, "UserNameTxt", nullptr, {112, 56, 121, 21}},
      {form.PasswordTxt, "PasswordTxt", nullptr, {112, 96, 121, 21}},
      {form.OKBtn, "OKBtn", "确定", {54, 149, 73, 23}},
      {form.CancelBtn, "CancelBtn", "取消", {175, 149, 73, 23}},
  };
  for (const TRow& row : rows) {
    ASSERT_NE(row.Widget, nullptr) << row.Name;
    EXPECT_EQ(row.Widget->objectName(), row.Name);
    EXPECT_EQ(row.Widget->geometry(), row.Geometry) << row.Name;
    EXPECT_EQ(row.Widget->parentWidget(), &form) << row.Name;
    if (row.Text == nullptr) continue;
    const QString text = qobject_cast<QLabel*>(row.Widget) != nullptr
                             ? qobject_cast<QLabel*>(row.Widget)->text()
                             : qobject_cast<QPushButton*>(row.Widget)->text();
    EXPECT_EQ(text, QString::fromUtf8(row.Text)) << row.Name;
  }
  EXPECT_TRUE(form.OKBtn->isDefault());
  EXPECT_FALSE(form.CancelBtn->isDefault());
  EXPECT_EQ(form.PasswordTxt->echoMode(), QLineEdit::Password);
  EXPECT_EQ(form.DataSourceNameTxt->echoMode(), QLineEdit::Normal);
  EXPECT_EQ(form.UserNameTxt->echoMode(), QLineEdit::Normal);

  // Tab order: OK 0, Cancel 1, then the edits 2 to 4; OK has the focus when the dialog opens.
  std::vector<QWidget*> chain;
  QWidget* widget = form.OKBtn;
  do {
    if (widget->focusPolicy() & Qt::TabFocus) chain.push_back(widget);
    widget = widget->nextInFocusChain();
  } while (widget != form.OKBtn && chain.size() < 20);
  EXPECT_EQ(chain, (std::vector<QWidget*>{form.OKBtn, form.CancelBtn, form.DataSourceNameTxt,
                                          form.UserNameTxt, form.PasswordTxt}));
  EXPECT_EQ(form.focusWidget(), form.OKBtn);
}

TEST_F(OptionFormTest, WithoutOptionIniItShowsTheDefaults) {
  TOptionForm form;
  EXPECT_EQ(form.DataSourceNameTxt->text(), "localhost");
  EXPECT_EQ(form.UserNameTxt->text(), "TavrinTest");
  EXPECT_EQ(form.PasswordTxt->text(), "730981");
  EXPECT_EQ(form.PasswordTxt->displayText(), "******");
}

TEST_F(OptionFormTest, ItShowsTheValuesOfOptionIni) {
  StartWith("[DoorlockOption]\r\nDataSource=db01\r\nUserName=张三\r\nPassword=pw\r\n");
  TOptionForm form;
  EXPECT_EQ(form.DataSourceNameTxt->text(), "db01");
  EXPECT_EQ(form.UserNameTxt->text(), QString::fromUtf8("张三"));
  EXPECT_EQ(form.PasswordTxt->displayText(), "**");
}

TEST_F(OptionFormTest, ConfirmingOnAFreshFolderWritesExactlyTheThreeKeys) {
  TOptionForm form;
  form.show();
  form.OKBtn->click();
  EXPECT_EQ(ReadFileBytes(Ini()),
            "[DoorlockOption]\r\nDataSource=localhost\r\nUserName=TavrinTest\r\n"
            "Password=730981\r\n");
  ASSERT_EQ(FBoxes.size(), 1u);
  EXPECT_EQ(FBoxes[0].Text, QString::fromUtf8("请重新启动程序,以启用设置的参数！"));
  EXPECT_EQ(FBoxes[0].Caption, QString::fromUtf8("提示"));
  EXPECT_EQ(FBoxes[0].Icon, QMessageBox::Information);
  EXPECT_EQ(FBoxes[0].Buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.result(), QDialog::Accepted);
}

TEST_F(OptionFormTest, ConfirmingKeepsTheTextsAsTypedAndEveryOtherKey) {
  const std::string before =
      "; front desk\r\n[SysOption]\r\nDoorlockPortNo=9000\r\n\r\n"
      "[DoorlockOption]\r\nExtra=1\r\nDataSource=old\r\nUserName=old\r\nPassword=old\r\n";
  // Confirmed by the button and by Enter in an edit (the default button).
  for (const bool byEnter : {false, true}) {
    SCOPED_TRACE(byEnter ? "Enter" : "OK button");
    StartWith(before);
    FBoxes.clear();
    TOptionForm form;
    form.show();
    Type(form, "  db 01 ", " clerk", "");
    if (byEnter) {
      PressKey(form.UserNameTxt, Qt::Key_Return);
    } else {
      form.OKBtn->click();
    }
    EXPECT_EQ(Option->DataSource, "  db 01 ");
    EXPECT_EQ(Option->UserName, " clerk");
    EXPECT_EQ(Option->Password, "");
    EXPECT_EQ(ReadFileBytes(Ini()),
              "; front desk\r\n[SysOption]\r\nDoorlockPortNo=9000\r\n\r\n"
              "[DoorlockOption]\r\nExtra=1\r\nDataSource=  db 01 \r\nUserName= clerk\r\n"
              "Password=\r\n");
    EXPECT_EQ(FBoxes.size(), 1u);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(form.isVisible());
  }
}

TEST_F(OptionFormTest, CancelEscAndCloseChangeNothing) {
  const std::string before = "[DoorlockOption]\r\nUserName=clerk\r\n";
  enum TWay { wayCancel, wayEsc, wayClose };
  for (const TWay way : {wayCancel, wayEsc, wayClose}) {
    SCOPED_TRACE(way);
    StartWith(before);
    TOptionForm form;
    form.show();
    Type(form, "x", "y", "z");
    switch (way) {
      case wayCancel:
        form.CancelBtn->click();
        break;
      case wayEsc:
        PressKey(form.DataSourceNameTxt, Qt::Key_Escape);
        break;
      case wayClose:
        form.close();
        break;
    }
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_EQ(Option->DataSource, "localhost");
    EXPECT_EQ(Option->UserName, "clerk");
    EXPECT_EQ(Option->Password, "730981");
    EXPECT_EQ(ReadFileBytes(Ini()), before);
  }
  EXPECT_TRUE(FBoxes.empty());
}

TEST_F(OptionFormTest, AFileThatCannotBeWrittenShowsTheErrorAndStillCloses) {
  const std::string before = "[DoorlockOption]\r\nUserName=clerk\r\n";
  StartWith(before);
  MakeReadOnly(Ini());
  TOptionForm form;
  form.show();
  Type(form, "db", "manager", "pw");
  {
    TNoFileOverride asUser;
    form.OKBtn->click();
  }
  ASSERT_EQ(FBoxes.size(), 1u) << "the error box only, no restart message";
  EXPECT_EQ(FBoxes[0].Text, QString::fromStdString("Unable to write to " + Ini()));
  EXPECT_EQ(FBoxes[0].Icon, QMessageBox::Critical);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_EQ(ReadFileBytes(Ini()), before);
  EXPECT_EQ(Option->UserName, "manager") << "the values stay for this run";
}

TEST_F(OptionFormTest, TheDevicesShowOptionFormOpensTheDialogModally) {
  TMbt2005Doorlock device{TMbt2005Api{}};
  InstallOptionForm(device);
  QString caption;
  QTimer::singleShot(0, [&caption] {
    auto* form = qobject_cast<TOptionForm*>(QApplication::activeModalWidget());
    if (form == nullptr) return;
    caption = form->windowTitle();
    form->CancelBtn->click();
  });
  device.ShowOptionForm();
  EXPECT_EQ(caption, QString::fromUtf8("HG门锁接口配置"));
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "released when it closes";
}

}  // namespace
