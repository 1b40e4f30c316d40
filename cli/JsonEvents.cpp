#include "JsonEvents.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace kv37::cli {

namespace {

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

void AddCounts(QJsonObject& object, const PageCounts& pages) {
  object["pages_served"] = static_cast<qint64>(pages.distinct);
  object["replies"] = static_cast<qint64>(pages.replies);
  object["repeats"] = static_cast<qint64>(pages.repeats);
  object["beyond_image"] = static_cast<qint64>(pages.beyond);
}

QString Keyword(PortOutcome outcome) {
  const std::string_view keyword = OutcomeKeyword(outcome);
  return QString::fromLatin1(keyword.data(), static_cast<qsizetype>(keyword.size()));
}

const char* EventName(PortEventKind kind) {
  switch (kind) {
    case PortEventKind::Opened:
      return "opened";
    case PortEventKind::StartSent:
      return "start_sent";
    case PortEventKind::PageServed:
      return "page";
    case PortEventKind::StateChanged:
      return "state";
    case PortEventKind::LineError:
      return "line_error";
    case PortEventKind::LineNote:
      return "note";
    case PortEventKind::Finished:
      return "finished";
  }
  return "state";
}

}  // namespace

std::string CompactJson(const QJsonObject& object) {
  return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

QJsonObject UsbJson(const TUsbIdentity& usb) {
  return {{"vendor_id", Text(usb.vendorId)}, {"product_id", Text(usb.productId)},
          {"serial", Text(usb.serial)},      {"manufacturer", Text(usb.manufacturer)},
          {"product", Text(usb.product)},    {"interface", Text(usb.interface)},
          {"usb_port", Text(usb.usbPath)}};
}

std::string RunStartedJson(const ImageInfo& image, const std::vector<std::string>& ports) {
  QJsonArray names;
  for (const std::string& port : ports) names.append(Text(port));
  return CompactJson({{"event", "run_started"},
                      {"image", Text(image.path)},
                      {"file_size", static_cast<qint64>(image.fileSize)},
                      {"image_size", static_cast<qint64>(image.imageSize)},
                      {"sha256", Text(image.sha256)},
                      {"ports", names}});
}

std::string ErrorJson(const std::string& message, ExitStatus status) {
  return CompactJson(
      {{"event", "error"}, {"message", Text(message)}, {"exit_status", static_cast<int>(status)}});
}

std::string PortEventJson(const PortEvent& event) {
  QJsonObject object{{"event", EventName(event.kind)},
                     {"port", Text(event.port)},
                     {"elapsed_ms", static_cast<qint64>(event.elapsed.count())}};
  if (event.slot != event.port) object["slot"] = Text(event.slot);
  if (event.usb) object["usb"] = UsbJson(*event.usb);
  // The unit's identity, as its record keeps it (history --trace ID).
  if (!event.unit.empty() &&
      (event.kind == PortEventKind::Opened || event.kind == PortEventKind::Finished))
    object["unit"] = Text(event.unit);
  switch (event.kind) {
    case PortEventKind::Opened:
      object["path"] = Text(event.path);
      object["device"] = Text(event.device);
      if (!event.text.empty()) object["note"] = Text(event.text);
      break;
    case PortEventKind::StartSent:
      break;
    case PortEventKind::PageServed:
      object["page"] = event.page;
      AddCounts(object, event.pages);
      object["percent"] = event.percent;
      break;
    case PortEventKind::StateChanged:
    case PortEventKind::LineError:
    case PortEventKind::LineNote:
      object["text"] = Text(event.text);
      break;
    case PortEventKind::Finished:
      object["outcome"] = Keyword(event.outcome);
      object["reason"] = Text(event.text);
      object["exit_status"] = static_cast<int>(ExitStatusOf(event));
      AddCounts(object, event.pages);
      object["percent"] = event.percent;
      break;
  }
  return CompactJson(object);
}

std::string RunEndedJson(const std::vector<PortResult>& results, ExitStatus status,
                         const std::string& sha256) {
  QJsonArray ports;
  for (const PortResult& r : results) {
    QJsonObject port{
        {"port", Text(r.port)},          {"outcome", Keyword(r.outcome)},
        {"reason", Text(r.reason)},      {"exit_status", static_cast<int>(ExitStatusOf(r.outcome))},
        {"percent", PercentOf(r.pages)}, {"elapsed_ms", static_cast<qint64>(r.elapsed.count())}};
    AddCounts(port, r.pages);
    ports.append(port);
  }
  QJsonObject summary{
      {"event", "summary"}, {"exit_status", static_cast<int>(status)}, {"ports", ports}};
  if (!sha256.empty()) summary["sha256"] = Text(sha256);
  return CompactJson(summary);
}

void JsonEventWriter::RunStarted(const ImageInfo& image, const std::vector<std::string>& ports) {
  sha256_ = image.sha256;
  Line(RunStartedJson(image, ports));
}

void JsonEventWriter::Report(const PortEvent& event) {
  Line(PortEventJson(event));
}

void JsonEventWriter::RunEnded(const std::vector<PortResult>& results, ExitStatus status) {
  Line(RunEndedJson(results, status, sha256_));
}

void JsonEventWriter::Line(const std::string& json) {
  out_ << json << '\n';
  out_.flush();
}

}  // namespace kv37::cli
