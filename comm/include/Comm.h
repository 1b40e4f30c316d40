// TComm: one RS-232 port with a receive and a transmit thread, delivering
// received data and line events to the thread that created it.
#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "CommSettings.h"
#include "CommTypes.h"
#include "CommsError.h"
#include "SerialDevice.h"

class TNoticeWindow;
struct TNotice;
class TReadThread;
class TWriteThread;

// Thread affinity: every member is called on the thread that created the
// component, and every event runs there, from its event loop (which must be
// running for events to arrive; modal loops count). Ownership: a child of
// `owner` as any QObject; it owns the port, the threads and the chunk copies.
// Destroying it stops the port first.
class TComm : public QObject {
 public:
  // Opens a device by port name; replaceable to run the component over a
  // device of another kind (tests use scripted devices).
  using TDeviceOpener = std::function<TOpenResult(const std::string& name)>;

  explicit TComm(QObject* owner = nullptr);
  ~TComm() override;

  // Name of the port StartComm opens ("COM1", a path, ...; see PortName.h).
  // Takes effect at the next StartComm.
  std::string CommName = "COM2";

  // Opens and configures the port and starts both threads. Throws ECommsError
  // and leaves the component closed on failure; an open port is left alone.
  // Cancels an open in progress (StartCommAsync).
  void StartComm();
  // The same, with the open and the line settings on a thread of its own, so
  // that a network port's connection and negotiation (up to
  // kNetworkOpenTimeout) never hold up the owner's thread; the threads are
  // started from the owner's event loop. `done` runs there with "" once the
  // port is open, or with StartComm's error text (LastOpenResult() says why).
  // StopComm, StartComm or the component's end before then cancel it: `done`
  // is not called and the connection, when it comes, is closed. False (and
  // nothing done) when the port is open or opening already.
  bool StartCommAsync(std::function<void(const std::string& error)> done);
  // Stops both threads and closes the port; nothing when closed. Notices posted
  // before the stop are still delivered afterwards. Cancels an open in progress.
  void StopComm();
  bool IsOpen() const { return fDevice != nullptr; }
  bool IsOpening() const { return fOpening; }
  // What the last StartComm's open found: the reason, the path and the device
  // it resolved to (PortName.h DescribeOpenFailure words it). Its device
  // pointer is always null: the component keeps the device.
  const TOpenResult& LastOpenResult() const { return fLastOpen; }
  // What the open port's line settings could not make sure of (a network
  // server that did not confirm DTR, say); "" when nothing or closed.
  std::string LineNote() const { return fDevice ? fDevice->LineNote() : std::string(); }

  // Queues a copy of `length` bytes for the transmit thread and returns at
  // once; the caller's buffer may be reused. False when the port is not open,
  // `length` is 0 or the transmit thread has ended after a failure. True does
  // not mean the bytes have been sent.
  bool WriteCommData(const uint8_t* data, uint16_t length);
  // modem_status:: bits, or 0 when the port is closed or cannot tell.
  uint32_t GetModemState();
  // True when every queued block has been written (an indication only).
  bool TransmitIdle() const { return fTransmitIdle; }

  void SetDeviceOpener(TDeviceOpener opener) { fOpener = std::move(opener); }

  // Line properties. A setter stores a changed value and, while the port is
  // open, re-applies all line settings (or all time-outs, in ms) at once. A
  // value the device refuses raises nothing and is kept for the next start.
  // All line properties at once, as the setters left them.
  const TCommProperties& Properties() const { return fProps; }
  uint32_t BaudRate() const { return fProps.BaudRate; }
  bool ParityCheck() const { return fProps.ParityCheck; }
  bool Outx_CtsFlow() const { return fProps.Outx_CtsFlow; }
  bool Outx_DsrFlow() const { return fProps.Outx_DsrFlow; }
  TDtrControl DtrControl() const { return fProps.DtrControl; }
  bool DsrSensitivity() const { return fProps.DsrSensitivity; }
  bool TxContinueOnXoff() const { return fProps.TxContinueOnXoff; }
  bool Outx_XonXoffFlow() const { return fProps.Outx_XonXoffFlow; }
  bool Inx_XonXoffFlow() const { return fProps.Inx_XonXoffFlow; }
  bool ReplaceWhenParityError() const { return fProps.ReplaceWhenParityError; }
  bool IgnoreNullChar() const { return fProps.IgnoreNullChar; }
  TRtsControl RtsControl() const { return fProps.RtsControl; }
  uint16_t XonLimit() const { return fProps.XonLimit; }
  uint16_t XoffLimit() const { return fProps.XoffLimit; }
  TByteSize ByteSize() const { return fProps.ByteSize; }
  TParity Parity() const { return fProps.Parity; }
  TStopBits StopBits() const { return fProps.StopBits; }
  uint8_t XonChar() const { return fProps.XonChar; }
  uint8_t XoffChar() const { return fProps.XoffChar; }
  uint8_t ReplacedChar() const { return fProps.ReplacedChar; }
  uint32_t ReadIntervalTimeout() const { return fProps.ReadIntervalTimeout; }
  uint32_t ReadTotalTimeoutMultiplier() const { return fProps.ReadTotalTimeoutMultiplier; }
  uint32_t ReadTotalTimeoutConstant() const { return fProps.ReadTotalTimeoutConstant; }
  uint32_t WriteTotalTimeoutMultiplier() const { return fProps.WriteTotalTimeoutMultiplier; }
  uint32_t WriteTotalTimeoutConstant() const { return fProps.WriteTotalTimeoutConstant; }

