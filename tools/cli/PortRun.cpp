#include "PortRun.h"

#include <QTimer>
#include <algorithm>

#include "Comm.h"
#include "FastFraming.h"
#include "OsImage.h"
#include "PortName.h"
#include "UpdateFrames.h"

namespace kv37::cli {

namespace {

constexpr uint32_t kLineRate = 57600;
constexpr std::size_t kPageNumbers = 0x10000;

std::string LineErrorText(uint32_t flags) {
  std::string text;
  const auto add = [&](uint32_t bit, const char* name) {
    if ((flags & bit) == 0) return;
    if (!text.empty()) text += ", ";
    text += name;
  };
  add(line_error::kRxOver, "receive buffer overrun");
  add(line_error::kOverrun, "character overrun");
  add(line_error::kRxParity, "parity error");
  add(line_error::kFrame, "framing error");
  add(line_error::kBreak, "break");
  return "line error: " + (text.empty() ? std::string("unknown") : text);
}

}  // namespace

PortRun::PortRun(std::string port, const MemoryStream& image, EventSink& sink, bool fast,
                 QObject* parent)
    : QObject(parent),
      port_(std::move(port)),
      image_(image),
      sink_(sink),
      comm_(new TComm(this)),
      driver_(new kv37::UpdateDriver(*comm_, image, *this, this)),
      idleGuard_(new QTimer(this)),
      served_(kPageNumbers, false),
      imagePages_(static_cast<unsigned>(
          std::max<std::size_t>(1, (image.Size() + kPageSize - 1) / kPageSize))) {
  // The window's line settings; the rest are the component's defaults.
  comm_->CommName = port_;
  comm_->SetBaudRate(kLineRate);
  comm_->SetOutx_XonXoffFlow(false);
  if (fast) {
    // Every read is handed over as it comes and cut here instead; the line
    // settings stay the window's.
    framing_ = new FastFraming(
        std::chrono::milliseconds(comm_->ReadIntervalTimeout()),
        [this](const uint8_t* data, uint16_t length) { driver_->Comm1ReceiveData(data, length); },
        this);
    comm_->SetReadIntervalTimeout(kMaxDword);
    comm_->OnReceiveData = [this](TComm*, const uint8_t* data, uint16_t length) {
      framing_->Feed(data, length);
    };
  }
  comm_->OnRequestHangup = [this](TComm*) {
    // Bytes that came before the hang-up are the unit's last word (a unit
    // that reboots into its new OS drops the line right after its result):
    // they are handled before the loss is believed.
    if (framing_) framing_->Flush();
    Finish(PortOutcome::PortLost, "the port hung up: adapter unplugged or line failed");
  };
  comm_->OnReceiveError = [this](TComm*, uint32_t flags) {
    if (finished_) return;
    PortEvent event = Event(PortEventKind::LineError);
    event.text = LineErrorText(flags);
    sink_.Report(event);
  };

  // Ticks on the millisecond, not up to 5 % early as a coarse timer may.
  driver_->Watchdog()->setTimerType(Qt::PreciseTimer);
  idleGuard_->setSingleShot(true);
  idleGuard_->setInterval(kWatchdogIntervalMs * (kWatchdogTickLimit + 1));
  connect(idleGuard_, &QTimer::timeout, this, [this] {
    Finish(PortOutcome::Silent,
           "no page request or result for 6 s after a chunk that was no page request");
  });
  result_.port = port_;
}

PortRun::~PortRun() {
  delete driver_;
  comm_->OnRequestHangup = nullptr;
  comm_->OnReceiveError = nullptr;
  comm_->StopComm();
}

void PortRun::Start() {
  started_ = Clock::now();
  try {
    comm_->StartComm();
  } catch (const ECommsError& e) {
    const std::string reason = DescribeOpenFailure(comm_->LastOpenResult());
    Finish(PortOutcome::OpenError, reason.empty() ? e.what() : reason);
    return;
  }
  PortEvent opened = Event(PortEventKind::Opened);
  opened.path = comm_->LastOpenResult().path;
  opened.device = comm_->LastOpenResult().devicePath;
  opened.text = UncheckedText(comm_->LastOpenResult());
  sink_.Report(opened);

  pendingEnd_.reset();
  driver_->KV37_ModeClick();
  if (!pendingEnd_) sink_.Report(Event(PortEventKind::StartSent));
  AfterController(false);
}

void PortRun::Interrupt() {
  Finish(PortOutcome::Interrupted, "interrupted before the unit ended");
}

void PortRun::ChunkReceived(const uint8_t*, uint16_t) {
  idleGuard_->stop();
  pendingEnd_.reset();
}

void PortRun::AfterController(bool chunkHandled) {
  if (pendingEnd_) {
    const End end = std::move(*pendingEnd_);
    pendingEnd_.reset();
    Finish(end.outcome, end.reason);
    return;
  }
  if (chunkHandled && !driver_->Watchdog()->isActive()) idleGuard_->start();
}

void PortRun::Finish(PortOutcome outcome, const std::string& reason) {
  if (finished_) return;
  finished_ = true;
  driver_->Halt();
  idleGuard_->stop();

  PortEvent event = Event(PortEventKind::Finished);
  event.outcome = outcome;
  event.text = reason;
  result_ = {port_, outcome, reason, pages_, event.elapsed};
  sink_.Report(event);

  // Not from inside the component's own event: close from the event loop.
  QTimer::singleShot(0, this, [this] {
    comm_->StopComm();
    if (onClosed) onClosed(*this);
  });
}

PortEvent PortRun::Event(PortEventKind kind) const {
  PortEvent event;
  event.kind = kind;
  event.port = port_;
  event.page = lastPage_;
  event.pages = pages_;
  event.percent = PercentOf(pages_);
  if (started_ != Clock::time_point{})
    event.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started_);
  return event;
}

// ---------------------------------------------------------------------------
// kv37::UpdateView

void PortRun::WriteRefused() {
  if (finished_) return;
  pendingEnd_ =
      End{PortOutcome::PortLost, "the port refused the write: adapter unplugged or line failed"};
}

void PortRun::Written(const uint8_t*, uint16_t length) {
  if (finished_ || length != kPageReplyLength) return;
  // The controller sets the gauge to the page just before it writes the reply.
  lastPage_ = static_cast<uint16_t>(gauge_);
  ++pages_.replies;
  if (lastPage_ >= imagePages_)
    ++pages_.beyond;
  else if (served_[lastPage_])
    ++pages_.repeats;
  else {
    served_[lastPage_] = true;
    ++pages_.distinct;
  }
  sink_.Report(Event(PortEventKind::PageServed));
}

void PortRun::SetStatusText(const std::string& text) {
  if (finished_) return;
  if (text == kTextSuccess) {
    pendingEnd_ = End{PortOutcome::Success, text};
  } else if (text == kTextCompletionFail) {
    pendingEnd_ = End{PortOutcome::UnitFailure, text + " (the unit reported failure)"};
  } else if (text == kTextUpdateFail) {
    pendingEnd_ = End{PortOutcome::Silent, text + " (no answer for 6 s)"};
  } else if (text.rfind("PAGE", 0) != 0) {  // a page is reported once its reply is queued
    PortEvent event = Event(PortEventKind::StateChanged);
    event.text = text;
    sink_.Report(event);
  }
}

void PortRun::FatalError(const std::string& text) {
  const char* what = text == kTextDataError ? " (page request with a bad delimiter)"
                                            : " (page request with a bad checksum)";
  pendingEnd_ = End{PortOutcome::FrameFault, text + what};
}

}  // namespace kv37::cli
