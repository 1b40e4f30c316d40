#include "StationWindow.h"

#include <csignal>

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "History.h"
#include "LastUnits.h"
#include "SlotGrid.h"
#include "SlotTile.h"

namespace kv37 {

namespace {

// How long rows still waiting for the database are offered to it at the end.
constexpr auto kRecordAtEnd = std::chrono::seconds(5);

QLabel* HeaderLabel(int pixels, bool bold, QWidget* parent) {
  auto* label = new QLabel(parent);
  QFont font = label->font();
  font.setPixelSize(pixels);
  font.setBold(bold);
  label->setFont(font);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

// Writes every recorded unit to `file` as `history --format csv` does; the
// error, or "" when written.
QString ExportCsv(const std::string& database, const QString& file) {
  try {
    const std::string csv = HistoryCsv(LoadHistory(database, {}).rows);
    QSaveFile out(file);
    if (out.open(QIODevice::WriteOnly) &&
        out.write(csv.data(), static_cast<qint64>(csv.size())) == static_cast<qint64>(csv.size()) &&
        out.commit())
      return {};
    return out.errorString();
  } catch (const std::exception& e) {
    return e.what();
  }
}

}  // namespace

StationWindow::StationWindow(StationHost& host, QWidget* parent)
    : QMainWindow(parent), host_(host) {
  const StationSetup& setup = host.Setup();
  setWindowTitle("KV-37 Station — " + QString::fromStdString(setup.spec.name));
  Station& station = host.Units();
  station.HoldFailures(true);
  station.AddListener(*this);
  station.AddListener(totals_);

  grid_ = new SlotGrid(station.Slots(), this);
  for (std::size_t slot = 0; slot < grid_->Count(); ++slot)
    connect(grid_->Tile(slot), &SlotTile::acknowledged, this,
            [this, slot] { host_.Units().Acknowledge(slot); });
  lastUnits_ = new LastUnits(setup.database, this);

  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(grid_);
  splitter->addWidget(lastUnits_);
  splitter->setStretchFactor(0, 5);
  splitter->setStretchFactor(1, 1);
  splitter->setChildrenCollapsible(false);
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(6, 6, 6, 6);
  column->addWidget(BuildHeader());
  column->addWidget(splitter, 1);
  setCentralWidget(central);
  BuildMenus();
  statusBar();
  resize(1280, 800);

  flush_ = new QTimer(this);
  flush_->setSingleShot(true);
  connect(flush_, &QTimer::timeout, this, &StationWindow::Flush);
  sinceFlush_.start();
  auto* tick = new QTimer(this);
  connect(tick, &QTimer::timeout, this, &StationWindow::Tick);
  tick->start(1000);

  // The station file is read once: a changed file is taken when the
  // station is opened again, never behind the operator's back.
  auto* file = new QFileSystemWatcher({QString::fromStdString(setup.spec.file)}, this);
  connect(file, &QFileSystemWatcher::fileChanged, this, [this] {
    fileChanged_ = true;
    Tick();
  });

  // The host outlives the window: the list is asked for only while it is there.
  host.AddWrittenListener([list = QPointer<LastUnits>(lastUnits_)] {
    if (list) list->Reload();
  });
  host.Start();
  Tick();
  lastUnits_->Reload();
  if (grid_->Count() > 0) grid_->Tile(0)->setFocus();
}

StationWindow::~StationWindow() {
  // The host and its station outlive the window (and may go on telling).
  host_.Units().RemoveListener(*this);
  host_.Units().RemoveListener(totals_);
}

void StationWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  QAction* exportCsv = file->addAction("&Export Records to CSV...");
  exportCsv->setShortcut(QKeySequence("Ctrl+E"));
  connect(exportCsv, &QAction::triggered, this, &StationWindow::Export);
  file->addSeparator();
  QAction* quit = file->addAction("&Quit");
  quit->setShortcut(QKeySequence::Quit);
  connect(quit, &QAction::triggered, this, &QWidget::close);

