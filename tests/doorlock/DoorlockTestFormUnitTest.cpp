// The door lock test dialog over a recording fake device and a real record store in a
// temporary folder.
#include "doorlock/DoorlockTestFormUnit.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "config/SysOptionUnit.h"
#include "doorlock/BaseDoorlockUnit.h"
#include "host/StartupUnit.h"
#include "platform/DateTime.h"
#include "store/DoorlockRecordManagerUnit.h"
#include "support/FakeDoorlock.h"
#include "support/GuiScript.h"
#include "support/StoreRows.h"
#include "support/TempDir.h"

namespace {

constexpr TDateTime kSecond = 1.0 / 86400;
constexpr TDateTime kMillisecond = kSecond / 1000;

::testing::AssertionResult Near(TDateTime actual, TDateTime expected) {
  if (std::fabs(actual - expected) < kMillisecond) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", actual) << ", expected "
         << FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", expected);
}
::testing::AssertionResult Within(TDateTime actual, TDateTime low, TDateTime high) {
  if (actual >= low - kMillisecond && actual <= high + kMillisecond) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", actual) << " outside "
         << FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", low) << " .. "
         << FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", high);
}

// The widgets that Tab visits, in the order it visits them.
std::vector<QWidget*> TabOrder(QWidget* window) {
  std::vector<QWidget*> order;
  for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain()) {
    if (w->focusPolicy() & Qt::TabFocus) order.push_back(w);
  }
  return order;
}

// The text of the label that names a box.
QString LabelOf(QWidget* box) {
  for (QLabel* label : box->parentWidget()->findChildren<QLabel*>()) {
    if (label->buddy() == box) return label->text();
  }
  return "(no label)";
}

class DoorlockTestFormTest : public ::testing::Test {
 protected:
  void SetUp() override { Start(); }
  void TearDown() override { Stop(); }
  // A fresh host: the units on a new folder (options, log, an empty store) and a new device.
  void Start() {
    FDir = std::make_unique<TempDir>();
    FDevice = std::make_unique<TFakeDoorlock>();
    InitializeUnits(FDir->Path());
    InterfaceKind = 1;
    SetDoorlock(FDevice.get());
  }
  void Stop() {
    ResetDoorlock();
    FinalizeUnits();
    InterfaceKind = 0;
    FDevice.reset();
    FDir.reset();
  }
  std::vector<TRow> Rooms() const {
    return QueryRows(DoorlockRecordManager->FileName, "select * from T_Room");
  }
  std::vector<TRow> Records() const {
    return QueryRows(DoorlockRecordManager->FileName, "select * from T_IssueCardRecord");
  }

  std::unique_ptr<TempDir> FDir;
  std::unique_ptr<TFakeDoorlock> FDevice;
  TMessageAnswers FMessages;
  TModalScript FScript;
};

TEST_F(DoorlockTestFormTest, InitialContents) {
  const TDateTime before = Now();
  TDoorlockTestForm form;
  const TDateTime after = Now();

  EXPECT_EQ(form.RoomBuildingCodeTxt->text(), "00");
  EXPECT_EQ(form.RoomFloorCodeTxt->text(), "01");
  EXPECT_EQ(form.RoomNoTxt->text(), "01");
  EXPECT_TRUE(form.CardNoTxt->text().isEmpty());
  EXPECT_FALSE(form.IsCopyCheckBox->isChecked());

  // One hour before and two days after the moment of opening, to the second.
  const QRegularExpression layout(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}$)");
  const std::string in = form.CheckInDateTimeTxt->text().toStdString();
  const std::string out = form.CheckOutDateTimeTxt->text().toStdString();
  EXPECT_TRUE(layout.match(QString::fromStdString(in)).hasMatch()) << in;
  EXPECT_TRUE(layout.match(QString::fromStdString(out)).hasMatch()) << out;
  EXPECT_TRUE(Within(StrToDateTime(in), before - 1.0 / 24 - kSecond, after - 1.0 / 24));
  EXPECT_TRUE(Within(StrToDateTime(out), before + 2 - kSecond, after + 2));
  EXPECT_TRUE(FDevice->Calls().empty()) << "opening the dialog touches the device";
}

