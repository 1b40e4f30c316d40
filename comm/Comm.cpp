#include "Comm.h"

#include <cstring>
#include <new>
#include <system_error>
#include <utility>

#include "NoticeWindow.h"
#include "PortName.h"
#include "ReadThread.h"
#include "WriteThread.h"

TComm::TComm(QObject* owner)
    : QObject(owner),
      fOpener(OpenPort),
      fNoticeWindow(std::make_unique<TNoticeWindow>([this](TNotice& n) { CommWndProc(n); })) {}

TComm::~TComm() {
  // The threads hold the idle flag and the notice window; they must end first.
  StopComm();
  // An open in progress ends within its time-out; its result is dropped.
  if (fOpenThread.joinable()) fOpenThread.join();
}

bool TComm::StartCommAsync(std::function<void(const std::string& error)> done) {
  if (fDevice || fOpening) return false;
  if (fOpenThread.joinable()) fOpenThread.join();  // a cancelled one: bounded by its time-out
  fOpening = true;
  fOpenDone = std::move(done);
  const uint32_t attempt = ++fOpenAttempt;
  fOpenThread = std::thread([this, attempt, name = CommName, props = fProps, opener = fOpener] {
    auto opened = std::make_unique<TOpenResult>(opener(name));
    // The line settings' answers (a network server's) are waited for here
    // too: StartComm finds them in place and does not ask again.
    if (opened->device) opened->device->SetState(BuildCommState(opened->device->GetState(), props));
    {
      std::lock_guard lock(fOpenedMutex);
      fOpened = std::move(opened);
      fOpenedAttempt = attempt;
    }
    // Through the notice queue, whose lock orders the hand-over for the
    // owner's thread (and for race checkers, which do not see Qt's).
    fNoticeWindow->Post({notice::kOpenDone, 0, attempt, nullptr});
  });
  return true;
}

void TComm::OpenDone(uint32_t attempt) {
  std::unique_ptr<TOpenResult> opened;
  {
    std::lock_guard lock(fOpenedMutex);
    if (fOpenedAttempt == attempt) opened = std::move(fOpened);
  }
  // Cancelled meanwhile: the connection closes with `opened`.
  if (!opened || attempt != fOpenAttempt || !fOpening) return;
  fOpening = false;
  std::string error;
  try {
    Start(std::move(*opened));
  } catch (const ECommsError& e) {
    error = e.what();
  }
  if (const auto done = std::exchange(fOpenDone, nullptr)) done(error);
}

void TComm::StartComm() {
  if (fDevice) throw ECommsError("This serial port already opened");
  fOpening = false;
  Start(fOpener(CommName));
}

void TComm::Start(TOpenResult opened) {
  if (fDevice) throw ECommsError("This serial port already opened");
  fLastOpen = std::move(opened);
  switch (fLastOpen.error) {
    case TOpenError::None:
      break;
    case TOpenError::NotCharDevice:
      throw ECommsError("File handle is not a comm handle ");
    case TOpenError::NotTerminal:
      throw ECommsError("Cannot setup comm buffer");
    default:
      throw ECommsError("Error opening serial port");
  }
  if (!fLastOpen.device) throw ECommsError("Error opening serial port");

  fDevice = std::move(fLastOpen.device);
  fDevice->Purge(purge::kTxAbort | purge::kRxAbort | purge::kTxClear | purge::kRxClear);
  fTransmitIdle = true;
  fHangupPosted = false;
  _SetCommTimeout();
  _SetCommState();

  fStopEvent = std::make_unique<TEvent>();
  if (!fStopEvent->Valid()) {
    ReleasePort();
    throw ECommsError("Unable to create event");
  }

  fReadThread = std::make_unique<TReadThread>(*fDevice, *fStopEvent, *fNoticeWindow, fHangupPosted);
  // The transmit queue exists before StartComm returns, so WriteCommData
  // works straight after the start.
  fWriteThread = std::make_unique<TWriteThread>(*fDevice, *fStopEvent, *fNoticeWindow,
                                                fTransmitIdle, fHangupPosted);
  try {
    fReadThread->Start();
  } catch (const std::system_error&) {
    fReadThread.reset();
    fWriteThread.reset();
    ReleasePort();
    throw ECommsError("Unable to create read thread");
  }
  bool writeStarted = fWriteThread->Valid();
  if (writeStarted) {
    try {
      fWriteThread->Start();
    } catch (const std::system_error&) {
      writeStarted = false;
    }
  }
  if (!writeStarted) {
    CloseReadThread();
    fWriteThread.reset();
    ReleasePort();
    throw ECommsError("Unable to create write thread");
  }
}

void TComm::StopComm() {
  fOpening = false;
  if (!fDevice) return;
  CloseReadThread();
  CloseWriteThread();
  ReleasePort();
}

void TComm::ReleasePort() {
  fStopEvent.reset();
  fDevice.reset();
}

void TComm::CloseReadThread() {
  if (!fReadThread) return;
  fStopEvent->Set();
  fDevice->Purge(purge::kRxAbort | purge::kRxClear);
  // Both loops watch the stop event in every wait, so this join is short.
  fReadThread->Join();
  fReadThread.reset();
}

void TComm::CloseWriteThread() {
  if (!fWriteThread) return;
  fStopEvent->Set();
  fDevice->Purge(purge::kTxAbort | purge::kTxClear);
  fTransmitIdle = true;
  fWriteThread->Join();
  fWriteThread.reset();
}

