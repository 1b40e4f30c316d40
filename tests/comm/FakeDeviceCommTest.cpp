// TComm over a scripted device, for what a pseudo-terminal cannot produce:
// line errors, carrier and ring events, failing reads and writes.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>

#include "CommTestSupport.h"
#include "FakeSerialDevice.h"

namespace {

using namespace std::chrono_literals;

class FakeComm : public ::testing::Test {
 protected:
  void SetUp() override {
    comm.CommName = "COM1";
    ApplyUtilitySettings(comm);
    comm.SetDeviceOpener([this](const std::string&) {
      auto device = std::make_unique<TFakeDevice>();
      fake = device.get();
      configure(*fake);
      TOpenResult r;
      r.device = std::move(device);
      r.error = TOpenError::None;
      return r;
    });
    log.Attach(comm);
  }

  std::function<void(TFakeDevice&)> configure = [](TFakeDevice&) {};
  TComm comm;
  TFakeDevice* fake = nullptr;
  TEventLog log;
};

TEST_F(FakeComm, LineErrorsAreReportedAndReceptionGoesOn) {
  comm.StartComm();
  TLineSnapshot lines;
  lines.frame = 1;
  lines.parity = 2;
  fake->SetLines(lines);
  ASSERT_TRUE(WaitUntil([&] { return !log.errors.empty(); }));
  EXPECT_EQ(log.errors[0], line_error::kFrame | line_error::kRxParity);
  lines.overrun = 1;
  lines.brk = 1;
  lines.bufOverrun = 1;
  fake->SetLines(lines);
  ASSERT_TRUE(WaitUntil([&] { return log.errors.size() == 2; }));
  EXPECT_EQ(log.errors[1], line_error::kOverrun | line_error::kBreak | line_error::kRxOver);
  fake->Feed({1, 2});
  ASSERT_TRUE(WaitUntil([&] { return log.Received().size() == 2; }));
  EXPECT_EQ(log.hangups, 0);
}

TEST_F(FakeComm, LineErrorArrivingWithDataIsReportedBeforeIt) {
  comm.StartComm();
  TLineSnapshot lines;
  lines.parity = 1;
  fake->SetLines(lines);
  fake->Feed({0x00});
  ASSERT_TRUE(WaitUntil([&] { return !log.chunks.empty(); }));
  ASSERT_FALSE(log.errors.empty());
  EXPECT_LT(std::find(log.order.begin(), log.order.end(), "error"),
            std::find(log.order.begin(), log.order.end(), "data"));
}

TEST_F(FakeComm, CarrierAndRingChangesRaiseModemEvents) {
  comm.StartComm();
  TLineSnapshot lines;
  lines.dcd = 1;
  fake->SetLines(lines);
  ASSERT_TRUE(WaitUntil([&] { return log.modem.size() == 1; }));
  EXPECT_EQ(log.modem[0], modem_event::kCarrierDetect);
  lines.rng = 1;
  fake->SetLines(lines);
  ASSERT_TRUE(WaitUntil([&] { return log.modem.size() == 2; }));
  EXPECT_EQ(log.modem[1], modem_event::kRing);
  EXPECT_TRUE(log.errors.empty());
}

TEST_F(FakeComm, IoErrorMidReadDeliversWhatArrivedThenOneHangup) {
  comm.StartComm();
  using Kind = TFakeDevice::Step::Kind;
  fake->FeedAll({{Kind::Data, {'a', 'b', 'c'}}, {Kind::Error, {}}, {Kind::Data, {'d'}}});
  ASSERT_TRUE(WaitUntil([&] { return log.hangups == 1; }));
  PumpEvents(300ms);
  EXPECT_EQ(log.hangups, 1);
  ASSERT_EQ(log.chunks.size(), 1u);
  EXPECT_EQ(log.chunks[0].bytes, (std::vector<uint8_t>{'a', 'b', 'c'}));
  EXPECT_LT(std::find(log.order.begin(), log.order.end(), "data"),
            std::find(log.order.begin(), log.order.end(), "hangup"));
  comm.StopComm();
}

TEST_F(FakeComm, EmptyReadMeansTheDeviceVanished) {
  comm.StartComm();
  fake->Feed(TFakeDevice::Step{TFakeDevice::Step::Kind::EndOfFile, {}});
  ASSERT_TRUE(WaitUntil([&] { return log.hangups == 1; }));
  PumpEvents(300ms);
  EXPECT_EQ(log.hangups, 1);
  EXPECT_TRUE(log.chunks.empty());
}

TEST_F(FakeComm, FailedWriteGivesOneHangupAndLaterWritesAreRefused) {
  comm.StartComm();
  fake->FailWrites();
  const uint8_t reply[3] = {1, 2, 3};
  ASSERT_TRUE(comm.WriteCommData(reply, 3));
  ASSERT_TRUE(WaitUntil([&] { return log.hangups == 1; }));
  ASSERT_TRUE(WaitUntil([&] { return !comm.WriteCommData(reply, 3); }, 2s));
  EXPECT_TRUE(comm.TransmitIdle());
  // Reception is not the transmit thread's business.
  fake->Feed({9});
  ASSERT_TRUE(WaitUntil([&] { return log.Received().size() == 1; }));
  EXPECT_EQ(log.hangups, 1);
  comm.StopComm();
  comm.StartComm();
  EXPECT_TRUE(comm.WriteCommData(reply, 3));
}

TEST_F(FakeComm, ReturnAtOnceTimeoutsDeliverEachReadAsItComes) {
  comm.SetReadIntervalTimeout(kMaxDword);
  comm.StartComm();
  fake->Feed({'a', 'b'});
  fake->Feed({'c', 'd'});
  ASSERT_TRUE(WaitUntil([&] { return log.chunks.size() == 2; }));
  EXPECT_EQ(log.chunks[0].bytes, (std::vector<uint8_t>{'a', 'b'}));
  EXPECT_EQ(log.chunks[1].bytes, (std::vector<uint8_t>{'c', 'd'}));
  // An empty read is issued again, not the end of reception.
  PumpEvents(100ms);
  fake->Feed({'e'});
  ASSERT_TRUE(WaitUntil([&] { return log.chunks.size() == 3; }));
}

TEST_F(FakeComm, IntervalTimeoutJoinsReadsOfOneBurst) {
  comm.StartComm();
  using Kind = TFakeDevice::Step::Kind;
  fake->FeedAll({{Kind::Data, {'a', 'b'}}, {Kind::Data, {'c', 'd'}}});
  ASSERT_TRUE(WaitUntil([&] { return !log.chunks.empty(); }));
  PumpEvents(200ms);
  ASSERT_EQ(log.chunks.size(), 1u);
  EXPECT_EQ(log.chunks[0].bytes, (std::vector<uint8_t>{'a', 'b', 'c', 'd'}));
}

TEST_F(FakeComm, IdlePortWakesOnlyAFewTimesASecond) {
  comm.StartComm();
  PumpEvents(50ms);
  const int before = fake->ReadWaits();
  PumpEvents(1000ms);
  EXPECT_LE(fake->ReadWaits() - before, 6);
}

TEST_F(FakeComm, IdlePortWithoutLineTotalsNeverWakes) {
  configure = [](TFakeDevice& d) { d.SetLineTotalsSupported(false); };
  comm.StartComm();
  PumpEvents(50ms);
  const int before = fake->ReadWaits();
  PumpEvents(600ms);
  EXPECT_EQ(fake->ReadWaits() - before, 0);
}

TEST_F(FakeComm, NoticesKeepArrivingInsideANestedEventLoop) {
  bool nestedSawSecond = false;
  comm.OnReceiveData = [&](TComm*, const uint8_t* buffer, uint16_t length) {
    log.chunks.push_back({std::vector<uint8_t>(buffer, buffer + length), buffer[length]});
    if (log.chunks.size() != 1) return;
    // A modal box: the next chunk must be delivered while it is open.
    fake->Feed({'b'});
    QEventLoop modal;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &modal, &QEventLoop::quit);
    guard.start(5000);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (log.chunks.size() >= 2) modal.quit();
    });
    poll.start(5);
    modal.exec();
    nestedSawSecond = log.chunks.size() >= 2;
  };
  comm.StartComm();
  fake->Feed({'a'});
  ASSERT_TRUE(WaitUntil([&] { return log.chunks.size() >= 2; }));
  EXPECT_TRUE(nestedSawSecond);
}

