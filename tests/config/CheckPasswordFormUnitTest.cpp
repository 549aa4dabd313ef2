// The administrator password prompt, and the main window's commands it guards.
#include "config/CheckPasswordFormUnit.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "config/ChangePasswordFormUnit.h"
#include "config/SysOptionUnit.h"
#include "doorlock/BaseDoorlockUnit.h"
#include "doorlock/DoorlockTestFormUnit.h"
#include "host/MainFormUnit.h"
#include "host/StartupUnit.h"
#include "support/FakeDoorlock.h"
#include "support/GuiScript.h"
#include "support/TcpClient.h"
#include "support/TempDir.h"

namespace {

const char kReadCard[] = "<DoorRequest type=\"ReadCard\"/>";

// A port nobody listens on right now, for a main window's listener.
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

class CheckPasswordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FPort = FreePort();
    WriteFileBytes(FDir.File("Option.ini"),
                   "[SysOption]\r\nDoorlockPortNo=" + std::to_string(FPort) + "\r\n");
    InitializeUnits(FDir.Path());
    InterfaceKind = 1;
    SetDoorlock(&FDevice);
  }
  void TearDown() override {
    ResetDoorlock();
    FinalizeUnits();
    InterfaceKind = 0;
  }

  // Types the entry and presses OK.
  static void Enter(TCheckPasswordForm& form, const char* entry) {
    form.edtPswd->setText(QString::fromUtf8(entry));
    form.btnOK->click();
  }
  // The one wrong-password box.
  static void ExpectWrongPasswordBox(const TMessageBoxCall& call) {
    EXPECT_EQ(call.Text, QString::fromUtf8("密码错误 ！"));
    EXPECT_EQ(call.Caption, QString::fromUtf8("提示"));
    EXPECT_EQ(call.Icon, QMessageBox::Critical);
    EXPECT_EQ(call.Buttons, QMessageBox::Ok);
  }

  TempDir FDir;
  int FPort = 0;
  TFakeDoorlock FDevice;
  TMessageAnswers FMessages;
  TModalScript FScript;
};

TEST_F(CheckPasswordTest, EntryIsTrimmedOfCodesUpTo32AndComparedExactly) {
  struct Row {
    const char* entry;
    bool accepted;
  } rows[] = {
      {"qitvex", true},
      {"  qitvex   ", true},
      {"\t\r\n qitvex \x01\x1f", true},
      {"Qitvex", false},
      {"QITVEX", false},
      {"qit vex", false},
      {"qitvex\xE3\x80\x80", false},  // a full-width blank is no code below 33
      {"qitvex\xC2\xA0", false},      // nor is a no-break space
      {"", false},
      {"   ", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.entry);
    FMessages.Calls.clear();
    FScript.Next<TCheckPasswordForm>([&row](TCheckPasswordForm& form) {
      Enter(form, row.entry);
      if (!row.accepted) {
        EXPECT_EQ(QApplication::activeModalWidget(), &form) << "a wrong entry closed the prompt";
        form.btnCancel->click();
      }
    });
    EXPECT_EQ(CheckPassword(), row.accepted);
    if (row.accepted) {
      EXPECT_TRUE(FMessages.Calls.empty());
    } else {
      ASSERT_EQ(FMessages.Calls.size(), 1u);
      ExpectWrongPasswordBox(FMessages.Calls[0]);
    }
  }
}

TEST_F(CheckPasswordTest, ThreeWrongEntriesThenCancel) {
  FScript.Next<TCheckPasswordForm>([this](TCheckPasswordForm& form) {
    const char* entries[] = {"wrong", "Qitvex", " qitvex!"};
    for (size_t i = 0; i < std::size(entries); ++i) {
      SCOPED_TRACE(entries[i]);
      form.btnOK->setFocus();
      Enter(form, entries[i]);
      ASSERT_EQ(FMessages.Calls.size(), i + 1);
      ExpectWrongPasswordBox(FMessages.Calls[i]);
      EXPECT_EQ(QApplication::activeModalWidget(), &form);
      EXPECT_EQ(form.focusWidget(), form.edtPswd);
      EXPECT_EQ(form.edtPswd->text(), QString::fromUtf8(entries[i]));
    }
    form.btnCancel->click();
  });
  EXPECT_FALSE(CheckPassword());
  EXPECT_EQ(FMessages.Calls.size(), 3u);
}

