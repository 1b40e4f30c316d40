#pragma once
// The checks every front end makes before a station runs, so that each
// refuses the same things with the same words: the station file, the image
// (readable, neither empty nor all 0xFF, the SHA-256 the file expects), two
// slots on one adapter, a unit database named.
//
// Any thread; no state.

#include <stdexcept>
#include <string>

#include "MemoryStream.h"
#include "PortEvents.h"
#include "StationFile.h"

namespace kv37 {

class StationRefusal : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct StationSetup {
  StationSpec spec;
  ImageInfo image;
  std::string database;  // the unit database's path
  std::string warning;   // for the operator, "" when none (an image larger than a unit asks for)
};

// Reads and checks the station file at `file` and loads its image into
// `image`. `database`, when not empty, is the front end's choice over the
// file's; `databaseOption` is how the front end takes one ("--record"), named
// when none is. Throws StationRefusal with the reason.
StationSetup PrepareStation(const std::string& file, const std::string& database,
                            MemoryStream& image, const std::string& databaseOption = {});

}  // namespace kv37
