#pragma once
// The most recent units of the station's database, newest first: time,
// slot, outcome, reason and duration. Read on a worker thread, so a busy
// database never holds up the window; reloads asked for while one runs are
// merged into one.
//
// GUI thread only; the parent owns the list.

#include <QFutureWatcher>
#include <QTableWidget>
#include <string>

#include "History.h"

namespace kv37 {

class LastUnits : public QTableWidget {
  Q_OBJECT

 public:
  static constexpr std::size_t kShown = 50;

  LastUnits(std::string database, QWidget* parent = nullptr);
  ~LastUnits() override;

  // Reads the database again (soon, on a worker thread).
  void Reload();
  // A few rows: the tiles come first.
  QSize sizeHint() const override;

 signals:
  // A reload has been shown.
  void loaded();

 private:
  void Loaded();

  std::string database_;
  QFutureWatcher<History> loading_;
  bool again_ = false;  // a reload was asked for while one ran
};

}  // namespace kv37
