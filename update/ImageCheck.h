#pragma once
// What the updater checks of an image before any port is touched.

#include <cstddef>
#include <string>

#include "MemoryStream.h"

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

}  // namespace kv37
