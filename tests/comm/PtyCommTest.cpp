// TComm over real pseudo-terminal pairs.
#include <dirent.h>
#include <gtest/gtest.h>
#include <termios.h>

#include <QTemporaryDir>
#include <cstring>
#include <fstream>
#include <thread>

#include "CommTestSupport.h"
#include "PortName.h"
#include "PosixTermios.h"

namespace {

using namespace std::chrono_literals;

class PtyComm : public ::testing::Test {
 protected:
  void SetUp() override {
    comm.CommName = pty.slavePath();
    ApplyUtilitySettings(comm);
    log.Attach(comm);
  }
  termios MasterTermios() {
    termios t{};
    EXPECT_EQ(tcgetattr(pty.master(), &t), 0);
    return t;
  }

  TPty pty;
  TComm comm;
  TEventLog log;
};

std::vector<uint8_t> AllByteValues() {
  std::vector<uint8_t> v(256);
  for (int i = 0; i < 256; ++i) v[i] = static_cast<uint8_t>(i);
  return v;
}

TEST_F(PtyComm, EveryByteValueArrivesUnchanged) {
  comm.StartComm();
  pty.Write(AllByteValues());
  ASSERT_TRUE(WaitUntil([&] { return log.Received().size() >= 256; }));
  EXPECT_EQ(log.Received(), AllByteValues());
}

TEST_F(PtyComm, EveryByteValueIsSentUnchanged) {
  comm.StartComm();
  const auto bytes = AllByteValues();
  ASSERT_TRUE(comm.WriteCommData(bytes.data(), 256));
  EXPECT_EQ(pty.Read(256), bytes);
}

TEST_F(PtyComm, LongBurstArrivesInOrderedChunksOfAtMost2048EachFollowedByZero) {
  comm.StartComm();
  const auto burst = Pattern(7000);
  pty.Write(burst);
  ASSERT_TRUE(WaitUntil([&] { return log.Received().size() >= burst.size(); }));
  EXPECT_EQ(log.Received(), burst);
  EXPECT_GE(log.chunks.size(), 4u);
  for (const auto& c : log.chunks) {
    EXPECT_GE(c.bytes.size(), 1u);
    EXPECT_LE(c.bytes.size(), 2048u);
    EXPECT_EQ(c.after, 0);
  }
}

TEST_F(PtyComm, FramesSeparatedByAPauseArriveAsOneChunkEach) {
  comm.StartComm();
  const std::vector<uint8_t> request{0x02, 0x50, 0x01, 0x02, 0x03, 0x56, 0x03};
  pty.Write(request);
  ASSERT_TRUE(WaitUntil([&] { return log.chunks.size() == 1; }));
  pty.Write(request);
  ASSERT_TRUE(WaitUntil([&] { return log.chunks.size() == 2; }));
  PumpEvents(300ms);
  ASSERT_EQ(log.chunks.size(), 2u);
  EXPECT_EQ(log.chunks[0].bytes, request);
  EXPECT_EQ(log.chunks[1].bytes, request);
  // Each burst is announced as a received-character modem event before its data.
  ASSERT_GE(log.modem.size(), 2u);
  EXPECT_EQ(log.modem[0], modem_event::kCharReceived);
  EXPECT_EQ(log.order[1], "modem");
  EXPECT_EQ(log.order[2], "data");
}

TEST_F(PtyComm, BlocksQueuedBackToBackArriveWholeAndInOrder) {
  comm.StartComm();
  const auto a = Pattern(3000, 1);
  const auto b = Pattern(261, 2);
  ASSERT_TRUE(comm.WriteCommData(a.data(), static_cast<uint16_t>(a.size())));
  ASSERT_TRUE(comm.WriteCommData(b.data(), static_cast<uint16_t>(b.size())));
  auto expected = a;
  expected.insert(expected.end(), b.begin(), b.end());
  EXPECT_EQ(pty.Read(expected.size()), expected);
}

TEST_F(PtyComm, SendDataEmptyAfterTheStartAndEachTimeTheQueueDrains) {
  comm.StartComm();
  ASSERT_TRUE(WaitUntil([&] { return log.empties == 1; }));
  EXPECT_TRUE(comm.TransmitIdle());
  const std::vector<uint8_t> start{0x02, 0x55, 0x00, 0x57, 0x03};
  ASSERT_TRUE(comm.WriteCommData(start.data(), 5));
  EXPECT_EQ(pty.Read(5), start);
  ASSERT_TRUE(WaitUntil([&] { return log.empties == 2; }));
  EXPECT_TRUE(comm.TransmitIdle());
  PumpEvents(200ms);
  EXPECT_EQ(log.empties, 2);
}

TEST_F(PtyComm, WriteRightAfterTheStartIsAccepted) {
  for (int i = 0; i < 20; ++i) {
    comm.StartComm();
    const uint8_t byte = static_cast<uint8_t>(i);
    EXPECT_TRUE(comm.WriteCommData(&byte, 1)) << i;
    EXPECT_EQ(pty.Read(1), std::vector<uint8_t>{byte});
    comm.StopComm();
  }
}

TEST_F(PtyComm, WriteIsRefusedWhenClosedOrEmpty) {
  const uint8_t byte = 1;
  EXPECT_FALSE(comm.WriteCommData(&byte, 1));
  comm.StartComm();
  EXPECT_FALSE(comm.WriteCommData(&byte, 0));
  comm.StopComm();
  EXPECT_FALSE(comm.WriteCommData(&byte, 1));
  EXPECT_EQ(pty.Drain(100ms).size(), 0u);
}

struct LineRow {
  const char* name;
  void (*apply)(TComm&);
  void (*check)(const termios&);
};

class PtyLineSettings : public PtyComm, public ::testing::WithParamInterface<LineRow> {};

TEST_P(PtyLineSettings, MasterSideReadsBackTheProperty) {
  GetParam().apply(comm);
  comm.StartComm();
  GetParam().check(MasterTermios());
}

TEST_P(PtyLineSettings, SetterReappliesWhileOpen) {
  comm.StartComm();
  GetParam().apply(comm);
  GetParam().check(MasterTermios());
}

INSTANTIATE_TEST_SUITE_P(
    // The pseudo-terminal driver forces 8 data bits and no parity, so those are
    // checked by the mapping tests, and here only as refused settings.
    PropertyTable, PtyLineSettings,
    ::testing::Values(LineRow{"Utility", [](TComm&) {},
                              [](const termios& t) {
                                EXPECT_EQ(cfgetospeed(&t), B57600);
                                EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL),
                                          static_cast<tcflag_t>(CS8));
                                EXPECT_TRUE(t.c_cflag & CLOCAL);
                                EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INPCK),
                                          static_cast<tcflag_t>(IXOFF));
                                EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
                                EXPECT_EQ(t.c_oflag & OPOST, 0u);
                                EXPECT_EQ(t.c_cc[VMIN], 0);
                                EXPECT_EQ(t.c_cc[VTIME], 0);
                              }},
                      LineRow{"BaudRate", [](TComm& c) { c.SetBaudRate(115200); },
                              [](const termios& t) { EXPECT_EQ(cfgetospeed(&t), B115200); }},
                      LineRow{"ParityCheck", [](TComm& c) { c.SetParityCheck(true); },
                              [](const termios& t) { EXPECT_TRUE(t.c_iflag & INPCK); }},
                      LineRow{"CtsFlow", [](TComm& c) { c.SetOutx_CtsFlow(true); },
                              [](const termios& t) { EXPECT_TRUE(t.c_cflag & CRTSCTS); }},
                      LineRow{"OutXonXoff", [](TComm& c) { c.SetOutx_XonXoffFlow(true); },
                              [](const termios& t) { EXPECT_TRUE(t.c_iflag & IXON); }},
                      LineRow{"InXonXoffOff", [](TComm& c) { c.SetInx_XonXoffFlow(false); },
                              [](const termios& t) { EXPECT_FALSE(t.c_iflag & IXOFF); }},
                      LineRow{"RtsHandshake",
                              [](TComm& c) { c.SetRtsControl(TRtsControl::RtsHandshake); },
                              [](const termios& t) { EXPECT_TRUE(t.c_cflag & CRTSCTS); }},
                      LineRow{"TwoStopBits", [](TComm& c) { c.SetStopBits(TStopBits::_2); },
                              [](const termios& t) { EXPECT_TRUE(t.c_cflag & CSTOPB); }},
                      LineRow{"XonXoffChars",
                              [](TComm& c) {
                                c.SetXonChar(0x01);
                                c.SetXoffChar(0x02);
                              },
                              [](const termios& t) {
                                EXPECT_EQ(t.c_cc[VSTART], 0x01);
                                EXPECT_EQ(t.c_cc[VSTOP], 0x02);
                              }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PtyComm, BothDirectionsFollowEveryRateChange) {
  // Custom rates go through the arbitrary-rate interface; a standard rate
  // after one must not leave the input at the custom rate.
  const auto expectRates = [&](uint32_t want, const char* when) {
    uint32_t input = 0, output = 0;
    ASSERT_TRUE(ReadLineRates(pty.master(), input, output)) << when;
    EXPECT_EQ(input, want) << when;
    EXPECT_EQ(output, want) << when;
  };
  comm.SetBaudRate(250000);
  comm.StartComm();
  expectRates(250000, "custom rate at start");
  for (const uint32_t rate : {12345u, 57600u, 100000u, 9600u}) {
    comm.SetBaudRate(rate);
    expectRates(rate, "after a change while open");
  }
  comm.SetBaudRate(12345);
  comm.StopComm();
  comm.SetBaudRate(57600);
  comm.StartComm();
  expectRates(57600, "after a restart");
}

