#include "host/MainFormUnit.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QToolBar>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include "config/ChangePasswordFormUnit.h"
#include "config/CheckPasswordFormUnit.h"
#include "doorlock/BaseDoorlockUnit.h"
#include "doorlock/DoorlockTestFormUnit.h"
#include "host/AboutFormUnit.h"
#include "host/MessageDlgFormUnit.h"
#include "host/RequestListenerUnit.h"
#include "host/StartupUnit.h"
#include "kinds/BaseHandUnit.h"
#include "kinds/BaseMemberUnit.h"
#include "kinds/BasePoliceUnit.h"
#include "kinds/HandTestFormUnit.h"
#include "kinds/MemberTestFormUnit.h"
#include "platform/TcpServer.h"

TMainForm* MainForm = nullptr;

namespace {

// The four tool images, drawn here so that the host carries no image files.
QIcon DrawImage(int index) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  switch (index) {
    case 0: {  // options: a cog
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(90, 90, 110));
      p.translate(8, 8);
      for (int i = 0; i < 8; ++i) {
        p.drawRect(QRectF(-1.5, -7.5, 3, 4));
        p.rotate(45);
      }
      p.drawEllipse(QPointF(0, 0), 5, 5);
      p.setBrush(QColor(230, 230, 240));
      p.drawEllipse(QPointF(0, 0), 2, 2);
      break;
    }
    case 1: {  // password: a key
      p.setPen(QPen(QColor(170, 120, 20), 2));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QPointF(4.5, 8), 3, 3);
      p.drawLine(QPointF(7.5, 8), QPointF(15, 8));
      p.drawLine(QPointF(12, 8), QPointF(12, 11));
      p.drawLine(QPointF(14.5, 8), QPointF(14.5, 11));
      break;
    }
    case 2: {  // About: an "i" in a blue disc
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(30, 100, 200));
      p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
      p.setBrush(Qt::white);
      p.drawEllipse(QPointF(8, 4.5), 1.5, 1.5);
      p.drawRect(QRectF(6.8, 7, 2.4, 6));
      break;
    }
    default: {  // exit: a door with an arrow
      p.setPen(QPen(QColor(120, 60, 30), 1.5));
      p.setBrush(QColor(200, 140, 80));
      p.drawRect(QRectF(1.5, 1.5, 8, 13));
      p.setPen(QPen(QColor(200, 30, 30), 2));
      p.drawLine(QPointF(7, 8), QPointF(15, 8));
      p.drawLine(QPointF(12, 5), QPointF(15, 8));
      p.drawLine(QPointF(12, 11), QPointF(15, 8));
      break;
    }
  }
  return QIcon(pixmap);
}

// SIGINT and SIGTERM reach the main thread through a pipe, the only thing a signal handler may
// safely touch; the window then closes without the password.
int GSignalPipe[2] = {-1, -1};
bool GShutdownRequested = false;
bool GThreadsOutlivedStop = false;

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] ssize_t n = ::write(GSignalPipe[1], &byte, 1);
}

}  // namespace

std::string HostTitle(int kind) {
  switch (kind) {
    case 1:
      return "Tavrin门锁接口";
    case 2:
      return "Tavrin公安接口";
    case 3:
      return "Tavrin会员卡接口";
    case 4:
      return "Tavrin手牌接口";
    default:
      return "";
  }
}

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
  setFont(QFont("MS Sans Serif", 8));
  for (int i = 0; i < 4; ++i) ImageList.append(DrawImage(i));
  CreateActions();
  CreateMenus();
  CreateToolBar();

  InfoMemo = new QPlainTextEdit(this);
  InfoMemo->setObjectName("InfoMemo");
  InfoMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  InfoMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setCentralWidget(InfoMemo);

  StatusBar = new QStatusBar(this);
  StatusBar->setObjectName("StatusBar");
  StatusBar->setFixedHeight(21);
  StatusBar->setSizeGripEnabled(false);
  setStatusBar(StatusBar);

  // The client area is 857 x 442 between the window's frame, tool bar and status bar included.
  resize(857, 442 + MainMenu->sizeHint().height());
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }

  // An error while the window is being created (a port that cannot be bound, say) is shown in
  // the standard error box; the window is created and shown all the same.
  try {
    FormCreate();
  } catch (const std::exception& e) {
    ShowErrorBox(this, e.what());
  }
}

