// TComm over network serial ports: the telnet layer alone, then through the
// real ser2net on loopback to a pseudo-terminal.
#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>

#include "CommTestSupport.h"
#include "NetServers.h"
#include "PortName.h"
#include "TelnetCodec.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

TEST(TelnetDecoder, DataCommandsAndSubnegotiationsComeApartWhereverTheReadsSplit) {
  // Data with a doubled 0xFF, a negotiation, a COM port answer with a
  // doubled 0xFF in its value, more data.
  const Bytes wire{'a',  0xFF, 0xFF, 'b',  0xFF, 0xFD, 0x2C, 0xFF, 0xFA, 0x2C, 0x65,
                   0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xF0, 'c',  0xFF, 0xF1, 'd'};
  for (std::size_t split = 0; split <= wire.size(); ++split) {
    telnet::TDecoder decoder;
    std::vector<std::pair<uint8_t, uint8_t>> negotiations;
    std::vector<Bytes> subs;
    decoder.onNegotiation = [&](uint8_t verb, uint8_t option) {
      negotiations.emplace_back(verb, option);
    };
    decoder.onSubnegotiation = [&](uint8_t option, const Bytes& body) {
      Bytes sub{option};
      sub.insert(sub.end(), body.begin(), body.end());
      subs.push_back(sub);
    };
    Bytes data;
    decoder.Feed(wire.data(), split, data);
    decoder.Feed(wire.data() + split, wire.size() - split, data);
    EXPECT_EQ(data, (Bytes{'a', 0xFF, 'b', 'c', 'd'})) << "split at " << split;
    ASSERT_EQ(negotiations.size(), 1u) << split;
    EXPECT_EQ(negotiations[0], std::make_pair(telnet::kDo, telnet::kComPort));
    ASSERT_EQ(subs.size(), 1u) << split;
    EXPECT_EQ(subs[0], (Bytes{0x2C, 0x65, 0x00, 0x00, 0xFF})) << split;
  }
  Bytes escaped;
  const Bytes page{0xFF, 0x00, 0xFF, 0xFF};
  telnet::EscapeData(page.data(), page.size(), escaped);
  EXPECT_EQ(escaped, (Bytes{0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}));
}

class NetComm : public ::testing::Test {
 protected:
  void SetUp() override {
    comm.CommName = server.Url(0);
    ApplyUtilitySettings(comm);
    log.Attach(comm);
  }
  speed_t LineSpeed() {
    termios t{};
    EXPECT_EQ(tcgetattr(pty.master(), &t), 0);
    return cfgetospeed(&t);
  }

  TPty pty;
  kv37::test::Ser2Net server{{pty.slavePath()}};
  TComm comm;
  TEventLog log;
};

TEST_F(NetComm, RatesReachTheFarDeviceAndEveryByteValueCrossesBothWays) {
  comm.StartComm();
  EXPECT_EQ(LineSpeed(), B57600);
  comm.SetBaudRate(115200);
  EXPECT_EQ(LineSpeed(), B115200);
  // ser2net cannot set DTR or RTS on a pseudo-terminal and never answers.
  EXPECT_NE(comm.LineNote().find("did not confirm"), std::string::npos) << comm.LineNote();

  // 0xFF is the telnet command byte: doubled on the way out, undoubled in.
  // Every byte value up and down again: 0xFF twice in a row in the middle.
  Bytes twice(512);
  for (int i = 0; i < 512; ++i) twice[i] = static_cast<uint8_t>(i < 256 ? i : 511 - i);
  ASSERT_TRUE(comm.WriteCommData(twice.data(), static_cast<uint16_t>(twice.size())));
  EXPECT_EQ(pty.Read(twice.size()), twice);
  pty.Write(twice);
  ASSERT_TRUE(WaitUntil([&] { return log.Received().size() == twice.size(); }));
  EXPECT_EQ(log.Received(), twice);
}

TEST_F(NetComm, AServerThatGoesAwayIsAHangupAfterWhatItSentBefore) {
  comm.StartComm();
  pty.Write({1, 2, 3});
  ASSERT_TRUE(WaitUntil([&] { return log.Received().size() == 3; }));
  server.Kill();
  ASSERT_TRUE(WaitUntil([&] { return log.hangups == 1; }, 2s));
  EXPECT_EQ(log.order.back(), "hangup");
}

TEST(NetPort, AnOpenThatCannotBeMadeSaysWhy) {
  TPty held;
  kv37::test::Ser2Net server({held.slavePath()});
  // The first client holds the server's port.
  const TOpenResult first = OpenPort(server.Url(0));
  ASSERT_EQ(first.error, TOpenError::None);
  kv37::test::BlackHole hole;
  struct Case {
    std::string url;
    TOpenError error;
    const char* says;
  };
  const Case cases[] = {
      {"rfc2217://127.0.0.1:" + std::to_string(kv37::test::FreeTcpPort()), TOpenError::Refused,
       "connection refused"},
      {"rfc2217://127.0.0.1:" + std::to_string(hole.Port()), TOpenError::TimedOut, "timed out"},
      {server.Url(0), TOpenError::Busy, "busy, held by another client of the server"},
  };
  for (const Case& c : cases) {
    const auto began = std::chrono::steady_clock::now();
    const TOpenResult r = OpenPort(c.url);
    EXPECT_EQ(r.error, c.error) << c.url;
    EXPECT_NE(DescribeOpenFailure(r).find(c.says), std::string::npos) << DescribeOpenFailure(r);
    EXPECT_LT(std::chrono::steady_clock::now() - began, kNetworkOpenTimeout + 500ms) << c.url;
  }
}

}  // namespace
