#include "StationBoard.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "JsonEvents.h"

namespace kv37::cli {

namespace {

constexpr int kRedrawMs = 200;

}  // namespace

std::string FormatSlotLine(const SlotView& slot, std::size_t nameWidth, std::size_t columns) {
  std::string line = Pad(slot.spec.name, nameWidth) + "  " + Pad(SlotSpecText(slot.spec), 24) +
                     "  " + Pad(slot.node.empty() ? "-" : slot.node, 14) + "  " +
                     Pad(SlotStateWord(slot.state), 8);
  char middle[96] = "";
  if (slot.state == SlotState::Updating || slot.state == SlotState::Passed ||
      slot.state == SlotState::Failed) {
    const std::string page = PageOrNone(slot.page);
    const double seconds = static_cast<double>(slot.elapsed.count()) / 1000.0;
    const double rate = seconds > 0 ? slot.pages / seconds : 0.0;
    std::snprintf(middle, sizeof middle, "  %-7s  %3d%%  %5.1f pages/s", page.c_str(), slot.percent,
                  rate);
  }
  char counts[48];
  std::snprintf(counts, sizeof counts, "  passed %u  failed %u", slot.passed, slot.failed);
  line += middle + std::string(counts) + (slot.text.empty() ? "" : "  " + slot.text);
  // A wrapped line would throw the cursor moves off.
  if (columns != 0 && line.size() >= columns) line.resize(columns - 1);
  return line;
}

std::string SlotJson(const SlotView& slot) {
  QJsonObject object{{"event", "slot"},
                     {"slot", QString::fromStdString(slot.spec.name)},
                     {"adapter", QString::fromStdString(SlotSpecText(slot.spec))},
                     {"state", SlotStateWord(slot.state)},
                     {"device", QString::fromStdString(slot.node)},
                     {"text", QString::fromStdString(slot.text)},
                     {"percent", slot.percent},
                     {"pages_served", static_cast<qint64>(slot.pages)},
                     {"passed", static_cast<qint64>(slot.passed)},
                     {"failed", static_cast<qint64>(slot.failed)}};
  if (slot.page) object["page"] = *slot.page;
  if (slot.usb) object["usb"] = UsbJson(*slot.usb);
  return CompactJson(object);
}

StationBoard::StationBoard(std::ostream& out, BoardMode mode, int columns, QObject* parent)
    : QObject(parent),
      out_(out),
      mode_(mode),
      columns_(columns > 1 ? static_cast<std::size_t>(columns) : 0) {}

void StationBoard::Attach(Station& station, const ImageInfo& image) {
  station_ = &station;
  const StationSpec& spec = station.Spec();
  for (const SlotSpec& slot : spec.slotSpecs) nameWidth_ = std::max(nameWidth_, slot.name.size());
  printedDecile_.assign(spec.slotSpecs.size(), -1);
  station.AddListener(*this);
  heading_ = "Station " + spec.name + ": image " + image.path + " (SHA-256 " +
             image.sha256.substr(0, 16) + "...), " + std::to_string(spec.slotSpecs.size()) +
             " slots, adapters from the " + station.EventSource() + "'s device events";
  if (mode_ == BoardMode::Json) {
    QJsonObject started{{"event", "station_started"},
                        {"station", QString::fromStdString(spec.name)},
                        {"image", QString::fromStdString(image.path)},
                        {"sha256", QString::fromStdString(image.sha256)},
                        {"events", QString::fromStdString(station.EventSource())}};
    Line(CompactJson(started));
    for (const SlotView& slot : station.Slots()) Line(SlotJson(slot));
    return;
  }
  if (mode_ == BoardMode::Plain) {
    Line(heading_);
    for (const SlotView& slot : station.Slots()) Line(FormatSlotLine(slot, nameWidth_, 0));
    return;
  }
  redraw_ = new QTimer(this);
  redraw_->setInterval(kRedrawMs);
  connect(redraw_, &QTimer::timeout, this, [this] { Redraw(); });
  redraw_->start();
  Redraw();
}

void StationBoard::Stopped() {
  if (redraw_ != nullptr) {
    redraw_->stop();
    Redraw();
  }
  if (mode_ == BoardMode::Json) Line(CompactJson({{"event", "station_stopped"}}));
}

void StationBoard::UnitEvent(const PortEvent& event) {
  if (mode_ == BoardMode::Json) Line(PortEventJson(event));
}

void StationBoard::SlotChanged(const SlotView& slot) {
  switch (mode_) {
    case BoardMode::Json:
      // Pages come as the unit's own events.
      if (slot.state != SlotState::Updating || slot.pages == 0) Line(SlotJson(slot));
      return;
    case BoardMode::Plain: {
      const auto index = static_cast<std::size_t>(&slot - station_->Slots().data());
      // A line per state change, and each tenth of the way while updating.
      const int decile =
          slot.state == SlotState::Updating && slot.pages > 0 ? slot.percent / 10 : -1;
      if (decile >= 0 && decile == printedDecile_[index]) return;
      printedDecile_[index] = decile;
      Line(FormatSlotLine(slot, nameWidth_, 0));
      return;
    }
    case BoardMode::InPlace:
      return;  // the next redraw shows it
  }
}

void StationBoard::Note(const std::string& text) {
  if (mode_ == BoardMode::Json) {
    Line(CompactJson({{"event", "note"}, {"text", QString::fromStdString(text)}}));
    return;
  }
  if (mode_ == BoardMode::Plain || !lines_.Drawn()) {
    Line(text);
    return;
  }
  // Over the board's first line; the board is drawn again below it.
  out_ << lines_.Above(text);
  Redraw();
}

void StationBoard::Redraw() {
  unsigned passed = 0, failed = 0;
  for (const SlotView& slot : station_->Slots()) {
    passed += slot.passed;
    failed += slot.failed;
  }
  std::vector<std::string> lines{heading_ + "; " + std::to_string(passed) + " passed, " +
                                 std::to_string(failed) + " failed"};
  for (const SlotView& slot : station_->Slots())
    lines.push_back(FormatSlotLine(slot, nameWidth_, columns_));
  out_ << lines_.Frame(lines, columns_);
  out_.flush();
}

void StationBoard::Line(const std::string& text) {
  out_ << text << '\n';
  out_.flush();
}

}  // namespace kv37::cli
