// The member card test dialog: an operator drives MemberDevice by hand, without the PMS: open
// and close the device, beep, read the card (its number and password are shown), write a card
// number typed in, and print a fixed sample text. No device result is examined or reported.
//
// Main thread only, like every widget. The buttons reach the same MemberDevice as the requests,
// under the same lock, while the listener goes on serving.
#pragma once

#include <QDialog>

#include <cstdint>

class QComboBox;
class QLineEdit;
class QPushButton;

class TMemberTestForm : public QDialog {
  Q_OBJECT

 public:
  explicit TMemberTestForm(QWidget* parent = nullptr);

  // In tab order.
  QPushButton* OpenPortBtn = nullptr;
  QPushButton* ClosePortBtn = nullptr;
  QLineEdit* CardNoEdit = nullptr;
  QLineEdit* PasswordEdit = nullptr;
  QPushButton* ReadCardBtn = nullptr;
  QPushButton* WriteCardBtn = nullptr;
  QPushButton* beepBtn = nullptr;
  QComboBox* ChannelCmb = nullptr;  // editable: a typed text counts as the alliance card
  QPushButton* PrintCardBtn = nullptr;

  // -1 when the type box reads exactly "酒店会员卡", otherwise 11.
  std::int32_t Channel() const;

 private:
  void OpenPortBtnClick();
  void ClosePortBtnClick();
  void beepBtnClick();
  void ReadCardBtnClick();
  void WriteCardBtnClick();
  void PrintCardBtnClick();
};

// Shows a new TMemberTestForm modally, with no owner, and releases it when it closes. For the
// main window's Test action, which opens it only when MemberDevice is set.
void ShowMemberTestForm();
