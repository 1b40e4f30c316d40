// Network serial ports behind the device seam: a TCP connection to a serial
// device server (ser2net and the like), raw ("tcp://") or with telnet and
// the RFC 2217 COM-PORT-OPTION ("rfc2217://"), which sets the far port's line
// and reports its line and modem state.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "NetAddress.h"
#include "PosixNameLookup.h"
#include "PosixPoll.h"
#include "SerialDevice.h"
#include "TelnetCodec.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace telnet;

// How long the far port's answers to the line settings may take.
constexpr auto kAnswerTime = std::chrono::milliseconds(2000);
// A raw port has nothing to answer: a server that refuses the client says
// so and closes as it accepts (ser2net within a millisecond on loopback), so
// the wait for that scales with the connection's round trip, within bounds.
constexpr auto kRawBusyGraceMin = std::chrono::milliseconds(15);
constexpr auto kRawBusyGraceMax = std::chrono::milliseconds(200);
constexpr int kRawBusyGraceRoundTrips = 8;
// A command of our own that cannot be sent in this time means a dead link.
constexpr auto kSendTime = std::chrono::milliseconds(1000);
// How long, and how often, a server that turns the client away is asked again.
constexpr auto kBusyRetryTime = std::chrono::milliseconds(600);
constexpr auto kBusyRetryPause = std::chrono::milliseconds(100);

// The LINESTATE bits of RFC 2217 worth a line event, and MODEMSTATE's.
constexpr uint8_t kLineOverrun = 0x02, kLineParity = 0x04, kLineFraming = 0x08, kLineBreak = 0x10;
constexpr uint8_t kModemDeltaDcd = 0x08, kModemTrailingRing = 0x04;

int PollMs(Clock::duration left) {
  return static_cast<int>(
      std::max<long>(0, std::chrono::ceil<std::chrono::milliseconds>(left).count()));
}

