#pragma once
// The station file: what a fixture updates and where its units sit. An INI
// file, as desktop and systemd files are:
//
//   [station]
//   name = line3-fixture-a
//   image = /srv/kv37/KV37_OS.bin   ; relative to this file's folder
//   sha256 = 3f5a...                ; optional: the image must have it
//   database = units.db             ; optional here: --record names it too
//   settle = 1.0                    ; seconds between an adapter's arrival and the start
//   wait-for-unit = no              ; yes: repeat the start command until the unit answers
//   fast = no
//
//   [slot A1]
//   serial = FT1234AB               ; the adapter's USB serial number
//   [slot A2]
//   usb-port = 1-1.2                ; the physical USB port, for adapters without a serial
//   [slot A3]
//   path = /dev/kv37-bench3         ; a device or link; watched in its folder
//   [slot B1]
//   url = rfc2217://bench7:4001     ; a network serial port (or tcp://HOST:PORT)
//
// Any thread; keeps no state.

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

namespace kv37 {

struct SlotSpec {
  enum class By { Serial, UsbPort, Path, Network };
  std::string name;
  By by = By::Path;
  std::string value;
  int line = 0;  // of its [slot] heading, for messages
};

struct StationSpec {
  std::string file;
  std::string name;
  std::string image;     // absolute, or as written when the file's folder is unknown
  std::string sha256;    // lower-case hex; empty when not given
  std::string database;  // resolved like the image; empty when not given
  std::string forward;   // the records server's URI (libpq); empty when none
  std::chrono::milliseconds settle{1000};
  bool waitForUnit = false;
  bool fast = false;
  std::vector<SlotSpec> slotSpecs;  // "slots" is a Qt keyword
};

// A file that cannot be read or parsed: the message names the file and,
// where there is one, the line ("station.ini:7: unknown key ...").
class StationFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads and checks `path`: a regular file of at most 1 MiB (a FIFO, a device
// or a folder is refused without waiting). Throws StationFileError, whose
// text has the file's control bytes escaped.
StationSpec ReadStationFile(const std::string& path);
// The same for text already read; `path` names it in messages and gives the
// folder that relative paths are taken from.
StationSpec ParseStationFile(const std::string& text, const std::string& path);

// The paths of the path slots, for the adapter watch.
std::vector<std::string> SlotPaths(const StationSpec& spec);

// `text` with its control bytes written as \xNN, fit for a terminal.
std::string Printable(const std::string& text);

// "serial FT1234AB", "USB port 1-1.2", "path /dev/kv37-bench3",
// "rfc2217://bench7:4001".
std::string SlotSpecText(const SlotSpec& slot);

}  // namespace kv37