TEST_F(CheckPasswordTest, EnterIsOkAndEscCancelAsIsTheCloseBox) {
  auto key = [](QWidget* target, int code) {
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
  };
  struct Row {
    const char* how;
    std::function<void(TCheckPasswordForm&)> act;
    bool accepted;
  } rows[] = {
      {"Enter", [&](TCheckPasswordForm& f) { key(f.edtPswd, Qt::Key_Return); }, true},
      {"Esc", [&](TCheckPasswordForm& f) { key(f.edtPswd, Qt::Key_Escape); }, false},
      {"close box", [](TCheckPasswordForm& f) { f.close(); }, false},
      {"Cancel", [](TCheckPasswordForm& f) { f.btnCancel->click(); }, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.how);
    FScript.Next<TCheckPasswordForm>([&row](TCheckPasswordForm& form) {
      form.edtPswd->setText("qitvex");  // right, so that only the key decides
      row.act(form);
    });
    EXPECT_EQ(CheckPassword(), row.accepted);
  }
  EXPECT_TRUE(FMessages.Calls.empty());
}

TEST_F(CheckPasswordTest, PromptLayout) {
  TMainForm window;
  MainForm = &window;
  FScript.Next<TCheckPasswordForm>([&window](TCheckPasswordForm& form) {
    EXPECT_EQ(form.parentWidget(), &window);
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8("请输入管理员密码"));
    EXPECT_EQ(form.size(), QSize(306, 140));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags() &
                 (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));
    EXPECT_EQ(form.font().family(), QString::fromUtf8("宋体"));
    EXPECT_EQ(form.font().pointSize(), 9);

    struct Row {
      QWidget* widget;
      const char* name;
      QRect place;
    } rows[] = {{form.Image1, "Image1", {28, 28, 32, 32}},
                {form.Label1, "Label1", {88, 40, 36, 12}},
                {form.edtPswd, "edtPswd", {128, 36, 153, 20}},
                {form.btnOK, "btnOK", {120, 96, 73, 23}},
                {form.btnCancel, "btnCancel", {208, 96, 73, 23}}};
    for (const Row& row : rows) {
      EXPECT_EQ(row.widget->objectName(), row.name);
      EXPECT_EQ(row.widget->geometry(), row.place) << row.name;
    }
    EXPECT_EQ(form.Label1->text(), QString::fromUtf8("密码："));
    EXPECT_EQ(form.btnOK->text(), QString::fromUtf8("确定"));
    EXPECT_EQ(form.btnCancel->text(), QString::fromUtf8("取消"));
    EXPECT_TRUE(form.btnOK->isDefault());
    EXPECT_TRUE(form.Image1->pixmap().hasAlphaChannel());

    EXPECT_TRUE(form.edtPswd->text().isEmpty());
    form.edtPswd->setText("ab c");
    EXPECT_EQ(form.edtPswd->displayText(), "****");

    EXPECT_EQ(form.focusWidget(), form.edtPswd);
    EXPECT_EQ(form.edtPswd->nextInFocusChain(), form.btnOK);
    EXPECT_EQ(form.btnOK->nextInFocusChain(), form.btnCancel);
    form.reject();
  });
  EXPECT_FALSE(CheckPassword());
  MainForm = nullptr;
}

