// The host's main window, the operator's console: a message pane with the listener's start and
// stop lines, the options, test, password and About commands, and Exit. Creating the window
// starts the request listener; destroying it stops the listener. RunHost shows it as the
// process's only message loop.
//
// Main thread only. Connection threads never touch the window or its components.
#pragma once

#include <QList>
#include <QMainWindow>

#include <memory>
#include <string>

class QAction;
class QApplication;
class QIcon;
class QMenuBar;
class QPlainTextEdit;
class QStatusBar;
class QToolBar;
class TBaseDoorlock;
class TTcpConnection;
class TTcpServer;

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  // Components, named as the operator's manual names them.
  QMenuBar* MainMenu = nullptr;
  QToolBar* ToolBar = nullptr;
  QPlainTextEdit* InfoMemo = nullptr;
  QStatusBar* StatusBar = nullptr;
  QList<QAction*> ActionList;
  QList<QIcon> ImageList;  // 0 options, 1 password, 2 About, 3 exit

  QAction* OptionAction = nullptr;
  QAction* TestAction = nullptr;
  QAction* ChangePasswordAction = nullptr;
  QAction* AboutAction = nullptr;
  QAction* ExitAction = nullptr;

  // Ends the host without asking for the administrator password: for SIGINT and SIGTERM, whose
  // sender already controls the machine. Also ends any modal dialog that is open.
  void CloseWithoutPassword();

  // The request listener, created by StartServer and owned by the window.
  std::unique_ptr<TTcpServer> TCPServer;
  void StartServer();
  void StopServer();
  // The per-connection procedure of the listener, on each connection's own thread. It reaches
  // nothing of the window: it gets the kind and the message pane by value.
  static void TCPServerExecute(int kind, const void* memo, TTcpConnection& thread);

 signals:
  // The window accepted a close request; RunHost ends its loop.
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void FormDestroy();
  // Whether the window may close; asks for the administrator password.
  bool FormCloseQuery();

  void OptionActionExecute();
  void TestActionExecute();
  void ChangePasswordActionExecute();
  void AboutActionExecute();
  void ExitActionExecute();
  // The police registration kind's Test: the current guest's text in a plain message box.
  void ShowPoliceGuest();

  void CreateActions();
  void CreateMenus();
  void CreateToolBar();

  bool FCloseWithoutPassword = false;
};

extern TMainForm* MainForm;

// Makes `device` (when not empty) the process-wide Doorlock and runs the main window until it
// has closed and been released. SIGINT and SIGTERM close it without the password.
void RunHost(QApplication& application, TBaseDoorlock* device);

// True when the listener's last stop found connection threads still busy after its wait (inside
// a device call that does not return, say). They may still use the device, the store and the
// log, so the entry must not release those: it ends the process instead.
bool ListenerThreadsOutlivedStop();

// The window title of an interface kind; empty for an unknown kind.
std::string HostTitle(int kind);