std::vector<uint8_t> BigEndian32(uint32_t value) {
  return {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
          static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
}

class TNetSerialDevice final : public TSerialDevice {
 public:
  TNetSerialDevice(int fd, bool rfc2217) : fFd(fd), fRfc2217(rfc2217) {
    fDecoder.onNegotiation = [this](uint8_t verb, uint8_t option) { Negotiated(verb, option); };
    fDecoder.onSubnegotiation = [this](uint8_t option, const std::vector<uint8_t>& body) {
      Subnegotiated(option, body);
    };
    TDcb initial;
    initial.BaudRate = 0;  // unknown until set
    InitState(initial);
    if (!fRfc2217) fNote = "tcp:// cannot set the line: the server's settings hold";
  }

  ~TNetSerialDevice() override { close(fFd); }

  // The telnet options and a first answer from the far port; Busy when the
  // server turns the client away (another one holds its port).
  TOpenError Negotiate(Clock::time_point deadline, Clock::duration roundTrip) {
    if (!fRfc2217) {
      const auto grace =
          std::clamp<Clock::duration>(kRawBusyGraceMin + kRawBusyGraceRoundTrips * roundTrip,
                                      kRawBusyGraceMin, kRawBusyGraceMax);
      WaitFor([&] { return fEnded; }, std::min(deadline, Clock::now() + grace));
      return Refused() ? TOpenError::Busy : TOpenError::None;
    }
    for (const auto& [verb, option] : {std::pair{kWill, kComPort},
                                       {kDo, kBinary},
                                       {kWill, kBinary},
                                       {kDo, kSuppressGoAhead},
                                       {kWill, kSuppressGoAhead}})
      // A server that turns the client away may close before it has read a byte.
      if (!SendCommand(Negotiation(verb, option))) return TOpenError::Busy;
    WaitFor([&] { return fComPort != 0 || fEnded; }, deadline);
    if (Refused()) return TOpenError::Busy;
    if (fComPort != kDo) return fEnded ? TOpenError::Busy : TOpenError::NotTerminal;
    // A server that keeps the client answers a query for its rate; one that
    // turns it away closes instead.
    const uint64_t before = AnswerCount(comport::kSetBaudRate);
    SendCommand(ComPortCommand(comport::kSetBaudRate, BigEndian32(0)));
    WaitFor([&] { return fEnded || fAnswers[comport::kSetBaudRate].count > before; }, deadline);
    if (Refused()) return TOpenError::Busy;
    if (AnswerCount(comport::kSetBaudRate) == before) return TOpenError::TimedOut;
    SendCommand(ComPortCommand(comport::kSetLineStateMask,
                               {kLineOverrun | kLineParity | kLineFraming | kLineBreak}));
    SendCommand(ComPortCommand(comport::kSetModemStateMask, {0xFF}));
    return TOpenError::None;
  }

  void Purge(uint32_t actions) override {
    const bool rx = actions & purge::kRxClear;
    const bool tx = actions & purge::kTxClear;
    if (rx) {
      std::lock_guard lock(fStateMutex);
      fData.clear();
      if (!fEnded) fRxReady.Reset();
    }
    if (!fRfc2217 || !(rx || tx)) return;
    const uint8_t which = rx && tx ? comport::kPurgeBoth
                          : rx     ? comport::kPurgeReceive
                                   : comport::kPurgeTransmit;
    const auto command = ComPortCommand(comport::kPurgeData, {which});
    // An abort comes with a close: a server that stopped reading must not
    // hold it up, so the far port is told only when there is room at once
    // (a command is never cut short: the stream would be corrupted).
    const bool abort = actions & (purge::kRxAbort | purge::kTxAbort);
    std::lock_guard lock(fWriteMutex);
    pollfd room{fFd, POLLOUT, 0};
    if (!abort || poll(&room, 1, 0) > 0) SendRaw(command.data(), command.size());
  }

  bool GetModemStatus(uint32_t& bits) override {
    std::lock_guard lock(fStateMutex);
    if (!fHaveModem) return false;
    // RFC 2217 uses the classic API's bit values for CTS, DSR, RI and DCD.
    bits = fModem & 0xF0;
    return true;
  }

  TWaitResult WaitReadable(const TEvent& stop, TWaitTime timeout) override {
    pollfd fds[3] = {{stop.Handle(), POLLIN, 0}, {fRxReady.Handle(), POLLIN, 0}, {fFd, POLLIN, 0}};
    return Wait(fds, timeout);
  }

  TWaitResult WaitWritable(const TEvent& stop, TWaitTime timeout) override {
    pollfd fds[3] = {{stop.Handle(), POLLIN, 0}, {-1, 0, 0}, {fFd, POLLOUT, 0}};
    return Wait(fds, timeout);
  }

  TIoResult Read(uint8_t* buffer, std::size_t size) override {
    {
      std::lock_guard io(fIoMutex);
      Pump();
    }
    std::lock_guard lock(fStateMutex);
    if (!fData.empty()) {
      const std::size_t n = std::min(size, fData.size());
      std::copy_n(fData.begin(), n, buffer);
      fData.erase(fData.begin(), fData.begin() + static_cast<long>(n));
      if (fData.empty() && !fEnded) fRxReady.Reset();
      return {TIoResult::Kind::Done, n};
    }
    if (fEnded) return {fFailed ? TIoResult::Kind::Failed : TIoResult::Kind::Done, 0};
    // Only telnet commands came: no data, and no end.
    return {TIoResult::Kind::WouldBlock, 0};
  }

  TIoResult Write(const uint8_t* data, std::size_t size) override {
    std::lock_guard lock(fWriteMutex);
    if (!fRfc2217) return WriteRaw(data, size);
    // At most this much per call, so one block does not hold the commands
    // of the other threads back for long.
    const std::size_t take = std::min<std::size_t>(size, 2048);
    std::vector<uint8_t> wire;
    std::vector<std::size_t> ends;  // where each input byte's bytes end on the wire
    ends.reserve(take);
    for (std::size_t i = 0; i < take; ++i) {
      EscapeData(data + i, 1, wire);
      ends.push_back(wire.size());
    }
    const ssize_t n = send(fFd, wire.data(), wire.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) return {TIoResult::Kind::WouldBlock, 0};
      return {TIoResult::Kind::Failed, 0};
    }
    auto sent = static_cast<std::size_t>(n);
    std::size_t consumed =
        static_cast<std::size_t>(std::upper_bound(ends.begin(), ends.end(), sent) - ends.begin());
    // Half of a doubled 0xFF went out: the server now reads the next byte
    // as a command, so the other half must follow before anything else.
    if (consumed < take && sent > (consumed == 0 ? 0 : ends[consumed - 1])) {
      if (!SendRaw(wire.data() + sent, ends[consumed] - sent)) return {TIoResult::Kind::Failed, 0};
      ++consumed;
    }
    return {TIoResult::Kind::Done, consumed};
  }

  TLineProbe ReadLineSnapshot(TLineSnapshot& out) override {
    std::lock_guard lock(fStateMutex);
    if (fEnded) return TLineProbe::Failed;
    if (!fRfc2217) return TLineProbe::Unsupported;
    out = fLines;
    return TLineProbe::Ok;
  }

  std::string LineNote() const override {
    std::lock_guard lock(fStateMutex);
    if (fAsked.empty() || Clock::now() - fAskedAt < kNetworkControlAnswerTime) return fNote;
    std::string names;
    for (const auto& [value, name] : fAsked) names += (names.empty() ? "" : ", ") + name;
    return "the server did not confirm " + names;
  }

 protected:
  bool ApplyState(const TDcb& state) override {
    if (!fRfc2217) return true;  // nothing to set: see fNote
    // The far port's answers are the settings read back.
    // The classic API counts 0 one, 1 one and a half, 2 two stop bits.
    const uint8_t stop = state.StopBits == 0   ? comport::kStopOne
                         : state.StopBits == 1 ? comport::kStopOneAndHalf
                                               : comport::kStopTwo;
    const std::pair<uint8_t, std::vector<uint8_t>> line[] = {
        {comport::kSetBaudRate, BigEndian32(state.BaudRate)},
        {comport::kSetDataSize, {state.ByteSize}},
        {comport::kSetParity, {static_cast<uint8_t>(state.Parity + comport::kParityOffset)}},
        {comport::kSetStopSize, {stop}}};
    if (state.BaudRate == 0 || state.ByteSize < 5 || state.ByteSize > 8 || state.Parity > 4 ||
        state.StopBits > 2)
      return false;
    const auto deadline = Clock::now() + kAnswerTime;
    for (const auto& [command, value] : line) {
      const uint64_t before = AnswerCount(command);
      if (!SendCommand(ComPortCommand(command, value))) return false;
      if (!WaitFor([&] { return fAnswers[command].count > before; }, deadline)) return false;
      std::lock_guard lock(fStateMutex);
      if (fAnswers[command].value != value) return false;
    }
    AskControls(state);
    return true;
  }

 private:
  struct Answer {
    uint64_t count = 0;
    std::vector<uint8_t> value;
  };

  // DTR, RTS and flow control: asked for, but a server whose device cannot
  // set them (a pseudo-terminal behind ser2net) never answers. Not waited
  // for, so the unit's start command goes out at once: LineNote() names
  // those still unanswered after kNetworkControlAnswerTime.
  void AskControls(const TDcb& state) {
    const uint32_t dtr = state.Flags & dcb::kDtrControlMask;
    const uint32_t rts = state.Flags & dcb::kRtsControlMask;
    using namespace comport;
    const uint8_t outbound = (state.Flags & dcb::kOutxCtsFlow) ? kOutboundHardware
                             : (state.Flags & dcb::kOutX)      ? kOutboundXonXoff
                                                               : kOutboundNoFlow;
    const uint8_t inbound = rts == dcb::kRtsControlHandshake ? kInboundHardware
                            : (state.Flags & dcb::kInX)      ? kInboundXonXoff
                                                             : kInboundNoFlow;
    const std::pair<uint8_t, std::string> asks[] = {{outbound, "output flow control"},
                                                    {inbound, "input flow control"},
                                                    {dtr == 0 ? kDtrOff : kDtrOn, "DTR"},
                                                    {rts == 0 ? kRtsOff : kRtsOn, "RTS"}};
    {
      std::lock_guard lock(fStateMutex);
      fAsked.assign(std::begin(asks), std::end(asks));
      fAskedAt = Clock::now();
    }
    for (const auto& ask : asks) SendCommand(ComPortCommand(comport::kSetControl, {ask.first}));
  }

  // Bytes as they are, for a raw port. fWriteMutex held.
  TIoResult WriteRaw(const uint8_t* data, std::size_t size) {
    const ssize_t n = send(fFd, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n >= 0) return {TIoResult::Kind::Done, static_cast<std::size_t>(n)};
    if (errno == EAGAIN || errno == EINTR) return {TIoResult::Kind::WouldBlock, 0};
    return {TIoResult::Kind::Failed, 0};
  }

  bool Refused() const {
    std::lock_guard lock(fStateMutex);
    return fEnded || fText.find("in use") != std::string::npos;
  }

  uint64_t AnswerCount(uint8_t command) {
    std::lock_guard lock(fStateMutex);
    return fAnswers[command].count;
  }

  TWaitResult Wait(pollfd (&fds)[3], TWaitTime timeout) {
    const int r = PollFor(fds, 3, timeout);
    if (r < 0) return errno == EINTR ? TWaitResult::Timeout : TWaitResult::Failed;
    if (r == 0) return TWaitResult::Timeout;
    if (fds[0].revents) return TWaitResult::Stop;
    // The end of the connection is found by the read: data before it first.
    return TWaitResult::Ready;
  }

  // Until `done` holds (read under the state lock) or `deadline`. The socket
  // is read here when no other thread is reading it.
  bool WaitFor(const std::function<bool()>& done, Clock::time_point deadline) {
    for (;;) {
      {
        std::lock_guard lock(fStateMutex);
        if (done()) return true;
        if (fEnded) return false;
      }
      if (Clock::now() >= deadline) return false;
      std::unique_lock io(fIoMutex, std::try_to_lock);
      if (io.owns_lock()) {
        pollfd fd{fFd, POLLIN, 0};
        if (poll(&fd, 1, std::min(PollMs(deadline - Clock::now()), 50)) > 0) Pump();
      } else {
        std::unique_lock lock(fStateMutex);
        fChanged.wait_for(lock, std::chrono::milliseconds(10));
      }
    }
  }

  // Reads what the socket holds and decodes it. fIoMutex held.
  void Pump() {
    uint8_t raw[4096];
    for (;;) {
      const ssize_t n = recv(fFd, raw, sizeof raw, MSG_DONTWAIT);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
      std::vector<uint8_t> data;
      if (n > 0 && fRfc2217) fDecoder.Feed(raw, static_cast<std::size_t>(n), data);
      if (n > 0 && !fRfc2217) data.assign(raw, raw + n);
      {
        std::lock_guard lock(fStateMutex);
        if (n <= 0) {
          fEnded = true;
          fFailed = n < 0;
        }
        if (!fSettled && fText.size() < 256) fText.append(data.begin(), data.end());
        fData.insert(fData.end(), data.begin(), data.end());
        if (!fData.empty() || fEnded) fRxReady.Set();
      }
      fChanged.notify_all();
      if (n <= 0) return;
    }
  }

  // Decoder callbacks, from Pump.
  void Negotiated(uint8_t verb, uint8_t option) {
    const bool wanted = option == kBinary || option == kSuppressGoAhead || option == kComPort;
    if (option == kComPort && (verb == kDo || verb == kDont)) {
      std::lock_guard lock(fStateMutex);
      fComPort = verb;
    }
    // Answered only where it differs from what this client already said.
    if ((verb == kDo || verb == kDont) && !wanted) SendCommand(Negotiation(kWont, option));
    if (verb == kWill && !wanted) SendCommand(Negotiation(kDont, option));
  }

  void Subnegotiated(uint8_t option, const std::vector<uint8_t>& body) {
    if (option != kComPort || body.empty() || body[0] <= comport::kServerOffset) return;
    const uint8_t command = static_cast<uint8_t>(body[0] - comport::kServerOffset);
    const std::vector<uint8_t> value(body.begin() + 1, body.end());
    std::lock_guard lock(fStateMutex);
    fSettled = true;
    if (command == comport::kNotifyLineState && !value.empty()) {
      fLines.overrun += (value[0] & kLineOverrun) != 0;
      fLines.parity += (value[0] & kLineParity) != 0;
      fLines.frame += (value[0] & kLineFraming) != 0;
      fLines.brk += (value[0] & kLineBreak) != 0;
    } else if (command == comport::kNotifyModemState && !value.empty()) {
      fLines.dcd += (value[0] & kModemDeltaDcd) != 0;
      fLines.rng += (value[0] & kModemTrailingRing) != 0;
      fModem = value[0];
      fHaveModem = true;
    } else if (command == comport::kSetControl && value.size() == 1) {
      std::erase_if(fAsked, [&](const auto& ask) { return ask.first == value[0]; });
    } else {
      Answer& answer = fAnswers[command];
      ++answer.count;
      answer.value = value;
    }
  }

  bool SendCommand(const std::vector<uint8_t>& bytes) {
    std::lock_guard lock(fWriteMutex);
    return SendRaw(bytes.data(), bytes.size());
  }

  // All of `bytes`, waiting for room as long as kSendTime. fWriteMutex held.
  bool SendRaw(const uint8_t* bytes, std::size_t length) {
    const auto deadline = Clock::now() + kSendTime;
    while (length > 0) {
      const ssize_t n = send(fFd, bytes, length, MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n > 0) {
        bytes += n;
        length -= static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
      pollfd fd{fFd, POLLOUT, 0};
      if (Clock::now() >= deadline || poll(&fd, 1, PollMs(deadline - Clock::now())) < 0)
        return false;
    }
    return true;
  }

  const int fFd;
  const bool fRfc2217;
  TEvent fRxReady;      // set while data waits in fData or the connection has ended
  std::mutex fIoMutex;  // the socket's reading side and the decoder
  TDecoder fDecoder;
  std::mutex fWriteMutex;          // the socket's writing side
  mutable std::mutex fStateMutex;  // everything below
  std::condition_variable fChanged;
  std::deque<uint8_t> fData;
  bool fEnded = false, fFailed = false;
  uint8_t fComPort = 0;  // the server's DO or DONT for the COM-PORT-OPTION
  std::map<uint8_t, Answer> fAnswers;
  bool fSettled = false;  // a COM-PORT answer came: later data is the unit's, not a greeting
  std::string fText;      // data before that, where a server says it is in use
  TLineSnapshot fLines;
  uint8_t fModem = 0;
  bool fHaveModem = false;
  std::string fNote;
  std::vector<std::pair<uint8_t, std::string>> fAsked;  // controls not yet confirmed
  Clock::time_point fAskedAt;
};

TOpenError ErrorOfConnect(int error) {
  switch (error) {
    case ECONNREFUSED:
      return TOpenError::Refused;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case EHOSTDOWN:
    case ENETDOWN:
      return TOpenError::Unreachable;
    case ETIMEDOUT:
      return TOpenError::TimedOut;
    default:
      return TOpenError::Other;
  }
}

// Connects without blocking for longer than `deadline`; the socket or -1.
int Connect(const addrinfo& address, Clock::time_point deadline, TOpenError& error, int& sysError) {
  const int fd = socket(address.ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    sysError = errno;
    return -1;
  }
  if (connect(fd, address.ai_addr, address.ai_addrlen) != 0 && errno != EINPROGRESS) {
    sysError = errno;
    error = ErrorOfConnect(errno);
    close(fd);
    return -1;
  }
  pollfd p{fd, POLLOUT, 0};
  const int ready = poll(&p, 1, PollMs(deadline - Clock::now()));
  int soError = 0;
  socklen_t length = sizeof soError;
  if (ready <= 0) {
    error = TOpenError::TimedOut;
    sysError = ready == 0 ? ETIMEDOUT : errno;
  } else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length) != 0 || soError != 0) {
    sysError = soError != 0 ? soError : errno;
    error = ErrorOfConnect(sysError);
  } else {
    return fd;
  }
  close(fd);
  return -1;
}

