#pragma once
// OS image files for the end-to-end runs: random bytes in a private folder,
// loaded the way the utility loads them.

#include <QTemporaryDir>
#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "MemoryStream.h"
#include "OsImage.h"

class TestImage {
 public:
  // `size` random bytes from `seed`, with no 0xFF run at the end, so that
  // padding is told apart from data.
  explicit TestImage(std::size_t size, uint32_t seed = 1) : bytes_(size) {
    std::mt19937 rng(seed);
    for (auto& b : bytes_) b = static_cast<uint8_t>(rng());
    if (!bytes_.empty()) bytes_.back() = 0x5A;
    path_ = dir_.filePath("image.bin").toStdString();
    std::ofstream(path_, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes_.data()),
               static_cast<std::streamsize>(bytes_.size()));
  }

  const std::string& Path() const { return path_; }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

  // A fresh buffer holding the file as the utility holds it.
  kv37::MemoryStream Load() const {
    kv37::MemoryStream image;
    kv37::LoadOsImage(image, path_);
    return image;
  }

  // The 256 bytes the utility must serve for `page`: the file's bytes, then
  // 0xFF wherever the file has none.
  std::vector<uint8_t> Page(uint16_t page) const {
    std::vector<uint8_t> out(kv37::kPageSize, kv37::kPadByte);
    const std::size_t begin = std::size_t{page} * kv37::kPageSize;
    for (std::size_t i = 0; i < out.size() && begin + i < bytes_.size(); ++i)
      out[i] = bytes_[begin + i];
    return out;
  }

 private:
  QTemporaryDir dir_;
  std::vector<uint8_t> bytes_;
  std::string path_;
};
