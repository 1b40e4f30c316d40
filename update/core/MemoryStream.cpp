#include "MemoryStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace kv37 {

EFOpenError::EFOpenError(const std::string& path, std::string reason)
    : std::runtime_error("Cannot open file " + path), reason_(std::move(reason)) {}

EFileTooLarge::EFileTooLarge(const std::string& path, std::uintmax_t size)
    : std::runtime_error(path + " is " + std::to_string(size) +
                         " bytes, larger than the 16 MiB an OS image file may have") {}

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

namespace {

std::string NotRegular(std::filesystem::file_type type) {
  using std::filesystem::file_type;
  switch (type) {
    case file_type::directory:
      return "a folder, not a regular file";
    case file_type::fifo:
      return "a FIFO, not a regular file";
    case file_type::character:
    case file_type::block:
      return "a device, not a regular file";
    case file_type::socket:
      return "a socket, not a regular file";
    default:
      return "not a regular file";
  }
}

}  // namespace

void MemoryStream::LoadFromFile(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec) throw EFOpenError(path, ec.message());
  if (status.type() != fs::file_type::regular) throw EFOpenError(path, NotRegular(status.type()));
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) throw EFOpenError(path, ec.message());
  if (size > kMaxFileSize) throw EFileTooLarge(path, size);

  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) throw EFOpenError(path, std::strerror(errno != 0 ? errno : EACCES));
  // Read into a fresh buffer so a failure part-way leaves the old image
  // intact; the limit holds for a file that grows while it is read too.
  std::vector<uint8_t> fresh;
  fresh.reserve(static_cast<std::size_t>(size));
  char chunk[1 << 16];
  while (in) {
    in.read(chunk, sizeof chunk);
    const auto n = static_cast<std::size_t>(in.gcount());
    if (fresh.size() + n > kMaxFileSize) throw EFileTooLarge(path, fresh.size() + n);
    fresh.insert(fresh.end(), chunk, chunk + n);
  }
  if (in.bad()) throw EReadError();
  bytes_ = std::move(fresh);
  position_ = 0;
}

void MemoryStream::Clear() {
  std::vector<uint8_t>().swap(bytes_);
  position_ = 0;
}

}  // namespace kv37