// A dead peer (a device server switched off) is noticed in about ten
// seconds even while nothing is sent; replies go out at once.
void TuneSocket(int fd) {
  const int on = 1, idle = 5, interval = 2, count = 3;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

std::string Seconds(Clock::duration d) {
  return std::to_string(std::chrono::ceil<std::chrono::seconds>(d).count()) + " s";
}

TOpenResult ConnectOnce(const std::string& url, const TNetAddress& where,
                        Clock::time_point deadline) {
  TOpenResult result;
  result.path = url;
  result.devicePath = url;
  const auto began = Clock::now();
  const TNameLookup found = LookUpHost(where.host, std::to_string(where.port), deadline);
  if (found.timedOut) {
    result.error = TOpenError::TimedOut;
    result.sysError = ETIMEDOUT;
    result.detail = "the name " + where.host + " was not resolved within " +
                    Seconds(deadline - began) + " (a name server that does not answer?)";
    return result;
  }
  if (!found.list) {
    result.error = TOpenError::Unreachable;
    result.sysError = EHOSTUNREACH;
    result.detail =
        found.error == EAI_NONAME || found.error == EAI_NODATA
            ? "no such host " + where.host
            : "the name " + where.host + " could not be resolved: " + gai_strerror(found.error);
    return result;
  }
  int fd = -1;
  TOpenError error = TOpenError::Other;
  Clock::duration roundTrip{};
  for (const addrinfo* a = found.list.get(); a != nullptr && fd < 0; a = a->ai_next) {
    const auto tried = Clock::now();
    fd = Connect(*a, deadline, error, result.sysError);
    roundTrip = Clock::now() - tried;
  }
  if (fd < 0) {
    result.error = error;
    return result;
  }
  TuneSocket(fd);
  auto device = std::make_unique<TNetSerialDevice>(fd, where.rfc2217);
  result.error = device->Negotiate(deadline, roundTrip);
  if (result.error == TOpenError::Busy) result.holderName = "another client of the server";
  if (result.error == TOpenError::None) result.device = std::move(device);
  return result;
}

}  // namespace

TOpenResult OpenNetworkPort(const std::string& url, TWaitTime timeout) {
  TOpenResult result;
  result.path = url;
  result.devicePath = url;
  TNetAddress where;
  if (std::string problem = ParseNetAddress(url, where); !problem.empty()) {
    result.error = TOpenError::BadAddress;
    result.sysError = EINVAL;
    result.detail = std::move(problem);
    return result;
  }
  const auto deadline = Clock::now() + timeout;
  // A server frees its port a moment after a client leaves: one that turns
  // this client away is asked again for a little while (the last run's or
  // list-ports' connection, just closed, would otherwise make this one busy).
  const auto busyUntil = std::min(deadline, Clock::now() + kBusyRetryTime);
  for (;;) {
    result = ConnectOnce(url, where, deadline);
    if (result.error != TOpenError::Busy || Clock::now() + kBusyRetryPause >= busyUntil)
      return result;
    std::this_thread::sleep_for(kBusyRetryPause);
  }
}
