#pragma once
// The station window: a header with the station, its image, the totals and
// the records' state; a tile per slot; the last units from the database.
// Failures are held until the operator acknowledges them on their tile.
// The image, the slots and the database come from the station file alone:
// nothing here changes them. Closing while units are being updated asks
// first, then ends them as interrupted (as SIGTERM does) and waits for the
// records before the window goes.
//
// GUI thread only. `host` must outlive the window, which starts it.

#include <QDateTime>
#include <QElapsedTimer>
#include <QMainWindow>
#include <chrono>
#include <optional>
#include <set>

#include "StationHost.h"
#include "StationTotals.h"

class QAction;
class QLabel;
class QTimer;

namespace kv37 {

class LastUnits;
class SlotGrid;

class StationWindow : public QMainWindow, private StationListener {
  Q_OBJECT

 public:
  // Tiles are repainted at most this often, however fast their units go.
  static constexpr std::chrono::milliseconds kRepaintGap{250};

  explicit StationWindow(StationHost& host, QWidget* parent = nullptr);
  ~StationWindow() override;

  SlotGrid& Grid() const { return *grid_; }
  LastUnits& Units() const { return *lastUnits_; }
  // The header's lines, as shown.
  QString HeaderText() const;
  QAction* SoundAction() const { return sound_; }
  // Stops without asking, as closing does once confirmed: the units in
  // progress end as interrupted by `signal` (SIGTERM from the session's
  // end, say), and the window closes once they are recorded.
  void StopBySignal(int signal);
  // 0, or 6 when finished units could not all be recorded (kept beside the
  // database): the program's exit status.
  int ExitStatus() const { return exitStatus_; }

 signals:
  // Every port is closed and every row recorded or kept: the window closes.
  void finished();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void SlotChanged(const SlotView& slot) override;
  void UnitEvent(const PortEvent& event) override;
  void Note(const std::string& text) override;
  void Stopped() override;

  void BuildMenus();
  QWidget* BuildHeader();
  void Flush();
  void Tick();
  void Export();
  bool ConfirmStop(int updating);

  StationHost& host_;
  StationTotals totals_;
  SlotGrid* grid_ = nullptr;
  LastUnits* lastUnits_ = nullptr;
  QLabel* title_ = nullptr;
  QLabel* image_ = nullptr;
  QLabel* counts_ = nullptr;
  QLabel* records_ = nullptr;
  QAction* sound_ = nullptr;
  QTimer* flush_ = nullptr;
  QElapsedTimer sinceFlush_;
  std::set<std::size_t> dirty_;
  std::optional<QDateTime> waitingSince_;  // rows have waited for the database since
  bool fileChanged_ = false;
  enum class Closing { No, Stopping, Done } closing_ = Closing::No;
  int exitStatus_ = 0;
};

}  // namespace kv37
