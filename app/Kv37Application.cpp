#include "Kv37Application.h"

#include <QIcon>
#include <QMessageBox>
#include <QPointer>

Kv37Application::Kv37Application(int& argc, char** argv) : QApplication(argc, argv) {
  // The icon lives in a static library, whose resources load only on request.
  Q_INIT_RESOURCE(kv37update);
  setApplicationName("kv37update");
  setDesktopFileName("kv37update");
  setApplicationVersion("1.01");
  setWindowIcon(QIcon(":/kv37/kv37update.png"));
}

bool Kv37Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ShowException(std::current_exception());
    return false;
  }
}

void Kv37Application::ShowException(std::exception_ptr error) {
  QString text = "Unknown error";
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    text = QString::fromLocal8Bit(e.what());
  } catch (...) {
  }
  // A handler that failed right after a dialog closed may find that hidden
  // dialog still active, or no active window at all; the box then belongs
  // to the window that is still shown.
  QWidget* owner = QApplication::activeWindow();
  if (owner == nullptr || !owner->isVisible()) {
    owner = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
      if (top->isVisible() && top->windowType() == Qt::Window) {
        owner = top;
        break;
      }
  }
  const QPointer<QWidget> window = owner;
  QMessageBox box(QMessageBox::Critical, kTitle, text, QMessageBox::Ok, window);
  box.exec();
  // Give the focus back, as the desktop may not. This box is the toolkit's
  // error display, not one of the utility's boxes: its closing is no
  // activation of the operator window, so the window's defaults stay as the
  // failed handler left them.
  if (window != nullptr) window->activateWindow();
}
