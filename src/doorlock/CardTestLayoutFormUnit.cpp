#include "doorlock/CardTestLayoutFormUnit.h"

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <iterator>

namespace {
// The five rows, top to bottom.
constexpr int kRowTop[] = {40, 108, 176, 244, 312};
constexpr int kButtonWidth = 96;
constexpr int kButtonHeight = 28;
constexpr int kEditHeight = 24;
}  // namespace

TCardTestControls LayOutCardTestDialog(QDialog& dialog, const char* cardNoName) {
  dialog.setWindowTitle(QString::fromUtf8("测试"));
  dialog.setFont(QFont(QString::fromUtf8("宋体"), 9));
  dialog.setFixedSize(599, 394);

  auto button = [&dialog](const char* name, const char* caption, int left, int row) {
    auto* b = new QPushButton(QString::fromUtf8(caption), &dialog);
    b->setObjectName(name);
    b->setGeometry(left, kRowTop[row], kButtonWidth, kButtonHeight);
    // No button answers Enter typed in a box: every action here reaches the device.
    b->setAutoDefault(false);
    return b;
  };
  auto edit = [&dialog](const char* name, const char* label, int labelLeft, int labelWidth,
                        int width, int row) {
    const int top = kRowTop[row] + (kButtonHeight - kEditHeight) / 2;
    auto* l = new QLabel(QString::fromUtf8(label), &dialog);
    l->setGeometry(labelLeft, top, labelWidth, kEditHeight);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* e = new QLineEdit(&dialog);
    e->setObjectName(name);
    e->setGeometry(labelLeft + labelWidth + 6, top, width, kEditHeight);
    l->setBuddy(e);
    return e;
  };

  TCardTestControls c{};
  // Created in tab order; the rows place them.
  c.OpenPortBtn = button("OpenPortBtn", "打开串口", 40, 0);
  c.ClosePortBtn = button("ClosePortBtn", "关闭串口", 264, 0);
  c.CardNoTxt = edit(cardNoName, "卡号", 20, 72, 190, 4);
  c.RoomNoTxt = edit("RoomNoTxt", "房号:", 392, 44, 80, 1);
  c.RoomFloorCodeTxt = edit("RoomFloorCodeTxt", "楼层:", 206, 44, 80, 1);
  c.RoomBuildingCodeTxt = edit("RoomBuildingCodeTxt", "楼号:", 20, 72, 80, 1);
  c.ReadCardBtn = button("ReadCardBtn", "读卡", 308, 4);
  c.WriteCardBtn = button("WriteCardBtn", "写卡", 308, 3);
  c.EraseCardBtn = button("EraseCardBtn", "销卡", 420, 4);
  c.CheckInDateTimeTxt = edit("CheckInDateTimeTxt", "起始时间：", 20, 72, 190, 2);
  c.CheckOutDateTimeTxt = edit("CheckOutDateTimeTxt", "到", 288, 14, 190, 2);
  c.beepBtn = button("beepBtn", "Beep", 152, 0);
  c.IsCopyCheckBox = new QCheckBox(QString::fromUtf8("复制"), &dialog);
  c.IsCopyCheckBox->setObjectName("IsCopyCheckBox");
  c.IsCopyCheckBox->setGeometry(98, kRowTop[3], 96, kButtonHeight);

  QWidget* const tabOrder[] = {
      c.OpenPortBtn,         c.ClosePortBtn, c.CardNoTxt,     c.RoomNoTxt,    c.RoomFloorCodeTxt,
      c.RoomBuildingCodeTxt, c.ReadCardBtn,  c.WriteCardBtn,  c.EraseCardBtn, c.CheckInDateTimeTxt,
      c.CheckOutDateTimeTxt, c.beepBtn,      c.IsCopyCheckBox};
  for (size_t i = 1; i < std::size(tabOrder); ++i) dialog.setTabOrder(tabOrder[i - 1], tabOrder[i]);

  c.RoomNoTxt->setText("01");
  c.RoomFloorCodeTxt->setText("01");
  c.RoomBuildingCodeTxt->setText("00");

  return c;
}