void TComm::_SetCommState() {
  if (!fDevice) return;
  // A refused setting leaves the line as it was; the property keeps its value.
  fDevice->SetState(BuildCommState(fDevice->GetState(), fProps));
}

void TComm::_SetCommTimeout() {
  if (!fDevice) return;
  fDevice->SetTimeouts(BuildCommTimeouts(fProps));
}

bool TComm::WriteCommData(const uint8_t* data, uint16_t length) {
  if (!fWriteThread || length == 0 || data == nullptr) return false;
  // Zero-filled, so the copy ends with a 0 byte.
  std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[length + 1u]());
  if (!copy) return false;
  std::memcpy(copy.get(), data, length);
  return fWriteThread->Post(std::move(copy), length);
}

uint32_t TComm::GetModemState() {
  uint32_t bits = 0;
  if (!fDevice || !fDevice->GetModemStatus(bits)) return 0;
  return bits;
}

void TComm::CommWndProc(TNotice& n) {
  switch (n.number) {
    case notice::kReceiveData:
      ReceiveData(n.data.get(), static_cast<uint16_t>(n.wParam & 0xFFFF));
      break;
    case notice::kReceiveError:
      ReceiveError(n.lParam);
      break;
    case notice::kHangup:
      RequestHangup();
      break;
    case notice::kModemEvent:
      ModemStateChange(n.lParam);
      break;
    case notice::kSendDataEmpty:
      _SendDataEmpty();
      break;
    case notice::kOpenDone:
      OpenDone(n.lParam);
      break;
    default:
      break;
  }
}

void TComm::ReceiveData(const uint8_t* buffer, uint16_t length) {
  if (OnReceiveData) OnReceiveData(this, buffer, length);
}

void TComm::ReceiveError(uint32_t eventMask) {
  if (OnReceiveError) OnReceiveError(this, eventMask);
}

void TComm::ModemStateChange(uint32_t modemEvent) {
  if (OnModemStateChange) OnModemStateChange(this, modemEvent);
}

void TComm::RequestHangup() {
  if (OnRequestHangup) OnRequestHangup(this);
}

void TComm::_SendDataEmpty() {
  if (OnSendDataEmpty) OnSendDataEmpty(this);
}

template <typename T>
void TComm::SetState(T& field, T value) {
  if (field == value) return;
  field = value;
  _SetCommState();
}

template <typename T>
void TComm::SetTimeout(T& field, T value) {
  if (field == value) return;
  field = value;
  _SetCommTimeout();
}

void TComm::SetBaudRate(uint32_t v) {
  SetState(fProps.BaudRate, v);
}
void TComm::SetParityCheck(bool v) {
  SetState(fProps.ParityCheck, v);
}
void TComm::SetOutx_CtsFlow(bool v) {
  SetState(fProps.Outx_CtsFlow, v);
}
void TComm::SetOutx_DsrFlow(bool v) {
  SetState(fProps.Outx_DsrFlow, v);
}
void TComm::SetDtrControl(TDtrControl v) {
  SetState(fProps.DtrControl, v);
}
void TComm::SetDsrSensitivity(bool v) {
  SetState(fProps.DsrSensitivity, v);
}
void TComm::SetTxContinueOnXoff(bool v) {
  SetState(fProps.TxContinueOnXoff, v);
}
void TComm::SetOutx_XonXoffFlow(bool v) {
  SetState(fProps.Outx_XonXoffFlow, v);
}
void TComm::SetInx_XonXoffFlow(bool v) {
  SetState(fProps.Inx_XonXoffFlow, v);
}
void TComm::SetReplaceWhenParityError(bool v) {
  SetState(fProps.ReplaceWhenParityError, v);
}
void TComm::SetIgnoreNullChar(bool v) {
  SetState(fProps.IgnoreNullChar, v);
}
void TComm::SetRtsControl(TRtsControl v) {
  SetState(fProps.RtsControl, v);
}
void TComm::SetXonLimit(uint16_t v) {
  SetState(fProps.XonLimit, v);
}
void TComm::SetXoffLimit(uint16_t v) {
  SetState(fProps.XoffLimit, v);
}
void TComm::SetByteSize(TByteSize v) {
  SetState(fProps.ByteSize, v);
}
void TComm::SetParity(TParity v) {
  SetState(fProps.Parity, v);
}
void TComm::SetStopBits(TStopBits v) {
  SetState(fProps.StopBits, v);
}
void TComm::SetXonChar(uint8_t v) {
  SetState(fProps.XonChar, v);
}
void TComm::SetXoffChar(uint8_t v) {
  SetState(fProps.XoffChar, v);
}
void TComm::SetReplacedChar(uint8_t v) {
  SetState(fProps.ReplacedChar, v);
}
void TComm::SetReadIntervalTimeout(uint32_t v) {
  SetTimeout(fProps.ReadIntervalTimeout, v);
}
void TComm::SetReadTotalTimeoutMultiplier(uint32_t v) {
  SetTimeout(fProps.ReadTotalTimeoutMultiplier, v);
}
void TComm::SetReadTotalTimeoutConstant(uint32_t v) {
  SetTimeout(fProps.ReadTotalTimeoutConstant, v);
}
void TComm::SetWriteTotalTimeoutMultiplier(uint32_t v) {
  SetTimeout(fProps.WriteTotalTimeoutMultiplier, v);
}
void TComm::SetWriteTotalTimeoutConstant(uint32_t v) {
  SetTimeout(fProps.WriteTotalTimeoutConstant, v);
}
