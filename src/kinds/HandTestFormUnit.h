// The hand tag test dialog: an operator drives HandDevice by hand, without the PMS: open and
// close the device, beep, read a tag (its number is the only outcome shown), issue and erase a
// tag. It has the door lock test dialog's window and controls, with the hand tag number box in
// place of the card number box; the room, time and copy boxes are shown but no button reads
// them. No device result is examined or reported.
//
// Main thread only, like every widget. The buttons reach the same HandDevice as the requests,
// under the same lock, while the listener goes on serving.
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

class THandTestForm : public QDialog {
  Q_OBJECT

 public:
  explicit THandTestForm(QWidget* parent = nullptr);

  // In tab order.
  QPushButton* OpenPortBtn = nullptr;
  QPushButton* ClosePortBtn = nullptr;
  QLineEdit* HandNoTxt = nullptr;
  QLineEdit* RoomNoTxt = nullptr;
  QLineEdit* RoomFloorCodeTxt = nullptr;
  QLineEdit* RoomBuildingCodeTxt = nullptr;
  QPushButton* ReadCardBtn = nullptr;
  QPushButton* WriteCardBtn = nullptr;
  QPushButton* EraseCardBtn = nullptr;
  QLineEdit* CheckInDateTimeTxt = nullptr;
  QLineEdit* CheckOutDateTimeTxt = nullptr;
  QPushButton* beepBtn = nullptr;
  QCheckBox* IsCopyCheckBox = nullptr;

 private:
  void FormCreate();
  void OpenPortBtnClick();
  void ClosePortBtnClick();
  void ReadCardBtnClick();
  void WriteCardBtnClick();
  void EraseCardBtnClick();
  void beepBtnClick();
};

// Shows a new THandTestForm modally, with no owner, and releases it when it closes. For the main
// window's Test action, which opens it only when HandDevice is set.
void ShowHandTestForm();
