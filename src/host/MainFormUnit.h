// The host's main window, the operator's console: a message pane with the listener's start and
// stop lines, the options, test, password and About commands, and Exit. Creating the window
// starts the request listener; destroying it stops the listener. RunHost shows it as the
// process's only message loop.
//
// Main thread only. Connection threads never touch the window or its components.
#pragma once

#include <QList>
#include <QMainWindow>

#include <string>

class QAction;
class QApplication;
class QIcon;
class QMenuBar;
class QPlainTextEdit;
class QStatusBar;
class QToolBar;

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

  void StartServer();
  void StopServer();

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

  void CreateActions();
  void CreateMenus();
  void CreateToolBar();

  bool FCloseWithoutPassword = false;
};

extern TMainForm* MainForm;

// Runs the main window until it has closed and been released. SIGINT and SIGTERM close it
// without the password.
void RunHost(QApplication& application);

// The window title of an interface kind; empty for an unknown kind.
std::string HostTitle(int kind);
