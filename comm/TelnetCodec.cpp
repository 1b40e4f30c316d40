#include "TelnetCodec.h"

namespace telnet {

namespace {

// A subnegotiation longer than any this option knows is noise: dropped
// rather than grown without bound.
constexpr std::size_t kLongestSubnegotiation = 256;

}  // namespace

void TDecoder::Feed(const uint8_t* bytes, std::size_t length, std::vector<uint8_t>& data) {
  for (std::size_t i = 0; i < length; ++i) {
    const uint8_t b = bytes[i];
    switch (state_) {
      case State::Data:
        if (b == kIac)
          state_ = State::Iac;
        else
          data.push_back(b);
        break;
      case State::Iac:
        if (b == kIac) {
          data.push_back(kIac);
          state_ = State::Data;
        } else if (b == kWill || b == kWont || b == kDo || b == kDont) {
          verb_ = b;
          state_ = State::Verb;
        } else if (b == kSb) {
          sub_.clear();
          state_ = State::Sb;
        } else {
          state_ = State::Data;  // NOP, GA, BRK and the like: nothing for a port
        }
        break;
      case State::Verb:
        if (onNegotiation) onNegotiation(verb_, b);
        state_ = State::Data;
        break;
      case State::Sb:
        if (b == kIac)
          state_ = State::SbIac;
        else if (sub_.size() < kLongestSubnegotiation)
          sub_.push_back(b);
        break;
      case State::SbIac:
        if (b == kSe) {
          if (!sub_.empty() && onSubnegotiation)
            onSubnegotiation(sub_[0], std::vector<uint8_t>(sub_.begin() + 1, sub_.end()));
          state_ = State::Data;
        } else {
          if (b == kIac && sub_.size() < kLongestSubnegotiation) sub_.push_back(kIac);
          state_ = State::Sb;
        }
        break;
    }
  }
}

void EscapeData(const uint8_t* data, std::size_t length, std::vector<uint8_t>& out) {
  out.reserve(out.size() + length + length / 8);
  for (std::size_t i = 0; i < length; ++i) {
    out.push_back(data[i]);
    if (data[i] == kIac) out.push_back(kIac);
  }
}

std::vector<uint8_t> Negotiation(uint8_t verb, uint8_t option) {
  return {kIac, verb, option};
}

std::vector<uint8_t> ComPortCommand(uint8_t command, const std::vector<uint8_t>& value) {
  std::vector<uint8_t> out{kIac, kSb, kComPort, command};
  EscapeData(value.data(), value.size(), out);
  out.push_back(kIac);
  out.push_back(kSe);
  return out;
}

}  // namespace telnet
