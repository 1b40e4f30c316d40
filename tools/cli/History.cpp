#include "History.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <array>
#include <cstdio>

#include "PortOutcome.h"

namespace kv37::cli {

namespace {

constexpr std::array<const char*, 19> kCsvHeader = {
    "started",      "ended",       "station",      "slot",      "port",
    "usb_vendor",   "usb_product", "usb_serial",   "usb_port",  "image",
    "image_sha256", "outcome",     "exit_status",  "reason",    "pages_served",
    "repeats",      "replies",     "beyond_image", "elapsed_ms"};

std::vector<std::string> Fields(const UnitRow& r) {
  return {r.started,
          r.ended,
          r.station,
          r.slot,
          r.port,
          r.vendorId,
          r.productId,
          r.serial,
          r.usbPort,
          r.image,
          r.imageSha256,
          r.outcome,
          std::to_string(r.exitStatus),
          r.reason,
          std::to_string(r.pagesServed),
          std::to_string(r.repeats),
          std::to_string(r.replies),
          std::to_string(r.beyondImage),
          std::to_string(r.elapsedMs)};
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// Shown in the technician's own time.
std::string Local(const std::string& utc) {
  const QDateTime time = QDateTime::fromString(QString::fromStdString(utc), Qt::ISODateWithMs);
  return time.isValid() ? time.toLocalTime().toString("yyyy-MM-dd HH:mm:ss").toStdString() : utc;
}

}  // namespace

std::string HistoryTable(const std::vector<UnitRow>& rows) {
  if (rows.empty()) return "no units recorded\n";
  std::vector<std::array<std::string, 8>> lines{
      {"STARTED", "STATION", "SLOT", "ADAPTER", "OUTCOME", "PAGES", "TIME", "REASON"}};
  for (const UnitRow& r : rows) {
    char time[32];
    std::snprintf(time, sizeof time, "%.1f s", static_cast<double>(r.elapsedMs) / 1000.0);
    lines.push_back({Local(r.started), r.station, r.slot, r.serial.empty() ? r.port : r.serial,
                     r.outcome, std::to_string(r.pagesServed), time, r.reason});
  }
  std::array<std::size_t, 8> width{};
  for (const auto& line : lines)
    for (std::size_t i = 0; i < line.size(); ++i) width[i] = std::max(width[i], line[i].size());
  std::string text;
  for (const auto& line : lines) {
    for (std::size_t i = 0; i < line.size(); ++i)
      text +=
          line[i] + (i + 1 < line.size() ? std::string(width[i] - line[i].size() + 2, ' ') : "");
    text += "\n";
  }
  return text;
}

std::string HistoryCsv(const std::vector<UnitRow>& rows) {
  std::string text;
  for (std::size_t i = 0; i < kCsvHeader.size(); ++i)
    text += std::string(i ? "," : "") + kCsvHeader[i];
  text += "\r\n";
  for (const UnitRow& r : rows) {
    const std::vector<std::string> fields = Fields(r);
    for (std::size_t i = 0; i < fields.size(); ++i)
      text += std::string(i ? "," : "") + CsvField(fields[i]);
    text += "\r\n";
  }
  return text;
}

std::string HistoryJson(const std::vector<UnitRow>& rows) {
  QJsonArray list;
  for (const UnitRow& r : rows) {
    const std::vector<std::string> fields = Fields(r);
    QJsonObject object;
    for (std::size_t i = 0; i < fields.size(); ++i)
      object[kCsvHeader[i]] = QString::fromStdString(fields[i]);
    // Numbers stay numbers.
    object["exit_status"] = r.exitStatus;
    for (const auto& [name, value] : {std::pair{"pages_served", r.pagesServed},
                                      {"repeats", r.repeats},
                                      {"replies", r.replies},
                                      {"beyond_image", r.beyondImage},
                                      {"elapsed_ms", r.elapsedMs}})
      object[name] = static_cast<qint64>(value);
    list.append(object);
  }
  return QJsonDocument(list).toJson(QJsonDocument::Indented).toStdString();
}

int RunHistory(const HistoryOptions& o, std::ostream& out, std::ostream& err) {
  const auto fail = [&](const std::string& message) {
    err << "kv37-update-cli: " << message << '\n';
    return static_cast<int>(ExitStatus::Usage);
  };
  UnitFilter filter{{}, {}, o.slot, o.outcome};
  for (const auto& [given, bound, name] :
       {std::tuple{&o.since, &filter.since, "--since"}, {&o.until, &filter.until, "--until"}}) {
    if (given->empty()) continue;
    const auto utc = UtcFromLocal(*given);
    if (!utc) return fail(std::string(name) + " " + *given + ": not a time (2026-12-09T08:00)");
    *bound = *utc;
  }
  try {
    UnitDatabase db(o.database, true);
    const std::vector<UnitRow> rows = db.Query(filter);
    out << (o.format == "csv"    ? HistoryCsv(rows)
            : o.format == "json" ? HistoryJson(rows)
                                 : HistoryTable(rows));
  } catch (const UnitDatabaseError& e) {
    return fail(e.what());
  }
  return 0;
}

}  // namespace kv37::cli
