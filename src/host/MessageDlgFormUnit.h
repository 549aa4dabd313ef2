// Every message box of the host goes through these functions, so that a GUI test can answer a
// box instead of a person (SetMessageResponder) and never hangs on a modal dialog.
//
// Main thread only, like every widget.
#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>
#include <string>

class QWidget;

// What a test sees of a box it answers: the texts, the icon and the buttons offered.
struct TMessageBoxCall {
  QString Text;
  QString Caption;
  QMessageBox::Icon Icon;
  QMessageBox::StandardButtons Buttons;
};
// Returns the button "pressed".
using TMessageResponder = std::function<QMessageBox::StandardButton(const TMessageBoxCall&)>;

// Installs a responder for all later boxes; an empty one restores the real, modal boxes.
void SetMessageResponder(TMessageResponder responder);

// A modal message box; returns the button pressed.
QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const QString& text,
                                           const QString& caption, QMessageBox::Icon icon,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// The standard error box for an error that reached the window: the application's title as
// caption, the error icon, the error's text.
void ShowErrorBox(QWidget* parent, const std::string& errorText);

// Host texts are UTF-8 std::string; widgets take QString.
inline QString Q(const std::string& text) { return QString::fromStdString(text); }
inline std::string S(const QString& text) { return text.toStdString(); }