  QMenu* options = menuBar()->addMenu("&Options");
  sound_ = options->addAction("&Sound on Failure");
  sound_->setCheckable(true);
  sound_->setChecked(QSettings().value("soundOnFailure", true).toBool());
  connect(sound_, &QAction::toggled, this,
          [](bool on) { QSettings().setValue("soundOnFailure", on); });
}

QWidget* StationWindow::BuildHeader() {
  auto* header = new QWidget(this);
  auto* grid = new QGridLayout(header);
  grid->setContentsMargins(4, 0, 4, 4);
  title_ = HeaderLabel(28, true, header);
  image_ = HeaderLabel(18, false, header);
  counts_ = HeaderLabel(22, true, header);
  records_ = HeaderLabel(18, false, header);
  counts_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  records_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  const StationSetup& setup = host_.Setup();
  title_->setText(QString::fromStdString(setup.spec.name));
  image_->setText(QString("image %1 · SHA-256 %2…")
                      .arg(QFileInfo(QString::fromStdString(setup.image.path)).fileName(),
                           QString::fromStdString(setup.image.sha256.substr(0, 12))));
  image_->setToolTip(QString::fromStdString(setup.image.path + "\nSHA-256 " + setup.image.sha256));
  grid->addWidget(title_, 0, 0);
  grid->addWidget(counts_, 0, 1);
  grid->addWidget(image_, 1, 0);
  grid->addWidget(records_, 1, 1);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);
  return header;
}

QString StationWindow::HeaderText() const {
  return QStringList{title_->text(), counts_->text(), image_->text(), records_->text()}.join('\n');
}

void StationWindow::SlotChanged(const SlotView& slot) {
  // `slot` is one of the station's own views.
  dirty_.insert(static_cast<std::size_t>(&slot - host_.Units().Slots().data()));
  // The first change after a quiet spell shows at once; those that follow
  // are gathered, so a fast unit costs a few repaints a second at most.
  if (flush_->isActive()) return;
  const auto since = std::chrono::milliseconds(sinceFlush_.elapsed());
  flush_->start(since >= kRepaintGap ? std::chrono::milliseconds(0) : kRepaintGap - since);
}

void StationWindow::Flush() {
  sinceFlush_.restart();
  const std::vector<SlotView>& views = host_.Units().Slots();
  for (const std::size_t slot : std::exchange(dirty_, {})) grid_->Tile(slot)->Show(views[slot]);
  Tick();
}

void StationWindow::UnitEvent(const PortEvent& event) {
  if (event.kind != PortEventKind::Finished) return;
  if (event.outcome != PortOutcome::Success && sound_->isChecked()) QApplication::beep();
}

void StationWindow::Note(const std::string& text) {
  statusBar()->showMessage(QString::fromStdString(text));
}

void StationWindow::Tick() {
  const std::optional<double> yield = totals_.Yield();
  counts_->setText(QString("passed %1 · failed %2 · yield %3 · %4 units/h")
                       .arg(totals_.Passed())
                       .arg(totals_.Failed())
                       .arg(yield ? QString::number(*yield, 'f', 1) + " %" : QString("–"))
                       .arg(totals_.UnitsLastHour()));
  UnitRecorder& recorder = host_.Recorder();
  const QString database = QFileInfo(QString::fromStdString(recorder.Path())).fileName();
  QString records;
  if (recorder.Blocked()) {
    if (!waitingSince_) waitingSince_ = QDateTime::currentDateTime();
    records = QString("records: %1 rows wait for %2 since %3")
                  .arg(recorder.Waiting())
                  .arg(database, waitingSince_->toString("HH:mm:ss"));
  } else {
    waitingSince_.reset();
    records = "records: writing to " + database;
  }
  bool trouble = recorder.Blocked() || fileChanged_;
  if (RecordsForwarder* forwarder = host_.Forwarder()) {
    const RecordsForwarder::State server = forwarder->Now();
    const QString name = QString::fromStdString(forwarder->ServerName());
    if (!server.trouble.empty()) {
      trouble = true;
      const QDateTime oldest =
          QDateTime::fromString(QString::fromStdString(server.oldest), Qt::ISODateWithMs);
      records += QString(" · %1 rows wait for %2 since %3")
                     .arg(server.waiting)
                     .arg(name, oldest.toLocalTime().toString("HH:mm:ss"));
      records_->setToolTip(QString::fromStdString(server.trouble));
    } else {
      records += server.waiting > 0
                     ? QString(" · sending %1 rows to %2").arg(server.waiting).arg(name)
                     : " · forwarded to " + name;
      records_->setToolTip({});
    }
  }
  if (fileChanged_) records += " · station file changed: taken when opened again";
  records_->setText(records);
  QPalette palette = records_->palette();
  palette.setColor(QPalette::WindowText, trouble ? QColor(0xb7, 0x1c, 0x1c)
                                                 : this->palette().color(QPalette::WindowText));
  records_->setPalette(palette);
}

