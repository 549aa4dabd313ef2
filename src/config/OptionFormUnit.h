// TOptionForm is the encoder connection dialog: it shows Option's data source name, user name
// and password and, on OK, saves the texts as typed to Option.ini. The library receives them the
// next time the device's OpenPort runs, which is why OK ends with a request to restart.
// Cancel, Esc and the close box change nothing.
//
// Main thread only, like every widget; Option is read and changed only there.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class TMbt2005Doorlock;

class TOptionForm : public QDialog {
  Q_OBJECT

 public:
  explicit TOptionForm(QWidget* parent = nullptr);

  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QLineEdit* DataSourceNameTxt = nullptr;
  QLineEdit* UserNameTxt = nullptr;
  QLineEdit* PasswordTxt = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 private:
  void FormCreate();
  // Closes with Accepted also when saving failed: the values stay in Option for this run.
  void OKBtnClick();
  void CancelBtnClick();
};

// Shows the dialog modally, with no owner, and releases it when it closes.
void ExecuteOptionForm();

// Makes the device's ShowOptionForm open this dialog. The device lives in the Qt-free core, so
// the GUI installs its dialog into it once, at start-up.
void InstallOptionForm(TMbt2005Doorlock& device);
