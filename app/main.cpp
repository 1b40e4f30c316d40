// The KV-37 update utility: the operator window and its message loop.

#include <exception>

#include "Kv37Application.h"
#include "Mainform.h"

int main(int argc, char** argv) {
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
