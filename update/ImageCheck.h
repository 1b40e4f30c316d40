#pragma once
// What the updater checks of an image before any port is touched.

#include <cstddef>
#include <string>

#include <stdexcept>

#include "MemoryStream.h"
#include "PortEvents.h"

namespace kv37 {

struct ImageCheck {
  std::size_t fileSize = 0;  // bytes in the file, before padding
  std::string sha256;        // of the file's bytes, lower-case hex
  // Set when the image would erase the unit rather than update it (empty,
  // or every byte 0xFF); the run needs --force then.
  std::string refusal;
  // Set for an image larger than the 512 pages a unit ever asks for.
  std::string warning;
};

// `image` as LoadOsImage left it, from the file at `path`.
ImageCheck CheckImage(const MemoryStream& image, const std::string& path);

// Why an image cannot be sent, in the words every front end shows.
class ImageRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Loads the image at `path` into `image` and checks it. Throws ImageRefused
// when it cannot be read, or would erase the unit and `force` is not given;
// `advice` then says what the user can do. A warning for an image larger
// than a unit asks for goes to `warning`.
ImageInfo LoadCheckedImage(MemoryStream& image, const std::string& path, bool force,
                           const std::string& advice, std::string& warning);

}  // namespace kv37
