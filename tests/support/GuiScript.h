// Helpers for GUI tests that meet modal dialogs and message boxes, so that no test waits for a
// person. Header only: the support library is Qt-free, and only GUI tests include this.
//
// TModalScript runs a script on a modal dialog from inside the dialog's own exec() loop.
// TMessageAnswers answers every message box with OK and records what it was asked.
// Main thread only.
#pragma once

#include <QApplication>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "host/MessageDlgFormUnit.h"

class TModalScript {
 public:
  TModalScript() = default;
  TModalScript(const TModalScript&) = delete;
  TModalScript& operator=(const TModalScript&) = delete;
  // A dialog that was expected and never came fails the test; its script is dropped.
  ~TModalScript() {
    if (FPending > 0) ADD_FAILURE() << FPending << " expected modal dialog(s) never opened";
  }

  // Runs `script` on the next modal dialog of type Form, once it is the active modal widget.
  // Scripts may schedule the next dialog's script themselves (a prompt followed by the dialog
  // it guards). A dialog the script leaves open fails the test and is rejected, so a wrong
  // script cannot hang the run.
  template <typename Form>
  void Next(std::function<void(Form&)> script) {
    ++FPending;
    Attempt<Form>(std::move(script), 0);
  }

 private:
  // Between scheduling and the dialog's loop there may be other loops (the previous dialog's
  // ending); the script waits for its dialog a bounded number of turns of the event loop.
  static constexpr int kTurns = 1000;

  template <typename Form>
  void Attempt(std::function<void(Form&)> script, int turn) {
    QTimer::singleShot(0, &FContext, [this, script = std::move(script), turn]() mutable {
      QWidget* const modal = QApplication::activeModalWidget();
      auto* const form = qobject_cast<Form*>(modal);
      if (form == nullptr) {
        if (turn < kTurns) {
          Attempt<Form>(std::move(script), turn + 1);
          return;
        }
        --FPending;
        ADD_FAILURE() << "no modal " << Form::staticMetaObject.className() << " opened";
        if (modal != nullptr) modal->close();
        return;
      }
      --FPending;
      script(*form);
      if (QApplication::activeModalWidget() == form) {
        ADD_FAILURE() << "the script left " << Form::staticMetaObject.className() << " open";
        form->reject();
      }
    });
  }

  QObject FContext;  // its end cancels whatever is still scheduled
  int FPending = 0;
};

class TMessageAnswers {
 public:
  TMessageAnswers() {
    SetMessageResponder([this](const TMessageBoxCall& call) {
      Calls.push_back(call);
      return QMessageBox::Ok;
    });
  }
  ~TMessageAnswers() { SetMessageResponder({}); }
  TMessageAnswers(const TMessageAnswers&) = delete;
  TMessageAnswers& operator=(const TMessageAnswers&) = delete;

  std::vector<TMessageBoxCall> Calls;
};
