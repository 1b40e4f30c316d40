#include "PosixTermios.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<uint32_t, speed_t>, 30> kSpeeds{{
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
}};

}  // namespace

speed_t BaudToSpeed(uint32_t rate) {
  for (const auto& [r, s] : kSpeeds)
    if (r == rate) return s;
  return 0;
}

uint32_t SpeedToBaud(speed_t speed) {
  for (const auto& [r, s] : kSpeeds)
    if (s == speed) return r;
  return 0;
}

std::optional<TTermiosPlan> MapDcbToTermios(const TDcb& dcb, const termios& current) {
  // Rate 0 would mean "hang up" to the terminal driver.
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > 4 ||
      dcb.StopBits > 2)
    return std::nullopt;

  TTermiosPlan plan;
  termios& t = plan.tio;
  t = current;

  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                      IXON | IXOFF | IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN |
                                      NOFLSH | TOSTOP);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL);
  t.c_cflag |= CLOCAL | CREAD;

  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag |= kSizes[dcb.ByteSize - 5];

  switch (dcb.Parity) {
    case 1:
      t.c_cflag |= PARENB | PARODD;
      break;
    case 2:
      t.c_cflag |= PARENB;
      break;
    case 3:
      t.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case 4:
      t.c_cflag |= PARENB | CMSPAR;
      break;
    default:
      break;
  }
  if (dcb.Flags & dcb::kParity) t.c_iflag |= INPCK;
  // 1.5 stop bits exist only for 5 data bits, where the UART sends them for CSTOPB.
  if (dcb.StopBits != 0) t.c_cflag |= CSTOPB;

  const uint32_t rts = dcb.Flags & dcb::kRtsControlMask;
  if ((dcb.Flags & dcb::kOutxCtsFlow) || rts == dcb::kRtsControlHandshake) t.c_cflag |= CRTSCTS;

  if (dcb.Flags & dcb::kOutX) t.c_iflag |= IXON;
  if (dcb.Flags & dcb::kInX) t.c_iflag |= IXOFF;
  t.c_cc[VSTART] = dcb.XonChar;
  t.c_cc[VSTOP] = dcb.XoffChar;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;

  // A separate input rate left from an earlier custom rate would otherwise
  // survive: no input field means "the same as the output".
  t.c_cflag &= ~static_cast<tcflag_t>(CIBAUD);
  const speed_t speed = BaudToSpeed(dcb.BaudRate);
  if (speed != 0) {
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
  } else {
    plan.customRate = dcb.BaudRate;
  }

  plan.dtr = (dcb.Flags & dcb::kDtrControlMask) == 0 ? TLineAction::Off : TLineAction::On;
  plan.rts = rts == 0 ? TLineAction::Off : TLineAction::On;
  return plan;
}

bool SettingsHold(const termios& wanted, uint32_t rate, const termios& got, uint32_t gotInput,
                  uint32_t gotOutput) {
  constexpr tcflag_t kFraming = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
  if ((wanted.c_cflag & kFraming) != (got.c_cflag & kFraming)) return false;
  const auto near = [rate](uint32_t actual) {
    const uint64_t diff = actual > rate ? actual - rate : rate - actual;
    return diff * 50 <= rate;
  };
  return near(gotInput) && near(gotOutput);
}
