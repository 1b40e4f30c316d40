// The platform seam of the serial component: a manual-reset event the worker
// threads can wait on, and an open serial device with its driver-side record
// of line settings and time-outs. One implementation per operating system
// (PosixSerialDevice.cpp); tests put scripted devices in its place.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>

#include "CommTypes.h"
#include "NetAddress.h"

// Manual-reset event. Set, Reset and IsSet may be called from any thread.
class TEvent {
 public:
  TEvent();
  ~TEvent();
  TEvent(const TEvent&) = delete;
  TEvent& operator=(const TEvent&) = delete;

  // False when the operating system could not provide the event.
  bool Valid() const { return fHandle >= 0; }
  void Set();
  void Reset();
  bool IsSet() const;
  // Operating-system handle, for the platform layer only.
  int Handle() const { return fHandle; }

 private:
  int fHandle;
};

// Every wait of the component is timed in microseconds: the end of a chunk is
// measured against the interval time-out, where a millisecond of rounding
// would delay every reply. A negative time means no limit.
using TWaitTime = std::chrono::microseconds;
inline constexpr TWaitTime kWaitTimeForever{-1};

// Results of WaitForEvents besides the index of an event.
inline constexpr int kWaitTimeout = -1;
inline constexpr int kWaitFailed = -2;

// Waits until one of `events` is set and returns the lowest index that is set,
// kWaitTimeout when `timeout` passed first (also after an interrupted wait),
// or kWaitFailed.
int WaitForEvents(std::initializer_list<const TEvent*> events, TWaitTime timeout);

// Raises the calling thread's scheduling priority by `steps`; does nothing
// when the process may not raise priorities.
void RaiseThreadPriority(int steps);

enum class TWaitResult {
  Stop,     // the stop event is set (reported first when several hold)
  Ready,    // the device can be read or written without blocking
  Timeout,  // the time limit passed (also after an interrupted wait)
  Hangup,   // the device has gone
  Failed,   // the wait itself failed
};

struct TIoResult {
  enum class Kind {
    Done,        // `count` bytes moved; a read of 0 bytes means end of file
    WouldBlock,  // nothing to move now
    Closed,      // the handle is no longer valid
    Failed,      // an I/O error
  };
  Kind kind = Kind::Failed;
  std::size_t count = 0;
};

// Running totals of line events since the device was opened.
struct TLineSnapshot {
  uint32_t frame = 0;
  uint32_t overrun = 0;
  uint32_t parity = 0;
  uint32_t brk = 0;
  uint32_t bufOverrun = 0;
  uint32_t dcd = 0;  // carrier-detect transitions
  uint32_t rng = 0;  // ring-indicator events
};

enum class TLineProbe { Ok, Unsupported, Failed };

// An open serial device. Destroying it closes the device.
//
// Threads: GetState, GetTimeouts and Purge may be called from any thread;
// SetState, SetTimeouts and GetModemStatus from the owner's thread; the Wait*,
// Read, Write and ReadLineSnapshot calls from one thread each (reading and
// writing may run at the same time on two threads).
class TSerialDevice {
 public:
  virtual ~TSerialDevice() = default;

  TDcb GetState() const;
  // Applies `state` to the line; stores it only when the device accepted it.
  // A state equal to the one last applied is not applied again.
  bool SetState(const TDcb& state);
  TCommTimeouts GetTimeouts() const;
  void SetTimeouts(const TCommTimeouts& timeouts);

  // Clears the input and/or output queues (purge:: bits).
  virtual void Purge(uint32_t actions) = 0;
  // Fills modem_status:: bits; false when the device cannot tell.
  virtual bool GetModemStatus(uint32_t& bits) = 0;

