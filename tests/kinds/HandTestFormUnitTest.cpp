// The hand tag test dialog over a recording fake hand tag device.
#include "kinds/HandTestFormUnit.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kinds/BaseHandUnit.h"
#include "platform/DateTime.h"
#include "support/FakeKindDevices.h"
#include "support/GuiScript.h"

namespace {

constexpr TDateTime kSecond = 1.0 / 86400;

std::vector<QWidget*> TabOrder(QWidget* window) {
  std::vector<QWidget*> order;
  for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain()) {
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

class HandTestFormTest : public ::testing::Test {
 protected:
  void SetUp() override { HandDevice = &FHand; }
  void TearDown() override { HandDevice = nullptr; }
  TFakeHand FHand;
  TMessageAnswers FMessages;
};

TEST_F(HandTestFormTest, WindowAndControls) {
  TDateTime before = Now();
  THandTestForm form;
  const TDateTime after = Now();
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("测试"));
  EXPECT_EQ(form.size(), QSize(599, 394));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());

  struct Row {
    QWidget* widget;
    const char* name;
    const char* text;
  } rows[] = {
      {form.OpenPortBtn, "OpenPortBtn", "打开串口"},
      {form.ClosePortBtn, "ClosePortBtn", "关闭串口"},
      {form.HandNoTxt, "HandNoTxt", "卡号"},
      {form.RoomNoTxt, "RoomNoTxt", "房号:"},
      {form.RoomFloorCodeTxt, "RoomFloorCodeTxt", "楼层:"},
      {form.RoomBuildingCodeTxt, "RoomBuildingCodeTxt", "楼号:"},
      {form.ReadCardBtn, "ReadCardBtn", "读卡"},
      {form.WriteCardBtn, "WriteCardBtn", "写卡"},
      {form.EraseCardBtn, "EraseCardBtn", "销卡"},
      {form.CheckInDateTimeTxt, "CheckInDateTimeTxt", "起始时间："},
      {form.CheckOutDateTimeTxt, "CheckOutDateTimeTxt", "到"},
      {form.beepBtn, "beepBtn", "Beep"},
      {form.IsCopyCheckBox, "IsCopyCheckBox", "复制"},
  };
  std::vector<QWidget*> expectedOrder;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    expectedOrder.push_back(row.widget);
    EXPECT_EQ(row.widget->objectName(), row.name);
    auto* button = qobject_cast<QAbstractButton*>(row.widget);
    EXPECT_EQ(button != nullptr ? button->text() : LabelOf(row.widget),
              QString::fromUtf8(row.text));
    EXPECT_TRUE(form.rect().contains(row.widget->geometry()));
  }
  EXPECT_EQ(TabOrder(&form), expectedOrder);

  EXPECT_TRUE(form.HandNoTxt->text().isEmpty());
  EXPECT_EQ(form.RoomNoTxt->text(), "01");
  EXPECT_EQ(form.RoomFloorCodeTxt->text(), "01");
  EXPECT_EQ(form.RoomBuildingCodeTxt->text(), "00");
  EXPECT_FALSE(form.IsCopyCheckBox->isChecked());
  // One hour before and two days after the moment of opening, to the second.
  const QRegularExpression layout(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}$)");
  EXPECT_TRUE(layout.match(form.CheckInDateTimeTxt->text()).hasMatch());
  EXPECT_TRUE(layout.match(form.CheckOutDateTimeTxt->text()).hasMatch());
  const TDateTime in = StrToDateTime(form.CheckInDateTimeTxt->text().toStdString());
  const TDateTime out = StrToDateTime(form.CheckOutDateTimeTxt->text().toStdString());
  before -= kSecond;  // the boxes show whole seconds
  EXPECT_GE(in, before - 1.0 / 24 - 1e-9);
  EXPECT_LE(in, after - 1.0 / 24 + 1e-9);
  EXPECT_GE(out, before + 2 - 1e-9);
  EXPECT_LE(out, after + 2 + 1e-9);
  EXPECT_TRUE(FHand.Calls().empty()) << "opening the dialog touches the device";
}

TEST_F(HandTestFormTest, DeviceButtonsExamineNoResult) {
  FHand.Result = false;
  THandTestForm form;
  form.OpenPortBtn->click();
  form.beepBtn->click();
  form.WriteCardBtn->click();
  form.EraseCardBtn->click();
  form.ClosePortBtn->click();
  // The number handed to the device starts empty each time.
  EXPECT_EQ(FHand.Calls(), (std::vector<std::string>{"OpenPort()", "Beep()", "IssueHand()",
                                                     "EraseHand()", "ClosePort()"}));
  EXPECT_TRUE(FMessages.Calls.empty()) << "the dialog shows no message for a device result";
}

TEST_F(HandTestFormTest, OnlyReadReplacesTheNumberBox) {
  struct Row {
    const char* button;
    bool result;
    const char* deviceNo;
    const char* shown;
  } rows[] = {
      {"ReadCardBtn", true, "H0042", "H0042"},  {"ReadCardBtn", false, "H0043", "H0043"},
      {"ReadCardBtn", false, "", ""},           {"WriteCardBtn", true, "H0044", "typed"},
      {"EraseCardBtn", true, "H0045", "typed"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.button) + " " + row.deviceNo);
    FHand.Result = row.result;
    FHand.HandNo = row.deviceNo;
    THandTestForm form;
    form.HandNoTxt->setText("typed");
    form.findChild<QPushButton*>(row.button)->click();
    EXPECT_EQ(form.HandNoTxt->text(), QString::fromUtf8(row.shown));
  }
}

TEST_F(HandTestFormTest, ShowHandTestFormRunsModallyWithoutOwner) {
  TModalScript script;
  script.Next<THandTestForm>([](THandTestForm& form) {
    EXPECT_EQ(form.parentWidget(), nullptr);
    form.ReadCardBtn->click();
    form.reject();
  });
  ShowHandTestForm();
  EXPECT_EQ(FHand.Calls(), std::vector<std::string>{"ReadHand()"});
}

}  // namespace
