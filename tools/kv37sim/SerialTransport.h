#pragma once
// The operating system's serial lines: a real serial device, or a
// pseudo-terminal pair whose far end the utility opens as its port.

#include <memory>
#include <string>

#include "ByteTransport.h"

namespace kv37::sim {

class SerialTransport : public ByteTransport {
 public:
  // Opens `path` exclusively, raw, 8 data bits, no parity, one stop bit, no
  // flow control, at `baud` bit/s. Throws TransportError when the device
  // cannot be opened or does not take the settings.
  static std::unique_ptr<SerialTransport> OpenDevice(const std::string& path, unsigned baud);

  // Creates a pseudo-terminal pair in raw mode and keeps only its own end
  // open, as a unit holds nothing of the computer's port: the utility may
  // open and close the far end (PeerPath) at any time, and while nobody has
  // it open the unit simply hears nothing. Throws TransportError.
  static std::unique_ptr<SerialTransport> CreatePseudoTerminal();

  // The path the utility opens: the far end of a pseudo-terminal, or the
  // device path itself.
  virtual const std::string& PeerPath() const = 0;
};

}  // namespace kv37::sim