  // Wait for the stop event or the device, at most `timeout`
  // (kWaitTimeForever: no limit).
  virtual TWaitResult WaitReadable(const TEvent& stop, TWaitTime timeout) = 0;
  virtual TWaitResult WaitWritable(const TEvent& stop, TWaitTime timeout) = 0;
  // Never block.
  virtual TIoResult Read(uint8_t* buffer, std::size_t size) = 0;
  virtual TIoResult Write(const uint8_t* data, std::size_t size) = 0;
  // Unsupported when the device keeps no line-event totals; Failed when the
  // device has gone (a hung-up terminal answers EIO).
  virtual TLineProbe ReadLineSnapshot(TLineSnapshot& out) = 0;
  // What the last applied settings could not make sure of, for the
  // operator ("the server did not confirm DTR"); "" when nothing.
  virtual std::string LineNote() const { return {}; }

 protected:
  // Puts `state` onto the line; false when the device refuses it.
  virtual bool ApplyState(const TDcb& state) = 0;
  // Record reported before the first SetState.
  void InitState(const TDcb& state);

 private:
  mutable std::mutex fMutex;
  TDcb fState;
  bool fApplied = false;  // fState came from SetState, not InitState
  TCommTimeouts fTimeouts;
};

// Why an open failed. ECommsError keeps the component's fixed texts; this is
// for callers that want to tell the operator more.
enum class TOpenError {
  None,
  Missing,        // no such device (or a map entry pointing nowhere)
  Permission,     // the user may not open it
  Busy,           // held by another program, or already by this one
  NotCharDevice,  // a file or directory, not a device
  NotTerminal,    // a device, but no serial line (a network server without the COM port option)
  Refused,        // network: nothing listens at that address and port
  Unreachable,    // network: no route to the host, or no such host
  TimedOut,       // network: no answer (or no name look-up) within the time-out
  BadAddress,     // network: the address is malformed; `detail` says how
  Other,          // anything else; `sysError` tells
};

struct TOpenResult {
  std::unique_ptr<TSerialDevice> device;  // set exactly when error is None
  TOpenError error = TOpenError::Other;
  std::string path;        // the path opened: as named, or the port-map entry
  std::string devicePath;  // the device `path` resolves to (links followed)
  int sysError = 0;        // errno of the call that failed, 0 when none did
  std::string detail;      // network: what the error alone does not say ("no such host x")
  long holderPid = 0;      // Busy: the holder's process id where known, else 0
  std::string holderName;  // Busy: the holder's command name where known
  // Opened, but this many processes of other users could not be looked at
  // (their open files are private): one of them may be reading the port.
  int uncheckedProcs = 0;
};

// The system lock folder of the UUCP lock-file convention.
inline constexpr const char* kDefaultLockDirectory = "/var/lock";

// Opens the device at `path` exclusively: it must exist, must not be held by
// another opener (flock, TIOCEXCL, a live LCK..<device> file in
// `lockDirectory`, or any other process with it open, the kernel's console
// included), must be a character device and a terminal. The line settings
// found at open are restored when the device is closed. Never creates
// the device; creates a lock file while open where the folder allows it, and
// removes a stale one (its pid is dead).
TOpenResult OpenSerialDevice(const std::string& path,
                             const std::string& lockDirectory = kDefaultLockDirectory);

// Network serial ports (NetAddress.h): "rfc2217://HOST:PORT", telnet with
// the RFC 2217 COM-PORT-OPTION (the server sets the far port's line and its
// answers are the settings read back; it reports line and modem events), and
// "tcp://HOST:PORT", every byte as it is (the server's line settings hold).

// The longest a network open waits for the server, name look-up included.
inline constexpr TWaitTime kNetworkOpenTimeout = std::chrono::seconds(3);
// DTR, RTS and flow control are asked of an RFC 2217 server without waiting;
// those it has not confirmed this long after are named by LineNote().
inline constexpr auto kNetworkControlAnswerTime = std::chrono::milliseconds(300);

// Connects to `url` without blocking longer than `timeout` and negotiates
// the port. BadAddress for a malformed address, before any look-up;
// Refused, Unreachable or TimedOut when no server answers; Busy when it
// turns the client away because another holds its port. Closing the device
// never waits for the server.
TOpenResult OpenNetworkPort(const std::string& url, TWaitTime timeout = kNetworkOpenTimeout);
