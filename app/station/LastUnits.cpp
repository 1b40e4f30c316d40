#include "LastUnits.h"

#include <QHeaderView>
#include <QtConcurrent/QtConcurrentRun>

namespace kv37 {

namespace {

History Load(const std::string& database) {
  try {
    UnitFilter filter;
    filter.last = LastUnits::kShown;
    return LoadHistory(database, filter);
  } catch (const std::exception& e) {
    History failed;
    UnitRow note;
    note.outcome = "unreadable";
    note.reason = e.what();
    failed.rows.push_back(note);
    return failed;
  }
}

}  // namespace

LastUnits::LastUnits(std::string database, QWidget* parent)
    : QTableWidget(0, 5, parent), database_(std::move(database)) {
  setHorizontalHeaderLabels({"Time", "Slot", "Outcome", "Reason", "Duration"});
  horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
  verticalHeader()->hide();
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setAccessibleName("last units");
  QFont font = this->font();
  font.setPixelSize(15);
  setFont(font);
  connect(&loading_, &QFutureWatcher<History>::finished, this, &LastUnits::Loaded);
}

LastUnits::~LastUnits() {
  loading_.waitForFinished();
}

QSize LastUnits::sizeHint() const {
  return {QTableWidget::sizeHint().width(), horizontalHeader()->sizeHint().height() * 6};
}

void LastUnits::Reload() {
  if (loading_.isRunning()) {
    again_ = true;
    return;
  }
  loading_.setFuture(QtConcurrent::run(Load, database_));
}

void LastUnits::Loaded() {
  const History history = loading_.result();
  const std::size_t count = history.rows.size();
  setRowCount(static_cast<int>(count));
  for (std::size_t i = 0; i < count; ++i) {
    const UnitRow& unit = history.rows[count - 1 - i];
    const QStringList cells{
        QString::fromStdString(unit.started.empty() ? "" : LocalTimeText(unit.started)),
        QString::fromStdString(unit.slot), QString::fromStdString(unit.outcome),
        QString::fromStdString(unit.reason),
        QString::number(unit.elapsedMs / 1000.0, 'f', 1) + " s"};
    for (int column = 0; column < cells.size(); ++column) {
      QTableWidgetItem* cell = item(static_cast<int>(i), column);
      if (cell == nullptr) setItem(static_cast<int>(i), column, cell = new QTableWidgetItem);
      cell->setText(cells[column]);
    }
  }
  emit loaded();
  if (std::exchange(again_, false)) Reload();
}

}  // namespace kv37