void StationWindow::Export() {
  const QString file = QFileDialog::getSaveFileName(
      this, "Export Records to CSV", QString::fromStdString(host_.Setup().spec.name) + "-units.csv",
      "CSV files (*.csv);;All files (*)");
  if (file.isEmpty()) return;
  // Read and written off the window's thread: the units' replies run on it.
  auto* done = new QFutureWatcher<QString>(this);
  connect(done, &QFutureWatcher<QString>::finished, this, [this, done, file] {
    const QString error = done->result();
    done->deleteLater();
    if (error.isEmpty())
      statusBar()->showMessage("records exported to " + file);
    else
      QMessageBox::warning(this, windowTitle(),
                           "The records could not be exported to " + file + ":\n" + error);
  });
  done->setFuture(QtConcurrent::run(ExportCsv, host_.Recorder().Path(), file));
}

bool StationWindow::ConfirmStop(int updating) {
  QMessageBox ask(QMessageBox::Warning, windowTitle(),
                  QString("%1 unit%2 being updated. Stop the station?")
                      .arg(updating)
                      .arg(updating == 1 ? " is" : "s are"),
                  QMessageBox::NoButton, this);
  ask.setInformativeText(
      "Units stopped now are recorded as interrupted and must be updated again.");
  QPushButton* stop = ask.addButton("&Stop the Station", QMessageBox::DestructiveRole);
  ask.addButton("&Keep Updating", QMessageBox::RejectRole);
  ask.setDefaultButton(qobject_cast<QPushButton*>(ask.buttons().last()));
  ask.exec();
  return ask.clickedButton() == stop;
}

void StationWindow::closeEvent(QCloseEvent* event) {
  if (closing_ == Closing::Done) {
    event->accept();
    return;
  }
  event->ignore();
  if (closing_ == Closing::Stopping) return;
  int updating = 0;
  for (const SlotView& slot : host_.Units().Slots()) updating += slot.state == SlotState::Updating;
  if (updating > 0 && !ConfirmStop(updating)) return;
  StopBySignal(SIGTERM);
}

void StationWindow::StopBySignal(int signal) {
  if (closing_ != Closing::No) return;
  closing_ = Closing::Stopping;
  statusBar()->showMessage("stopping: the units in progress are recorded as interrupted");
  host_.Units().Stop(signal);
}

void StationWindow::Stopped() {
  Flush();
  const UnitRecorder::Outcome outcome = host_.Recorder().Finish(kRecordAtEnd);
  if (outcome.unwritten > 0) {
    exitStatus_ = 6;
    QMessageBox::warning(
        this, windowTitle(),
        QString("%1 finished units could not be written to the unit database.\n%2")
            .arg(outcome.unwritten)
            .arg(outcome.keptIn.empty()
                     ? "They could not be kept either: " + QString::fromStdString(outcome.error)
                     : "They are kept in " + QString::fromStdString(outcome.keptIn) +
                           " and go into the database when the station next opens it."));
  }
  closing_ = Closing::Done;
  close();
  emit finished();
}

}  // namespace kv37
