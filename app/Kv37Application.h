#pragma once
// The application object with the utility's one standard error display: an
// exception that escapes an event handler is shown in a modal box with its
// text, and the program goes on. GUI thread only.

#include <QApplication>
#include <exception>

class Kv37Application : public QApplication {
  Q_OBJECT

 public:
  // The caption of every message box, the standard error display's too. It is
  // deliberately not the toolkit's display name, which the toolkit would
  // append to every window title ("About" must read "About").
  static constexpr const char* kTitle = "KV-37 Update";

  // Sets the program's name, desktop entry and icon.
  Kv37Application(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  // Shows `error` in the standard error display; modal, returns once the
  // operator has dismissed it. Usable from any handler on the GUI thread,
  // also when the running application is a plain QApplication.
  static void ShowException(std::exception_ptr error);

  // Runs `handler`, sending whatever it throws to ShowException.
  template <typename Handler>
  static void Guard(Handler&& handler) {
    try {
      handler();
    } catch (...) {
      ShowException(std::current_exception());
    }
  }
};
