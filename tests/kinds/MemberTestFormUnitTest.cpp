// The member card test dialog over a recording fake member card device.
#include "kinds/MemberTestFormUnit.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kinds/BaseMemberUnit.h"
#include "support/FakeKindDevices.h"
#include "support/GuiScript.h"

namespace {

// The widgets that Tab visits, in the order it visits them; the type box's own edit line takes
// the box's focus and is not a stop of its own.
std::vector<QWidget*> TabOrder(QWidget* window) {
  std::vector<QWidget*> order;
  for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain()) {
    if (qobject_cast<QComboBox*>(w->parentWidget()) != nullptr) continue;
    if (w->focusPolicy() & Qt::TabFocus) order.push_back(w);
  }
  return order;
}

QString LabelOf(QWidget* box) {
  for (QLabel* label : box->parentWidget()->findChildren<QLabel*>()) {
    if (label->buddy() == box) return label->text();
  }
  return "(no label)";
}

class MemberTestFormTest : public ::testing::Test {
 protected:
  void SetUp() override { MemberDevice = &FMember; }
  void TearDown() override { MemberDevice = nullptr; }
  TFakeMember FMember;
  TMessageAnswers FMessages;
};

TEST_F(MemberTestFormTest, WindowAndControls) {
  TMemberTestForm form;
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("测试"));
  EXPECT_EQ(form.size(), QSize(441, 311));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_FALSE(form.windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));

  // Tab order, with each control's caption or label and its row (0 at the top).
  struct Row {
    QWidget* widget;
    const char* name;
    const char* text;
    int row;
  } rows[] = {
      {form.OpenPortBtn, "OpenPortBtn", "打开串口", 0},
      {form.ClosePortBtn, "ClosePortBtn", "关闭串口", 0},
      {form.CardNoEdit, "CardNoEdit", "卡号", 2},
      {form.PasswordEdit, "PasswordEdit", "密码:", 3},
      {form.ReadCardBtn, "ReadCardBtn", "读卡", 4},
      {form.WriteCardBtn, "WriteCardBtn", "写卡", 4},
      {form.beepBtn, "beepBtn", "Beep", 0},
      {form.ChannelCmb, "ChannelCmb", "类型", 1},
      {form.PrintCardBtn, "PrintCardBtn", "打印卡", 4},
  };
  std::vector<QWidget*> expectedOrder;
  std::vector<int> rowCentres(5, -1);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    expectedOrder.push_back(row.widget);
    EXPECT_EQ(row.widget->objectName(), row.name);
    auto* button = qobject_cast<QPushButton*>(row.widget);
    EXPECT_EQ(button != nullptr ? button->text() : LabelOf(row.widget),
              QString::fromUtf8(row.text));
    const int centre = row.widget->geometry().center().y();
    if (rowCentres[row.row] < 0) rowCentres[row.row] = centre;
    EXPECT_EQ(centre, rowCentres[row.row]);
    EXPECT_TRUE(form.rect().contains(row.widget->geometry()));
  }
  for (int i = 1; i < 5; ++i) EXPECT_GT(rowCentres[i], rowCentres[i - 1]) << "row " << i;
  EXPECT_EQ(TabOrder(&form), expectedOrder);
  auto left = [](QWidget* w) { return w->geometry().left(); };
  EXPECT_LT(left(form.OpenPortBtn), left(form.beepBtn));
  EXPECT_LT(left(form.beepBtn), left(form.ClosePortBtn));
  EXPECT_LT(left(form.ReadCardBtn), left(form.WriteCardBtn));
  EXPECT_LT(left(form.WriteCardBtn), left(form.PrintCardBtn));

  EXPECT_TRUE(form.CardNoEdit->text().isEmpty());
  EXPECT_TRUE(form.PasswordEdit->text().isEmpty());
  EXPECT_TRUE(form.ChannelCmb->isEditable());
  ASSERT_EQ(form.ChannelCmb->count(), 2);
  EXPECT_EQ(form.ChannelCmb->itemText(0), QString::fromUtf8("酒店会员卡"));
  EXPECT_EQ(form.ChannelCmb->itemText(1), QString::fromUtf8("Tavrin联盟卡"));
  EXPECT_EQ(form.ChannelCmb->currentIndex(), 0);
  EXPECT_TRUE(FMember.Calls().empty()) << "opening the dialog touches the device";
}

TEST_F(MemberTestFormTest, DeviceButtonsExamineNoResult) {
  FMember.Result = false;
  TMemberTestForm form;
  form.OpenPortBtn->click();
  form.beepBtn->click();
  form.PrintCardBtn->click();
  form.ClosePortBtn->click();
  EXPECT_EQ(FMember.Calls(),
            (std::vector<std::string>{"OpenPort()", "Beep()",
                                      "PrintMemberCard(88888888,\r\n当前消费:100\r\n卡内余额:300)",
                                      "ClosePort()"}));
  EXPECT_TRUE(FMessages.Calls.empty()) << "the dialog shows no message for a device result";
}

TEST_F(MemberTestFormTest, ChannelOfReadAndWriteFollowsTheTypeBox) {
  struct Row {
    const char* name;
    int index;  // selected item, or -1 to type `typed`
    const char* typed;
    int channel;
  } rows[] = {
      {"hotel card", 0, "", -1},
      {"alliance card", 1, "", 11},
      {"typed other text", -1, "其他卡", 11},
      {"typed hotel card", -1, "酒店会员卡", -1},
      {"typed nothing", -1, "", 11},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FMember.Clear();
    TMemberTestForm form;
    if (row.index >= 0) {
      form.ChannelCmb->setCurrentIndex(row.index);
    } else {
      form.ChannelCmb->setEditText(QString::fromUtf8(row.typed));
    }
    form.CardNoEdit->setText("C55");
    form.PasswordEdit->setText("ignored");
    form.WriteCardBtn->click();
    form.ReadCardBtn->click();
    const std::string channel = std::to_string(row.channel);
    // The write takes the card number box and three empty texts; the password box is not used.
    EXPECT_EQ(FMember.Calls(),
              (std::vector<std::string>{"WriteMemberCard(C55,,,," + channel + ")",
                                        "ReadMemberCard(false,," + channel + ")"}));
  }
}

TEST_F(MemberTestFormTest, ReadShowsTheNumberAndPasswordHandedBack) {
  struct Row {
    bool result;
    const char* cardNo;
    const char* password;
  } rows[] = {
      {true, "M1001", "pw"},
      // Whatever the device handed back, also when it reports failure.
      {false, "M2002", "secret"},
      {false, "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.cardNo);
    FMember.Result = row.result;
    FMember.CardNo = row.cardNo;
    FMember.Password = row.password;
    TMemberTestForm form;
    form.CardNoEdit->setText("old");
    form.PasswordEdit->setText("old");
    form.ReadCardBtn->click();
    EXPECT_EQ(form.CardNoEdit->text(), QString::fromUtf8(row.cardNo));
    EXPECT_EQ(form.PasswordEdit->text(), QString::fromUtf8(row.password));
  }
  EXPECT_TRUE(FMessages.Calls.empty());
}

TEST_F(MemberTestFormTest, ShowMemberTestFormRunsModallyWithoutOwner) {
  TModalScript script;
  script.Next<TMemberTestForm>([](TMemberTestForm& form) {
    EXPECT_EQ(form.parentWidget(), nullptr);
    form.beepBtn->click();
    form.reject();
  });
  ShowMemberTestForm();
  EXPECT_EQ(FMember.Calls(), std::vector<std::string>{"Beep()"});
}

}  // namespace
