#include "UnitRecorder.h"

#include <QDateTime>
#include <QPointer>

#include "ExitStatus.h"
#include "UnwrittenRows.h"

namespace kv37 {

namespace {

// How often rows the database refused are offered to it again.
constexpr auto kRetry = std::chrono::milliseconds(2000);
// While finishing, more often: the time left is short.
constexpr auto kFinishRetry = std::chrono::milliseconds(100);

}  // namespace

UnitRecorder::UnitRecorder(const std::string& path, std::string station, ImageInfo image,
                           QObject* parent)
    : QObject(parent),
      path_(path),
      station_(std::move(station)),
      image_(std::move(image)),
      db_(std::make_unique<UnitDatabase>(path)) {
  for (UnitRow& row : ReadUnwritten(path_)) queue_.push_back(std::move(row));
  takenBack_ = queue_.size();
  thread_ = std::thread([this] { Work(); });
}

UnitRecorder::~UnitRecorder() {
  if (!finished_) Finish(std::chrono::milliseconds(0));
}

void UnitRecorder::Report(const PortEvent& event) {
  if (event.kind != PortEventKind::Finished) return;
  const QDateTime now = QDateTime::currentDateTimeUtc();
  UnitRow row;
  row.started = now.addMSecs(-event.elapsed.count()).toString(Qt::ISODateWithMs).toStdString();
  row.ended = now.toString(Qt::ISODateWithMs).toStdString();
  row.station = station_;
  row.slot = event.slot;
  // The device the unit was updated on; a path slot's link is the slot's own.
  row.port = event.device.empty() ? event.port : event.device;
  if (event.usb) {
    row.vendorId = event.usb->vendorId;
    row.productId = event.usb->productId;
    row.serial = event.usb->serial;
    row.usbPort = event.usb->usbPath;
  }
  row.image = image_.path;
  row.imageSha256 = image_.sha256;
  row.outcome = OutcomeKeyword(event.outcome);
  row.exitStatus = static_cast<int>(ExitStatusOf(event));
  row.reason = event.text;
  row.pagesServed = event.pages.distinct;
  row.repeats = event.pages.repeats;
  row.replies = event.pages.replies;
  row.beyondImage = event.pages.beyond;
  row.elapsedMs = event.elapsed.count();
  row.unitId = event.unit.empty() ? NewUnitId() : event.unit;
  if (event.trace) row.trace = *event.trace;
  std::lock_guard lock(mutex_);
  if (finishing_) return;
  queue_.push_back(std::move(row));
  wake_.notify_all();
}

bool UnitRecorder::Blocked() const {
  std::lock_guard lock(mutex_);
  return failing_ && !queue_.empty();
}

std::size_t UnitRecorder::Waiting() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

UnitRecorder::Outcome UnitRecorder::Finish(std::chrono::milliseconds limit) {
  {
    std::lock_guard lock(mutex_);
    finishing_ = true;
    finishBy_ = std::chrono::steady_clock::now() + limit;
    wake_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
  finished_ = true;
  Outcome outcome;
  std::vector<UnitRow> left(queue_.begin(), queue_.end());
  // The rows taken back and still unwritten are in the file already.
  const std::size_t fromFile = std::min(takenBack_, left.size());
  if (left.empty()) return outcome;
  outcome.unwritten = left.size();
  outcome.keptIn = UnwrittenPath(path_);
  const std::vector<UnitRow> fresh(left.begin() + static_cast<long>(fromFile), left.end());
  if (fresh.empty()) return outcome;
  if (const auto error = KeepUnwritten(path_, fresh)) {
    outcome.keptIn.clear();
    outcome.error = *error;
  }
  return outcome;
}

void UnitRecorder::Work() {
  using Clock = std::chrono::steady_clock;
  std::unique_lock lock(mutex_);
  Clock::time_point retryAt{};
  for (;;) {
    const auto ready = [&] {
      if (finishing_ && (queue_.empty() || Clock::now() >= finishBy_)) return true;
      return !queue_.empty() && (!failing_ || Clock::now() >= retryAt);
    };
    if (failing_ && !queue_.empty())
      wake_.wait_until(lock, finishing_ ? std::min(retryAt, finishBy_) : retryAt, ready);
    else
      wake_.wait(lock, ready);
    if (finishing_ && (queue_.empty() || Clock::now() >= finishBy_)) break;
    if (queue_.empty() || (failing_ && Clock::now() < retryAt)) continue;

    const UnitRow row = queue_.front();
    const bool takenBack = takenBack_ > 0;
    lock.unlock();
    const auto failure = db_->Record(row, takenBack);
    lock.lock();
    if (!failure) {
      queue_.pop_front();
      if (takenBack && --takenBack_ == 0) ForgetUnwritten(path_);
      if (failing_ && queue_.empty()) {
        failing_ = false;
        Post([this] {
          if (onWritingAgain) onWritingAgain();
        });
      }
      if (queue_.empty())
        Post([this] {
          if (onAllWritten) onAllWritten();
        });
      continue;
    }
    retryAt = Clock::now() + (finishing_ ? kFinishRetry : kRetry);
    if (!failing_) {
      failing_ = true;
      Post([this, reason = *failure] {
        if (onWriteFailed) onWriteFailed(reason);
      });
    }
  }
}

void UnitRecorder::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

}  // namespace kv37
