#include "config/CheckPasswordFormUnit.h"

#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>

#include <memory>

#include "config/AdminPasswordUnit.h"
#include "host/MainFormUnit.h"
#include "host/MessageDlgFormUnit.h"

namespace {

// The platform styles draw a bullet for a password character; the host shows "*" everywhere.
class TAsteriskStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return '*';
    if (hint == SH_LineEdit_PasswordMaskDelay) return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

}  // namespace

QPixmap DrawKeyRingPicture(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 32.0, size / 32.0);

  // Two keys hanging from the ring, their bits pointing down and apart.
  auto key = [&p](double angle, const QColor& color) {
    p.save();
    p.translate(11, 11);
    p.rotate(angle);
    p.setPen(QPen(color.darker(150), 1));
    p.setBrush(color);
    p.drawEllipse(QPointF(0, 7), 3.5, 3.5);
    p.drawRect(QRectF(-1.2, 10, 2.4, 15));
    p.drawRect(QRectF(1.2, 19, 3, 2));
    p.drawRect(QRectF(1.2, 23, 4, 2));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(0, 7), 1.2, 1.2);
    p.restore();
  };
  key(-38, QColor(225, 180, 40));
  key(-8, QColor(185, 190, 200));

  p.setPen(QPen(QColor(90, 90, 100), 2));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(11, 11), 8, 8);
  return pixmap;
}

void MaskWithAsterisks(QLineEdit* edit) {
  edit->setEchoMode(QLineEdit::Password);
  // The edit does not own a style it is given; as its child the style goes with it.
  auto* style = new TAsteriskStyle;
  style->setParent(edit);
  edit->setStyle(style);
}

TCheckPasswordForm::TCheckPasswordForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  setWindowTitle(QString::fromUtf8("请输入管理员密码"));
  setFont(QFont(QString::fromUtf8("宋体"), 9));
  setFixedSize(306, 140);

  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Image1->setGeometry(28, 28, 32, 32);
  Image1->setPixmap(DrawKeyRingPicture(32));

  Label1 = new QLabel(QString::fromUtf8("密码："), this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(88, 40, 36, 12);

  edtPswd = new QLineEdit(this);
  edtPswd->setObjectName("edtPswd");
  edtPswd->setGeometry(128, 36, 153, 20);
  MaskWithAsterisks(edtPswd);
  Label1->setBuddy(edtPswd);

  btnOK = new QPushButton(QString::fromUtf8("确定"), this);
  btnOK->setObjectName("btnOK");
  btnOK->setGeometry(120, 96, 73, 23);
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, &TCheckPasswordForm::btnOKClick);

  btnCancel = new QPushButton(QString::fromUtf8("取消"), this);
  btnCancel->setObjectName("btnCancel");
  btnCancel->setGeometry(208, 96, 73, 23);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  setTabOrder(edtPswd, btnOK);
  setTabOrder(btnOK, btnCancel);
  edtPswd->setFocus();
}

void TCheckPasswordForm::btnOKClick() {
  if (PasswordAccepted(edtPswd->text().toStdString())) {
    accept();
    return;
  }
  ShowMessageBox(this, QString::fromUtf8("密码错误 ！"), QString::fromUtf8("提示"),
                 QMessageBox::Critical);
  edtPswd->setFocus();
  edtPswd->selectAll();
}

bool CheckPassword() {
  auto form = std::make_unique<TCheckPasswordForm>(MainForm);
  return form->exec() == QDialog::Accepted;
}
