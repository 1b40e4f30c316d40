// The telnet layer of a network serial port (RFC 854, with the RFC 2217
// COM-PORT-OPTION): data bytes with 0xFF doubled, commands and option
// subnegotiations in between. Pure: no sockets, no threads; the network
// device feeds it what it reads and sends what it makes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace telnet {

inline constexpr uint8_t kIac = 255;
inline constexpr uint8_t kDont = 254;
inline constexpr uint8_t kDo = 253;
inline constexpr uint8_t kWont = 252;
inline constexpr uint8_t kWill = 251;
inline constexpr uint8_t kSb = 250;
inline constexpr uint8_t kSe = 240;

inline constexpr uint8_t kBinary = 0;
inline constexpr uint8_t kSuppressGoAhead = 3;
inline constexpr uint8_t kComPort = 44;

// COM-PORT-OPTION commands, client to server; the server answers each
// with the same number + 100 and the value it took.
namespace comport {
inline constexpr uint8_t kSetBaudRate = 1;
inline constexpr uint8_t kSetDataSize = 2;
inline constexpr uint8_t kSetParity = 3;
inline constexpr uint8_t kSetStopSize = 4;
inline constexpr uint8_t kSetControl = 5;
inline constexpr uint8_t kNotifyLineState = 6;
inline constexpr uint8_t kNotifyModemState = 7;
inline constexpr uint8_t kSetLineStateMask = 10;
inline constexpr uint8_t kSetModemStateMask = 11;
inline constexpr uint8_t kPurgeData = 12;
inline constexpr uint8_t kServerOffset = 100;

// SET-CONTROL values.
inline constexpr uint8_t kOutboundNoFlow = 1, kOutboundXonXoff = 2, kOutboundHardware = 3;
inline constexpr uint8_t kDtrOn = 8, kDtrOff = 9, kRtsOn = 11, kRtsOff = 12;
inline constexpr uint8_t kInboundNoFlow = 14, kInboundXonXoff = 15, kInboundHardware = 16;
// SET-STOPSIZE values (1.5 stop bits is 3); SET-PARITY's are the classic
// API's parity numbers (none 0 .. space 4) plus one.
inline constexpr uint8_t kStopOne = 1, kStopTwo = 2, kStopOneAndHalf = 3;
inline constexpr uint8_t kParityOffset = 1;
// PURGE-DATA values.
inline constexpr uint8_t kPurgeReceive = 1, kPurgeTransmit = 2, kPurgeBoth = 3;
}  // namespace comport

// Splits a received byte stream into data and telnet commands. Keeps its
// state between calls, so a command split across two reads is taken whole;
// a command is never data and never ends a run of data.
class TDecoder {
 public:
  // (verb, option) for WILL/WONT/DO/DONT; (kSb, option) never.
  std::function<void(uint8_t verb, uint8_t option)> onNegotiation;
  // One subnegotiation: its option and its bytes with 0xFF undoubled.
  std::function<void(uint8_t option, const std::vector<uint8_t>& body)> onSubnegotiation;

  // Appends the data bytes of `bytes` to `data`.
  void Feed(const uint8_t* bytes, std::size_t length, std::vector<uint8_t>& data);

 private:
  enum class State { Data, Iac, Verb, Sb, SbIac };
  State state_ = State::Data;
  uint8_t verb_ = 0;
  std::vector<uint8_t> sub_;
};

// `data` as it goes on the wire: every 0xFF doubled.
void EscapeData(const uint8_t* data, std::size_t length, std::vector<uint8_t>& out);
// IAC verb option.
std::vector<uint8_t> Negotiation(uint8_t verb, uint8_t option);
// IAC SB COM-PORT-OPTION command value... IAC SE, 0xFF in the value doubled.
std::vector<uint8_t> ComPortCommand(uint8_t command, const std::vector<uint8_t>& value);

}  // namespace telnet