TEST_F(PtyComm, SettingTheLineCannotHoldIsRefusedAndTheLineLeftAsItWas) {
  // tcsetattr reports success, but the driver drops parity: only the line
  // read back shows it.
  comm.StartComm();
  for (const TParity parity : {TParity::Odd, TParity::Even, TParity::Mark, TParity::Space}) {
    EXPECT_NO_THROW(comm.SetParity(parity));
    EXPECT_EQ(comm.Parity(), parity);
    const termios t = MasterTermios();
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), 0u) << static_cast<int>(parity);
    EXPECT_EQ(cfgetospeed(&t), B57600);
  }
  comm.SetParity(TParity::None);
  comm.SetBaudRate(115200);  // a record the line can hold still applies
  const termios t = MasterTermios();
  EXPECT_EQ(cfgetospeed(&t), B115200);
}

TEST_F(PtyComm, RefusedSettingLeavesTheLineAndRaisesNothing) {
  comm.StartComm();
  EXPECT_NO_THROW(comm.SetBaudRate(0));
  EXPECT_EQ(comm.BaudRate(), 0u);
  const termios t = MasterTermios();
  EXPECT_EQ(cfgetospeed(&t), B57600);
}

TEST_F(PtyComm, IgnoreNullCharDropsNulBytes) {
  comm.SetIgnoreNullChar(true);
  comm.StartComm();
  pty.Write({'a', 0, 'b', 0, 0, 'c'});
  ASSERT_TRUE(WaitUntil([&] { return log.Received().size() >= 3; }));
  PumpEvents(200ms);
  EXPECT_EQ(log.Received(), (std::vector<uint8_t>{'a', 'b', 'c'}));
}