TEST_F(DoorlockTestFormTest, WindowAndControls) {
  TDoorlockTestForm form;
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("测试"));
  EXPECT_EQ(form.size(), QSize(599, 394));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_FALSE(form.windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));
  EXPECT_EQ(form.parentWidget(), nullptr);

  // Tab order, with each control's caption or label and its row (0 at the top).
  struct Row {
    QWidget* widget;
    const char* name;
    const char* text;
    int row;
  } rows[] = {
      {form.OpenPortBtn, "OpenPortBtn", "打开串口", 0},
      {form.ClosePortBtn, "ClosePortBtn", "关闭串口", 0},
      {form.CardNoTxt, "CardNoTxt", "卡号", 4},
      {form.RoomNoTxt, "RoomNoTxt", "房号:", 1},
      {form.RoomFloorCodeTxt, "RoomFloorCodeTxt", "楼层:", 1},
      {form.RoomBuildingCodeTxt, "RoomBuildingCodeTxt", "楼号:", 1},
      {form.ReadCardBtn, "ReadCardBtn", "读卡", 4},
      {form.WriteCardBtn, "WriteCardBtn", "写卡", 3},
      {form.EraseCardBtn, "EraseCardBtn", "销卡", 4},
      {form.CheckInDateTimeTxt, "CheckInDateTimeTxt", "起始时间：", 2},
      {form.CheckOutDateTimeTxt, "CheckOutDateTimeTxt", "到", 2},
      {form.beepBtn, "beepBtn", "Beep", 0},
      {form.IsCopyCheckBox, "IsCopyCheckBox", "复制", 3},
  };
  std::vector<QWidget*> expectedOrder;
  std::vector<int> rowTops(5, -1);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    expectedOrder.push_back(row.widget);
    EXPECT_EQ(row.widget->objectName(), row.name);
    QString text;
    if (auto* button = qobject_cast<QAbstractButton*>(row.widget)) {
      text = button->text();
    } else {
      text = LabelOf(row.widget);
    }
    EXPECT_EQ(text, QString::fromUtf8(row.text));
    // A row's controls share their vertical centre; rows go down the dialog in order.
    const int centre = row.widget->geometry().center().y();
    if (rowTops[row.row] < 0) rowTops[row.row] = centre;
    EXPECT_EQ(centre, rowTops[row.row]);
    EXPECT_TRUE(form.rect().contains(row.widget->geometry()));
  }
  for (int i = 1; i < 5; ++i) EXPECT_GT(rowTops[i], rowTops[i - 1]) << "row " << i;
  EXPECT_EQ(TabOrder(&form), expectedOrder);

  // Left to right within the rows the operator reads.
  auto left = [](QWidget* w) { return w->geometry().left(); };
  EXPECT_LT(left(form.OpenPortBtn), left(form.beepBtn));
  EXPECT_LT(left(form.beepBtn), left(form.ClosePortBtn));
  EXPECT_LT(left(form.RoomBuildingCodeTxt), left(form.RoomFloorCodeTxt));
  EXPECT_LT(left(form.RoomFloorCodeTxt), left(form.RoomNoTxt));
  EXPECT_LT(left(form.CheckInDateTimeTxt), left(form.CheckOutDateTimeTxt));
  EXPECT_LT(left(form.IsCopyCheckBox), left(form.WriteCardBtn));
  EXPECT_LT(left(form.CardNoTxt), left(form.ReadCardBtn));
  EXPECT_LT(left(form.ReadCardBtn), left(form.EraseCardBtn));
}

TEST_F(DoorlockTestFormTest, DeviceButtons) {
  TDoorlockTestForm form;
  FDevice->OpenPortResult = false;
  FDevice->ClosePortResult = false;
  FDevice->EraseResult = false;
  form.OpenPortBtn->click();
  form.beepBtn->click();
  form.EraseCardBtn->click();
  form.ClosePortBtn->click();
  EXPECT_EQ(FDevice->Calls(),
            (std::vector<std::string>{"OpenPort", "Beep", "EraseCard", "ClosePort"}));
  EXPECT_TRUE(FMessages.Calls.empty()) << "failures are the device's to log, not to show";
}