TMainForm::~TMainForm() {
  try {
    FormDestroy();
  } catch (const std::exception& e) {
    ShowErrorBox(nullptr, e.what());
  }
}

void TMainForm::CreateActions() {
  auto make = [this](const char* name, const char* caption, int image, void (TMainForm::*slot)()) {
    auto* action = new QAction(QString::fromUtf8(caption), this);
    action->setObjectName(name);
    if (image >= 0) action->setIcon(ImageList[image]);
    connect(action, &QAction::triggered, this, slot);
    ActionList.append(action);
    return action;
  };
  OptionAction = make("OptionAction", "选项(&O)...", 0, &TMainForm::OptionActionExecute);
  TestAction = make("TestAction", "测试(&T)", -1, &TMainForm::TestActionExecute);
  ChangePasswordAction = make("ChangePasswordAction", "更改管理员密码(&C)", 1,
                              &TMainForm::ChangePasswordActionExecute);
  AboutAction = make("AboutAction", "关于(&A)...", 2, &TMainForm::AboutActionExecute);
  ExitAction = make("ExitAction", "退出(&X)", 3, &TMainForm::ExitActionExecute);
}

void TMainForm::CreateMenus() {
  MainMenu = menuBar();
  MainMenu->setObjectName("MainMenu");
  QMenu* file = MainMenu->addMenu(QString::fromUtf8("文件(&F)"));
  file->addAction(ExitAction);
  QMenu* tools = MainMenu->addMenu(QString::fromUtf8("工具(&T)"));
  tools->addAction(OptionAction);
  tools->addAction(TestAction);
  tools->addSeparator();
  tools->addAction(ChangePasswordAction);
  QMenu* help = MainMenu->addMenu(QString::fromUtf8("帮助(&H)"));
  help->addAction(AboutAction);
}

void TMainForm::CreateToolBar() {
  ToolBar = addToolBar(QStringLiteral("ToolBar"));
  ToolBar->setObjectName("ToolBar");
  ToolBar->setMovable(false);
  ToolBar->setFloatable(false);
  ToolBar->setIconSize(QSize(16, 16));
  ToolBar->setFixedHeight(25);
  ToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  ToolBar->addAction(OptionAction);
  ToolBar->addAction(ChangePasswordAction);
  ToolBar->addSeparator();
  ToolBar->addAction(AboutAction);
  ToolBar->addSeparator();
  ToolBar->addAction(ExitAction);
}

void TMainForm::FormCreate() {
  // Dates and times are read and written with fixed patterns ("yyyy-mm-dd", "hh:nn:ss" with "-"
  // and ":") by the DateTime helpers, which never follow the regional settings; nothing to fix
  // here at run time.
  const std::string title = HostTitle(InterfaceKind);
  if (!title.empty()) {
    QApplication::setApplicationDisplayName(Q(title));
    setWindowTitle(Q(title));
  }
  StartServer();
}

void TMainForm::FormDestroy() { StopServer(); }

void TMainForm::StartServer() {
  TCPServer = std::make_unique<TTcpServer>();
  const int kind = InterfaceKind;
  const void* memo = InfoMemo;
  TCPServer->SetOnExecute(
      [kind, memo](TTcpConnection& thread) { TCPServerExecute(kind, memo, thread); });
  const int port = ListenerPort(kind);
  if (port >= 0) {
    TCPServer->SetPort(port);
    InfoMemo->appendPlainText(Q(ListenerStartLine(kind)));
  }
  TCPServer->Activate();
}

void TMainForm::StopServer() {
  if (!TCPServer) return;
  if (!TCPServer->Deactivate(std::chrono::milliseconds(5000))) GThreadsOutlivedStop = true;
  InfoMemo->appendPlainText(Q(ListenerStopLine));
}

void TMainForm::TCPServerExecute(int kind, const void* memo, TTcpConnection& thread) {
  ServeConnection(kind, thread, memo);
}

