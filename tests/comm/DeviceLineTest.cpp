// The line settings on a real serial driver, read back through a second
// descriptor of the same device. Run by tests/rig/kv37rig inside its guest
// (as root, which may open a port the component holds exclusively), with
//   KV37_DEVICE       the device: /dev/ttyS1 (16550) or /dev/ttyUSB0 (FTDI)
//   KV37_DEVICE_KIND  "uart" or "usb"
// Without them every case fails: these cases prove nothing on a pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "CommSettings.h"
#include "PosixTermios.h"
#include "SerialDevice.h"

namespace {

struct TDeviceUnderTest {
  std::string path;
  bool uart = false;
};

TDeviceUnderTest DeviceUnderTest() {
  const char* path = std::getenv("KV37_DEVICE");
  const char* kind = std::getenv("KV37_DEVICE_KIND");
  return {path ? path : "", kind && std::string(kind) == "uart"};
}

class DeviceLine : public ::testing::Test {
 protected:
  void SetUp() override {
    fDut = DeviceUnderTest();
    ASSERT_FALSE(fDut.path.empty()) << "KV37_DEVICE is not set: run tests/rig/kv37rig";
    TOpenResult opened = OpenSerialDevice(fDut.path);
    ASSERT_EQ(opened.error, TOpenError::None) << fDut.path;
    fDevice = std::move(opened.device);
    fProbe = open(fDut.path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fProbe, 0) << "a second descriptor needs root";
    fProps.BaudRate = 57600;
    fProps.Outx_XonXoffFlow = false;
    ASSERT_TRUE(Apply());
  }
  void TearDown() override {
    if (fProbe >= 0) close(fProbe);
  }

  bool Apply() { return fDevice->SetState(BuildCommState(fDevice->GetState(), fProps)); }

  termios Line() const {
    termios t{};
    EXPECT_EQ(tcgetattr(fProbe, &t), 0);
    return t;
  }
  uint32_t Rate() const {
    uint32_t input = 0, output = 0;
    EXPECT_TRUE(ReadLineRates(fProbe, input, output));
    EXPECT_EQ(input, output);
    return output;
  }

  TDeviceUnderTest fDut;
  std::unique_ptr<TSerialDevice> fDevice;
  TCommProperties fProps;
  int fProbe = -1;
};

tcflag_t ParityBits(TParity parity) {
  switch (parity) {
    case TParity::None:
      return 0;
    case TParity::Odd:
      return PARENB | PARODD;
    case TParity::Even:
      return PARENB;
    case TParity::Mark:
      return PARENB | CMSPAR | PARODD;
    case TParity::Space:
      return PARENB | CMSPAR;
  }
  return 0;
}

TEST_F(DeviceLine, EveryCharacterFormatReadsBackAsSet) {
  constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  std::string refused;
  for (const TParity parity :
       {TParity::None, TParity::Odd, TParity::Even, TParity::Mark, TParity::Space}) {
    for (int size = 0; size < 4; ++size) {
      for (const TStopBits stop : {TStopBits::_1, TStopBits::_2}) {
        fProps.Parity = parity;
        fProps.ByteSize = static_cast<TByteSize>(size);
        fProps.StopBits = stop;
        // As "8N1": data bits, parity, stop bits.
        const std::string row = std::to_string(size + 5) + "NOEMS"[static_cast<int>(parity)] +
                                (stop == TStopBits::_2 ? "2" : "1");
        const bool applied = Apply();
        // A UART holds every format; an adapter may refuse one, but never
        // keep a different one while reporting success.
        EXPECT_TRUE(applied || !fDut.uart) << row;
        if (!applied) {
          refused += " " + row;
          continue;
        }
        const termios t = Line();
        EXPECT_EQ(t.c_cflag & CSIZE, kSizes[size]) << row;
        EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), ParityBits(parity)) << row;
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, stop == TStopBits::_2) << row;
        EXPECT_EQ(Rate(), 57600u) << row;
      }
    }
  }
  if (!refused.empty()) std::cout << fDut.path << " refuses" << refused << "\n";
}

TEST_F(DeviceLine, RatesReadBackAsAskedOrAreRefused) {
  struct Row {
    uint32_t rate;
    bool uartHolds;  // the 16550's divisor tops out at 115200
  };
  constexpr Row kRows[] = {{1200, true},  {9600, true},   {57600, true},  {115200, true},
                           {12345, true}, {100000, true}, {250000, false}};
  for (const Row& row : kRows) {
    fProps.BaudRate = 57600;
    ASSERT_TRUE(Apply());
    fProps.BaudRate = row.rate;
    const bool holds = fDut.uart ? row.uartHolds : true;
    EXPECT_EQ(Apply(), holds) << row.rate;
    EXPECT_EQ(Rate(), holds ? row.rate : 57600u) << row.rate;
    EXPECT_EQ(fDevice->GetState().BaudRate, holds ? row.rate : 57600u) << row.rate;
  }
}

TEST_F(DeviceLine, LineEventCountersAnswer) {
  TLineSnapshot lines;
  EXPECT_EQ(fDevice->ReadLineSnapshot(lines), TLineProbe::Ok);
}

}  // namespace
