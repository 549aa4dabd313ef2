#include "host/MainFormUnit.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <gtest/gtest.h>

#include <QLineEdit>

#include "config/CheckPasswordFormUnit.h"
#include "host/AboutFormUnit.h"
#include "host/StartupUnit.h"
#include "support/GuiScript.h"
#include "support/TempDir.h"

namespace {

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Port 0 lets the system choose, so that windows of tests running side by side never fight
    // over a port (a refused port would open an error box and wait for a person).
    WriteFileBytes(FDir.File("Option.ini"),
                   "[SysOption]\r\nDoorlockPortNo=0\r\nPolicePortNo=0\r\nMemberPortNo=0\r\n"
                   "HandPortNo=0\r\n");
    InitializeUnits(FDir.Path());
    InterfaceKind = 1;
  }
  void TearDown() override {
    FinalizeUnits();
    InterfaceKind = 0;
  }
  TempDir FDir;
};

QStringList Captions(const QList<QAction*>& actions) {
  QStringList captions;
  for (QAction* a : actions) captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
  return captions;
}

TEST_F(MainFormTest, TitleByInterfaceKind) {
  struct Row {
    int kind;
    const char* title;
  } rows[] = {{1, "Tavrin门锁接口"},
              {2, "Tavrin公安接口"},
              {3, "Tavrin会员卡接口"},
              {4, "Tavrin手牌接口"}};
  for (const Row& row : rows) {
    InterfaceKind = row.kind;
    TMainForm form;
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8(row.title)) << row.kind;
    EXPECT_EQ(QApplication::applicationDisplayName(), QString::fromUtf8(row.title)) << row.kind;
  }
  // An unknown kind leaves the caption as it was.
  QApplication::setApplicationDisplayName("before");
  InterfaceKind = 7;
  TMainForm form;
  EXPECT_EQ(QApplication::applicationDisplayName(), "before");
  EXPECT_EQ(HostTitle(7), "");
}

TEST_F(MainFormTest, MenusHoldTheActionsInOrder) {
  TMainForm form;
  const QList<QAction*> menus = form.MainMenu->actions();
  ASSERT_EQ(menus.size(), 3);
  EXPECT_EQ(Captions(menus), (QStringList{QString::fromUtf8("文件(&F)"), QString::fromUtf8("工具(&T)"),
                                          QString::fromUtf8("帮助(&H)")}));
  EXPECT_EQ(Captions(menus[0]->menu()->actions()), (QStringList{QString::fromUtf8("退出(&X)")}));
  EXPECT_EQ(Captions(menus[1]->menu()->actions()),
            (QStringList{QString::fromUtf8("选项(&O)..."), QString::fromUtf8("测试(&T)"), "-",
                         QString::fromUtf8("更改管理员密码(&C)")}));
  EXPECT_EQ(Captions(menus[2]->menu()->actions()), (QStringList{QString::fromUtf8("关于(&A)...")}));
}

TEST_F(MainFormTest, ToolBarHasNoTestButton) {
  TMainForm form;
  EXPECT_EQ(Captions(form.ToolBar->actions()),
            (QStringList{QString::fromUtf8("选项(&O)..."), QString::fromUtf8("更改管理员密码(&C)"), "-",
                         QString::fromUtf8("关于(&A)..."), "-", QString::fromUtf8("退出(&X)")}));
  EXPECT_EQ(form.ToolBar->height(), 25);
  EXPECT_EQ(form.StatusBar->height(), 21);
}

TEST_F(MainFormTest, ActionsCarryTheirImages) {
  TMainForm form;
  ASSERT_EQ(form.ActionList.size(), 5);
  ASSERT_EQ(form.ImageList.size(), 4);
  struct Row {
    QAction* action;
    const char* name;
    bool hasImage;
  } rows[] = {{form.OptionAction, "OptionAction", true},
              {form.TestAction, "TestAction", false},
              {form.ChangePasswordAction, "ChangePasswordAction", true},
              {form.AboutAction, "AboutAction", true},
              {form.ExitAction, "ExitAction", true}};
  for (const Row& row : rows) {
    EXPECT_EQ(row.action->objectName(), row.name);
    EXPECT_EQ(!row.action->icon().isNull(), row.hasImage) << row.name;
  }
  for (const QIcon& icon : form.ImageList) {
    EXPECT_EQ(icon.availableSizes().value(0), QSize(16, 16));
  }
}

TEST_F(MainFormTest, MessagePaneIsEditableWithoutScrollBars) {
  TMainForm form;
  EXPECT_FALSE(form.InfoMemo->isReadOnly());
  EXPECT_EQ(form.InfoMemo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(form.InfoMemo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

TEST_F(MainFormTest, ExitClosesTheWindow) {
  TMainForm form;
  form.show();
  bool closed = false;
  QObject::connect(&form, &TMainForm::Closed, [&closed] { closed = true; });
  TModalScript script;
  script.Next<TCheckPasswordForm>([](TCheckPasswordForm& f) {
    f.edtPswd->setText("qitvex");
    f.btnOK->click();
  });
  form.ExitAction->trigger();
  EXPECT_TRUE(closed);
  EXPECT_FALSE(form.isVisible());
}

TEST_F(MainFormTest, CloseWithoutPasswordEndsAnOpenModalDialog) {
  TMainForm form;
  form.show();
  bool closed = false;
  QObject::connect(&form, &TMainForm::Closed, [&closed] { closed = true; });
  QTimer::singleShot(0, &form, [&form] { form.CloseWithoutPassword(); });
  // The About dialog is modal; the close must end it rather than wait for a click.
  form.AboutAction->trigger();
  EXPECT_TRUE(closed);
}

TEST_F(MainFormTest, AboutDialogByKind) {
  struct Row {
    int kind;
    const char* caption;
    const char* title;
  } rows[] = {{1, "关于 Tavrin门锁接口", "Tavrin门锁接口"},
              {2, "关于 Tavrin公安接口", "Tavrin公安接口"},
              {3, "关于...", ""},
              {4, "关于...", ""}};
  for (const Row& row : rows) {
    InterfaceKind = row.kind;
    TAboutForm about;
    EXPECT_EQ(about.windowTitle(), QString::fromUtf8(row.caption)) << row.kind;
    EXPECT_EQ(about.lblAppTitle->text(), QString::fromUtf8(row.title)) << row.kind;
    EXPECT_EQ(about.lblVersion->text(), QString::fromUtf8("版本 1.0.0.0"));
    EXPECT_FALSE(about.lblCopyright->text().isEmpty());
    EXPECT_FALSE(about.lblCompany->text().isEmpty());
    EXPECT_EQ(about.size(), QSize(413, 262));
    EXPECT_EQ(about.Image1->pixmap().size(), QSize(132, 238));
    EXPECT_FALSE(about.mmo->isEnabled());
    EXPECT_TRUE(about.mmo->toPlainText().isEmpty());
    EXPECT_EQ(about.btnOK->text(), QString::fromUtf8("确定(&O)"));
  }
}

TEST_F(MainFormTest, AboutOkClosesWithAccepted) {
  TAboutForm about;
  QTimer::singleShot(0, about.btnOK, &QPushButton::click);
  EXPECT_EQ(about.exec(), QDialog::Accepted);
}

}  // namespace