bool ListenerThreadsOutlivedStop() { return GThreadsOutlivedStop; }

bool TMainForm::FormCloseQuery() {
  // CloseWithoutPassword, arriving while this prompt is open, rejects the prompt; its own close
  // request is then ignored by Qt because this one is still under way, so this one must let
  // the window go.
  return CheckPassword() || FCloseWithoutPassword;
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (FCloseWithoutPassword || FormCloseQuery()) {
    event->accept();
    emit Closed();
  } else {
    event->ignore();
  }
}

void TMainForm::CloseWithoutPassword() {
  FCloseWithoutPassword = true;
  // A modal dialog (a password prompt, a message box) runs its own loop; end those first so that
  // nothing waits for an answer that will not come.
  while (QWidget* modal = QApplication::activeModalWidget()) {
    if (modal == this) break;
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->reject();
    } else {
      modal->close();
    }
    QCoreApplication::processEvents();
    if (QApplication::activeModalWidget() == modal) break;
  }
  close();
}

void TMainForm::OptionActionExecute() {
  if (!CheckPassword()) return;
  switch (InterfaceKind) {
    case 1:
      if (Doorlock != nullptr) Doorlock->ShowOptionForm();
      break;
    case 2:
      if (PoliceDevice != nullptr) PoliceDevice->ShowOptionForm();
      break;
    case 3:
      if (MemberDevice != nullptr) MemberDevice->ShowOptionForm();
      break;
    case 4:
      if (HandDevice != nullptr) HandDevice->ShowOptionForm();
      break;
    default:
      break;
  }
}

void TMainForm::TestActionExecute() {
  switch (InterfaceKind) {
    case 1:
      if (Doorlock != nullptr) ShowDoorlockTestForm();
      break;
    case 2:
      if (PoliceDevice != nullptr) ShowPoliceGuest();
      break;
    case 3:
      if (MemberDevice != nullptr) ShowMemberTestForm();
      break;
    case 4:
      if (HandDevice != nullptr) ShowHandTestForm();
      break;
    default:
      break;
  }
}

void TMainForm::ShowPoliceGuest() {
  std::string text;
  try {
    // The record is the device's and is read under its lock; the box opens after the lock is
    // released, so that requests are not held up while the operator reads.
    const auto lock = LockPoliceDevice();
    // With no guest at hand the guest text is empty; no field of a missing record is read.
    if (const TPoliceGuest* guest = PoliceDevice->GetGuest()) text = BuildGuestXml(*guest);
  } catch (const std::exception& e) {
    // A GenderID that is no integer, reported as any error that reaches the window.
    ShowErrorBox(this, e.what());
    return;
  }
  ShowMessageBox(this, Q(text), QApplication::applicationDisplayName(), QMessageBox::NoIcon);
}

void TMainForm::ChangePasswordActionExecute() {
  if (CheckPassword()) ChangePassword();
}

void TMainForm::AboutActionExecute() { ShowAbout(); }

void TMainForm::ExitActionExecute() { close(); }

void RunHost(QApplication& application, TBaseDoorlock* device) {
  InterfaceKind = 1;
  SetDoorlock(device);
  application.setQuitOnLastWindowClosed(false);

  if (GSignalPipe[0] < 0 && ::pipe2(GSignalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
  }
  QSocketNotifier notifier(GSignalPipe[0], QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, [&application] {
    char bytes[16];
    while (::read(GSignalPipe[0], bytes, sizeof bytes) > 0) {
    }
    GShutdownRequested = true;
    if (MainForm != nullptr) {
      MainForm->CloseWithoutPassword();
    } else {
      application.exit(0);
    }
  });

  TMainForm form;
  MainForm = &form;
  QObject::connect(&form, &TMainForm::Closed, &application, [&application] { application.exit(0); });
  form.show();
  // A signal that arrived while the window was being created (its error box open) has been
  // taken already; the loop would otherwise wait for a close that nobody will ask for.
  if (!GShutdownRequested) application.exec();
  form.hide();
  MainForm = nullptr;
}
