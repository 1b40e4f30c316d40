#include "MemoryStream.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace kv37 {

EFOpenError::EFOpenError(const std::string& path)
    : std::runtime_error("Cannot open file " + path) {}

EReadError::EReadError() : std::runtime_error("Stream read error") {}

std::size_t MemoryStream::Seek(std::int64_t offset, Origin origin) {
  std::int64_t base = 0;
  switch (origin) {
    case Origin::Beginning:
      base = 0;
      break;
    case Origin::Current:
      base = static_cast<std::int64_t>(position_);
      break;
    case Origin::End:
      base = static_cast<std::int64_t>(bytes_.size());
      break;
  }
  position_ = static_cast<std::size_t>(std::max<std::int64_t>(0, base + offset));
  return position_;
}

std::size_t MemoryStream::Write(const void* data, std::size_t count) {
  if (count == 0) return 0;
  const std::size_t end = position_ + count;
  if (end > bytes_.size()) bytes_.resize(end);
  std::memcpy(bytes_.data() + position_, data, count);
  position_ = end;
  return count;
}

void MemoryStream::LoadFromFile(const std::string& path) {
  // A folder opens like a file here but reads as empty; it is no image.
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw EFOpenError(path);
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) throw EFOpenError(path);
  // Read into a fresh buffer so a failure part-way leaves the old image intact.
  std::vector<uint8_t> fresh{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) throw EReadError();
  bytes_ = std::move(fresh);
  position_ = 0;
}

void MemoryStream::Clear() {
  std::vector<uint8_t>().swap(bytes_);
  position_ = 0;
}

}  // namespace kv37
