#include "kinds/HandTestFormUnit.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <iterator>
#include <memory>
#include <string>

#include "doorlock/TestCardIssueUnit.h"
#include "host/MessageDlgFormUnit.h"
#include "kinds/BaseHandUnit.h"
#include "platform/DateTime.h"

namespace {
// The door lock test dialog's five rows, top to bottom.
constexpr int kRowTop[] = {40, 108, 176, 244, 312};
constexpr int kButtonWidth = 96;
constexpr int kButtonHeight = 28;
constexpr int kEditHeight = 24;
}  // namespace

THandTestForm::THandTestForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  setWindowTitle(QString::fromUtf8("测试"));
  setFont(QFont(QString::fromUtf8("宋体"), 9));
  setFixedSize(599, 394);

  auto button = [this](const char* name, const char* caption, int left, int row) {
    auto* b = new QPushButton(QString::fromUtf8(caption), this);
    b->setObjectName(name);
    b->setGeometry(left, kRowTop[row], kButtonWidth, kButtonHeight);
    // No button answers Enter typed in a box: every action here reaches the device.
    b->setAutoDefault(false);
    return b;
  };
  auto edit = [this](const char* name, const char* label, int labelLeft, int labelWidth, int width,
                     int row) {
    const int top = kRowTop[row] + (kButtonHeight - kEditHeight) / 2;
    auto* l = new QLabel(QString::fromUtf8(label), this);
    l->setGeometry(labelLeft, top, labelWidth, kEditHeight);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* e = new QLineEdit(this);
    e->setObjectName(name);
    e->setGeometry(labelLeft + labelWidth + 6, top, width, kEditHeight);
    l->setBuddy(e);
    return e;
  };

  // Created in tab order; the rows place them as in the door lock test dialog.
  OpenPortBtn = button("OpenPortBtn", "打开串口", 40, 0);
  ClosePortBtn = button("ClosePortBtn", "关闭串口", 264, 0);
  HandNoTxt = edit("HandNoTxt", "卡号", 20, 72, 190, 4);
  RoomNoTxt = edit("RoomNoTxt", "房号:", 392, 44, 80, 1);
  RoomFloorCodeTxt = edit("RoomFloorCodeTxt", "楼层:", 206, 44, 80, 1);
  RoomBuildingCodeTxt = edit("RoomBuildingCodeTxt", "楼号:", 20, 72, 80, 1);
  ReadCardBtn = button("ReadCardBtn", "读卡", 308, 4);
  WriteCardBtn = button("WriteCardBtn", "写卡", 308, 3);
  EraseCardBtn = button("EraseCardBtn", "销卡", 420, 4);
  CheckInDateTimeTxt = edit("CheckInDateTimeTxt", "起始时间：", 20, 72, 190, 2);
  CheckOutDateTimeTxt = edit("CheckOutDateTimeTxt", "到", 288, 14, 190, 2);
  beepBtn = button("beepBtn", "Beep", 152, 0);
  IsCopyCheckBox = new QCheckBox(QString::fromUtf8("复制"), this);
  IsCopyCheckBox->setObjectName("IsCopyCheckBox");
  IsCopyCheckBox->setGeometry(98, kRowTop[3], 96, kButtonHeight);

  QWidget* const tabOrder[] = {
      OpenPortBtn,         ClosePortBtn, HandNoTxt,     RoomNoTxt,    RoomFloorCodeTxt,
      RoomBuildingCodeTxt, ReadCardBtn,  WriteCardBtn,  EraseCardBtn, CheckInDateTimeTxt,
      CheckOutDateTimeTxt, beepBtn,      IsCopyCheckBox};
  for (size_t i = 1; i < std::size(tabOrder); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);

  RoomNoTxt->setText("01");
  RoomFloorCodeTxt->setText("01");
  RoomBuildingCodeTxt->setText("00");

  connect(OpenPortBtn, &QPushButton::clicked, this, &THandTestForm::OpenPortBtnClick);
  connect(ClosePortBtn, &QPushButton::clicked, this, &THandTestForm::ClosePortBtnClick);
  connect(ReadCardBtn, &QPushButton::clicked, this, &THandTestForm::ReadCardBtnClick);
  connect(WriteCardBtn, &QPushButton::clicked, this, &THandTestForm::WriteCardBtnClick);
  connect(EraseCardBtn, &QPushButton::clicked, this, &THandTestForm::EraseCardBtnClick);
  connect(beepBtn, &QPushButton::clicked, this, &THandTestForm::beepBtnClick);

  FormCreate();
}

void THandTestForm::FormCreate() {
  const TTestStay stay = InitialTestStay(Now());
  CheckInDateTimeTxt->setText(Q(stay.CheckIn));
  CheckOutDateTimeTxt->setText(Q(stay.CheckOut));
}

// The device reports its outcomes itself; the buttons below look at no result. The dialog opens
// only with a device, but a button never calls through an empty one.

void THandTestForm::OpenPortBtnClick() {
  const auto lock = LockHandDevice();
  if (HandDevice != nullptr) HandDevice->OpenPort();
}

void THandTestForm::ClosePortBtnClick() {
  const auto lock = LockHandDevice();
  if (HandDevice != nullptr) HandDevice->ClosePort();
}

void THandTestForm::beepBtnClick() {
  const auto lock = LockHandDevice();
  if (HandDevice != nullptr) HandDevice->Beep();
}

void THandTestForm::ReadCardBtnClick() {
  std::string handNo;
  {
    const auto lock = LockHandDevice();
    if (HandDevice != nullptr) HandDevice->ReadHand(handNo);
  }
  // Whatever the device handed back, also after a failed read.
  HandNoTxt->setText(Q(handNo));
}

void THandTestForm::WriteCardBtnClick() {
  std::string handNo;
  const auto lock = LockHandDevice();
  if (HandDevice != nullptr) HandDevice->IssueHand(handNo);
}

void THandTestForm::EraseCardBtnClick() {
  std::string handNo;
  const auto lock = LockHandDevice();
  if (HandDevice != nullptr) HandDevice->EraseHand(handNo);
}

void ShowHandTestForm() {
  auto form = std::make_unique<THandTestForm>();
  form->exec();
}
