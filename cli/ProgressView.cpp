#include "ProgressView.h"

#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace kv37::cli {

namespace {

// Often enough to look live, rarely enough to cost nothing with many ports.
constexpr int kRedrawMs = 200;

std::string PageOf(const ProgressLine& line) {
  return PageOrNone(line.pageKnown ? std::optional<uint16_t>(line.page) : std::nullopt);
}

std::string FinishedState(const PortEvent& event) {
  return std::string(OutcomeKeyword(event.outcome)) + ": " + event.text;
}

}  // namespace

std::string FormatProgressLine(const ProgressLine& line, std::size_t portWidth) {
  char middle[64];
  std::snprintf(middle, sizeof middle, "  %-7s  %3d%%  %8s  ", PageOf(line).c_str(), line.percent,
                Seconds(line.elapsed).c_str());
  return Pad(line.port, portWidth) + middle + line.state;
}

namespace {

// `name` in exactly `width` columns: padded, or its tail after "..".
std::string FitName(const std::string& name, std::size_t width) {
  if (name.size() <= width) return Pad(name, width);
  if (width <= 2) return name.substr(name.size() - width);
  return ".." + name.substr(name.size() - (width - 2));
}

}  // namespace

std::string FormatBarLine(const ProgressLine& line, std::size_t portWidth, std::size_t columns) {
  constexpr std::size_t kCells = 20;
  constexpr std::size_t kShortestName = 6;
  constexpr unsigned kFlashPages = 512;
  const std::size_t filled =
      static_cast<std::size_t>(std::clamp(line.percent, 0, 100)) * kCells / 100;
  // Built by appending: GCC 12 at -O3 mistakes "[" + std::string(...) for
  // an overlapping copy (-Wrestrict) and the release build stops there.
  std::string bar = "[";
  bar.append(filled, '#').append(kCells - filled, '.').append("]  ");

  char head[32];
  std::snprintf(head, sizeof head, "%3d%%  ", line.percent);
  const std::string page = PageOf(line) + "  ";
  const double seconds = static_cast<double>(line.elapsed.count()) / 1000.0;
  char pace[48] = "";
  if (line.pages > 0 && seconds > 0) {
    const double rate = line.pages / seconds;
    const double left = (kFlashPages - std::min(line.pages, kFlashPages)) / rate;
    std::snprintf(pace, sizeof pace, "%5.1f pages/s  %4.0f s left  ", rate, left);
  } else {
    std::snprintf(pace, sizeof pace, "  --- pages/s   --- s left  ");
  }

  // Widest first; the first form that fits is taken.
  const std::string forms[] = {
      bar + head + page + pace + line.state,
      head + std::string(page) + pace + line.state,
      head + std::string(page) + line.state,
      head + line.state,
  };
  if (columns == 0) return Pad(line.port, portWidth) + "  " + forms[0];
  const std::size_t limit = columns - 1;  // the last column would wrap the line
  for (const std::string& rest : forms) {
    const std::size_t room = limit > rest.size() + 2 ? limit - rest.size() - 2 : 0;
    if (room < std::min(kShortestName, line.port.size())) continue;
    return FitName(line.port, std::min(std::max(portWidth, line.port.size()), room)) + "  " + rest;
  }
  return FitName(line.port, std::min(kShortestName, line.port.size())) + "  " + forms[3];
}

std::string FormatSummary(const std::vector<PortResult>& results, ExitStatus status,
                          const std::string& sha256) {
  std::size_t portWidth = 4;
  std::size_t outcomeWidth = 7;
  for (const PortResult& r : results) {
    portWidth = std::max(portWidth, r.port.size());
    outcomeWidth = std::max(outcomeWidth, OutcomeKeyword(r.outcome).size());
  }
  std::string text = "Summary:\n";
  for (const PortResult& r : results) {
    char counts[64];
    std::snprintf(counts, sizeof counts, "  %5u pages %3d%%  %8s  ", r.pages.distinct,
                  PercentOf(r.pages), Seconds(r.elapsed).c_str());
    text += "  " + Pad(r.port, portWidth) + "  " +
            Pad(std::string(OutcomeKeyword(r.outcome)), outcomeWidth) + counts + r.reason;
    if (r.pages.repeats != 0 || r.pages.beyond != 0) text += " (" + PageCountsText(r.pages) + ")";
    text += "\n";
  }
  if (!sha256.empty()) text += "Image SHA-256 " + sha256 + "\n";
  text += "Exit status " + std::to_string(static_cast<int>(status)) + "\n";
  return text;
}

