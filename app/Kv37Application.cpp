#include "Kv37Application.h"

#include <QIcon>
#include <QMessageBox>
#include <QPointer>

Kv37Application::Kv37Application(int& argc, char** argv) : QApplication(argc, argv) {
  // The icon lives in a static library, whose resources load only on request.
  Q_INIT_RESOURCE(kv37update);
  setApplicationName("kv37update");
  setApplicationDisplayName("KV-37 Update");
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
  const QPointer<QWidget> window = QApplication::activeWindow();
  QMessageBox box(QMessageBox::Critical, QGuiApplication::applicationDisplayName(), text,
                  QMessageBox::Ok, window);
  box.exec();
  // Give the focus back, as the desktop may not: its return is an activation.
  if (window != nullptr) window->activateWindow();
}
