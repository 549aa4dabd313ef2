#include "kinds/MemberTestFormUnit.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <iterator>
#include <memory>
#include <string>

#include "host/MessageDlgFormUnit.h"
#include "kinds/BaseMemberUnit.h"

namespace {
// The five rows, top to bottom.
constexpr int kRowTop[] = {28, 84, 140, 196, 252};
constexpr int kColumnLeft[] = {40, 172, 304};
constexpr int kButtonWidth = 96;
constexpr int kButtonHeight = 28;
constexpr int kEditHeight = 24;
constexpr int kLabelWidth = 60;

const char* const kHotelCard = "酒店会员卡";
const char* const kAllianceCard = "Tavrin联盟卡";
}  // namespace

TMemberTestForm::TMemberTestForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  setWindowTitle(QString::fromUtf8("测试"));
  setFont(QFont(QString::fromUtf8("宋体"), 9));
  setFixedSize(441, 311);

  auto button = [this](const char* name, const char* caption, int column, int row) {
    auto* b = new QPushButton(QString::fromUtf8(caption), this);
    b->setObjectName(name);
    b->setGeometry(kColumnLeft[column], kRowTop[row], kButtonWidth, kButtonHeight);
    // No button answers Enter typed in a box: every action here reaches the device.
    b->setAutoDefault(false);
    return b;
  };
  auto labelled = [this](QWidget* box, const char* name, const char* label, int row) {
    const int top = kRowTop[row] + (kButtonHeight - kEditHeight) / 2;
    auto* l = new QLabel(QString::fromUtf8(label), this);
    l->setGeometry(kColumnLeft[0], top, kLabelWidth, kEditHeight);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    box->setObjectName(name);
    box->setGeometry(kColumnLeft[0] + kLabelWidth + 6, top,
                     kColumnLeft[2] + kButtonWidth - kColumnLeft[0] - kLabelWidth - 6, kEditHeight);
    l->setBuddy(box);
  };

  // Created in tab order; the rows place them.
  OpenPortBtn = button("OpenPortBtn", "打开串口", 0, 0);
  ClosePortBtn = button("ClosePortBtn", "关闭串口", 2, 0);
  CardNoEdit = new QLineEdit(this);
  labelled(CardNoEdit, "CardNoEdit", "卡号", 2);
  PasswordEdit = new QLineEdit(this);
  labelled(PasswordEdit, "PasswordEdit", "密码:", 3);
  ReadCardBtn = button("ReadCardBtn", "读卡", 0, 4);
  WriteCardBtn = button("WriteCardBtn", "写卡", 1, 4);
  beepBtn = button("beepBtn", "Beep", 1, 0);
  ChannelCmb = new QComboBox(this);
  ChannelCmb->setEditable(true);
  // A typed text stays a text of the box; it never becomes an item.
  ChannelCmb->setInsertPolicy(QComboBox::NoInsert);
  ChannelCmb->addItem(QString::fromUtf8(kHotelCard));
  ChannelCmb->addItem(QString::fromUtf8(kAllianceCard));
  ChannelCmb->setCurrentIndex(0);
  labelled(ChannelCmb, "ChannelCmb", "类型", 1);
  PrintCardBtn = button("PrintCardBtn", "打印卡", 2, 4);

  QWidget* const tabOrder[] = {OpenPortBtn,  ClosePortBtn, CardNoEdit, PasswordEdit, ReadCardBtn,
                               WriteCardBtn, beepBtn,      ChannelCmb, PrintCardBtn};
  for (size_t i = 1; i < std::size(tabOrder); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);

  connect(OpenPortBtn, &QPushButton::clicked, this, &TMemberTestForm::OpenPortBtnClick);
  connect(ClosePortBtn, &QPushButton::clicked, this, &TMemberTestForm::ClosePortBtnClick);
  connect(beepBtn, &QPushButton::clicked, this, &TMemberTestForm::beepBtnClick);
  connect(ReadCardBtn, &QPushButton::clicked, this, &TMemberTestForm::ReadCardBtnClick);
  connect(WriteCardBtn, &QPushButton::clicked, this, &TMemberTestForm::WriteCardBtnClick);
  connect(PrintCardBtn, &QPushButton::clicked, this, &TMemberTestForm::PrintCardBtnClick);
}

std::int32_t TMemberTestForm::Channel() const {
  return ChannelCmb->currentText() == QString::fromUtf8(kHotelCard) ? -1 : 11;
}

// The device reports its outcomes itself; the buttons below look at no result. The dialog opens
// only with a device, but a button never calls through an empty one.

void TMemberTestForm::OpenPortBtnClick() {
  const auto lock = LockMemberDevice();
  if (MemberDevice != nullptr) MemberDevice->OpenPort();
}

void TMemberTestForm::ClosePortBtnClick() {
  const auto lock = LockMemberDevice();
  if (MemberDevice != nullptr) MemberDevice->ClosePort();
}

void TMemberTestForm::beepBtnClick() {
  const auto lock = LockMemberDevice();
  if (MemberDevice != nullptr) MemberDevice->Beep();
}

void TMemberTestForm::ReadCardBtnClick() {
  std::string cardNo, password, expireDate, guestName, score;
  {
    const auto lock = LockMemberDevice();
    if (MemberDevice != nullptr) {
      MemberDevice->ReadMemberCard(false, cardNo, password, expireDate, guestName, score,
                                   Channel());
    }
  }
  // Whatever the device handed back, also after a failed read.
  CardNoEdit->setText(Q(cardNo));
  PasswordEdit->setText(Q(password));
}

void TMemberTestForm::WriteCardBtnClick() {
  const std::string cardNo = S(CardNoEdit->text());
  const std::int32_t channel = Channel();
  const auto lock = LockMemberDevice();
  if (MemberDevice != nullptr) MemberDevice->WriteMemberCard(cardNo, "", "", "", channel);
}

void TMemberTestForm::PrintCardBtnClick() {
  const auto lock = LockMemberDevice();
  if (MemberDevice != nullptr) {
    MemberDevice->PrintMemberCard("88888888", "\r\n当前消费:100\r\n卡内余额:300");
  }
}

void ShowMemberTestForm() {
  auto form = std::make_unique<TMemberTestForm>();
  form->exec();
}
