#include "host/MessageDlgFormUnit.h"

#include <QApplication>
#include <QWidget>

namespace {
TMessageResponder& Responder() {
  static TMessageResponder responder;
  return responder;
}
}  // namespace

void SetMessageResponder(TMessageResponder responder) { Responder() = std::move(responder); }

QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const QString& text,
                                           const QString& caption, QMessageBox::Icon icon,
                                           QMessageBox::StandardButtons buttons) {
  if (Responder()) return Responder()({text, caption, icon, buttons});
  QMessageBox box(icon, caption, text, buttons, parent);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

void ShowErrorBox(QWidget* parent, const std::string& errorText) {
  ShowMessageBox(parent, Q(errorText), QApplication::applicationDisplayName(),
                 QMessageBox::Critical);
}
