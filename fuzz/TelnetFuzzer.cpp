// The telnet layer of network serial ports, fed what a server (or anyone on
// the network) may send. Input: one byte choosing where the stream is cut in
// two reads, then the stream.
//
// Checked: data bytes are exactly the stream without its commands, whatever
// the cut; escaping data and decoding it again gives the data back.

#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "TelnetCodec.h"

namespace {

std::vector<uint8_t> Decode(const uint8_t* data, size_t size, size_t cut) {
  telnet::TDecoder decoder;
  decoder.onSubnegotiation = [](uint8_t, const std::vector<uint8_t>& body) {
    FUZZ_CHECK(body.size() < 256);
  };
  std::vector<uint8_t> out;
  decoder.Feed(data, cut, out);
  decoder.Feed(data + cut, size - cut, out);
  FUZZ_CHECK(out.size() <= size);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t* stream = data + 1;
  const size_t length = size - 1;
  const size_t cut = length == 0 ? 0 : data[0] % (length + 1);
  // The same data whatever way the reads cut the stream.
  FUZZ_CHECK(Decode(stream, length, cut) == Decode(stream, length, 0));

  std::vector<uint8_t> wire;
  telnet::EscapeData(stream, length, wire);
  FUZZ_CHECK(Decode(wire.data(), wire.size(), cut % (wire.size() + 1)) ==
             std::vector<uint8_t>(stream, stream + length));
  return 0;
}
