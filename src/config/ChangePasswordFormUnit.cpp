#include "config/ChangePasswordFormUnit.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <exception>
#include <memory>

#include "config/AdminPasswordUnit.h"
#include "config/CheckPasswordFormUnit.h"
#include "host/MainFormUnit.h"
#include "host/MessageDlgFormUnit.h"

TChangePasswordForm::TChangePasswordForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  setWindowTitle(QString::fromUtf8("更改管理员密码"));
  setFont(QFont(QString::fromUtf8("宋体"), 9));
  setFixedSize(346, 163);

  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Image1->setGeometry(28, 24, 48, 48);
  Image1->setPixmap(DrawKeyRingPicture(48));

  Label1 = new QLabel(QString::fromUtf8("新密码："), this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(124, 32, 48, 12);

  Label2 = new QLabel(QString::fromUtf8("新密码确认："), this);
  Label2->setObjectName("Label2");
  Label2->setGeometry(100, 68, 72, 12);

  edtPswd = new QLineEdit(this);
  edtPswd->setObjectName("edtPswd");
  edtPswd->setGeometry(176, 28, 137, 20);
  MaskWithAsterisks(edtPswd);
  Label1->setBuddy(edtPswd);

  edtConfirmPswd = new QLineEdit(this);
  edtConfirmPswd->setObjectName("edtConfirmPswd");
  edtConfirmPswd->setGeometry(176, 64, 137, 20);
  MaskWithAsterisks(edtConfirmPswd);
  Label2->setBuddy(edtConfirmPswd);

  // Unlike the prompt's OK, this one closes the dialog only through btnOKClick.
  btnOK = new QPushButton(QString::fromUtf8("确定"), this);
  btnOK->setObjectName("btnOK");
  btnOK->setGeometry(154, 116, 73, 23);
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, &TChangePasswordForm::btnOKClick);

  btnCancel = new QPushButton(QString::fromUtf8("取消"), this);
  btnCancel->setObjectName("btnCancel");
  btnCancel->setGeometry(242, 116, 73, 23);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  setTabOrder(edtPswd, edtConfirmPswd);
  setTabOrder(edtConfirmPswd, btnOK);
  setTabOrder(btnOK, btnCancel);
  edtPswd->setFocus();
}

void TChangePasswordForm::btnOKClick() {
  try {
    if (ChangeAdministratorPassword(edtPswd->text().toStdString(),
                                    edtConfirmPswd->text().toStdString()) ==
        TPasswordChange::EntriesDiffer) {
      ShowMessageBox(this, QString::fromUtf8("您两次输入的密码不一致，请重新输入！"),
                     QString::fromUtf8("提示"), QMessageBox::Critical);
      return;
    }
  } catch (const std::exception& e) {
    // Option.ini could not be written. The dialog stays open so that the operator sees the
    // change has not reached the file.
    ShowErrorBox(this, e.what());
    return;
  }
  ShowMessageBox(this, QString::fromUtf8("管理员密码更改成功！"), QString::fromUtf8("提示"),
                 QMessageBox::Information);
  accept();
}

void ChangePassword() {
  auto form = std::make_unique<TChangePasswordForm>(MainForm);
  form->exec();
}
