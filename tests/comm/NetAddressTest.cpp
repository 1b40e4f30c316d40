// Network port addresses: what is taken, and what is refused before any
// connection with words that say what is wrong.
#include <gtest/gtest.h>

#include "NetAddress.h"

namespace {

TEST(NetAddress, WellFormedAddressesAreTakenWhateverTheSchemesCase) {
  struct Case {
    const char* url;
    bool rfc2217;
    const char* host;
    unsigned port;
  };
  const Case cases[] = {
      {"rfc2217://bench7.lab:4001", true, "bench7.lab", 4001},
      {"RFC2217://127.0.0.1:4001", true, "127.0.0.1", 4001},
      {"Tcp://10.0.0.2:1/", false, "10.0.0.2", 1},
      {"tcp://[::1]:65535", false, "::1", 65535},
      {"tcp://host:00080", false, "host", 80},
  };
  for (const Case& c : cases) {
    TNetAddress a;
    EXPECT_EQ(ParseNetAddress(c.url, a), "") << c.url;
    EXPECT_TRUE(IsNetworkPortName(c.url)) << c.url;
    EXPECT_EQ(a.rfc2217, c.rfc2217) << c.url;
    EXPECT_EQ(a.host, c.host) << c.url;
    EXPECT_EQ(a.port, c.port) << c.url;
  }
  EXPECT_EQ(NetServerText("tcp://[::1]:4001/"), "[::1]:4001");
}

TEST(NetAddress, MalformedAddressesAreRefusedWithTheirFault) {
  struct Case {
    const char* url;
    const char* says;
  };
  const Case cases[] = {
      {"rfc2217://127.0.0.1:109517", "port 109517 is out of range (1 to 65535)"},
      {"tcp://127.0.0.1:175053", "port 175053 is out of range"},
      {"tcp://127.0.0.1:99999999999999999999", "out of range"},
      {"rfc2217://host", "no port"},
      {"tcp://:4001", "no host"},
      {"tcp://[::1]", "no port"},
      {"tcp://[::1:4001", "closing ']'"},
      {"tcp://::1:4001", "must stand in brackets"},
      {"tcp://host:http", "port 'http' is not a number"},
      {"tcp://host:4001/unit", "'/unit' after the port"},
      {"telnet://host:23", "unknown scheme 'telnet://'"},
  };
  for (const Case& c : cases) {
    TNetAddress a;
    EXPECT_NE(ParseNetAddress(c.url, a).find(c.says), std::string::npos)
        << c.url << ": " << ParseNetAddress(c.url, a);
    EXPECT_EQ(PortNameProblem(c.url).rfind(std::string(c.url) + ": ", 0), 0u) << c.url;
  }
  // Paths and COM names are no addresses: nothing to say about them here.
  for (const char* name : {"/dev/ttyUSB0", "COM3", "ttyS0", "./a:b"})
    EXPECT_EQ(PortNameProblem(name), "") << name;
}

}  // namespace
