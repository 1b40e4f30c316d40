#include "RunLog.h"

#include "TerminalText.h"
#include "UpdateController.h"

#include <QCoreApplication>
#include <QDateTime>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace kv37::cli {

namespace {

std::string Now() {
  const QDateTime local = QDateTime::currentDateTime();
  return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs).toStdString();
}

}  // namespace

std::string LogMessage(const PortEvent& event) {
  switch (event.kind) {
    case PortEventKind::Opened:
      return "opened " + event.path + (event.device != event.path ? " -> " + event.device : "") +
             (event.text.empty() ? "" : "; note: " + event.text);
    case PortEventKind::StartSent:
      return "start command sent, watchdog running";
    case PortEventKind::PageServed: {
      char text[64];
      std::snprintf(text, sizeof text, " served (%u pages, %d%%)", event.pages.distinct,
                    event.percent);
      return PageText(event.page) + text;
    }
    case PortEventKind::StateChanged:
    case PortEventKind::LineError:
      return event.text;
    case PortEventKind::LineNote:
      return "note: " + event.text;
    case PortEventKind::Finished:
      return "finished " + std::string(OutcomeKeyword(event.outcome)) + " (exit status " +
             std::to_string(static_cast<int>(ExitStatusOf(event))) + "): " + event.text +
             " after " + PageCountsText(event.pages) + ", " + Seconds(event.elapsed);
  }
  return event.text;
}

RunLog::RunLog(const std::string& path, std::ostream& err)
    : path_(path), err_(err), file_(std::fopen(path.c_str(), "a")) {
  if (file_ == nullptr)
    throw std::runtime_error("cannot open log file " + path + ": " + std::strerror(errno));
}

RunLog::~RunLog() {
  std::fclose(file_);
}

void RunLog::RunStarted(const ImageInfo& image, const std::vector<std::string>& ports) {
  sha256_ = image.sha256;
  std::string names;
  for (const std::string& port : ports) names += (names.empty() ? "" : ", ") + port;
  Write("-", "run started: image " + image.path + " (" + std::to_string(image.fileSize) +
                 " bytes, served as " + std::to_string(image.imageSize) + " bytes, SHA-256 " +
                 image.sha256 + "); ports " + names);
}

void RunLog::Report(const PortEvent& event) {
  Write(event.port, LogMessage(event));
}

void RunLog::RunEnded(const std::vector<PortResult>& results, ExitStatus status) {
  std::string outcomes;
  for (const PortResult& r : results)
    outcomes +=
        (outcomes.empty() ? "" : ", ") + r.port + " " + std::string(OutcomeKeyword(r.outcome));
  Write("-", "run ended: exit status " + std::to_string(static_cast<int>(status)) + " (" +
                 outcomes + "); image SHA-256 " + sha256_);
}

void RunLog::Write(const std::string& port, const std::string& message) {
  const std::string line = Now() + " kv37-update-cli[" +
                           std::to_string(QCoreApplication::applicationPid()) + "] " + port + ": " +
                           message + "\n";
  // One buffered line, flushed whole: an append-mode write keeps it in one piece.
  const bool ok = std::fputs(line.c_str(), file_) >= 0 && std::fflush(file_) == 0;
  if (!ok && !failed_) {
    failed_ = true;
    err_ << "kv37-update-cli: writing log file " << path_ << " failed: " << std::strerror(errno)
         << '\n';
  }
}

}  // namespace kv37::cli