TEST_F(FakeComm, SettersReapplyOnlyChangedValuesAndOnlyWhileOpen) {
  comm.SetBaudRate(19200);
  comm.StartComm();
  const int atStart = fake->Applied();
  EXPECT_EQ(atStart, 1);
  comm.SetBaudRate(19200);
  EXPECT_EQ(fake->Applied(), atStart);
  comm.SetBaudRate(38400);
  EXPECT_EQ(fake->Applied(), atStart + 1);
  EXPECT_EQ(fake->GetState().BaudRate, 38400u);
  comm.SetReadIntervalTimeout(250);
  EXPECT_EQ(fake->GetTimeouts().ReadIntervalTimeout, 250u);
  EXPECT_EQ(fake->Applied(), atStart + 1);
}

TEST_F(FakeComm, ModemStateComesFromTheOpenDeviceOnly) {
  EXPECT_EQ(comm.GetModemState(), 0u);
  comm.StartComm();
  EXPECT_EQ(comm.GetModemState(), modem_status::kCtsOn | modem_status::kRlsdOn);
  comm.StopComm();
  EXPECT_EQ(comm.GetModemState(), 0u);
}

TEST_F(FakeComm, UnassignedEventsAreSkipped) {
  comm.OnReceiveData = nullptr;
  comm.OnModemStateChange = nullptr;
  comm.OnSendDataEmpty = nullptr;
  comm.StartComm();
  fake->Feed({1, 2, 3});
  const uint8_t byte = 5;
  ASSERT_TRUE(comm.WriteCommData(&byte, 1));
  ASSERT_TRUE(WaitUntil([&] { return fake->Written().size() == 1; }));
  PumpEvents(300ms);
  EXPECT_TRUE(log.chunks.empty());
}

}  // namespace
