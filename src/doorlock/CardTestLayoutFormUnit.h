// The layout the card test dialogs share (the door lock's and the hand tag's): caption, font
// and size, five rows of buttons and boxes, their tab order and the room boxes' initial texts.
// Each dialog connects the buttons to its own device.
//
// Main thread only, like every widget.
#pragma once

class QCheckBox;
class QDialog;
class QLineEdit;
class QPushButton;

struct TCardTestControls {
  QPushButton* OpenPortBtn;
  QPushButton* ClosePortBtn;
  QLineEdit* CardNoTxt;  // named as the dialog asks: the hand tag's is "HandNoTxt"
  QLineEdit* RoomNoTxt;
  QLineEdit* RoomFloorCodeTxt;
  QLineEdit* RoomBuildingCodeTxt;
  QPushButton* ReadCardBtn;
  QPushButton* WriteCardBtn;
  QPushButton* EraseCardBtn;
  QLineEdit* CheckInDateTimeTxt;
  QLineEdit* CheckOutDateTimeTxt;
  QPushButton* beepBtn;
  QCheckBox* IsCopyCheckBox;
};

// Creates the controls as children of `dialog`, the card number box with the object name
// `cardNoName`.
TCardTestControls LayOutCardTestDialog(QDialog& dialog, const char* cardNoName);
