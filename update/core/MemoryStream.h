#pragma once
// A growable in-memory byte stream with a size and a position, as the image
// loader and the page server need it. Owned by whoever creates it; not
// thread-safe (the window thread is the only user).

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kv37 {

// Raised when a file cannot be opened for reading; what() is the text the
// operator sees ("Cannot open file <path>"), Reason() why, for callers that
// say more ("No such file or directory", "a FIFO, not a regular file", ...).
class EFOpenError : public std::runtime_error {
 public:
  explicit EFOpenError(const std::string& path, std::string reason = {});
  const std::string& Reason() const { return reason_; }

 private:
  std::string reason_;
};

// Raised when a file is larger than a stream loads (kMaxFileSize).
class EFileTooLarge : public std::runtime_error {
 public:
  EFileTooLarge(const std::string& path, std::uintmax_t size);
};

// Raised when an opened file fails part-way through reading.
class EReadError : public std::runtime_error {
 public:
  EReadError();
};

class MemoryStream {
 public:
  enum class Origin { Beginning, Current, End };

  std::size_t Size() const { return bytes_.size(); }
  std::size_t Position() const { return position_; }
  // Contiguous memory of Size() bytes; null when empty.
  const uint8_t* Memory() const { return bytes_.empty() ? nullptr : bytes_.data(); }

  // Moves the position; a result below 0 is clamped to 0. Moving past the end
  // is allowed (a later write fills the gap with zero bytes). Returns the new
  // position.
  std::size_t Seek(std::int64_t offset, Origin origin);

  // Writes at the position, growing the stream as needed; returns the count.
  std::size_t Write(const void* data, std::size_t count);

  // The largest file LoadFromFile takes: 16 MiB, far above any image, so
  // that a device or a growing file cannot fill the memory.
  static constexpr std::size_t kMaxFileSize = std::size_t{16} << 20;

  // Replaces the whole content with the bytes of the regular file `path` (a
  // link to one counts) and sets the position to 0. Anything else (a folder,
  // a FIFO, a device) is not opened, since reading it could block forever or
  // never end. On any failure the previous content and position are kept and
  // EFOpenError, EFileTooLarge or EReadError is thrown.
  void LoadFromFile(const std::string& path);

  // Empties the stream and returns its memory.
  void Clear();

 private:
  std::vector<uint8_t> bytes_;
  std::size_t position_ = 0;
};

}  // namespace kv37
