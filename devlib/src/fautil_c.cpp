// The C functions: argument checks and type conversions around the C++
// routines, which do all the work. Nothing here may let an exception out.

#include "fautil/fautil_c.h"

#include <cstring>
#include <limits>
#include <new>
#include <ostream>
#include <streambuf>
#include <string>

#include "fautil/fautil.h"

namespace {

using namespace fautil;

int32_t Result(bool ok) {
  return ok ? 1 : 0;
}

// Runs `body`, turning any exception (only std::bad_alloc is possible) into
// the function's failure result.
template <typename R, typename Body>
R Shielded(R failure, Body body) noexcept {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

// Routines with an operand or a code as output: C++ takes it by reference,
// C by pointer, and a null one is the failure result.
template <typename Routine, typename In>
int32_t ToPair(Routine routine, In input, uint8_t* type, uint32_t* address) {
  if (type == nullptr || address == nullptr) return 0;
  return Result(routine(input, *type, *address));
}

template <typename Routine, typename... In>
int32_t ToCode(Routine routine, uint16_t* code, In... inputs) {
  if (code == nullptr) return 0;
  return Result(routine(inputs..., *code));
}

// Routines that return a value read from `input`: C hands it out instead,
// so that a null pointer can be a failure.
template <typename Read, typename In, typename T, typename... More>
int32_t HandOut(Read read, const In* input, T* value, More... more) {
  if (input == nullptr || value == nullptr) return 0;
  *value = read(input, more...);
  return 1;
}

void PassOn(const TStrings& lines, fautil_line_fn line, void* context) {
  if (line == nullptr) return;
  for (const std::string& text : lines) line(context, text.c_str());
}

// A line list in, as the C++ parsers take it; false for a null line.
bool CopyLines(const char* const* lines, int32_t count, TStrings& out) {
  if (count <= 0) return true;
  if (lines == nullptr) return false;
  out.reserve(static_cast<std::size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    if (lines[i] == nullptr) return false;
    out.emplace_back(lines[i]);
  }
  return true;
}

template <typename Parse>
int32_t ParseLines(Parse parse, const char* const* lines, int32_t count, uint8_t* buffer,
                   int32_t limit) {
  return Shielded(int32_t{-1}, [&] {
    TStrings list;
    if (!CopyLines(lines, count, list)) return int32_t{-1};
    return parse(&list, buffer, limit);
  });
}

// The caller's write callback as the stream the C++ writers take. Unbuffered,
// so that every byte has reached the callback when a writer returns, and a
// refused write fails the stream, which the writer then reports.
class CallbackStreamBuf final : public std::streambuf {
 public:
  CallbackStreamBuf(fautil_write_fn write, void* context) : write_(write), context_(context) {}

 protected:
  std::streamsize xsputn(const char* bytes, std::streamsize count) override {
    if (count <= 0) return 0;
    if (count > std::numeric_limits<uint32_t>::max()) return 0;
    const bool written = write_(context_, reinterpret_cast<const uint8_t*>(bytes),
                                static_cast<uint32_t>(count)) != 0;
    return written ? count : 0;
  }
  int_type overflow(int_type ch) override {
    if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
    const char byte = traits_type::to_char_type(ch);
    return xsputn(&byte, 1) == 1 ? ch : traits_type::eof();
  }

 private:
  fautil_write_fn write_;
  void* context_;
};

template <typename Write>
int32_t WriteThrough(fautil_write_fn write, void* context, Write body) {
  if (write == nullptr) return 0;
  return Shielded(int32_t{0}, [&] {
    CallbackStreamBuf buffer(write, context);
    std::ostream stream(&buffer);
    return Result(body(&stream));
  });
}

// A node field of `width` bytes at the cursor lies inside the caller's data.
bool FieldFits(const void* data, uint32_t size, const int32_t* cursor, uint64_t width) {
  return data != nullptr && cursor != nullptr && *cursor >= 0 &&
         static_cast<uint64_t>(*cursor) + width <= size;
}

template <typename T, typename Set>
int32_t SetField(Set set, uint8_t* data, uint32_t size, int32_t* cursor, T value) {
  if (!FieldFits(data, size, cursor, sizeof(T))) return 0;
  return Result(set(data, *cursor, value));
}

template <typename T, typename Get>
int32_t GetField(Get get, const uint8_t* data, uint32_t size, int32_t* cursor, T* value) {
  if (value == nullptr || !FieldFits(data, size, cursor, sizeof(T))) return 0;
  return Result(get(data, *cursor, *value));
}

// Copies `text` with its terminator into a caller's buffer of `room` bytes.
bool CopyOut(const std::string& text, char* buffer, uint32_t room) {
  if (text.size() >= room) return false;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

}  // namespace

extern "C" {

const char* fautil_Version(void) {
  return Version();
}

// Operand text

int32_t fautil_StrToType(const char* text, uint8_t* type, uint32_t* address) {
  return ToPair(StrToType, text, type, address);
}
int32_t fautil_TypeToStr(char* buffer, uint8_t type, uint32_t address) {
  return Result(TypeToStr(buffer, type, address));
}
int32_t fautil_StrNormalize(char* buffer, const char* text) {
  return Result(StrNormalize(buffer, text));
}
int32_t fautil_TypeToDType(uint8_t* type, uint32_t* address) {
  if (type == nullptr || address == nullptr) return 0;
  return Result(TypeToDType(*type, *address));
}
int32_t fautil_CheckTypeRange(uint8_t* type, uint32_t* address) {
  if (type == nullptr || address == nullptr) return 0;
  return Result(CheckTypeRange(*type, *address));
}

// Operand ranges

int32_t fautil_GetTableMaxSize(const char* start, int32_t areaSize) {
  return GetTableMaxSize(start, areaSize);
}
int32_t fautil_CheckTableRange(const char* start, int32_t tableSize, int32_t areaSize) {
  return CheckTableRange(start, tableSize, areaSize);
}
int32_t fautil_RefStrRangeToStr(const char* list, fautil_line_fn line, void* context) {
  if (list == nullptr) return 0;
  return Shielded(int32_t{0}, [&] {
    TStrings items;
    const bool ok = RefStrRangeToStr(list, line != nullptr ? &items : nullptr);
    PassOn(items, line, context);
    return Result(ok);
  });
}
int32_t fautil_GetNextRef(const char* text, char* buffer, int32_t next) {
  return Result(GetNextRef(text, buffer, next != 0));
}

// Packed reference codes

int32_t fautil_DocRefToType(uint16_t code, uint8_t* type, uint32_t* address) {
  return ToPair(DocRefToType, code, type, address);
}
int32_t fautil_TypeToDocRef(uint8_t type, uint32_t address, uint16_t* code) {
  return ToCode(TypeToDocRef, code, type, address);
}
int32_t fautil_StrToDocRef(const char* text, uint16_t* code) {
  return ToCode(StrToDocRef, code, text);
}
int32_t fautil_DocRefToStr(char* buffer, uint16_t code) {
  return Result(DocRefToStr(buffer, code));
}
int32_t fautil_DRefToType(uint16_t code, uint8_t* type, uint32_t* address) {
  return ToPair(DRefToType, code, type, address);
}
int32_t fautil_TypeToDRef(uint8_t type, uint32_t address, uint16_t* code) {
  return ToCode(TypeToDRef, code, type, address);
}
int32_t fautil_StrToDRef(const char* text, uint16_t* code) {
  return ToCode(StrToDRef, code, text);
}
int32_t fautil_DRefToStr(char* buffer, uint16_t code) {
  return Result(DRefToStr(buffer, code));
}
int32_t fautil_RRefToType(uint16_t code, uint8_t* type, uint32_t* address) {
  return ToPair(RRefToType, code, type, address);
}
int32_t fautil_TypeToRRef(uint8_t type, uint32_t address, uint16_t* code) {
  return ToCode(TypeToRRef, code, type, address);
}
int32_t fautil_StrToRRef(const char* text, uint16_t* code) {
  return ToCode(StrToRRef, code, text);
}
int32_t fautil_RRefToStr(char* buffer, uint16_t code) {
  return Result(RRefToStr(buffer, code));
}
int32_t fautil_RegRefToType(uint16_t code, uint8_t* type, uint32_t* address) {
  return ToPair(RegRefToType, code, type, address);
}
int32_t fautil_TypeToRegRef(uint8_t type, uint32_t address, uint16_t* code) {
  return ToCode(TypeToRegRef, code, type, address);
}
int32_t fautil_FlashRegStrToRef(const char* text, uint16_t* code) {
  return ToCode(FlashRegStrToRef, code, text);
}
int32_t fautil_FlashRegRefToStr(char* buffer, uint16_t code) {
  return Result(FlashRegRefToStr(buffer, code));
}

// Link strings and link modes

int32_t fautil_LinkStrToType(const char* text, uint8_t* type, uint32_t* address) {
  return ToPair(LinkStrToType, text, type, address);
}
int32_t fautil_TypeToLinkStrVer(char* buffer, uint8_t type, uint32_t address, uint16_t version) {
  return Result(TypeToLinkStrVer(buffer, type, address, version));
}
int32_t fautil_LinkStrV40ChgOnOff(char* text) {
  if (text == nullptr) return 0;
  LinkStrV40ChgOnOff(text);
  return 1;
}
int32_t fautil_ULinkStrToType(const char* text, uint8_t* type, uint32_t* address) {
  return ToPair(ULinkStrToType, text, type, address);
}
int32_t fautil_TypeToULinkStr(char* buffer, uint8_t type, uint32_t address) {
  return Result(TypeToULinkStr(buffer, type, address));
}
uint8_t fautil_TypeToLinkMode(uint8_t type) {
  return TypeToLinkMode(type);
}
uint8_t fautil_LinkModeToType(uint8_t mode) {
  return LinkModeToType(mode);
}

// Number and byte-string text

uint8_t fautil_StrToChar(char c) {
  return StrToChar(c);
}
int32_t fautil_StrToByte(const char* text, uint8_t* value) {
  return HandOut(StrToByte, text, value);
}
int32_t fautil_StrToWord(const char* text, uint16_t* value) {
  return HandOut(StrToWord, text, value);
}
int32_t fautil_StrToDWord(const char* text, uint32_t* value) {
  return HandOut(StrToDWord, text, value);
}
int32_t fautil_StrToHex(const char* text, uint8_t* value) {
  if (value == nullptr) return 0;
  return Result(StrToHex(text, *value));
}
int32_t fautil_StrToBMem(const char* text, uint8_t* mem, uint16_t count) {
  if (count != 0 && (text == nullptr || mem == nullptr)) return 0;
  StrToBMem(text, mem, count);
  return 1;
}
int32_t fautil_StrToWMem(const char* text, uint16_t* mem, uint16_t count) {
  if (count != 0 && (text == nullptr || mem == nullptr)) return 0;
  StrToWMem(text, mem, count);
  return 1;
}
int32_t fautil_ByteToStr(char* buffer, uint8_t value) {
  if (buffer == nullptr) return 0;
  ByteToStr(buffer, value);
  return 1;
}
int32_t fautil_WordToStr(char* buffer, uint16_t value) {
  if (buffer == nullptr) return 0;
  WordToStr(buffer, value);
  return 1;
}
int32_t fautil_BMemToStr(char* buffer, const uint8_t* mem, uint16_t count) {
  if (buffer == nullptr || (count != 0 && mem == nullptr)) return 0;
  // C++ does nothing for a null array; here it is the empty one.
  if (count == 0) {
    buffer[0] = '\0';
    return 1;
  }
  BMemToStr(buffer, mem, count);
  return 1;
}
int32_t fautil_WMemToStr(char* buffer, const uint16_t* mem, uint16_t count) {
  if (buffer == nullptr || (count != 0 && mem == nullptr)) return 0;
  // C++ does nothing for a null array; here it is the empty one.
  if (count == 0) {
    buffer[0] = '\0';
    return 1;
  }
  WMemToStr(buffer, mem, count);
  return 1;
}
int32_t fautil_RegBinToWord(const uint16_t* cells, uint16_t firstIndex, uint16_t* value) {
  return HandOut(RegBinToWord, cells, value, firstIndex);
}
int32_t fautil_RegDisToWord(const uint16_t* cells, uint16_t firstIndex, uint16_t* value) {
  return HandOut(RegDisToWord, cells, value, firstIndex);
}
int32_t fautil_RegBinToDWord(const uint16_t* cells, uint32_t* value) {
  return HandOut(RegBinToDWord, cells, value);
}
int32_t fautil_WordToRegBin(uint16_t* cells, uint16_t value, uint16_t firstIndex) {
  if (cells == nullptr) return 0;
  WordToRegBin(cells, value, firstIndex);
  return 1;
}
int32_t fautil_WordToRegDis(uint16_t* cells, uint16_t value, uint16_t firstIndex) {
  if (cells == nullptr) return 0;
  WordToRegDis(cells, value, firstIndex);
  return 1;
}
int32_t fautil_WordToFmtStr(char* buffer, uint16_t value, uint16_t format) {
  if (buffer == nullptr) return 0;
  WordToFmtStr(buffer, value, format);
  return 1;
}
int32_t fautil_DWordToFmtStr(char* buffer, uint32_t value, uint16_t format) {
  if (buffer == nullptr) return 0;
  DWordToFmtStr(buffer, value, format);
  return 1;
}

// Memory dumps and text to memory

int32_t fautil_MemDump(const uint8_t* data, int32_t length, fautil_line_fn line, void* context) {
  if (line == nullptr) return 0;
  return Shielded(int32_t{0}, [&] {
    TStrings lines;
    const bool ok = MemDump(&lines, data, length);
    PassOn(lines, line, context);
    return Result(ok);
  });
}
int32_t fautil_WordMemDump(const uint16_t* data, int32_t count, fautil_line_fn line,
                           void* context) {
  if (line == nullptr) return 0;
  return Shielded(int32_t{0}, [&] {
    TStrings lines;
    const bool ok = WordMemDump(&lines, data, count);
    PassOn(lines, line, context);
    return Result(ok);
  });
}
int32_t fautil_TextToMem(const char* const* lines, int32_t count, uint8_t* buffer, int32_t limit) {
  return ParseLines(TextToMem, lines, count, buffer, limit);
}
int32_t fautil_UStrToMem(const char* item, uint8_t* buffer, int32_t room) {
  return UStrToMem(item, buffer, room);
}
int32_t fautil_UTextToMem(const char* const* lines, int32_t count, uint8_t* buffer, int32_t limit) {
  return ParseLines(UTextToMem, lines, count, buffer, limit);
}

// CRC-16 and the tagged data file

uint16_t fautil_CRC16(const uint8_t* data, uint32_t length, uint16_t init) {
  return CRC16(data, length, init);
}
int32_t fautil_FD2WriteFileTag(fautil_write_fn write, void* context, uint16_t version) {
  return WriteThrough(write, context,
                      [&](std::ostream* stream) { return FD2WriteFileTag(stream, version); });
}
int32_t fautil_FD2CheckFileTag(const uint8_t* tag, uint16_t version) {
  if (tag == nullptr) return 0;
  TFileTag2 copy;
  std::memcpy(&copy, tag, sizeof copy);
  return Result(FD2CheckFileTag(&copy, version));
}
int32_t fautil_FD2WriteNodeEx(fautil_write_fn write, void* context, uint32_t node, uint32_t length,
                              const uint8_t* data) {
  const TFileNodeEx2 record{node, length, data};
  return WriteThrough(write, context,
                      [&](std::ostream* stream) { return FD2WriteNodeEx(stream, record); });
}
int32_t fautil_FD2WriteEOF(fautil_write_fn write, void* context) {
  return WriteThrough(write, context, [](std::ostream* stream) { return FD2WriteEOF(stream); });
}
int32_t fautil_FD2CheckNodeEx(uint32_t node, uint32_t length, const uint8_t* data) {
  return Result(FD2CheckNodeEx(TFileNodeEx2{node, length, data}));
}
int32_t fautil_FD2NodeSetByte(uint8_t* data, uint32_t size, int32_t* cursor, uint8_t value) {
  return SetField(FD2NodeSetByte, data, size, cursor, value);
}
int32_t fautil_FD2NodeSetWord(uint8_t* data, uint32_t size, int32_t* cursor, uint16_t value) {
  return SetField(FD2NodeSetWord, data, size, cursor, value);
}
int32_t fautil_FD2NodeSetDWord(uint8_t* data, uint32_t size, int32_t* cursor, uint32_t value) {
  return SetField(FD2NodeSetDWord, data, size, cursor, value);
}
int32_t fautil_FD2NodeSetAnsiString(uint8_t* data, uint32_t size, int32_t* cursor,
                                    const char* value) {
  if (value == nullptr) return 0;
  const std::size_t length = std::strlen(value);
  if (!FieldFits(data, size, cursor, 2 + uint64_t{length} + 1)) return 0;
  return Shielded(int32_t{0}, [&] {
    return Result(FD2NodeSetAnsiString(data, *cursor, std::string(value, length)));
  });
}
int32_t fautil_FD2NodeSetCRC16(uint8_t* data, uint32_t size, int32_t* cursor) {
  if (!FieldFits(data, size, cursor, 2)) return 0;
  return Result(FD2NodeSetCRC16(data, *cursor));
}
int32_t fautil_FD2NodeGetByte(const uint8_t* data, uint32_t size, int32_t* cursor, uint8_t* value) {
  return GetField(FD2NodeGetByte, data, size, cursor, value);
}
int32_t fautil_FD2NodeGetWord(const uint8_t* data, uint32_t size, int32_t* cursor,
                              uint16_t* value) {
  return GetField(FD2NodeGetWord, data, size, cursor, value);
}
int32_t fautil_FD2NodeGetDWord(const uint8_t* data, uint32_t size, int32_t* cursor,
                               uint32_t* value) {
  return GetField(FD2NodeGetDWord, data, size, cursor, value);
}
int32_t fautil_FD2NodeGetAnsiString(const uint8_t* data, uint32_t size, int32_t* cursor,
                                    char* buffer, uint32_t room) {
  if (buffer == nullptr || !FieldFits(data, size, cursor, 2)) return 0;
  // The field's own count says how far it reaches; it must end inside `data`.
  const uint32_t count = data[*cursor] | uint32_t{data[*cursor + 1]} << 8;
  if (!FieldFits(data, size, cursor, 2 + uint64_t{count})) return 0;
  return Shielded(int32_t{0}, [&] {
    int32_t next = *cursor;
    std::string text;
    if (!FD2NodeGetAnsiString(data, next, text) || !CopyOut(text, buffer, room)) return 0;
    *cursor = next;
    return 1;
  });
}

// Telephone registers and string decomposition

int32_t fautil_TelphoneToReg(const char* text, uint16_t* regs) {
  return Result(TelphoneToReg(text, regs));
}
int32_t fautil_RegToTelphone(const uint16_t* regs, char* text) {
  return Result(RegToTelphone(regs, text));
}
int32_t fautil_DecomposeStr(const char* text, char* first, char* rest) {
  if (text == nullptr) return 0;
  // Reading the locale's character set name may allocate.
  return Shielded(int32_t{0}, [&] { return Result(DecomposeStr(text, first, rest)); });
}
int32_t fautil_DoubleByteCodePageOfLocale(const char* localeName) {
  return Shielded(int32_t{0}, [&] { return DoubleByteCodePageOfLocale(localeName); });
}
int32_t fautil_SetDecomposeCodePage(int32_t codePage) {
  SetLeadByteTest(codePage == 0 ? nullptr : LeadByteTestForCodePage(codePage));
  return 1;
}

// Ladder masking and small routines

int32_t fautil_LadderMask(uint8_t* buffer) {
  if (buffer == nullptr) return 0;
  LadderMask(buffer);
  return 1;
}
int32_t fautil_LadderUnMask(uint8_t* buffer) {
  if (buffer == nullptr) return 0;
  LadderUnMask(buffer);
  return 1;
}
int32_t fautil_Randomize(uint8_t* buffer, int32_t count) {
  if (buffer == nullptr && count > 0) return 0;
  Randomize(buffer, count);
  return 1;
}
int32_t fautil_ShiftKey(const uint8_t* members, uint32_t count, uint16_t* mask) {
  if (mask == nullptr || (count != 0 && members == nullptr)) return 0;
  TShiftState state;
  for (uint32_t i = 0; i < count; ++i) {
    if (members[i] > static_cast<uint8_t>(TShiftMember::ssDouble)) return 0;
    state.Include(static_cast<TShiftMember>(members[i]));
  }
  *mask = ShiftKey(state);
  return 1;
}

}  // extern "C"