// The prompt guards closing the window: refused, the window stays and its listener serves.
TEST_F(CheckPasswordTest, ClosingTheWindowNeedsThePassword) {
  TMainForm window;
  window.show();
  int closed = 0;
  QObject::connect(&window, &TMainForm::Closed, [&closed] { ++closed; });
  ASSERT_TRUE(Exchange(FPort, kReadCard).has_value());

  FScript.Next<TCheckPasswordForm>([this](TCheckPasswordForm& form) {
    Enter(form, "Qitvex");
    // The listener serves while the prompt is up.
    EXPECT_TRUE(Exchange(FPort, kReadCard).has_value());
    form.btnCancel->click();
  });
  EXPECT_FALSE(window.close());
  EXPECT_EQ(closed, 0);
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(FMessages.Calls.size(), 1u);
  EXPECT_TRUE(Exchange(FPort, kReadCard).has_value()) << "the listener stopped";

  // Exit goes the same way.
  FScript.Next<TCheckPasswordForm>([](TCheckPasswordForm& form) { form.btnCancel->click(); });
  window.ExitAction->trigger();
  EXPECT_EQ(closed, 0);
  EXPECT_TRUE(window.isVisible());

  FScript.Next<TCheckPasswordForm>([](TCheckPasswordForm& form) { Enter(form, "qitvex"); });
  EXPECT_TRUE(window.close());
  EXPECT_EQ(closed, 1);
}

// A SIGINT or SIGTERM while the close prompt is up ends the prompt and the window with it.
TEST_F(CheckPasswordTest, CloseWithoutPasswordEndsAPendingPrompt) {
  TMainForm window;
  window.show();
  int closed = 0;
  QObject::connect(&window, &TMainForm::Closed, [&closed] { ++closed; });
  FScript.Next<TCheckPasswordForm>(
      [&window](TCheckPasswordForm&) { window.CloseWithoutPassword(); });
  window.ExitAction->trigger();
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(window.isVisible());
}

TEST_F(CheckPasswordTest, OptionAndChangePasswordAskFirstTestDoesNot) {
  enum class Answer { None, Wrong, Right };
  struct Row {
    const char* what;
    QAction* TMainForm::*action;
    Answer answer;
    bool optionFormShown;
  } rows[] = {
      {"option, cancelled", &TMainForm::OptionAction, Answer::Wrong, false},
      {"option, right", &TMainForm::OptionAction, Answer::Right, true},
      {"change, cancelled", &TMainForm::ChangePasswordAction, Answer::Wrong, false},
      {"change, right", &TMainForm::ChangePasswordAction, Answer::Right, false},
      {"test", &TMainForm::TestAction, Answer::None, false},
  };
  TMainForm window;
  window.show();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const size_t callsBefore = FDevice.Calls().size();
    bool changeShown = false;
    bool testShown = false;
    if (row.answer != Answer::None) {
      FScript.Next<TCheckPasswordForm>([&](TCheckPasswordForm& form) {
        if (row.answer == Answer::Right) {
          if (row.action == &TMainForm::ChangePasswordAction) {
            FScript.Next<TChangePasswordForm>([&changeShown](TChangePasswordForm& change) {
              changeShown = true;
              change.reject();
            });
          }
          Enter(form, "qitvex");
        } else {
          Enter(form, "wrong");
          form.btnCancel->click();
        }
      });
    } else {
      FScript.Next<TDoorlockTestForm>([&testShown](TDoorlockTestForm& test) {
        testShown = true;
        test.reject();
      });
    }
    (window.*row.action)->trigger();
    const std::vector<std::string> calls = FDevice.Calls();
    ASSERT_EQ(calls.size(), callsBefore + (row.optionFormShown ? 1 : 0));
    if (row.optionFormShown) {
      EXPECT_EQ(calls.back(), "ShowOptionForm");
    }
    EXPECT_EQ(changeShown,
              row.action == &TMainForm::ChangePasswordAction && row.answer == Answer::Right);
    EXPECT_EQ(testShown, row.action == &TMainForm::TestAction);
  }
  EXPECT_EQ(SysOption->Password, "qitvex");
}

}  // namespace
