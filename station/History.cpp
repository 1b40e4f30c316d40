#include "History.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <array>
#include <cstdio>

#include "UnwrittenRows.h"

namespace kv37 {

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string LocalTimeText(const std::string& utc) {
  const QDateTime time = QDateTime::fromString(QString::fromStdString(utc), Qt::ISODateWithMs);
  return time.isValid() ? time.toLocalTime().toString("yyyy-MM-dd HH:mm:ss").toStdString() : utc;
}

std::string TextTable(const std::vector<std::vector<std::string>>& lines) {
  std::vector<std::size_t> width;
  for (const auto& line : lines) {
    width.resize(std::max(width.size(), line.size()));
    for (std::size_t i = 0; i < line.size(); ++i) width[i] = std::max(width[i], line[i].size());
  }
  std::string text;
  for (const auto& line : lines) {
    for (std::size_t i = 0; i < line.size(); ++i)
      text +=
          line[i] + (i + 1 < line.size() ? std::string(width[i] - line[i].size() + 2, ' ') : "");
    // An empty last cell leaves no padding behind.
    while (!text.empty() && text.back() == ' ') text.pop_back();
    text += "\n";
  }
  return text;
}

std::string HistoryTable(const std::vector<UnitRow>& rows) {
  if (rows.empty()) return "no units recorded\n";
  std::vector<std::vector<std::string>> lines{
      {"STARTED", "UNIT", "STATION", "SLOT", "ADAPTER", "OUTCOME", "PAGES", "TIME", "REASON"}};
  for (const UnitRow& r : rows) {
    char time[32];
    std::snprintf(time, sizeof time, "%.1f s", static_cast<double>(r.elapsedMs) / 1000.0);
    lines.push_back({LocalTimeText(r.started), r.unitId.substr(0, 8), r.station, r.slot,
                     r.serial.empty() ? r.port : r.serial, r.outcome, std::to_string(r.pagesServed),
                     time, r.reason});
  }
  return TextTable(lines);
}

std::string HistoryCsv(const std::vector<UnitRow>& rows) {
  std::string text;
  for (std::size_t i = 0; i < kUnitColumns.size(); ++i)
    text += std::string(i ? "," : "") + kUnitColumns[i];
  text += "\r\n";
  for (const UnitRow& r : rows) {
    const std::vector<std::string> fields = UnitRowFields(r);
    for (std::size_t i = 0; i < fields.size(); ++i)
      text += std::string(i ? "," : "") + CsvField(fields[i]);
    text += "\r\n";
  }
  return text;
}

std::string HistoryJson(const std::vector<UnitRow>& rows) {
  QJsonArray list;
  for (const UnitRow& r : rows) list.append(UnitRowJson(r));
  return QJsonDocument(list).toJson(QJsonDocument::Indented).toStdString();
}

History LoadHistory(const std::string& database, const UnitFilter& filter) {
  UnitDatabase db(database, true);
  History history{db.Query(filter), 0};
  // Units a stop could not write are units all the same.
  const std::vector<UnitRow> kept = ReadUnwritten(database);
  history.unwritten = kept.size();
  for (const UnitRow& r : kept)
    if (filter.Matches(r)) history.rows.push_back(r);
  std::stable_sort(history.rows.begin(), history.rows.end(),
                   [](const UnitRow& a, const UnitRow& b) { return a.started < b.started; });
  if (filter.last > 0 && history.rows.size() > filter.last)
    history.rows.erase(history.rows.begin(),
                       history.rows.end() - static_cast<std::ptrdiff_t>(filter.last));
  return history;
}

}  // namespace kv37
