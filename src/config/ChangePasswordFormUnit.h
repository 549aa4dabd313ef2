// The administrator password change. TChangePasswordForm takes the new password twice and
// closes (Accepted) only once it has been set and saved; differing entries or a failed save are
// reported and leave it open. It does not ask for the old password: ChangePassword is called
// only after CheckPassword has accepted it.
//
// Main thread only, like every widget.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TChangePasswordForm : public QDialog {
  Q_OBJECT

 public:
  explicit TChangePasswordForm(QWidget* parent = nullptr);

  QLabel* Image1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLineEdit* edtPswd = nullptr;
  QLineEdit* edtConfirmPswd = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;

 private:
  void btnOKClick();
};

// Shows a TChangePasswordForm owned by the main window (when there is one), centred over it.
void ChangePassword();