TEST_F(DoorlockTestFormTest, ReadShowsTheCardNumberOrZero) {
  struct Row {
    bool read;
    std::int64_t cardNo;
    const char* shown;
  } rows[] = {{true, 1001, "1001"},
              {true, 9007199254740993LL, "9007199254740993"},  // past a double's precision
              {true, 42, "42"},
              {false, 777, "0"}};
  TDoorlockTestForm form;
  form.CardNoTxt->setText("old");
  for (const Row& row : rows) {
    FDevice->ReadResult = row.read;
    FDevice->CardNo = row.cardNo;
    form.ReadCardBtn->click();
    EXPECT_EQ(form.CardNoTxt->text(), row.shown) << row.cardNo;
  }
}

// The issue button with the native store on and off, new and copy cards, devices that encode
// and refuse, rooms kept and unknown, and the record switch.
TEST_F(DoorlockTestFormTest, IssueButton) {
  enum class Begin { Entered, NowLessDelay, Kept };
  struct Row {
    const char* name;
    bool native, copy, roomKept, written, record;
    Begin begin;
    bool roomAfterIsBegin;  // else T_Room is as before
  } rows[] = {
      {"store off, new", false, false, false, true, true, Begin::Entered, false},
      {"store off, copy", false, true, true, true, true, Begin::Entered, false},
      {"store off, refused", false, false, false, false, true, Begin::Entered, false},
      {"store on, new", true, false, true, true, true, Begin::NowLessDelay, true},
      {"store on, new, unknown room", true, false, false, true, true, Begin::NowLessDelay, true},
      {"store on, new, refused", true, false, true, false, true, Begin::NowLessDelay, false},
      {"store on, copy, kept room", true, true, true, true, true, Begin::Kept, false},
      {"store on, copy, unknown room", true, true, false, false, true, Begin::NowLessDelay, true},
      {"store on, new, no record", true, false, false, true, false, Begin::NowLessDelay, true},
      {"store off, no record", false, false, false, true, false, Begin::Entered, false},
  };
  const std::string key = "B7F12R0305";
  const TDateTime kept = StrToDateTime("2026-12-01 09:15:30");
  const char* inText = "2026-12-11 14:00:00";
  const char* outText = "2026-12-13 12:00:00";

  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Stop();
    Start();
    SysOption->UseNativeDoorlockDb = row.native;
    SysOption->SaveDoorlockRecord = row.record;
    SysOption->DelayMinutes = 30;
    SysOption->DelayMinutes2 = 45;  // the dialog never reads it
    FDevice->WriteResult = row.written;
    FDevice->CardNo = 5000000000LL;
    if (row.roomKept) DoorlockRecordManager->InsertRoom(key, kept);
    const std::vector<TRow> roomsBefore = Rooms();
    // What T_Room holds when the card is written.
    std::vector<TRow> roomsAtWrite;
    FDevice->During = [this, &roomsAtWrite] { roomsAtWrite = Rooms(); };

    TDoorlockTestForm form;
    form.RoomBuildingCodeTxt->setText("B7");
    form.RoomFloorCodeTxt->setText("F12");
    form.RoomNoTxt->setText("R0305");
    form.CheckInDateTimeTxt->setText(inText);
    form.CheckOutDateTimeTxt->setText(outText);
    form.IsCopyCheckBox->setChecked(row.copy);
    const TDateTime pressed = Now();
    form.WriteCardBtn->click();
    const TDateTime done = Now();
    FDevice->During = nullptr;

    EXPECT_TRUE(FMessages.Calls.empty());
    ASSERT_EQ(FDevice->Writes().size(), 1u);
    const TWriteCardCall call = FDevice->Writes()[0];
    EXPECT_EQ(call.RegisterId, "");
    EXPECT_EQ(call.RoomBuildingCode, "B7");
    EXPECT_EQ(call.RoomFloorCode, "F12");
    EXPECT_EQ(call.RoomNo, "R0305");
    EXPECT_EQ(call.GuestName, "Test");
    EXPECT_EQ(call.IsCopy, row.copy);
    EXPECT_EQ(call.CardNoIn, 0);
    EXPECT_EQ(call.CheckInTime, call.BeginTime);
    EXPECT_TRUE(Near(call.EndTime, StrToDateTime(outText))) << "the check-out is used as entered";
    EXPECT_EQ(call.CheckOutTime, call.EndTime);
    switch (row.begin) {
      case Begin::Entered:
        EXPECT_TRUE(Near(call.BeginTime, StrToDateTime(inText)));
        break;
      case Begin::NowLessDelay:
        EXPECT_TRUE(Within(call.BeginTime, IncMinutes(pressed, -30), IncMinutes(done, -30)));
        break;
      case Begin::Kept:
        EXPECT_TRUE(Near(call.BeginTime, kept));
        break;
    }

    const std::vector<TRow> rooms = Rooms();
    if (row.roomAfterIsBegin) {
      ASSERT_EQ(rooms.size(), 1u);
      EXPECT_EQ(rooms[0].at("RoomNo"), key);
      EXPECT_TRUE(Near(StoreTextToDateTime(rooms[0].at("LastCheckInTime")), call.BeginTime));
    } else {
      EXPECT_EQ(rooms, roomsBefore);
    }
    if (row.native && row.copy && !row.roomKept) {
      EXPECT_EQ(roomsAtWrite, rooms) << "the unknown room is kept before the card is written";
    }

    const std::vector<TRow> records = Records();
    if (!row.record) {
      EXPECT_TRUE(records.empty());
      continue;
    }
    ASSERT_EQ(records.size(), 1u);
    const TRow& record = records[0];
    EXPECT_EQ(record.at("RegisterId"), "");
    EXPECT_EQ(record.at("CardNo"), row.written ? "5000000000" : "0");
    EXPECT_EQ(record.at("RoomNo"), key) << "the key is recorded with the store on or off";
    EXPECT_EQ(record.at("CardType"), "1");
    EXPECT_TRUE(Near(StoreTextToDateTime(record.at("LastCheckInTime")), call.BeginTime));
    EXPECT_TRUE(Near(StoreTextToDateTime(record.at("CheckInTime")), StrToDateTime(inText)));
    EXPECT_TRUE(Near(StoreTextToDateTime(record.at("CheckOutTime")), StrToDateTime(outText)));
    EXPECT_EQ(record.at("IsCopy"), row.copy ? "1" : "0");
    EXPECT_EQ(record.at("GuestName"), "Test");
    EXPECT_TRUE(Within(StoreTextToDateTime(record.at("OpratingTime")), pressed, done));
  }
}

