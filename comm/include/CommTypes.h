// Value types shared by the serial component, its threads and the platform layer.
#pragma once

#include <cstdint>
#include <functional>

class TComm;

enum class TParity : uint8_t { None, Odd, Even, Mark, Space };
enum class TStopBits : uint8_t { _1, _1_5, _2 };
enum class TByteSize : uint8_t { _5, _6, _7, _8 };
// The enabling value is ordinal 0, so a zeroed value means "line on".
enum class TDtrControl : uint8_t { DtrEnable, DtrDisable, DtrHandshake };
enum class TRtsControl : uint8_t { RtsEnable, RtsDisable, RtsHandshake, RtsTransmissionAvailable };

// Event handlers; all run on the thread that created the TComm. An empty
// handler is skipped. `Buffer` is valid only during the call and is followed by
// one 0 byte, so it may also be read as a NUL-terminated string.
using TReceiveDataEvent =
    std::function<void(TComm* Sender, const uint8_t* Buffer, uint16_t BufferLength)>;
using TReceiveErrorEvent = std::function<void(TComm* Sender, uint32_t EventMask)>;
using TModemStateChangeEvent = std::function<void(TComm* Sender, uint32_t ModemEvent)>;
using TNotifyEvent = std::function<void(TComm* Sender)>;
using TSendDataEmptyEvent = std::function<void(TComm* Sender)>;

// The driver's line-settings record, laid out as the classic serial API has it.
// Fields the POSIX line discipline cannot honour are kept here regardless, so a
// read-back returns what was asked for.
struct TDcb {
  uint32_t DCBlength = sizeof(TDcb);
  uint32_t BaudRate = 9600;
  uint32_t Flags = 0x0001;
  uint16_t wReserved = 0;
  uint16_t XonLim = 0;
  uint16_t XoffLim = 0;
  uint8_t ByteSize = 8;
  uint8_t Parity = 0;
  uint8_t StopBits = 0;
  uint8_t XonChar = 0x11;
  uint8_t XoffChar = 0x13;
  uint8_t ErrorChar = 0;
  uint8_t EofChar = 0;
  uint8_t EvtChar = 0;
  uint16_t wReserved1 = 0;

  bool operator==(const TDcb&) const = default;
};

// Bits of TDcb::Flags.
namespace dcb {
inline constexpr uint32_t kBinary = 0x0001;
inline constexpr uint32_t kParity = 0x0002;
inline constexpr uint32_t kOutxCtsFlow = 0x0004;
inline constexpr uint32_t kOutxDsrFlow = 0x0008;
inline constexpr uint32_t kDtrControlMask = 0x0030;
inline constexpr uint32_t kDtrControlEnable = 0x0010;
inline constexpr uint32_t kDtrControlHandshake = 0x0020;
inline constexpr uint32_t kDsrSensitivity = 0x0040;
inline constexpr uint32_t kTxContinueOnXoff = 0x0080;
inline constexpr uint32_t kOutX = 0x0100;
inline constexpr uint32_t kInX = 0x0200;
inline constexpr uint32_t kErrorChar = 0x0400;
inline constexpr uint32_t kNull = 0x0800;
inline constexpr uint32_t kRtsControlMask = 0x3000;
inline constexpr uint32_t kRtsControlEnable = 0x1000;
inline constexpr uint32_t kRtsControlHandshake = 0x2000;
inline constexpr uint32_t kRtsControlToggle = 0x3000;
inline constexpr uint32_t kAbortOnError = 0x4000;
}  // namespace dcb

// Time-outs in milliseconds, with the classic serial API's meaning.
struct TCommTimeouts {
  uint32_t ReadIntervalTimeout = 0;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t ReadTotalTimeoutConstant = 0;
  uint32_t WriteTotalTimeoutMultiplier = 0;
  uint32_t WriteTotalTimeoutConstant = 0;
};
inline constexpr uint32_t kMaxDword = 0xFFFFFFFFu;

// Line-error flags reported by OnReceiveError.
namespace line_error {
inline constexpr uint32_t kRxOver = 0x0001;
inline constexpr uint32_t kOverrun = 0x0002;
inline constexpr uint32_t kRxParity = 0x0004;
inline constexpr uint32_t kFrame = 0x0008;
inline constexpr uint32_t kBreak = 0x0010;
}  // namespace line_error

// Bits of the ModemEvent argument of OnModemStateChange.
namespace modem_event {
inline constexpr uint32_t kRing = 0x0004;
inline constexpr uint32_t kCarrierDetect = 0x0008;
inline constexpr uint32_t kCharReceived = 0x0010;
}  // namespace modem_event

// Bits returned by TComm::GetModemState.
namespace modem_status {
inline constexpr uint32_t kCtsOn = 0x0010;
inline constexpr uint32_t kDsrOn = 0x0020;
inline constexpr uint32_t kRingOn = 0x0040;
inline constexpr uint32_t kRlsdOn = 0x0080;
}  // namespace modem_status

// Purge actions.
namespace purge {
inline constexpr uint32_t kTxAbort = 0x0001;
inline constexpr uint32_t kRxAbort = 0x0002;
inline constexpr uint32_t kTxClear = 0x0004;
inline constexpr uint32_t kRxClear = 0x0008;
}  // namespace purge

// Notice numbers carried from the worker threads to the owner's thread.
namespace notice {
inline constexpr uint32_t kReceiveData = 0x0401;
inline constexpr uint32_t kReceiveError = 0x0402;
inline constexpr uint32_t kHangup = 0x0403;
inline constexpr uint32_t kModemEvent = 0x0404;
inline constexpr uint32_t kSendDataEmpty = 0x0405;
inline constexpr uint32_t kOpenDone = 0x0406;  // StartCommAsync's open ended (lParam: its attempt)
}  // namespace notice

// Largest chunk one OnReceiveData delivers.
inline constexpr uint32_t kReadBufferSize = 2048;
