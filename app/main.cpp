// The KV-37 update utility: the operator window and its message loop.

#include <exception>

#include "CommandLineAnswers.h"
#include "Kv37Application.h"
#include "Mainform.h"

namespace {

constexpr const char* kUsage =
    "Usage: kv37update [QT-OPTIONS]\n"
    "Install a new OS image into a KV-37 unit over an RS-232 line.\n"
    "\n"
    "Opens the operator window: \"Fille\" > \"Read OS File\" loads the image,\n"
    "\"Open COM Port\" opens the chosen COM1 .. COM12, \"OS Update Strat\" starts\n"
    "the update at 57600 baud, and the gauge follows the pages the unit fetches.\n"
    "\n"
    "Options:\n"
    "  --help       show this help and exit\n"
    "  --version    show the version and exit\n"
    "Qt's own options (-platform, -display, ...) are accepted as well.\n";

}  // namespace

int main(int argc, char** argv) {
  if (kv37::AnsweredFromTheCommandLine(argc, argv, kUsage, "kv37update", KV37_VERSION)) return 0;
  Kv37Application application(argc, argv);
  try {
    TForm1 form;
    form.show();
    application.exec();
  } catch (...) {
    Kv37Application::ShowException(std::current_exception());
  }
  return 0;
}
