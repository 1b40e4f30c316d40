// TComm over network serial ports: the telnet layer alone, then through the
// real ser2net on loopback to a pseudo-terminal.
#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <optional>
#include <thread>

#include "CommTestSupport.h"
#include "NetServers.h"
#include "PortName.h"
#include "PosixNameLookup.h"
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
  // ser2net cannot set DTR or RTS on a pseudo-terminal and never answers;
  // that is not waited for, but said once the answers are due.
  EXPECT_EQ(comm.LineNote(), "");
  EXPECT_TRUE(WaitUntil([&] { return !comm.LineNote().empty(); }, 1s));
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

// A raw port carries every byte value as it is, runs of 0xFF (telnet's
// command byte) included, both ways.
TEST(NetPort, ARawPortCarriesEveryByteValueUnchangedBothWays) {
  TPty pty;
  kv37::test::Ser2Net server({pty.slavePath()}, false);
  TComm comm;
  comm.CommName = server.Url(0);
  ApplyUtilitySettings(comm);
  TEventLog log;
  log.Attach(comm);
  comm.StartComm();
  Bytes bytes(768);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = i < 256 ? static_cast<uint8_t>(i) : i < 512 ? 0xFF : static_cast<uint8_t>(767 - i);
  ASSERT_TRUE(comm.WriteCommData(bytes.data(), static_cast<uint16_t>(bytes.size())));
  EXPECT_EQ(pty.Read(bytes.size() + 1, 500ms), bytes);
  pty.Write(bytes);
  WaitUntil([&] { return log.Received().size() >= bytes.size(); }, 3s);
  PumpEvents(100ms);
  EXPECT_EQ(log.Received(), bytes);
}

// Nobody reads the far device, so ser2net stops reading the connection and
// the queue to it fills; the port must still close at once, as a serial
// port's close discards what is queued.
TEST_F(NetComm, ClosingDoesNotWaitForAServerThatStoppedReading) {
  comm.StartComm();
  const Bytes block(4096, 0xFF);
  for (int i = 0; i < 4096; ++i) comm.WriteCommData(block.data(), block.size());
  PumpEvents(1500ms);
  const auto began = std::chrono::steady_clock::now();
  comm.StopComm();
  EXPECT_LT(std::chrono::steady_clock::now() - began, 300ms);
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
  TPty heldRaw;
  kv37::test::Ser2Net rawServer({heldRaw.slavePath()}, false);
  // The first client holds each server's port.
  const TOpenResult first = OpenPort(server.Url(0));
  ASSERT_EQ(first.error, TOpenError::None);
  const TOpenResult firstRaw = OpenPort(rawServer.Url(0));
  ASSERT_EQ(firstRaw.error, TOpenError::None);
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
      {rawServer.Url(0), TOpenError::Busy, "busy, held by another client of the server"},
      // A URL's scheme is case-insensitive: a server address, not a file.
      {"TCP://127.0.0.1:" + std::to_string(kv37::test::FreeTcpPort()), TOpenError::Refused,
       "connection refused"},
      // 109517 - 65536 would be another server's port.
      {"rfc2217://127.0.0.1:109517", TOpenError::BadAddress, "port 109517 is out of range"},
  };
  for (const Case& c : cases) {
    const auto began = std::chrono::steady_clock::now();
    const TOpenResult r = OpenPort(c.url);
    EXPECT_EQ(r.error, c.error) << c.url;
    EXPECT_NE(DescribeOpenFailure(r).find(c.says), std::string::npos) << DescribeOpenFailure(r);
    EXPECT_LT(std::chrono::steady_clock::now() - began, kNetworkOpenTimeout + 500ms) << c.url;
  }
}

// A name server that never answers: the open still ends within its time-out.
TEST(NetPort, ANameLookupThatDoesNotEndIsBoundedByTheOpenTimeout) {
  const TGetAddrInfo previous =
      SetGetAddrInfo([](const char*, const char*, const addrinfo*, addrinfo**) {
        std::this_thread::sleep_for(2s);
        return EAI_AGAIN;
      });
  const auto began = std::chrono::steady_clock::now();
  const TOpenResult r = OpenNetworkPort("rfc2217://bench7.lab:4001", 300ms);
  EXPECT_LT(std::chrono::steady_clock::now() - began, 600ms);
  SetGetAddrInfo(previous);
  EXPECT_EQ(r.error, TOpenError::TimedOut);
  EXPECT_NE(DescribeOpenFailure(r).find("bench7.lab was not resolved within"), std::string::npos)
      << DescribeOpenFailure(r);
}

}  // namespace

namespace {

// The owner's thread goes on while a server is awaited; a stop in the
// meantime cancels the open.
TEST(NetPort, AnAsynchronousOpenLeavesTheOwnersThreadFreeAndCanBeCancelled) {
  kv37::test::BlackHole hole;
  TPty pty;
  kv37::test::Ser2Net server({pty.slavePath()});
  struct Case {
    std::string url;
    bool stopAtOnce;
    const char* error;  // "" for an open port, nullptr for no answer at all
  };
  const Case cases[] = {
      {server.Url(0), false, ""},
      {"rfc2217://127.0.0.1:" + std::to_string(hole.Port()), false, "Error opening serial port"},
      {server.Url(0), true, nullptr},
  };
  for (const Case& c : cases) {
    TComm comm;
    comm.CommName = c.url;
    std::optional<std::string> error;
    const auto began = std::chrono::steady_clock::now();
    ASSERT_TRUE(comm.StartCommAsync([&](const std::string& e) { error = e; }));
    EXPECT_LT(std::chrono::steady_clock::now() - began, 50ms) << c.url;
    EXPECT_TRUE(comm.IsOpening());
    EXPECT_FALSE(comm.StartCommAsync(nullptr));
    if (c.stopAtOnce) comm.StopComm();
    WaitUntil([&] { return error.has_value(); }, c.error == nullptr ? 1s : 4s);
    if (c.error == nullptr) {
      PumpEvents(200ms);
      EXPECT_FALSE(error.has_value());
      EXPECT_FALSE(comm.IsOpen());
    } else {
      ASSERT_TRUE(error.has_value()) << c.url;
      EXPECT_EQ(*error, c.error);
      EXPECT_EQ(comm.IsOpen(), *error == "");
    }
    EXPECT_FALSE(comm.IsOpening());
  }
}

}  // namespace