TEST_F(PtyComm, IntervalTimeoutChangedWhileOpenCutsTheNextChunks) {
  comm.StartComm();
  comm.SetReadIntervalTimeout(1500);
  pty.Write({1, 2, 3});
  PumpEvents(400ms);
  pty.Write({4, 5});
  ASSERT_TRUE(WaitUntil([&] { return !log.chunks.empty(); }));
  EXPECT_EQ(log.chunks[0].bytes, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
}

TEST_F(PtyComm, SecondStartRaisesAndLeavesThePortWorking) {
  comm.StartComm();
  try {
    comm.StartComm();
    FAIL() << "no exception";
  } catch (const ECommsError& e) {
    EXPECT_STREQ(e.what(), "This serial port already opened");
  }
  pty.Write({7, 8, 9});
  ASSERT_TRUE(WaitUntil([&] { return log.Received().size() == 3; }));
}

TEST_F(PtyComm, ClosingPutsBackTheLineAsTheLastProgramLeftIt) {
  // A plain reader after the run would otherwise find the port raw with
  // VMIN = 0 and read end of file at once.
  struct Case {
    const char* name;
    speed_t speed;
    uint32_t customRate;
  };
  const Case cases[] = {{"cooked at 9600", B9600, 0}, {"raw at a custom rate", B38400, 12345}};
  for (const Case& c : cases) {
    termios before = MasterTermios();
    before.c_lflag |= ICANON | ECHO | ISIG;
    before.c_iflag |= ICRNL;
    before.c_cc[VMIN] = 1;
    cfsetspeed(&before, c.speed);
    ASSERT_EQ(tcsetattr(pty.master(), TCSANOW, &before), 0) << c.name;
    if (c.customRate != 0) {
      ASSERT_TRUE(SetLineRates(pty.master(), c.customRate, c.customRate));
    }
    before = MasterTermios();

    comm.StartComm();
    ASSERT_EQ(MasterTermios().c_lflag & ICANON, 0u) << c.name;
    comm.StopComm();

    const termios after = MasterTermios();
    EXPECT_EQ(after.c_iflag, before.c_iflag) << c.name;
    EXPECT_EQ(after.c_oflag, before.c_oflag) << c.name;
    EXPECT_EQ(after.c_cflag, before.c_cflag) << c.name;
    EXPECT_EQ(after.c_lflag, before.c_lflag) << c.name;
    EXPECT_EQ(std::memcmp(after.c_cc, before.c_cc, sizeof before.c_cc), 0) << c.name;
    uint32_t input = 0, output = 0;
    ASSERT_TRUE(ReadLineRates(pty.master(), input, output));
    EXPECT_EQ(output, c.customRate != 0 ? c.customRate : 9600u) << c.name;
    EXPECT_EQ(input, output) << c.name;
  }
}

TEST_F(PtyComm, SecondComponentCannotOpenTheSameDevice) {
  comm.StartComm();
  TComm other;
  other.CommName = pty.slavePath();
  try {
    other.StartComm();
    FAIL() << "no exception";
  } catch (const ECommsError& e) {
    EXPECT_STREQ(e.what(), "Error opening serial port");
  }
  EXPECT_FALSE(other.IsOpen());
  comm.StopComm();
  EXPECT_NO_THROW(other.StartComm());
}

TEST(StartComm, RaisesTheFixedTextsForWhatIsNoPort) {
  QTemporaryDir tmp;
  const std::string file = tmp.filePath("os.bin").toStdString();
  std::ofstream(file) << "image";
  struct Case {
    std::string name;
    const char* message;
  };
  const Case cases[] = {
      {file, "File handle is not a comm handle "},
      {"/dev/null", "Cannot setup comm buffer"},
      {tmp.filePath("absent").toStdString(), "Error opening serial port"},
      {"COM200", "Error opening serial port"},
  };
  for (const Case& c : cases) {
    TComm comm;
    comm.CommName = c.name;
    try {
      comm.StartComm();
      ADD_FAILURE() << c.name << ": no exception";
    } catch (const ECommsError& e) {
      EXPECT_STREQ(e.what(), c.message) << c.name;
    }
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_NO_THROW(comm.StopComm());
  }
}

TEST_F(PtyComm, ClosingTheFarSideGivesExactlyOneHangup) {
  comm.StartComm();
  pty.CloseMaster();
  ASSERT_TRUE(WaitUntil([&] { return log.hangups == 1; }));
  PumpEvents(500ms);
  EXPECT_EQ(log.hangups, 1);
  comm.StopComm();
}

TEST_F(PtyComm, StopDuringALongWriteReturnsAndSendsNoMore) {
  comm.StartComm();
  const auto block = Pattern(60000);
  ASSERT_TRUE(comm.WriteCommData(block.data(), static_cast<uint16_t>(block.size())));
  ASSERT_TRUE(comm.WriteCommData(block.data(), static_cast<uint16_t>(block.size())));
  // The far side reads a little, so the write is in progress when stopped.
  const auto head = pty.Read(1000);
  ASSERT_EQ(head.size(), 1000u);
  const auto before = std::chrono::steady_clock::now();
  comm.StopComm();
  // A generous bound that only catches a hang.
  EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
  const auto rest = pty.Drain(300ms);
  EXPECT_LT(head.size() + rest.size(), block.size());
  EXPECT_EQ(pty.Drain(300ms).size(), 0u);
  EXPECT_EQ(log.hangups, 0);
}

TEST_F(PtyComm, StopTwiceAndRestartWorkWithFreshThreads) {
  comm.StopComm();
  comm.StartComm();
  comm.StopComm();
  comm.StopComm();
  comm.StartComm();
  pty.Write({1});
  ASSERT_TRUE(WaitUntil([&] { return log.Received().size() == 1; }));
  const uint8_t byte = 2;
  ASSERT_TRUE(comm.WriteCommData(&byte, 1));
  EXPECT_EQ(pty.Read(1), std::vector<uint8_t>{2});
}

std::size_t CountEntries(const char* path) {
  std::size_t n = 0;
  if (DIR* d = opendir(path)) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

TEST_F(PtyComm, ManyStartStopCyclesLeakNoDescriptorOrThread) {
  comm.StartComm();
  comm.StopComm();
  PumpEvents(50ms);
  const std::size_t fds = CountEntries("/proc/self/fd");
  const std::size_t threads = CountEntries("/proc/self/task");
  for (int i = 0; i < 200; ++i) {
    comm.StartComm();
    comm.StopComm();
  }
  PumpEvents(50ms);
  EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
  EXPECT_EQ(CountEntries("/proc/self/task"), threads);
}

TEST_F(PtyComm, NoticesPostedBeforeTheStopAreStillDelivered) {
  comm.SetReadIntervalTimeout(kMaxDword);
  comm.StartComm();
  pty.Write({1, 2, 3});
  // Give the read time to complete, but do not run the event loop.
  std::this_thread::sleep_for(600ms);
  comm.StopComm();
  ASSERT_TRUE(WaitUntil([&] { return log.Received().size() == 3; }));
}

TEST_F(PtyComm, DestroyingAnOpenComponentStopsIt) {
  auto owned = std::make_unique<TComm>();
  owned->CommName = pty.slavePath();
  owned->StartComm();
  const auto block = Pattern(20000);
  ASSERT_TRUE(owned->WriteCommData(block.data(), static_cast<uint16_t>(block.size())));
  owned.reset();
  EXPECT_TRUE(OpensNow(pty.slavePath()));
}

}  // namespace
