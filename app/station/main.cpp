// The station window: a production fixture's slots, one tile each, for the
// operators who run it.

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QSettings>
#include <cstdio>
#include <optional>

#include "CommandLineAnswers.h"
#include "StationFile.h"
#include "StationHost.h"
#include "StationWindow.h"
#include "StopSignals.h"

namespace {

constexpr const char* kTitle = "KV-37 Station";
constexpr int kRefused = 5;  // as kv37-update-cli station: bad arguments or a refused station

constexpr const char* kUsage =
    "Usage: kv37-station [STATION-FILE] [QT-OPTIONS]\n"
    "Update KV-37 units on a production fixture, one tile per slot.\n"
    "\n"
    "Runs the station STATION-FILE describes (its slots, image and unit\n"
    "database, as kv37-update-cli station does), or the last one opened, or\n"
    "one chosen in a file dialog. A failed unit's tile stays red until the\n"
    "operator acknowledges it (a click, or Enter on the tile); its slot starts\n"
    "no unit until then. Closing while units are being updated asks first and\n"
    "records them as interrupted; SIGINT and SIGTERM stop it so without asking.\n"
    "\n"
    "Options:\n"
    "  --help       show this help and exit\n"
    "  --version    show the version and exit\n"
    "Qt's own options (-platform, -display, ...) are accepted as well.\n"
    "\n"
    "Exit status: 0 stopped; 5 the station file, its image or its database\n"
    "was refused; 6 finished units were kept beside the database.\n";

QString ChooseStationFile() {
  const QStringList args = QApplication::arguments();
  if (args.size() > 1) return args[1];
  const QString last = QSettings().value("lastStationFile").toString();
  if (!last.isEmpty() && QFileInfo(last).isFile()) return last;
  return QFileDialog::getOpenFileName(nullptr, "Open Station File", {},
                                      "Station files (*.ini);;All files (*)");
}

int Refuse(const std::string& reason) {
  std::fprintf(stderr, "kv37-station: %s\n", kv37::Printable(reason).c_str());
  QMessageBox::critical(nullptr, kTitle, QString::fromStdString(kv37::Printable(reason)));
  return kRefused;
}

}  // namespace

int main(int argc, char** argv) {
  if (kv37::AnsweredFromTheCommandLine(argc, argv, kUsage, "kv37-station", KV37_VERSION)) return 0;
  QApplication application(argc, argv);
  QApplication::setApplicationName("kv37-station");
  QApplication::setOrganizationName("kv37");
  QApplication::setDesktopFileName("kv37-station");
  QApplication::setApplicationVersion(KV37_VERSION);
  QApplication::setWindowIcon(QIcon::fromTheme("kv37update"));

  const QString file = ChooseStationFile();
  if (file.isEmpty()) return 0;
  std::optional<kv37::StationHost> host;
  std::optional<kv37::StationWindow> window;
  try {
    host.emplace(file.toStdString());
    if (!host->Setup().warning.empty())
      QMessageBox::warning(nullptr, kTitle, QString::fromStdString(host->Setup().warning));
    window.emplace(*host);
  } catch (const kv37::StationRefusal& e) {
    return Refuse(e.what());
  }
  QSettings().setValue("lastStationFile", QFileInfo(file).absoluteFilePath());
  QObject::connect(&*window, &kv37::StationWindow::finished, &application, &QApplication::quit);
  // A session that ends, or a supervisor, stops the station as the close box does.
  kv37::WatchInterrupts(&*window, [&window](int signal) { window->StopBySignal(signal); });
  window->showMaximized();
  const int status = QApplication::exec();
  return status != 0 ? status : window->ExitStatus();
}