// A time box that is no date-time stops the issue with the error box before the device or the
// store is touched, and the dialog stays open for a correction.
TEST_F(DoorlockTestFormTest, TimeTextThatDoesNotConvert) {
  struct Row {
    const char* in;
    const char* out;
    const char* reported;
  } rows[] = {
      {"2026-12-11 14:00:00", "2026-12-13 25:00:00", "2026-12-13 25:00:00"},
      {"2026-12-11 14:00:00", "tomorrow", "tomorrow"},
      {"2026-12-11 14:00:00", "", ""},
      {"13/12/2026 12:00", "also bad", "13/12/2026 12:00"},  // check-in is converted first
  };
  SysOption->UseNativeDoorlockDb = true;
  SysOption->SaveDoorlockRecord = true;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.out);
    FMessages.Calls.clear();
    FScript.Next<TDoorlockTestForm>([this, &row](TDoorlockTestForm& form) {
      form.IsCopyCheckBox->setChecked(true);  // a copy would even look up the room
      form.CheckInDateTimeTxt->setText(row.in);
      form.CheckOutDateTimeTxt->setText(row.out);
      form.WriteCardBtn->click();
      ASSERT_EQ(FMessages.Calls.size(), 1u);
      const TMessageBoxCall& box = FMessages.Calls[0];
      EXPECT_EQ(box.Icon, QMessageBox::Critical);
      EXPECT_EQ(box.Caption, QApplication::applicationDisplayName());
      EXPECT_EQ(box.Text, QString::fromStdString(std::string("'") + row.reported +
                                                 "' is not a valid date and time"));
      EXPECT_EQ(QApplication::activeModalWidget(), &form) << "the dialog closed";
      EXPECT_EQ(form.CheckOutDateTimeTxt->text(), row.out);
      form.reject();
    });
    ShowDoorlockTestForm();
  }
  EXPECT_TRUE(FDevice->Calls().empty());
  EXPECT_TRUE(Rooms().empty());
  EXPECT_TRUE(Records().empty());
}

}  // namespace
