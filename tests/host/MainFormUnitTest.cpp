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

#include <functional>
#include <optional>

#include <gtest/gtest.h>

#include <QLineEdit>

#include "config/CheckPasswordFormUnit.h"
#include "host/AboutFormUnit.h"
#include "host/RequestListenerUnit.h"
#include "host/StartupUnit.h"
#include "kinds/BaseHandUnit.h"
#include "kinds/BaseMemberUnit.h"
#include "kinds/BasePoliceUnit.h"
#include "kinds/HandTestFormUnit.h"
#include "kinds/MemberTestFormUnit.h"
#include "platform/TcpServer.h"
#include "support/FakeKindDevices.h"
#include "support/GuiScript.h"
#include "support/TcpClient.h"
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

// The kinds that this program never selects, as a start routine of theirs would run them: the
// kind set and its fake device in place before the window is created.
class MainFormKindTest : public MainFormTest {
 protected:
  void TearDown() override {
    PoliceDevice = nullptr;
    MemberDevice = nullptr;
    HandDevice = nullptr;
    KeepConnection = false;
    MainFormTest::TearDown();
  }
  // Selects `kind`, with its fake device when `withDevice`.
  void StartKind(int kind, bool withDevice) {
    InterfaceKind = kind;
    PoliceDevice = withDevice && kind == 2 ? &FPolice : nullptr;
    MemberDevice = withDevice && kind == 3 ? &FMember : nullptr;
    HandDevice = withDevice && kind == 4 ? &FHand : nullptr;
  }
  // Runs `trigger` and reports whether a modal dialog opened meanwhile (which it closes).
  static bool OpensAModal(const std::function<void()>& trigger) {
    bool opened = false;
    QObject guard;  // its end cancels the check when nothing opened
    QTimer::singleShot(0, &guard, [&opened] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        opened = true;
        modal->close();
      }
    });
    trigger();
    return opened;
  }

  TFakePolice FPolice;
  TFakeMember FMember;
  TFakeHand FHand;
  TMessageAnswers FMessages;
};

TEST_F(MainFormKindTest, ListenerServesTheKindsHandlerAndClosesEveryConnection) {
  struct Row {
    int kind;
    const char* startLine;
    const char* request;
    std::string answer;
  } rows[] = {
      {2, "公安接口监听服务器已经启动...", "<R/>", "<PoliceResponse></PoliceResponse>"},
      {3, "会员卡接口监听服务器已经启动...", "<R type=\"PrintMemberCard\"><a/><b/><c/></R>",
       "<DoorResponse><RequestID></RequestID><ResultCode>500</ResultCode><ResultMessage>"
       "打印卡失败</ResultMessage><CardNo></CardNo><ExpireDate></ExpireDate><GuestName>"
       "</GuestName><Score></Score><Password></Password></DoorResponse>"},
      {4, "手牌接口监听服务器已经启动...", "<R type=\"ReadHand\"/>",
       "<DoorResponse><RequestID></RequestID><ResultCode>500</ResultCode><ResultMessage>"
       "读手牌卡失败</ResultMessage><HandNo></HandNo></DoorResponse>"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.kind);
    StartKind(row.kind, false);
    TMainForm form;
    EXPECT_EQ(form.InfoMemo->toPlainText(), QString::fromUtf8(row.startLine));
    ASSERT_TRUE(form.TCPServer->Active());
    // Without a device every kind still answers; the keep flag plays no part for these kinds.
    KeepConnection = true;
    TTcpClient client(form.TCPServer->BoundPort());
    client.SendRequest(row.request);
    EXPECT_EQ(client.ReadResponse(), row.answer);
    EXPECT_TRUE(client.WaitClosed());
    KeepConnection = false;
  }
}