ProgressView::ProgressView(std::ostream& out, bool inPlace, int columns, bool quiet,
                           QObject* parent)
    : QObject(parent),
      out_(out),
      inPlace_(inPlace && !quiet),
      quiet_(quiet),
      columns_(columns > 1 ? static_cast<std::size_t>(columns) : 0) {
  if (!inPlace_) return;
  redraw_ = new QTimer(this);
  redraw_->setInterval(kRedrawMs);
  connect(redraw_, &QTimer::timeout, this, [this] { Redraw(); });
}

void ProgressView::RunStarted(const ImageInfo& image, const std::vector<std::string>& ports) {
  sha256_ = image.sha256;
  if (quiet_) return;
  out_ << "Image " << image.path << ": " << image.fileSize << " bytes, served as "
       << image.imageSize << " bytes, SHA-256 " << image.sha256 << "\n";
  rows_.clear();
  for (const std::string& port : ports) {
    rows_.push_back({});
    rows_.back().line.port = port;
    portWidth_ = std::max(portWidth_, port.size());
  }
  if (inPlace_) {
    Redraw();
    redraw_->start();
  } else {
    out_.flush();
  }
}

ProgressView::Row* ProgressView::Find(const std::string& port) {
  for (Row& row : rows_)
    if (row.line.port == port) return &row;
  return nullptr;
}

void ProgressView::Report(const PortEvent& event) {
  if (quiet_) return;
  Row* row = Find(event.port);
  if (row == nullptr || row->finished) return;
  if (row->began == Clock::time_point{}) row->began = Clock::now() - event.elapsed;
  ProgressLine& line = row->line;
  line.elapsed = event.elapsed;
  line.percent = event.percent;
  line.pages = event.pages.distinct;
  bool print = true;
  switch (event.kind) {
    case PortEventKind::Opened:
      line.state =
          "open: " + event.path + (event.device != event.path ? " -> " + event.device : "");
      if (!event.text.empty()) NoteAbove(event.port, "note: " + event.text);
      break;
    case PortEventKind::StartSent:
      line.state = "start sent, waiting for the unit";
      break;
    case PortEventKind::PageServed: {
      line.pageKnown = true;
      line.page = event.page;
      line.state = "serving pages";
      // Plain lines only each tenth of the way, or a log would fill up.
      const int decile = event.percent / 10;
      print = decile != row->printedDecile;
      row->printedDecile = decile;
      break;
    }
    case PortEventKind::StateChanged:
      line.state = event.text;
      break;
    case PortEventKind::LineError:
      NoteAbove(event.port, event.text);
      return;
    case PortEventKind::LineNote:
      NoteAbove(event.port, "note: " + event.text);
      return;
    case PortEventKind::Finished:
      line.state = FinishedState(event);
      row->finished = true;
      break;
  }
  if (!inPlace_ && print) PrintPlain(*row);
}

void ProgressView::NoteAbove(const std::string& port, const std::string& text) {
  const bool redraw = inPlace_ && lines_.Drawn();
  // Over the first port line; the port lines are drawn again below it.
  out_ << lines_.Above(Pad(port, portWidth_) + "  " + text);
  out_.flush();
  if (redraw) Redraw();
}

void ProgressView::PrintPlain(const Row& row) {
  out_ << FormatProgressLine(row.line, portWidth_) << '\n';
  out_.flush();
}

void ProgressView::Redraw() {
  const Clock::time_point now = Clock::now();
  std::vector<std::string> lines;
  for (Row& row : rows_) {
    if (!row.finished && row.began != Clock::time_point{})
      row.line.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - row.began);
    lines.push_back(FormatBarLine(row.line, portWidth_, columns_));
  }
  out_ << lines_.Frame(lines, columns_);
  out_.flush();
}

void ProgressView::RunEnded(const std::vector<PortResult>& results, ExitStatus status) {
  if (inPlace_) {
    redraw_->stop();
    Redraw();
  }
  out_ << FormatSummary(results, status, sha256_);
  out_.flush();
}

}  // namespace kv37::cli
