#include "PortRun.h"

#include <QTimer>
#include <QUuid>
#include <algorithm>

#include "Comm.h"
#include "FastFraming.h"
#include "OsImage.h"
#include "PortName.h"
#include "UpdateFrames.h"

namespace kv37 {

namespace {

constexpr uint32_t kLineRate = 57600;
// Inside the watchdog's six seconds, so a unit powered at any moment is
// started before the watchdog would give up.
constexpr int kRepeatStartMs = 3000;
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

PortRun::PortRun(std::string slot, std::string port, const MemoryStream& image, EventSink& sink,
                 RunOptions options, QObject* parent)
    : QObject(parent),
      slot_(std::move(slot)),
      port_(std::move(port)),
      options_(options),
      image_(image),
      sink_(sink),
      comm_(new TComm(this)),
      driver_(new kv37::UpdateDriver(*comm_, image, *this, this)),
      idleGuard_(new QTimer(this)),
      served_(kPageNumbers, false),
      imagePages_(static_cast<unsigned>(
          std::max<std::size_t>(1, (image.Size() + kPageSize - 1) / kPageSize))),
      unit_(QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString()) {
  // The window's line settings; the rest are the component's defaults.
  comm_->CommName = port_;
  comm_->SetBaudRate(kLineRate);
  comm_->SetOutx_XonXoffFlow(false);
  if (options_.fast) {
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
    Finish(PortOutcome::PortLost, LostText("was lost", "the port hung up"));
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
  if (options_.waitForUnit) {
    repeatStart_ = new QTimer(this);
    repeatStart_->setInterval(kRepeatStartMs);
    connect(repeatStart_, &QTimer::timeout, this, [this] { driver_->KV37_ModeClick(); });
  }
  result_.slot = slot_;
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
  usb_ = IdentifyPort(port_).usb;
  network_ = IsNetworkPortName(ResolvePortName(port_));
  // A server that does not answer must not hold up the other ports, which
  // share this thread: the port opens on a thread of its own.
  comm_->StartCommAsync([this](const std::string& error) {
    if (error.empty()) {
      Opened();
      return;
    }
    const std::string reason = DescribeOpenFailure(comm_->LastOpenResult());
    Finish(PortOutcome::OpenError, reason.empty() ? error : reason);
  });
}

void PortRun::Opened() {
  PortEvent opened = Event(PortEventKind::Opened);
  opened.path = comm_->LastOpenResult().path;
  opened.device = comm_->LastOpenResult().devicePath;
  opened.text = UncheckedText(comm_->LastOpenResult());
  if (const std::string note = comm_->LineNote(); !note.empty())
    opened.text += (opened.text.empty() ? "" : "; ") + note;
  sink_.Report(opened);
  if (network_) {
    // The server's answers to DTR, RTS and flow control are not waited for
    // before the start command; what it left unconfirmed is told once known.
    QTimer::singleShot(kNetworkControlAnswerTime + std::chrono::milliseconds(50), this, [this] {
      if (finished_ || !comm_->IsOpen()) return;
      if (const std::string note = comm_->LineNote(); !note.empty()) {
        PortEvent event = Event(PortEventKind::LineNote);
        event.text = note;
        sink_.Report(event);
      }
    });
  }

  pendingEnd_.reset();
  driver_->KV37_ModeClick();
  if (!pendingEnd_) sink_.Report(Event(PortEventKind::StartSent));
  if (repeatStart_) repeatStart_->start();
  AfterController(false);
}

void PortRun::Interrupt(int signal) {
  signal_ = signal;
  Finish(PortOutcome::Interrupted, "interrupted before the unit ended");
}

void PortRun::ChunkReceived(const uint8_t* data, uint16_t length) {
  if (!finished_) trace_.Add(Elapsed(), SerialTrace::Way::FromUnit, data, length);
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
  // Before the unit's first request a waiting run takes noise for a unit
  // being powered, and goes on waiting.
  const bool waiting = repeatStart_ && !unitAnswered_;
  if (chunkHandled && !waiting && !driver_->Watchdog()->isActive()) idleGuard_->start();
}

void PortRun::Finish(PortOutcome outcome, const std::string& reason) {
  if (finished_) return;
  finished_ = true;
  driver_->Halt();
  idleGuard_->stop();
  if (repeatStart_) repeatStart_->stop();

  PortEvent event = Event(PortEventKind::Finished);
  event.outcome = outcome;
  event.text = reason;
  event.device = comm_->LastOpenResult().devicePath;
  if (outcome == PortOutcome::Interrupted) event.signal = signal_;
  // A unit that passed needs no record of its traffic.
  if (outcome != PortOutcome::Success && !trace_.Empty())
    event.trace = std::make_shared<const std::string>(trace_.Serialize());
  result_ = {port_, outcome, reason, pages_, event.elapsed, slot_};
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
  event.unit = unit_;
  event.slot = slot_;
  event.port = port_;
  if (kind == PortEventKind::Opened || kind == PortEventKind::Finished) event.usb = usb_;
  event.page = lastPage_;
  event.pages = pages_;
  event.percent = PercentOf(pages_);
  event.elapsed = Elapsed();
  return event;
}

std::chrono::milliseconds PortRun::Elapsed() const {
  if (started_ == Clock::time_point{}) return {};
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started_);
}

// ---------------------------------------------------------------------------
// kv37::UpdateView

void PortRun::WriteRefused() {
  if (finished_) return;
  pendingEnd_ =
      End{PortOutcome::PortLost, LostText("refused the write", "the port refused the write")};
}

std::string PortRun::LostText(const std::string& server, const std::string& port) const {
  // A network port's loss is its server's, not an adapter's.
  if (network_)
    return "the connection to the server " + NetServerText(ResolvePortName(port_)) + " " + server;
  return port + ": adapter unplugged or line failed";
}

void PortRun::Written(const uint8_t* data, uint16_t length) {
  if (finished_) return;
  trace_.Add(Elapsed(), SerialTrace::Way::ToUnit, data, length);
  if (length != kPageReplyLength) return;
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

void PortRun::WatchdogTicked(int32_t count) {
  if (finished_) return;
  PortEvent event = Event(PortEventKind::StateChanged);
  event.text = TimeOutText(count);
  sink_.Report(event);
}

void PortRun::PageRequested(uint16_t page) {
  lastPage_ = page;
  unitAnswered_ = true;
  if (repeatStart_) repeatStart_->stop();
}

void PortRun::UpdateEnded(UpdateEnd end) {
  if (finished_) return;
  // Silence before the unit has answered at all: no unit yet.
  if (end == UpdateEnd::NoAnswer && repeatStart_ && !unitAnswered_) return;
  switch (end) {
    case UpdateEnd::Success:
      pendingEnd_ = End{PortOutcome::Success, kTextSuccess};
      return;
    case UpdateEnd::UnitFailure:
      pendingEnd_ = End{PortOutcome::UnitFailure,
                        std::string(kTextCompletionFail) + " (the unit reported failure)"};
      return;
    case UpdateEnd::NoAnswer:
      pendingEnd_ = End{PortOutcome::Silent, std::string(kTextUpdateFail) + " (no answer for 6 s)"};
      return;
    case UpdateEnd::DelimiterFault:
      pendingEnd_ = End{PortOutcome::FrameFault,
                        std::string(kTextDataError) + " (page request with a bad delimiter)"};
      return;
    case UpdateEnd::ChecksumFault:
      pendingEnd_ = End{PortOutcome::FrameFault,
                        std::string(kTextChecksumError) + " (page request with a bad checksum)"};
      return;
  }
}

}  // namespace kv37