TEST_F(MainFormKindTest, TestOpensTheKindsDialogWithoutPassword) {
  StartKind(3, true);
  {
    TMainForm form;
    TModalScript script;
    script.Next<TMemberTestForm>([](TMemberTestForm& f) {
      f.beepBtn->click();
      f.reject();
    });
    form.TestAction->trigger();
  }
  EXPECT_EQ(FMember.Calls(), std::vector<std::string>{"Beep()"});

  StartKind(4, true);
  {
    TMainForm form;
    TModalScript script;
    script.Next<THandTestForm>([](THandTestForm& f) {
      f.beepBtn->click();
      f.reject();
    });
    form.TestAction->trigger();
  }
  EXPECT_EQ(FHand.Calls(), std::vector<std::string>{"Beep()"});
  EXPECT_TRUE(FMessages.Calls.empty());
}

TEST_F(MainFormKindTest, PoliceTestShowsTheGuestTextInAPlainBox) {
  TPoliceGuest guest;
  guest.Name = "李雷 & 韩梅梅";
  guest.GenderID = "2";
  struct Row {
    const char* name;
    std::optional<TPoliceGuest> guest;
    QString text;
    QMessageBox::Icon icon;
  } rows[] = {
      {"a guest", guest, QString::fromStdString(BuildGuestXml(guest)), QMessageBox::NoIcon},
      // No field of a guest that is not there is read; the guest text is then empty.
      {"no guest", std::nullopt, QString(), QMessageBox::NoIcon},
  };
  StartKind(2, true);
  TMainForm form;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FMessages.Calls.clear();
    FPolice.Guest = row.guest;
    form.TestAction->trigger();
    ASSERT_EQ(FMessages.Calls.size(), 1u);
    EXPECT_EQ(FMessages.Calls[0].Text, row.text);
    EXPECT_EQ(FMessages.Calls[0].Caption, QString::fromUtf8("Tavrin公安接口"));
    EXPECT_EQ(FMessages.Calls[0].Icon, row.icon);
    EXPECT_EQ(FMessages.Calls[0].Buttons, QMessageBox::Ok);
    if (row.guest) {
      EXPECT_TRUE(
          FMessages.Calls[0].Text.contains(QString::fromUtf8("<Name>李雷 &amp; 韩梅梅</Name>")));
    }
  }

  // A GenderID that is no integer is reported as an error instead of a guest.
  FMessages.Calls.clear();
  guest.GenderID = "F";
  FPolice.Guest = guest;
  form.TestAction->trigger();
  ASSERT_EQ(FMessages.Calls.size(), 1u);
  EXPECT_EQ(FMessages.Calls[0].Icon, QMessageBox::Critical);
  EXPECT_TRUE(FMessages.Calls[0].Text.contains("'F'")) << FMessages.Calls[0].Text.toStdString();
}

TEST_F(MainFormKindTest, TestWithoutTheKindsDeviceDoesNothing) {
  for (const int kind : {2, 3, 4}) {
    SCOPED_TRACE(kind);
    StartKind(kind, false);
    TMainForm form;
    EXPECT_FALSE(OpensAModal([&form] { form.TestAction->trigger(); }));
  }
  EXPECT_TRUE(FMessages.Calls.empty());
}

TEST_F(MainFormKindTest, OptionOpensTheKindsDeviceDialogAfterThePassword) {
  struct Row {
    int kind;
    TCallLog* device;
  } rows[] = {{2, &FPolice}, {3, &FMember}, {4, &FHand}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.kind);
    StartKind(row.kind, true);
    TMainForm form;
    TModalScript script;
    // Refused first: the device's dialog is not shown.
    script.Next<TCheckPasswordForm>([](TCheckPasswordForm& f) { f.btnCancel->click(); });
    form.OptionAction->trigger();
    EXPECT_TRUE(row.device->Calls().empty());
    script.Next<TCheckPasswordForm>([](TCheckPasswordForm& f) {
      f.edtPswd->setText("qitvex");
      f.btnOK->click();
    });
    form.OptionAction->trigger();
    EXPECT_EQ(row.device->Calls(), std::vector<std::string>{"ShowOptionForm()"});

    // Without the device the password is still asked for, and nothing follows.
    StartKind(row.kind, false);
    script.Next<TCheckPasswordForm>([](TCheckPasswordForm& f) {
      f.edtPswd->setText("qitvex");
      f.btnOK->click();
    });
    form.OptionAction->trigger();
    EXPECT_EQ(row.device->Calls().size(), 1u);
  }
}

}  // namespace
