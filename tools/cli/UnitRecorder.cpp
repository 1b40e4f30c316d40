#include "UnitRecorder.h"

#include <QDateTime>

namespace kv37::cli {

UnitRecorder::UnitRecorder(UnitDatabase& db, std::string station, ImageInfo image)
    : db_(db), station_(std::move(station)), image_(std::move(image)) {}

void UnitRecorder::Report(const PortEvent& event) {
  if (event.kind != PortEventKind::Finished) return;
  const QDateTime now = QDateTime::currentDateTimeUtc();
  UnitRow row;
  row.started = now.addMSecs(-event.elapsed.count()).toString(Qt::ISODateWithMs).toStdString();
  row.ended = now.toString(Qt::ISODateWithMs).toStdString();
  row.station = station_;
  row.slot = event.slot;
  row.port = event.port;
  if (event.usb) {
    row.vendorId = event.usb->vendorId;
    row.productId = event.usb->productId;
    row.serial = event.usb->serial;
    row.usbPort = event.usb->usbPath;
  }
  row.image = image_.path;
  row.imageSha256 = image_.sha256;
  row.outcome = OutcomeKeyword(event.outcome);
  row.exitStatus = static_cast<int>(ExitStatusOf(event.outcome));
  row.reason = event.text;
  row.pagesServed = event.pages.distinct;
  row.repeats = event.pages.repeats;
  row.replies = event.pages.replies;
  row.beyondImage = event.pages.beyond;
  row.elapsedMs = event.elapsed.count();
  pending_.push_back(std::move(row));
  Flush();
}

bool UnitRecorder::Flush() {
  while (!pending_.empty()) {
    if (const auto failure = db_.Record(pending_.front())) {
      if (onWriteFailed) onWriteFailed(*failure);
      return false;
    }
    pending_.pop_front();
  }
  return true;
}

}  // namespace kv37::cli
