// The administrator password prompt. TCheckPasswordForm closes with Accepted only when the
// password was entered correctly; a wrong entry is reported and the prompt stays open with the
// focus back on the entry, as often as the operator likes. Cancel, Esc and the close box give
// Rejected. CheckPassword is the one way the host asks for the password: before the main
// window closes, before the device's option dialog and before the password change.
//
// Main thread only, like every widget.
#pragma once

#include <QDialog>
#include <QPixmap>

class QLabel;
class QLineEdit;
class QPushButton;

class TCheckPasswordForm : public QDialog {
  Q_OBJECT

 public:
  explicit TCheckPasswordForm(QWidget* parent = nullptr);

  QLabel* Image1 = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* edtPswd = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;

 private:
  void btnOKClick();
};

// Asks for the administrator password in a TCheckPasswordForm owned by the main window (when
// there is one) and centred over it. True exactly when it was entered correctly.
bool CheckPassword();

// The picture of the password dialogs: a ring with two keys on a transparent ground, size x
// size pixels.
QPixmap DrawKeyRingPicture(int size);

// Makes the edit show every character of its text as "*", whatever the platform's style would
// draw for a password.
void MaskWithAsterisks(QLineEdit* edit);
