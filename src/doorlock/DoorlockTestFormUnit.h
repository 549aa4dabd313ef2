// The door lock test dialog: an operator drives the process-wide Doorlock by hand, without the
// property management system: open and close the device, beep, read the card on the encoder
// (its number is the only outcome the dialog shows), erase it, and issue a guest card for a
// room and a stay typed in. The device's log lines and the record store show the rest.
//
// Main thread only, like every widget. The buttons reach the same serialised Doorlock and
// DoorlockRecordManager as the requests, which go on being served while the dialog is open.
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

class TDoorlockTestForm : public QDialog {
  Q_OBJECT

 public:
  explicit TDoorlockTestForm(QWidget* parent = nullptr);

  // In tab order.
  QPushButton* OpenPortBtn = nullptr;
  QPushButton* ClosePortBtn = nullptr;
  QLineEdit* CardNoTxt = nullptr;
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
  void beepBtnClick();
  void ClosePortBtnClick();
  void ReadCardBtnClick();
  void EraseCardBtnClick();
  // A time box that does not convert is reported in the standard error box; nothing reaches
  // the device or the store, and the dialog stays open.
  void WriteCardBtnClick();
};

// Shows a new TDoorlockTestForm modally, with no owner, and releases it when it closes. For the
// main window's Test action, which opens it only when Doorlock is set.
void ShowDoorlockTestForm();
