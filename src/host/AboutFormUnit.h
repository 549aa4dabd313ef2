// The About dialog: the interface's name, version, copyright and maker beside a picture.
// Main thread only.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class TAboutForm : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutForm(QWidget* parent = nullptr);

  QLabel* Image1 = nullptr;
  QLabel* lblAppTitle = nullptr;
  QLabel* lblVersion = nullptr;
  QLabel* lblCopyright = nullptr;
  QLabel* lblCompany = nullptr;
  QPlainTextEdit* mmo = nullptr;
  QPushButton* btnOK = nullptr;

 private:
  void FormCreate();
};

// Shows the About dialog modally and releases it when it closes.
void ShowAbout();