  void SetBaudRate(uint32_t value);
  void SetParityCheck(bool value);
  void SetOutx_CtsFlow(bool value);
  void SetOutx_DsrFlow(bool value);
  void SetDtrControl(TDtrControl value);
  void SetDsrSensitivity(bool value);
  void SetTxContinueOnXoff(bool value);
  void SetOutx_XonXoffFlow(bool value);
  void SetInx_XonXoffFlow(bool value);
  void SetReplaceWhenParityError(bool value);
  void SetIgnoreNullChar(bool value);
  void SetRtsControl(TRtsControl value);
  void SetXonLimit(uint16_t value);
  void SetXoffLimit(uint16_t value);
  void SetByteSize(TByteSize value);
  void SetParity(TParity value);
  void SetStopBits(TStopBits value);
  void SetXonChar(uint8_t value);
  void SetXoffChar(uint8_t value);
  void SetReplacedChar(uint8_t value);
  void SetReadIntervalTimeout(uint32_t value);
  void SetReadTotalTimeoutMultiplier(uint32_t value);
  void SetReadTotalTimeoutConstant(uint32_t value);
  void SetWriteTotalTimeoutMultiplier(uint32_t value);
  void SetWriteTotalTimeoutConstant(uint32_t value);

  // Events, raised on the owner's thread in the order the threads posted them.
  TReceiveDataEvent OnReceiveData;            // each received chunk (1..2048 bytes)
  TReceiveErrorEvent OnReceiveError;          // line_error:: flags
  TNotifyEvent OnRequestHangup;               // the device failed or vanished; once per start
  TModemStateChangeEvent OnModemStateChange;  // modem_event:: bits
  TSendDataEmptyEvent OnSendDataEmpty;        // the transmit queue ran empty

 private:
  void CloseReadThread();
  void CloseWriteThread();
  void _SetCommState();
  void _SetCommTimeout();
  void _SendDataEmpty();
  void CommWndProc(TNotice& n);
  void ReceiveData(const uint8_t* buffer, uint16_t length);
  void ReceiveError(uint32_t eventMask);
  void ModemStateChange(uint32_t modemEvent);
  void RequestHangup();
  void OpenDone(uint32_t attempt);
  // StartComm's work on what an open found.
  void Start(TOpenResult opened);
  void ReleasePort();

  template <typename T>
  void SetState(T& field, T value);
  template <typename T>
  void SetTimeout(T& field, T value);

  TCommProperties fProps;
  TDeviceOpener fOpener;
  TOpenResult fLastOpen;
  std::thread fOpenThread;    // StartCommAsync's; joined at the next one and at the end
  bool fOpening = false;      // owner's thread only
  uint32_t fOpenAttempt = 0;  // owner's thread only: an older attempt's result is dropped
  std::function<void(const std::string&)> fOpenDone;  // owner's thread only
  std::mutex fOpenedMutex;  // the open thread's result, handed over under it
  std::unique_ptr<TOpenResult> fOpened;
  uint32_t fOpenedAttempt = 0;
  std::unique_ptr<TNoticeWindow> fNoticeWindow;
  std::unique_ptr<TSerialDevice> fDevice;  // the port handle: open exactly when set
  std::unique_ptr<TEvent> fStopEvent;
  std::unique_ptr<TReadThread> fReadThread;
  std::unique_ptr<TWriteThread> fWriteThread;
  std::atomic<bool> fTransmitIdle{true};
  std::atomic<bool> fHangupPosted{false};
};
