#include "doorlock/DoorlockTestFormUnit.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "doorlock/BaseDoorlockUnit.h"
#include "doorlock/CardTestLayoutFormUnit.h"
#include "doorlock/TestCardIssueUnit.h"
#include "host/MessageDlgFormUnit.h"
#include "platform/DateTime.h"

TDoorlockTestForm::TDoorlockTestForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  const TCardTestControls c = LayOutCardTestDialog(*this, "CardNoTxt");
  OpenPortBtn = c.OpenPortBtn;
  ClosePortBtn = c.ClosePortBtn;
  CardNoTxt = c.CardNoTxt;
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

  connect(OpenPortBtn, &QPushButton::clicked, this, &TDoorlockTestForm::OpenPortBtnClick);
  connect(beepBtn, &QPushButton::clicked, this, &TDoorlockTestForm::beepBtnClick);
  connect(ClosePortBtn, &QPushButton::clicked, this, &TDoorlockTestForm::ClosePortBtnClick);
  connect(ReadCardBtn, &QPushButton::clicked, this, &TDoorlockTestForm::ReadCardBtnClick);
  connect(EraseCardBtn, &QPushButton::clicked, this, &TDoorlockTestForm::EraseCardBtnClick);
  connect(WriteCardBtn, &QPushButton::clicked, this, &TDoorlockTestForm::WriteCardBtnClick);

  FormCreate();
}

void TDoorlockTestForm::FormCreate() {
  const TTestStay stay = InitialTestStay(Now());
  CheckInDateTimeTxt->setText(Q(stay.CheckIn));
  CheckOutDateTimeTxt->setText(Q(stay.CheckOut));
}

// The device reports its outcomes in the log; the buttons below look at no result except the
// card number of a read.

void TDoorlockTestForm::OpenPortBtnClick() {
  if (Doorlock != nullptr) Doorlock->OpenPort();
}

void TDoorlockTestForm::beepBtnClick() {
  if (Doorlock != nullptr) Doorlock->Beep();
}

void TDoorlockTestForm::ClosePortBtnClick() {
  if (Doorlock != nullptr) Doorlock->ClosePort();
}

void TDoorlockTestForm::ReadCardBtnClick() {
  // Left at 0 when no card was read.
  std::int64_t cardNo = 0;
  if (Doorlock != nullptr) Doorlock->ReadCard(cardNo);
  CardNoTxt->setText(QString::number(cardNo));
}

void TDoorlockTestForm::EraseCardBtnClick() {
  if (Doorlock != nullptr) Doorlock->EraseCard();
}

void TDoorlockTestForm::WriteCardBtnClick() {
  TTestCard card;
  card.RoomBuildingCode = S(RoomBuildingCodeTxt->text());
  card.RoomFloorCode = S(RoomFloorCodeTxt->text());
  card.RoomNo = S(RoomNoTxt->text());
  card.CheckInText = S(CheckInDateTimeTxt->text());
  card.CheckOutText = S(CheckOutDateTimeTxt->text());
  card.IsCopy = IsCopyCheckBox->isChecked();
  try {
    IssueTestCard(card);
  } catch (const std::exception& e) {
    // A time box that does not convert (EConvertError), reported as the application reports
    // any error that reaches it.
    ShowErrorBox(this, e.what());
  }
}

void ShowDoorlockTestForm() {
  auto form = std::make_unique<TDoorlockTestForm>();
  form->exec();
}
