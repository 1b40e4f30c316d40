#include "fautil/TaggedFile.h"

#include <cstring>
#include <limits>
#include <ostream>

#include "fautil/Crc16.h"

namespace fautil {
namespace {

constexpr std::size_t kMaxStringChars = 0xFFFE;  // keeps the count n within 16 bits

// The cursor names a field of `width` bytes that starts and ends inside int32.
bool CursorUsable(const void* data, int32_t cursor, int64_t width) {
  return data != nullptr && cursor >= 0 &&
         int64_t{cursor} + width <= std::numeric_limits<int32_t>::max();
}

template <typename T>
void StoreLe(uint8_t* out, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

template <typename T>
T LoadLe(const uint8_t* in) {
  T value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) value |= static_cast<T>(T{in[i]} << (8 * i));
  return value;
}

template <typename T>
bool SetNumber(uint8_t* data, int32_t& cursor, T value) {
  if (!CursorUsable(data, cursor, sizeof(T))) return false;
  StoreLe(data + cursor, value);
  cursor += static_cast<int32_t>(sizeof(T));
  return true;
}

template <typename T>
bool GetNumber(const uint8_t* data, int32_t& cursor, T& value) {
  value = 0;
  if (!CursorUsable(data, cursor, sizeof(T))) return false;
  value = LoadLe<T>(data + cursor);
  cursor += static_cast<int32_t>(sizeof(T));
  return true;
}

void WriteBytes(std::ostream& stream, const void* bytes, std::size_t count) {
  stream.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(count));
}

// Text field compare as the tag check wants it: at most the field's width,
// stopping at the terminator.
template <std::size_t N>
bool FieldIs(const char (&field)[N], const char* expected) {
  return std::strncmp(field, expected, N) == 0;
}

template <std::size_t N, std::size_t M>
void CopyField(char (&field)[N], const char (&text)[M]) {
  static_assert(M <= N, "text must fit its field");
  std::memcpy(field, text, M);
}

}  // namespace

bool FD2WriteFileTag(std::ostream* stream, uint16_t version) {
  if (stream == nullptr || version != kFileFormatVersion) return false;
  TFileTag2 tag{};
  std::memset(tag.Filler, 0xFF, sizeof tag.Filler);
  CopyField(tag.Banner, kFileTagBanner);
  CopyField(tag.Maker, kFileTagMaker);
  CopyField(tag.Magic, kFileTagMagic);
  tag.Version = version;
  tag.Size = kFileTagSize;
  tag.Signature = kFileTagSignature;
  WriteBytes(*stream, &tag, sizeof tag);
  return !stream->fail();
}

bool FD2CheckFileTag(const TFileTag2* tag, uint16_t version) {
  return tag != nullptr && tag->Version == version && version == kFileFormatVersion &&
         FieldIs(tag->Maker, kFileTagMaker) && FieldIs(tag->Magic, kFileTagMagic) &&
         tag->Size == kFileTagSize;
}

bool FD2WriteNodeEx(std::ostream* stream, const TFileNodeEx2& node) {
  if (stream == nullptr || (node.Length > 0 && node.Data == nullptr)) return false;
  uint8_t header[kNodeHeaderSize];
  StoreLe(header, node.Node);
  StoreLe(header + 4, node.Length);
  WriteBytes(*stream, header, sizeof header);
  if (node.Length > 0) WriteBytes(*stream, node.Data, node.Length);
  return !stream->fail();
}

bool FD2WriteEOF(std::ostream* stream) {
  if (stream == nullptr) return false;
  uint8_t record[kNodeHeaderSize];
  StoreLe(record, kEndNodeWord);
  StoreLe(record + 4, uint32_t{0});
  WriteBytes(*stream, record, sizeof record);
  return !stream->fail();
}

bool FD2CheckNodeEx(const TFileNodeEx2& node) {
  if ((node.Node & kNodeCrcFlag) == 0 || node.Length == 0) return true;
  return node.Data != nullptr && CRC16(node.Data, node.Length, kCrc16Modbus) == 0;
}

bool FD2NodeSetByte(uint8_t* data, int32_t& cursor, uint8_t value) {
  return SetNumber(data, cursor, value);
}

bool FD2NodeSetWord(uint8_t* data, int32_t& cursor, uint16_t value) {
  return SetNumber(data, cursor, value);
}

bool FD2NodeSetDWord(uint8_t* data, int32_t& cursor, uint32_t value) {
  return SetNumber(data, cursor, value);
}

bool FD2NodeSetAnsiString(uint8_t* data, int32_t& cursor, const std::string& value) {
  if (value.size() > kMaxStringChars) return false;
  const auto count = static_cast<uint16_t>(value.size() + 1);
  if (!CursorUsable(data, cursor, 2 + int64_t{count})) return false;
  StoreLe(data + cursor, count);
  // c_str() supplies the terminator as the count's last byte.
  std::memcpy(data + cursor + 2, value.c_str(), count);
  cursor += 2 + count;
  return true;
}

bool FD2NodeSetCRC16(uint8_t* data, int32_t& cursor) {
  if (!CursorUsable(data, cursor, 2)) return false;
  const uint16_t crc = CRC16(data, static_cast<uint32_t>(cursor), kCrc16Modbus);
  return SetNumber(data, cursor, crc);
}

bool FD2NodeGetByte(const uint8_t* data, int32_t& cursor, uint8_t& value) {
  return GetNumber(data, cursor, value);
}

bool FD2NodeGetWord(const uint8_t* data, int32_t& cursor, uint16_t& value) {
  return GetNumber(data, cursor, value);
}

bool FD2NodeGetDWord(const uint8_t* data, int32_t& cursor, uint32_t& value) {
  return GetNumber(data, cursor, value);
}

bool FD2NodeGetAnsiString(const uint8_t* data, int32_t& cursor, std::string& value) {
  value.clear();
  if (!CursorUsable(data, cursor, 2)) return false;
  const uint16_t count = LoadLe<uint16_t>(data + cursor);
  if (!CursorUsable(data, cursor, 2 + int64_t{count})) return false;
  const auto* text = reinterpret_cast<const char*>(data + cursor + 2);
  const auto* end = static_cast<const char*>(std::memchr(text, 0, count));
  value.assign(text, end != nullptr ? end : text + count);
  cursor += 2 + count;
  return true;
}

}  // namespace fautil
