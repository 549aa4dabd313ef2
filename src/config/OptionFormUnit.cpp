#include "config/OptionFormUnit.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <exception>
#include <memory>

#include "config/OptionUnit.h"
#include "doorlock/Mbt2005DoorlockUnit.h"
#include "host/MessageDlgFormUnit.h"

TOptionForm::TOptionForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8("HG门锁接口配置"));
  QFont font(QString::fromUtf8("宋体"));
  font.setPixelSize(12);
  setFont(font);
  setFixedSize(286, 212);
  // A fixed dialog frame: no help button, nothing to resize.
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

  auto label = [this](const char* name, const char* text, int left, int top, int width) {
    auto* l = new QLabel(QString::fromUtf8(text), this);
    l->setObjectName(name);
    l->setGeometry(left, top, width, 13);
    return l;
  };
  Label2 = label("Label2", "数据源名称：", 31, 18, 90);
  Label3 = label("Label3", "用户名：", 48, 56, 65);
  Label4 = label("Label4", "口令：", 52, 96, 53);

  auto edit = [this](const char* name, int top) {
    auto* e = new QLineEdit(this);
    e->setObjectName(name);
    e->setGeometry(112, top, 121, 21);
    return e;
  };
  DataSourceNameTxt = edit("DataSourceNameTxt", 16);
  UserNameTxt = edit("UserNameTxt", 56);
  PasswordTxt = edit("PasswordTxt", 96);
  PasswordTxt->setEchoMode(QLineEdit::Password);
  // Each character shows as "*", whatever mask the platform's style would draw.
  PasswordTxt->setStyleSheet("lineedit-password-character: 42");

  OKBtn = new QPushButton(QString::fromUtf8("确定"), this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setGeometry(54, 149, 73, 23);
  OKBtn->setDefault(true);
  connect(OKBtn, &QPushButton::clicked, this, &TOptionForm::OKBtnClick);

  CancelBtn = new QPushButton(QString::fromUtf8("取消"), this);
  CancelBtn->setObjectName("CancelBtn");
  CancelBtn->setGeometry(175, 149, 73, 23);
  // Esc reaches QDialog::reject on its own; the button ends the same way.
  connect(CancelBtn, &QPushButton::clicked, this, &TOptionForm::CancelBtnClick);

  // Tab order: the buttons first, then the three edits, as the operators know it.
  setTabOrder(OKBtn, CancelBtn);
  setTabOrder(CancelBtn, DataSourceNameTxt);
  setTabOrder(DataSourceNameTxt, UserNameTxt);
  setTabOrder(UserNameTxt, PasswordTxt);
  OKBtn->setFocus();

  FormCreate();
}

void TOptionForm::FormCreate() {
  DataSourceNameTxt->setText(Q(Option->DataSource));
  UserNameTxt->setText(Q(Option->UserName));
  PasswordTxt->setText(Q(Option->Password));
}

void TOptionForm::OKBtnClick() {
  Option->DataSource = S(DataSourceNameTxt->text());
  Option->UserName = S(UserNameTxt->text());
  Option->Password = S(PasswordTxt->text());
  try {
    Option->Save();
    ShowMessageBox(this, QString::fromUtf8("请重新启动程序,以启用设置的参数！"),
                   QString::fromUtf8("提示"), QMessageBox::Information);
  } catch (const std::exception& e) {
    ShowErrorBox(this, e.what());
  }
  accept();
}

void TOptionForm::CancelBtnClick() {
  reject();
}

void ExecuteOptionForm() {
  auto form = std::make_unique<TOptionForm>();
  form->exec();
}

void InstallOptionForm(TMbt2005Doorlock& device) {
  device.SetShowOptionForm(&ExecuteOptionForm);
}
