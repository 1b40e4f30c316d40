#pragma once
// Progress for people: one line per port (page in transit, percentage,
// elapsed time, state), redrawn in place on a terminal and written as plain
// lines otherwise, then a summary with each port's result.
//
// Main thread only; writes to the stream it was given.

#include <QObject>
#include <chrono>
#include <ostream>
#include <string>
#include <vector>

#include "RunSink.h"
#include "TerminalText.h"

class QTimer;

namespace kv37::cli {

struct ProgressLine {
  std::string port;
  bool pageKnown = false;
  uint16_t page = 0;
  int percent = 0;
  unsigned pages = 0;  // distinct in-image pages served
  std::chrono::milliseconds elapsed{0};
  std::string state = "opening";
};

// "COM1     PAGE01F   6%    1.2 s  serving pages"; `portWidth` pads the name.
std::string FormatProgressLine(const ProgressLine& line, std::size_t portWidth);

// The terminal's form, for `columns` columns (0: no limit):
// "COM1  [######..............]  31%  PAGE0A3   6.8 pages/s   52 s left  serving pages".
// Pages per second and the time left come from the pages served so far and
// the elapsed time. When the line would not fit, the port name is shortened
// from the left ("..ttyUSB0") and the bar, then the rate and time left, are
// left out; the state is never cut short for the others.
std::string FormatBarLine(const ProgressLine& line, std::size_t portWidth, std::size_t columns);

// "  COM1   success   512 pages   77.9 s  OS Update Success!!" per port, then
// the exit status.
// `sha256` names the image; left out when empty.
std::string FormatSummary(const std::vector<PortResult>& results, ExitStatus status,
                          const std::string& sha256 = {});

class ProgressView : public QObject, public RunSink {
 public:
  // `inPlace` redraws the port lines with cursor moves (for a terminal of
  // `columns` columns; 0 when unknown) in the bar form; otherwise plain lines
  // are written one after another. `quiet` writes the summary only.
  ProgressView(std::ostream& out, bool inPlace, int columns = 0, bool quiet = false,
               QObject* parent = nullptr);

  void RunStarted(const ImageInfo& image, const std::vector<std::string>& ports) override;
  void Report(const PortEvent& event) override;
  void RunEnded(const std::vector<PortResult>& results, ExitStatus status) override;

 private:
  using Clock = std::chrono::steady_clock;
  struct Row {
    ProgressLine line;
    Clock::time_point began{};  // when the port's run began; zero until its first event
    bool finished = false;
    int printedDecile = -1;  // plain mode: the last tenth of the way reported
  };

  Row* Find(const std::string& port);
  void Redraw();
  void PrintPlain(const Row& row);
  // A line of its own for one port (a line error, a note), kept above the
  // port lines when they are redrawn in place.
  void NoteAbove(const std::string& port, const std::string& text);

  std::ostream& out_;
  std::string sha256_;  // of the run's image
  bool inPlace_;
  bool quiet_;
  std::size_t columns_;
  QTimer* redraw_ = nullptr;
  std::vector<Row> rows_;
  std::size_t portWidth_ = 4;
  InPlaceLines lines_;
};

}  // namespace kv37::cli
