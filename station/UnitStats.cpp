#include "UnitStats.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <tuple>

#include "History.h"

namespace kv37 {

namespace {

std::string AdapterOf(const UnitRow& unit) {
  if (!unit.serial.empty()) return "serial " + unit.serial;
  if (!unit.usbPort.empty()) return "USB port " + unit.usbPort;
  return unit.port;
}

std::string Failures(const YieldRow& row, const char* separator) {
  std::string text;
  for (const auto& [outcome, count] : row.failed)
    text += (text.empty() ? "" : separator) + outcome + " " + std::to_string(count);
  return text;
}

std::string Number(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Median(const YieldRow& row, bool seconds) {
  if (!row.medianMs) return seconds ? "-" : "";
  return seconds ? Number("%.1f s", static_cast<double>(*row.medianMs) / 1000.0)
                 : std::to_string(*row.medianMs);
}

}  // namespace

std::vector<YieldRow> YieldOf(const std::vector<UnitRow>& units) {
  std::map<std::tuple<std::string, std::string, std::string>,
           std::pair<YieldRow, std::vector<int64_t>>>
      groups;
  for (const UnitRow& unit : units) {
    auto& [row, times] = groups[{unit.station, unit.slot, AdapterOf(unit)}];
    row.station = unit.station;
    row.slot = unit.slot;
    row.adapter = AdapterOf(unit);
    ++row.units;
    if (unit.outcome == "success") {
      ++row.passed;
      times.push_back(unit.elapsedMs);
    } else {
      ++row.failed[unit.outcome];
    }
  }
  std::vector<YieldRow> rows;
  for (auto& [key, group] : groups) {
    auto& [row, times] = group;
    row.yield = 100.0 * static_cast<double>(row.passed) / static_cast<double>(row.units);
    if (!times.empty()) {
      std::sort(times.begin(), times.end());
      const std::size_t mid = times.size() / 2;
      row.medianMs = times.size() % 2 ? times[mid] : (times[mid - 1] + times[mid]) / 2;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string YieldTable(const std::vector<YieldRow>& rows) {
  if (rows.empty()) return "no units recorded\n";
  std::vector<std::vector<std::string>> lines{
      {"STATION", "SLOT", "ADAPTER", "UNITS", "PASSED", "FAILED", "YIELD", "MEDIAN", "FAILURES"}};
  for (const YieldRow& r : rows)
    lines.push_back({r.station, r.slot, r.adapter, std::to_string(r.units),
                     std::to_string(r.passed), std::to_string(r.units - r.passed),
                     Number("%.1f %%", r.yield), Median(r, true), Failures(r, ", ")});
  return TextTable(lines);
}

std::string YieldCsv(const std::vector<YieldRow>& rows) {
  std::string text = "station,slot,adapter,units,passed,failed,yield_percent,median_ms,failures\n";
  for (const YieldRow& r : rows)
    text += CsvField(r.station) + "," + CsvField(r.slot) + "," + CsvField(r.adapter) + "," +
            std::to_string(r.units) + "," + std::to_string(r.passed) + "," +
            std::to_string(r.units - r.passed) + "," + Number("%.2f", r.yield) + "," +
            Median(r, false) + "," + CsvField(Failures(r, "; ")) + "\n";
  return text;
}

std::string YieldJson(const std::vector<YieldRow>& rows) {
  QJsonArray array;
  for (const YieldRow& r : rows) {
    QJsonObject failed;
    for (const auto& [outcome, count] : r.failed)
      failed[QString::fromStdString(outcome)] = static_cast<qint64>(count);
    QJsonObject json{{"station", QString::fromStdString(r.station)},
                     {"slot", QString::fromStdString(r.slot)},
                     {"adapter", QString::fromStdString(r.adapter)},
                     {"units", static_cast<qint64>(r.units)},
                     {"passed", static_cast<qint64>(r.passed)},
                     {"failed", failed},
                     {"yield_percent", r.yield}};
    json["median_ms"] = r.medianMs ? QJsonValue(static_cast<qint64>(*r.medianMs)) : QJsonValue();
    array.append(json);
  }
  return QJsonDocument(array).toJson(QJsonDocument::Indented).toStdString();
}

}  // namespace kv37
