// kv37update as an operator would run it, for checks that need the whole
// program in a process of its own: the same application object, window and
// entry point, with a scripted operator instead of a person.
//
//   e2e_window_driver IMAGE
//
// Loads IMAGE through the file dialog, opens COM1 (found through the port
// map, like any run), presses "OS Update Strat" and dismisses every message
// box, printing "box: <text>" for each. Whatever the window does then decides
// the exit status, as in the real program. A run that stalls ends with
// status 3 after a minute.

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "Kv37Application.h"
#include "Mainform.h"

namespace {

constexpr int kStepMs = 50;
constexpr int kStallMs = 60'000;

// One step each time the window's thread is free: every modal loop runs it
// as well, so the operator can answer the dialogs the window opens.
class ScriptedOperator : public QObject {
 public:
  ScriptedOperator(TForm1& form, QString image) : form_(form), image_(std::move(image)) {
    connect(&step_, &QTimer::timeout, this, [this] { Step(); });
    step_.start(kStepMs);
    QTimer::singleShot(kStallMs, this, [] {
      std::puts("operator: no end within a minute");
      std::fflush(stdout);
      std::_Exit(3);
    });
  }

 private:
  // A timer does not fire again while its own handler runs, so whatever may
  // open a modal loop runs from a handler of its own.
  template <typename Action>
  void Later(Action action) {
    QTimer::singleShot(0, this, action);
  }

  void Step() {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      std::printf("box: %s\n", box->text().toLocal8Bit().constData());
      std::fflush(stdout);
      box->button(QMessageBox::Ok)->click();
      return;
    }
    if (form_.OpenDialog1->isVisible()) {
      // Typed into the file name box, as a person would.
      if (auto* name = form_.OpenDialog1->findChild<QLineEdit*>("fileNameEdit"))
        name->setText(image_);
      else
        form_.OpenDialog1->selectFile(image_);
      static_cast<QDialog*>(form_.OpenDialog1)->accept();  // through the public slot
      return;
    }
    if (!form_.isVisible()) return;
    switch (stage_) {
      case 0:
        ++stage_;
        // Opens the modal file dialog; later steps run inside it.
        Later([this] { form_.ReadOSFile1->trigger(); });
        return;
      case 1:
        if (!form_.BTn_OpenCom->isEnabled()) return;
        ++stage_;
        Later([this] { form_.BTn_OpenCom->click(); });
        return;
      case 2:
        if (!form_.KV37_Mode->isEnabled()) return;
        ++stage_;
        Later([this] { form_.KV37_Mode->click(); });
        return;
      default:
        if (form_.PageNo->text() != lastStatus_) {
          lastStatus_ = form_.PageNo->text();
          std::printf("status: %s\n", lastStatus_.toLocal8Bit().constData());
          std::fflush(stdout);
        }
    }
  }

  TForm1& form_;
  QString image_;
  QTimer step_;
  int stage_ = 0;
  QString lastStatus_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: e2e_window_driver IMAGE\n", stderr);
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const QString image = QString::fromLocal8Bit(argv[1]);

  // From here on as in the program's own entry point.
  Kv37Application application(argc, argv);
  try {
    TForm1 form;
    ScriptedOperator person(form, image);
    form.show();
    application.exec();
  } catch (...) {
    Kv37Application::ShowException(std::current_exception());
  }
  return 0;
}
