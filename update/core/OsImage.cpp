#include "OsImage.h"

#include <algorithm>
#include <cstring>

namespace kv37 {

void LoadOsImage(MemoryStream& image, const std::string& path) {
  image.LoadFromFile(path);
  image.Seek(0, MemoryStream::Origin::Beginning);
  if (image.Size() > kOsImageSize) return;
  image.Seek(0, MemoryStream::Origin::End);
  while (image.Size() < kOsImageSize) image.Write(&kPadByte, 1);
}

void CopyPage(const MemoryStream& image, uint16_t page, uint8_t (&out)[kPageSize]) {
  const std::size_t offset = std::size_t{page} * kPageSize;
  const std::size_t available =
      offset < image.Size() ? std::min(kPageSize, image.Size() - offset) : 0;
  if (available > 0) std::memcpy(out, image.Memory() + offset, available);
  std::memset(out + available, kPadByte, kPageSize - available);
}

}  // namespace kv37
