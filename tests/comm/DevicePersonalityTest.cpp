// The receive and transmit threads over devices that behave as real hardware
// does: a UART with line-event counters, a USB adapter with its latency timer,
// a pseudo-terminal. Every case runs on each.
#include <gtest/gtest.h>

#include <algorithm>

#include "CommTestSupport.h"
#include "FakeSerialDevice.h"

namespace {

using namespace std::chrono_literals;

class DevicePersonality : public ::testing::TestWithParam<TPersonality> {
 protected:
  void SetUp() override {
    comm.CommName = "COM1";
    ApplyUtilitySettings(comm);
    comm.SetDeviceOpener([this](const std::string&) {
      auto device = std::make_unique<TFakeDevice>(GetParam());
      fake = device.get();
      TOpenResult r;
      r.device = std::move(device);
      r.error = TOpenError::None;
      return r;
    });
    log.Attach(comm);
    comm.StartComm();
  }

  std::ptrdiff_t Position(const char* what) const {
    return std::find(log.order.begin(), log.order.end(), what) - log.order.begin();
  }

  TComm comm;
  TFakeDevice* fake = nullptr;
  TEventLog log;
};

TEST_P(DevicePersonality, FrameSentInOneBurstArrivesAsOneChunk) {
  // A page reply spans several USB packets; the 16 ms between them is well
  // inside the interval time-out.
  const std::vector<uint8_t> frame = Pattern(261);
  fake->Feed(frame);
  ASSERT_TRUE(WaitUntil([&] { return !log.chunks.empty(); }));
  PumpEvents(200ms);
  ASSERT_EQ(log.chunks.size(), 1u);
  EXPECT_EQ(log.chunks[0].bytes, frame);
  EXPECT_EQ(log.chunks[0].after, 0);
  ASSERT_FALSE(log.modem.empty());
  EXPECT_TRUE(log.modem[0] & modem_event::kCharReceived);
  EXPECT_LT(Position("modem"), Position("data"));
}

TEST_P(DevicePersonality, ChunksAreCutByTheIntervalGap) {
  struct Case {
    const char* name;
    std::chrono::milliseconds gap;
    std::size_t chunks;
  };
  for (const Case& c : {Case{"gap inside the interval joins", 40ms, 1},
                        Case{"gap past the interval splits", 180ms, 2}}) {
    log = TEventLog{};
    log.Attach(comm);
    fake->Feed({0x02, 0xAA, 0x00});
    PumpEvents(c.gap);
    fake->Feed({0x01, 0x52, 0xAD, 0x03});
    ASSERT_TRUE(WaitUntil([&] { return log.Received().size() == 7; })) << c.name;
    PumpEvents(150ms);
    EXPECT_EQ(log.chunks.size(), c.chunks) << c.name;
  }
}

TEST_P(DevicePersonality, VanishingDeviceDeliversWhatWasReadThenOneHangup) {
  struct Case {
    const char* name;
    std::vector<uint8_t> inHand;
  };
  for (const Case& c : {Case{"with a chunk in hand", {0x02, 0x02, 0x00, 0x00, 0x00, 0xFA, 0x03}},
                        Case{"while idle", {}}}) {
    comm.StopComm();
    log = TEventLog{};
    log.Attach(comm);
    comm.StartComm();
    if (!c.inHand.empty()) {
      // Read by the thread, and the interval gap still running.
      fake->Feed(c.inHand);
      ASSERT_TRUE(WaitUntil([&] { return fake->Unread() == 0; })) << c.name;
    }
    fake->Vanish();
    ASSERT_TRUE(WaitUntil([&] { return log.hangups == 1; })) << c.name;
    PumpEvents(300ms);
    EXPECT_EQ(log.hangups, 1) << c.name;
    EXPECT_EQ(log.Received(), c.inHand) << c.name;
    if (!c.inHand.empty()) {
      EXPECT_LT(Position("data"), Position("hangup")) << c.name;
    }
  }
}

TEST_P(DevicePersonality, StopWhileFlowControlHoldsAWriteEndsWithoutHangup) {
  PumpEvents(50ms);  // the transmit thread's first empty queue is reported
  const int emptiesBefore = log.empties;
  fake->HoldOutput(true);
  const std::vector<uint8_t> reply = Pattern(261);
  ASSERT_TRUE(comm.WriteCommData(reply.data(), static_cast<uint16_t>(reply.size())));
  PumpEvents(50ms);
  EXPECT_FALSE(comm.TransmitIdle());
  comm.StopComm();
  EXPECT_TRUE(comm.TransmitIdle());
  PumpEvents(100ms);
  EXPECT_EQ(log.hangups, 0);
  EXPECT_EQ(log.empties, emptiesBefore);  // the held block was never sent
}

INSTANTIATE_TEST_SUITE_P(Hardware, DevicePersonality,
                         ::testing::Values(TPersonality::Uart16550, TPersonality::UsbAdapter,
                                           TPersonality::PseudoTerminal),
                         [](const auto& info) { return PersonalityName(info.param); });

}  // namespace
