#include "kinds/HandTestFormUnit.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include <memory>
#include <string>

#include "doorlock/CardTestLayoutFormUnit.h"
#include "doorlock/TestCardIssueUnit.h"
#include "host/MessageDlgFormUnit.h"
#include "kinds/BaseHandUnit.h"
#include "platform/DateTime.h"

THandTestForm::THandTestForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  const TCardTestControls c = LayOutCardTestDialog(*this, "HandNoTxt");
  OpenPortBtn = c.OpenPortBtn;
  ClosePortBtn = c.ClosePortBtn;
  HandNoTxt = c.CardNoTxt;
  RoomNoTxt = c.RoomNoTxt;
  RoomFloorCodeTxt = c.RoomFloorCodeTxt;
  RoomBuildingCodeTxt = c.RoomBuildingCodeTxt;
  ReadCardBtn = c.ReadCardBtn;
  WriteCardBtn = c.WriteCardBtn;
  EraseCardBtn = c.EraseCardBtn;
  CheckInDateTimeTxt = c.CheckInDateTimeTxt;
  CheckOutDateTimeTxt = c.CheckOutDateTimeTxt;
  beepBtn = c.beepBtn;
  IsCopyCheckBox = c.IsCopyCheckBox;

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
