#pragma once
// The OS image the unit fetches page by page: loading, padding and page access.

#include <cstddef>
#include <cstdint>
#include <string>

#include "MemoryStream.h"

namespace kv37 {

inline constexpr std::size_t kOsImageSize = 0x20000;  // bytes of a padded image
inline constexpr std::size_t kPageSize = 256;         // bytes per page
inline constexpr uint8_t kPadByte = 0xFF;

// Loads the whole file into `image` and, when it is not larger than
// kOsImageSize, pads it with kPadByte to exactly kOsImageSize, one byte per
// write. A larger file is kept whole and unpadded. Leaves the position at 0
// for a larger file and at the end otherwise. Throws EFOpenError (text
// "Cannot open file <path>"; also for anything but a regular file),
// EFileTooLarge or EReadError, leaving `image` as it was.
void LoadOsImage(MemoryStream& image, const std::string& path);

// Copies page `page` (bytes page*256 .. page*256+255) into `out`. Bytes that
// lie beyond the end of the image are given as kPadByte, so any page number a
// unit may name is answered without reading outside the buffer.
void CopyPage(const MemoryStream& image, uint16_t page, uint8_t (&out)[kPageSize]);

}  // namespace kv37
