#include "host/AboutFormUnit.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>

#include <memory>

#include "host/StartupUnit.h"

namespace {

// The picture at the left: a door with its lock and a key card, drawn so that the host carries
// no image files.
QPixmap DrawAboutPicture() {
  QPixmap pixmap(132, 238);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, 238);
  sky.setColorAt(0, QColor(24, 62, 120));
  sky.setColorAt(1, QColor(90, 150, 210));
  p.fillRect(pixmap.rect(), sky);
  // The door.
  p.setPen(QPen(QColor(60, 35, 15), 2));
  p.setBrush(QColor(150, 95, 50));
  p.drawRect(QRectF(26, 40, 80, 170));
  p.setBrush(QColor(130, 80, 40));
  p.drawRect(QRectF(36, 52, 60, 60));
  p.drawRect(QRectF(36, 124, 60, 74));
  // The lock with its card slot and light.
  p.setPen(QPen(QColor(40, 40, 40), 1));
  p.setBrush(QColor(200, 200, 205));
  p.drawRoundedRect(QRectF(84, 110, 14, 40), 3, 3);
  p.setBrush(QColor(40, 40, 40));
  p.drawRect(QRectF(87, 116, 8, 2));
  p.setBrush(QColor(60, 220, 90));
  p.drawEllipse(QPointF(91, 126), 2.5, 2.5);
  // The key card.
  p.setPen(QPen(QColor(255, 255, 255), 1));
  p.setBrush(QColor(240, 190, 40));
  p.save();
  p.translate(60, 20);
  p.rotate(-15);
  p.drawRoundedRect(QRectF(0, 0, 52, 32), 4, 4);
  p.setBrush(QColor(120, 80, 10));
  p.drawRect(QRectF(6, 8, 12, 9));
  p.restore();
  return pixmap;
}

}  // namespace

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8("关于..."));
  QFont font(QString::fromUtf8("宋体"));
  font.setPixelSize(12);
  setFont(font);
  setFixedSize(413, 262);

  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Image1->setGeometry(8, 8, 132, 238);
  Image1->setPixmap(DrawAboutPicture());

  auto label = [this](const char* name, int top) {
    auto* l = new QLabel(this);
    l->setObjectName(name);
    l->setGeometry(152, top, 250, 18);
    return l;
  };
  lblAppTitle = label("lblAppTitle", 12);
  QFont titleFont = font;
  titleFont.setPixelSize(16);
  titleFont.setBold(true);
  lblAppTitle->setFont(titleFont);
  lblAppTitle->setGeometry(152, 10, 250, 24);
  lblVersion = label("lblVersion", 42);
  lblCopyright = label("lblCopyright", 66);
  lblCompany = label("lblCompany", 90);

  mmo = new QPlainTextEdit(this);
  mmo->setObjectName("mmo");
  mmo->setGeometry(152, 116, 250, 100);
  mmo->setEnabled(false);
  mmo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  btnOK = new QPushButton(QString::fromUtf8("确定(&O)"), this);
  btnOK->setObjectName("btnOK");
  btnOK->setGeometry(327, 226, 75, 25);
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

  FormCreate();
}

void TAboutForm::FormCreate() {
  if (InterfaceKind == 1) {
    setWindowTitle(QString::fromUtf8("关于 Tavrin门锁接口"));
    lblAppTitle->setText(QString::fromUtf8("Tavrin门锁接口"));
  } else if (InterfaceKind == 2) {
    setWindowTitle(QString::fromUtf8("关于 Tavrin公安接口"));
    lblAppTitle->setText(QString::fromUtf8("Tavrin公安接口"));
  }
  lblVersion->setText(QString::fromUtf8("版本 1.0.0.0"));
  lblCopyright->setText(QString::fromUtf8("版权所有 (C) 2026 Tavrin"));
  lblCompany->setText(QString::fromUtf8("Tavrin 酒店管理软件"));
}

void ShowAbout() {
  auto form = std::make_unique<TAboutForm>();
  form->exec();
}
